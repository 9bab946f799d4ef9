// Fuzz target: the plug-in's memory exports as a host calls them. ImageGetInfoFromMemData
// first, then Image32LoadFromMemData into host memory sized from its answer, at 0, 90, 180
// and 270 degrees and at one angle the plug-in refuses. The companion stand-ins lie in the
// build's bin directory, where the log stand-in tells the plug-in to look, so the rotated
// loads reach the rotate function and the information call the metadata library.
//
// What must hold besides "no crash, no leak": the information call reports the size that
// header inspection reads; a quarter turn loads exactly when the unturned load does, and
// holds the unturned pixels each where a clockwise turn carries it; the refused angle
// leaves host memory untouched. Images of more than kMaxPixels pixels are skipped after the
// information call, before any load allocates for them. The last input byte chooses
// whether the information call is asked for the size at all.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "decoder/decoder.h"
#include "fuzz/decode_limits.h"
#include "fuzz/fuzz_check.h"
#include "plugin/plugin.h"

namespace {

constexpr uint8_t kCanary = 0xA5;
constexpr int32_t kRefusedAngle = 45;

struct Size {
  uint32_t width = 0;
  uint32_t height = 0;
};

Size information(const uint8_t* data, int32_t size) {
  Size reported;
  int32_t orientation = -1;
  const bool want_size = size == 0 || (data[size - 1] & 1) == 0;
  ImageGetInfoFromMemData(data, size, want_size ? &reported.width : nullptr, want_size ? &reported.height : nullptr,
                          &orientation);
  velapng::VelaPNGState state;
  velapng::state_init(&state);
  Size inspected;
  const uint32_t code = velapng::inspect_header(&inspected.width, &inspected.height, &state, data, uint64_t(size));
  velapng::state_release(&state);
  if (want_size) FUZZ_CHECK(reported.width == inspected.width && reported.height == inspected.height);
  return code == velapng::code::ok ? inspected : Size{};
}

// Host memory of exactly the image's bytes, filled with the canary.
struct HostMemory {
  std::vector<uint8_t> pixels;
  BITMAPINFOHEADER header{};
  HostImage image{};

  explicit HostMemory(uint64_t bytes) : pixels(bytes == 0 ? 1 : bytes, kCanary) {
    image.pBits = pixels.data();
    image.pInfoHeader = &header;
  }
};

int32_t load(HostMemory& host, const uint8_t* data, int32_t size, int32_t angle) {
  const int32_t result = Image32LoadFromMemData(&host.image, data, size, angle);
  FUZZ_CHECK(result == 0 || result == 1);
  FUZZ_CHECK(host.image.pBits == host.pixels.data());
  return result;
}

// Pixel (x, y) of a turned image comes from this pixel of the unturned w x h one.
uint64_t source_of(int32_t angle, uint64_t x, uint64_t y, uint64_t w, uint64_t h) {
  switch (angle) {
    case 90: return (h - 1 - x) * w + y;
    case 180: return (h - 1 - y) * w + (w - 1 - x);
    default: return x * w + (w - 1 - y);  // 270
  }
}

void check_turned(const std::vector<uint8_t>& unturned, const std::vector<uint8_t>& turned, int32_t angle, uint64_t w,
                  uint64_t h) {
  const uint64_t turned_width = angle == 180 ? w : h;
  for (uint64_t y = 0; y < w * h / turned_width; ++y) {
    for (uint64_t x = 0; x < turned_width; ++x) {
      const uint64_t from = source_of(angle, x, y, w, h);
      FUZZ_CHECK(std::memcmp(&turned[(y * turned_width + x) * 4], &unturned[from * 4], 4) == 0);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0x7FFFFFFF) return 0;
  const auto count = static_cast<int32_t>(size);
  const Size image = information(data, count);
  const uint64_t pixels = uint64_t{image.width} * image.height;
  if (pixels > velapng_fuzz::kMaxPixels) return 0;

  HostMemory unturned(pixels * 4);
  const int32_t loaded = load(unturned, data, count, 0);
  for (const int32_t angle : {90, 180, 270}) {
    HostMemory turned(pixels * 4);
    FUZZ_CHECK(load(turned, data, count, angle) == loaded);
    if (loaded == 1) check_turned(unturned.pixels, turned.pixels, angle, image.width, image.height);
  }
  HostMemory refused(pixels * 4);
  FUZZ_CHECK(load(refused, data, count, kRefusedAngle) == 0);
  for (const uint8_t byte : refused.pixels) FUZZ_CHECK(byte == kCanary);
  return 0;
}
