#include <gtest/gtest.h>

#include <cstdlib>

#include "decoder/decoder.h"
#include "tests/support/png_builder.h"

namespace {

using namespace velapng;
using testpng::Bytes;

constexpr uint8_t kCanary = 0xC5;

// A 2 x 2 RGB 8-bit image with four distinct pixels.
const Bytes kScanlines = {0, 1, 2, 3, 4, 5, 6, 0, 7, 8, 9, 10, 11, 12};
Bytes rgb_2x2() { return testpng::png(2, 2, 8, 2, kScanlines); }

TEST(DecodeRgba, FillsExactlyTheImageOrReportsWhatWasLearnt) {
  Bytes damaged = testpng::zlib_compress(kScanlines);
  damaged[2] ^= 0xFF;  // the deflate data, behind a correct chunk CRC
  const Bytes corrupt_data =
      testpng::concat({testpng::header(2, 2, 8, 2), testpng::chunk("IDAT", damaged), testpng::chunk("IEND", {})});
  Bytes not_png = rgb_2x2();
  not_png[0] = 'G';
  const Bytes valid = rgb_2x2();
  const Bytes rgba = {1, 2, 3, 255, 4, 5, 6, 255, 7, 8, 9, 255, 10, 11, 12, 255};
  const struct {
    const char* what;
    Bytes file;
    uint32_t code;
    bool size_written;
  } cases[] = {
      {"valid", valid, 0, true},
      {"corrupt image data", corrupt_data, 20, true},
      {"not a PNG", not_png, 28, false},
      {"too short", Bytes(valid.begin(), valid.begin() + 20), 27, false},
  };
  for (const auto& c : cases) {
    Bytes buffer(32, kCanary);
    uint8_t* out = buffer.data();
    uint32_t width = 99, height = 99;
    EXPECT_EQ(decode_rgba(&out, &width, &height, c.file.data(), c.file.size()), c.code) << c.what;
    EXPECT_EQ(out, buffer.data()) << c.what;
    EXPECT_EQ(width, c.size_written ? 2u : 99u) << c.what;
    EXPECT_EQ(height, c.size_written ? 2u : 99u) << c.what;
    EXPECT_EQ(buffer, c.code == 0 ? testpng::concat({rgba, Bytes(16, kCanary)}) : Bytes(32, kCanary)) << c.what;
  }
}

// Requested formats, and with conversion off the file's own format, into the caller's
// buffer or, without one, into a block the decode allocates and hands back.
TEST(DecodeWithState, RequestedFormats) {
  const Bytes file = testpng::png(3, 1, 8, 0, {0, 7, 8, 9});
  const struct {
    const char* what;
    uint32_t convert, colour_type, bit_depth;
    bool buffer;
    uint32_t code;
    Bytes expected;
  } cases[] = {
      {"grey 16 refused", 1, 0, 16, true, 56, {}},
      {"grey+alpha 16 refused", 1, 4, 16, true, 56, {}},
      {"RGB 4 refused by the conversion", 1, 2, 4, true, 56, {}},
      {"RGBA 8", 1, 6, 8, true, 0, {7, 7, 7, 255, 8, 8, 8, 255, 9, 9, 9, 255}},
      {"RGB 8", 1, 2, 8, true, 0, {7, 7, 7, 8, 8, 8, 9, 9, 9}},
      {"grey 8", 1, 0, 8, true, 0, {7, 8, 9}},
      {"RGB 16", 1, 2, 16, true, 0, {7, 7, 7, 7, 7, 7, 8, 8, 8, 8, 8, 8, 9, 9, 9, 9, 9, 9}},
      {"file's format", 0, 6, 16, true, 0, {7, 8, 9}},
      {"file's format, new block", 0, 6, 16, false, 0, {7, 8, 9}},
  };
  for (const auto& c : cases) {
    VelaPNGState state;
    state_init(&state);
    state.decoder.convert_colour = c.convert;
    state.output_format.colour_type = c.colour_type;
    state.output_format.bit_depth = c.bit_depth;
    Bytes buffer(24, kCanary);
    uint8_t* out = c.buffer ? buffer.data() : nullptr;
    uint32_t width = 0, height = 0;
    EXPECT_EQ(decode_with_state(&out, &width, &height, &state, file.data(), file.size()), c.code) << c.what;
    if (c.code == 56) {
      EXPECT_EQ(buffer, Bytes(24, kCanary)) << c.what;
      EXPECT_EQ(state.last_error, 0u) << c.what << ": 56 is returned, not stored";
    } else {
      ASSERT_NE(out, nullptr) << c.what;
      EXPECT_EQ(Bytes(out, out + c.expected.size()), c.expected) << c.what;
    }
    if (c.convert == 0) {
      EXPECT_EQ(state.output_format.colour_type, 0u) << c.what;
      EXPECT_EQ(state.output_format.bit_depth, 8u) << c.what;
    }
    if (!c.buffer) std::free(out);
    state_release(&state);
  }
}

}  // namespace
