// Fuzz target: the plug-in's memory exports as a host calls them. ImageGetInfoFromMemData
// first, then Image32LoadFromMemData into host memory sized from its answer, at 0, 90, 180
// and 270 degrees and at one angle the plug-in refuses. The companion stand-ins lie in the
// build's bin directory, where the log stand-in tells the plug-in to look, so the rotated
// loads reach the rotate function and the information call the metadata library.
//
// What must hold besides "no crash, no leak": the information call reports the size that
// header inspection reads; a quarter turn loads exactly when the unturned load does, and
// holds the unturned pixels each where a clockwise turn carries it; a load that fails leaves
// host memory untouched; no call leaves live a block it allocated (the failing allocator's
// table, beside libFuzzer's leak detection). Images of more than kMaxPixels pixels are
// skipped after the information call, before any load allocates for them.
//
// The last two bytes choose the options (bytes after IEND change no decode). Bit 0 of the
// last: the information call is not asked for the size. Bit 1 of the last (which the CRC of
// a plain IEND chunk sets, so most files run this way): the calls are made a second time
// with one allocation failing, the k-th of those they made the first time, k being 1 + the
// byte before modulo their count. Then each call returns 0 or what it returned the first
// time: a load that fails leaves host memory untouched, one that succeeds gives the first
// time's pixels; the information call's outputs are the first time's, untouched, or the
// metadata library's 0.
//
// The failing allocator replaces malloc and operator new in this executable, natively and
// under AddressSanitizer alike. Where it cannot (Windows: a DLL calls its C runtime's malloc
// directly), nothing fails and the second pass must simply repeat the first.
#include <cstdlib>
#include <cstring>
#include <deque>
#include <vector>

#include "decoder/decoder.h"
#include "fuzz/decode_limits.h"
#include "fuzz/fuzz_check.h"
#include "plugin/plugin.h"
#include "tests/support/failing_allocator.h"
#include "tests/support/host_canvas.h"
#include "tests/support/turns.h"

namespace {

constexpr int32_t kRefusedAngle = 45;
constexpr int32_t kAngles[] = {0, 90, 180, 270};
constexpr int32_t kUnwritten = -1;

struct Options {
  bool want_size;
  bool failing;
  uint8_t failure_choice;
};

Options read_options(const uint8_t* data, size_t size) {
  const uint8_t last = size > 0 ? data[size - 1] : 0;
  const uint8_t before = size > 1 ? data[size - 2] : 0;
  return {(last & 1) == 0, (last & 2) != 0, before};
}

// Runs the export calls of one pass one at a time under the failing allocator: counts their
// allocations and fails the fail_at-th of them all (none for 0). No call may leave live a
// block it allocated.
class Allocations {
 public:
  explicit Allocations(uint64_t fail_at) : remaining_(fail_at) {}

  template <typename Call>
  int32_t run(Call call) {
    int32_t result = 0;
    const failalloc::Tally tally = failalloc::armed(remaining_, [&] { result = call(); });
    FUZZ_CHECK(tally.live_blocks == 0 && !tally.overflowed);
    counted_ += tally.allocations;
    remaining_ = tally.failed || remaining_ == 0 ? 0 : remaining_ - tally.allocations;
    return result;
  }
  uint64_t counted() const { return counted_; }

