// Fuzz target: the plug-in's one-pass decode against the reference decode.
//
// For every input, decode_direct in both byte orders must give decode_rgba's result code,
// width and height, and its pixels byte for byte (BGRA with red and blue exchanged). All
// three outputs start as the same pattern, so a refused file must leave each exactly as it
// was, and any write outside the image (exact-size blocks) is an ASan report.
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "decoder/decoder.h"
#include "fuzz/decode_limits.h"
#include "fuzz/fuzz_check.h"

namespace {

using namespace velapng;

struct Output {
  explicit Output(size_t bytes) : size(bytes), data(static_cast<uint8_t*>(std::malloc(bytes))) {
    if (data != nullptr) std::memset(data, 0xA5, bytes);
  }
  ~Output() { std::free(data); }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  size_t size;
  uint8_t* data;
  uint32_t width = 0;
  uint32_t height = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VelaPNGState probe;
  state_init(&probe);
  uint32_t width = 0, height = 0;
  const uint32_t inspected = inspect_header(&width, &height, &probe, data, size);
  state_release(&probe);
  const uint64_t pixels = inspected == code::ok ? uint64_t{width} * height : 1;
  if (pixels > velapng_fuzz::kMaxPixels) return 0;

  Output reference(pixels * 4), rgba(pixels * 4), bgra(pixels * 4);
  if (reference.data == nullptr || rgba.data == nullptr || bgra.data == nullptr) return 0;
  uint8_t* out = reference.data;
  const uint32_t expected = decode_rgba(&out, &reference.width, &reference.height, data, size);
  FUZZ_CHECK(decode_direct(rgba.data, &rgba.width, &rgba.height, data, size, ChannelOrder::rgba) == expected);
  FUZZ_CHECK(decode_direct(bgra.data, &bgra.width, &bgra.height, data, size, ChannelOrder::bgra) == expected);
  for (const Output* direct : {&rgba, &bgra})
    FUZZ_CHECK(direct->width == reference.width && direct->height == reference.height);
  FUZZ_CHECK(std::memcmp(rgba.data, reference.data, reference.size) == 0);
  for (size_t i = 0; i < reference.size; i += 4) {
    const bool swapped = expected == code::ok;
    FUZZ_CHECK(bgra.data[i] == reference.data[swapped ? i + 2 : i]);
    FUZZ_CHECK(bgra.data[i + 1] == reference.data[i + 1]);
    FUZZ_CHECK(bgra.data[i + 2] == reference.data[swapped ? i : i + 2]);
    FUZZ_CHECK(bgra.data[i + 3] == reference.data[i + 3]);
  }
  return 0;
}
