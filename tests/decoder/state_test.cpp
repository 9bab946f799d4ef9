#include <gtest/gtest.h>
#include <libdeflate.h>

#include <cstdlib>
#include <cstring>

#include "decoder/decoder.h"

namespace {

using namespace velapng;

uint8_t* palette_of(std::initializer_list<uint8_t> bytes) {
  auto* palette = static_cast<uint8_t*>(std::malloc(bytes.size()));
  std::memcpy(palette, bytes.begin(), bytes.size());
  return palette;
}

// The defaults every decode starts from: a full check of the file, text kept, unknown
// chunks dropped, conversion on, and nothing inspected or decoded yet.
TEST(State, InitialisesTheDecodeDefaults) {
  VelaPNGState state;
  state.last_error = 0;
  state.header_checked = 5;
  state_init(&state);
  const VelaPNGDecodeOptions& d = state.decoder;
  const uint32_t values[] = {d.skip_crc_check,   d.allow_unknown_critical, d.allow_missing_end, d.convert_colour,
                             d.keep_text_chunks, d.keep_unknown_chunks,    state.last_error,    state.header_checked};
  const uint32_t expected[] = {0, 0, 0, 1, 1, 0, 1, 0};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(values[i], expected[i]) << "value " << i;
  state_release(&state);
}

// A state whose handle allocations failed is released without touching libdeflate, and a
// second release frees nothing twice (the sanitizer build reports any double free).
TEST(State, ReleaseSkipsMissingHandlesAndIsIdempotent) {
  VelaPNGState state;
  state_init(&state);
  libdeflate_free_decompressor(state.decoder.inflate.decompressor);
  state.decoder.inflate.decompressor = nullptr;  // as if its allocation had failed
  state.image_info.pixel_format.palette = palette_of({1, 2, 3, 4});
  state.image_info.pixel_format.palette_size = 1;
  ASSERT_EQ(image_info_add_itext(&state.image_info, "k", "en", "Key", "value"), 0u);
  state_release(&state);
  EXPECT_EQ(state.image_info.pixel_format.palette, nullptr);
  EXPECT_EQ(state.image_info.itext_count, 0u);
  state_release(&state);
}

// The copy owns a palette block of its own with room for 256 entries; without a source
// palette the target loses its own.
TEST(PixelFormatCopy, GivesTheTargetAPaletteOfItsOwn) {
  VelaPNGPixelFormat source{3, 8, palette_of({1, 2, 3, 255, 4, 5, 6, 128, 7, 8, 9, 0}), 3, 1, 10, 20, 30};
  VelaPNGPixelFormat target{0, 16, palette_of({9, 9, 9, 9}), 1};
  ASSERT_EQ(pixel_format_copy(&target, &source), 0u);
  ASSERT_NE(target.palette, source.palette);
  EXPECT_EQ(std::memcmp(target.palette, source.palette, 12), 0);
  EXPECT_EQ(target.colour_type, 3u);
  EXPECT_EQ(target.bit_depth, 8u);
  EXPECT_EQ(target.palette_size, 3u);
  EXPECT_EQ(target.colour_key_blue, 30u);
  pixel_format_release(&source);
  EXPECT_EQ(target.palette[4], 4);
  target.palette[255 * 4 + 3] = 1;  // room for 256 entries (ASan checks the block's size)
  const VelaPNGPixelFormat rgb{2, 8};
  ASSERT_EQ(pixel_format_copy(&target, &rgb), 0u);
  EXPECT_EQ(target.palette, nullptr);
  EXPECT_EQ(target.palette_size, 0u);
  EXPECT_EQ(target.colour_type, 2u);
}

TEST(PixelFormatEqual, ComparesKeysOnlyWhenDefinedAndPalettesByContent) {
  uint8_t palette_a[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  uint8_t palette_b[8] = {1, 2, 3, 4, 5, 6, 7, 9};
  const struct {
    const char* what;
    VelaPNGPixelFormat a, b;
    bool equal;
  } cases[] = {
      {"identical defaults", {}, {}, true},
      {"colour type", {2, 8}, {6, 8}, false},
      {"bit depth", {2, 8}, {2, 16}, false},
      {"keys differ, none defined", {0, 8, nullptr, 0, 0, 1, 1, 1}, {0, 8, nullptr, 0, 0, 2, 2, 2}, true},
      {"keys differ, both defined", {0, 8, nullptr, 0, 1, 1, 1, 1}, {0, 8, nullptr, 0, 1, 2, 1, 1}, false},
      {"blue key differs", {2, 8, nullptr, 0, 1, 1, 1, 1}, {2, 8, nullptr, 0, 1, 1, 1, 2}, false},
      {"same keys defined", {2, 8, nullptr, 0, 1, 5, 6, 7}, {2, 8, nullptr, 0, 1, 5, 6, 7}, true},
      {"key defined on one side", {2, 8, nullptr, 0, 1}, {2, 8, nullptr, 0, 0}, false},
      {"palette sizes", {3, 8, palette_a, 2}, {3, 8, palette_a, 1}, false},
      {"palette contents", {3, 8, palette_a, 2}, {3, 8, palette_b, 2}, false},
      {"palette beyond size ignored", {3, 8, palette_a, 1}, {3, 8, palette_b, 1}, true},
      {"palette only on one side but size 0", {6, 8, palette_a, 0}, {6, 8, nullptr, 0}, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(pixel_format_equal(&c.a, &c.b), c.equal) << c.what;
    EXPECT_EQ(pixel_format_equal(&c.b, &c.a), c.equal) << c.what << " (swapped)";
  }
}

}  // namespace