 private:
  uint64_t remaining_;
  uint64_t counted_ = 0;
};

struct Size {
  uint32_t width = 0;
  uint32_t height = 0;
};

struct Information {
  int32_t result = 0;
  Size size;  // the inspected size, whether the call was asked for it or not
  int32_t orientation = kUnwritten;
};

Information information(Allocations& allocations, const uint8_t* data, int32_t size, bool want_size) {
  Information out;
  Size reported;
  out.result = allocations.run([&] {
    return ImageGetInfoFromMemData(data, size, want_size ? &reported.width : nullptr,
                                   want_size ? &reported.height : nullptr, &out.orientation);
  });
  velapng::VelaPNGState state;
  velapng::state_init(&state);
  const uint32_t code = velapng::inspect_header(&out.size.width, &out.size.height, &state, data, uint64_t(size));
  velapng::state_release(&state);
  // Inspection allocates nothing, so the size is there even when the metadata query failed.
  if (want_size) FUZZ_CHECK(reported.width == out.size.width && reported.height == out.size.height);
  if (code != velapng::code::ok) out.size = Size{};
  return out;
}

// Host memory of exactly the image's bytes (one for an image of none, so that the load meets
// pixel memory), no guard bytes: AddressSanitizer sees an overrun.
struct HostMemory : testpng::HostCanvas {
  explicit HostMemory(uint64_t bytes) : HostCanvas(bytes == 0 ? 1 : bytes, 0) {}
};

// A memory load never writes the header or the row step; a failed one writes nothing.
int32_t load(Allocations& allocations, HostMemory& host, const uint8_t* data, int32_t size, int32_t angle) {
  const int32_t result = allocations.run([&] { return Image32LoadFromMemData(&host.image, data, size, angle); });
  FUZZ_CHECK(result == 0 || result == 1);
  FUZZ_CHECK(host.image.pBits == host.memory.data());
  FUZZ_CHECK(host.image.nStride == host.kStrideMark && host.all_canary(&host.header, sizeof host.header));
  if (result == 0) FUZZ_CHECK(host.untouched());
  return result;
}

// The first calls load the companion libraries, which stay loaded by design and would look
// like blocks a call left live: a 1x1 grey image is asked about and loaded turned first.
void warm_up() {
  static const bool done = [] {
    const std::vector<uint8_t> png = {
        0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00,
        0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x00, 0x00, 0x00, 0x00, 0x3A, 0x7E, 0x9B, 0x55, 0x00,
        0x00, 0x00, 0x0A, 0x49, 0x44, 0x41, 0x54, 0x78, 0xDA, 0x63, 0x68, 0x00, 0x00, 0x00, 0x82, 0x00, 0x81,
        0xDA, 0x45, 0x08, 0x3B, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
    const auto size = static_cast<int32_t>(png.size());
    int32_t orientation = 0;
    ImageGetInfoFromMemData(png.data(), size, nullptr, nullptr, &orientation);
    HostMemory host(4);
    FUZZ_CHECK(Image32LoadFromMemData(&host.image, png.data(), size, 90) == 1);
    return true;
  }();
  (void)done;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0x7FFFFFFF) return 0;
  warm_up();
  const auto count = static_cast<int32_t>(size);
  const Options options = read_options(data, size);
  Allocations first(0);
  const Information info = information(first, data, count, options.want_size);
  const uint64_t pixels = uint64_t{info.size.width} * info.size.height;
  if (pixels > velapng_fuzz::kMaxPixels) return 0;

  std::deque<HostMemory> hosts;
  int32_t loaded[std::size(kAngles)] = {};
  for (size_t a = 0; a < std::size(kAngles); ++a) {
    hosts.emplace_back(pixels * 4);
    loaded[a] = load(first, hosts[a], data, count, kAngles[a]);
    FUZZ_CHECK(loaded[a] == loaded[0]);
    if (a > 0 && loaded[a] == 1) {
      FUZZ_CHECK(testpng::turned_clockwise(hosts[0].memory.data(), hosts[a].memory.data(), kAngles[a], info.size.width,
                                           info.size.height));
    }
  }
  HostMemory refused(pixels * 4);
  FUZZ_CHECK(load(first, refused, data, count, kRefusedAngle) == 0);
  if (!options.failing || first.counted() == 0) return 0;

  Allocations second(1 + options.failure_choice % first.counted());
  const Information again = information(second, data, count, options.want_size);
  FUZZ_CHECK(again.result == 0 || again.result == info.result);
  FUZZ_CHECK(again.orientation == info.orientation || (again.result == 0 && again.orientation == kUnwritten) ||
             (again.result == 0 && again.orientation == 0));
  for (size_t a = 0; a < std::size(kAngles); ++a) {
    HostMemory host(pixels * 4);
    const int32_t result = load(second, host, data, count, kAngles[a]);
    FUZZ_CHECK(result == 0 || result == loaded[a]);
    if (result == 1) FUZZ_CHECK(host.memory == hosts[a].memory);
  }
  return 0;
}
