#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include <libdeflate.h>

#include "decoder/decoder.h"

namespace {

using namespace velapng;

uint8_t* palette_of(std::initializer_list<uint8_t> bytes) {
  auto* palette = static_cast<uint8_t*>(std::malloc(bytes.size()));
  std::memcpy(palette, bytes.begin(), bytes.size());
  return palette;
}

TEST(State, InitialisesTheDocumentedDefaults) {
  VelaPNGState state;
  state.last_error = 77;
  state.header_checked = 5;
  state_init(&state);
  EXPECT_EQ(state.last_error, 1u);
  EXPECT_EQ(state.header_checked, 0u);
  EXPECT_EQ(state.output_format.colour_type, 6u);
  EXPECT_EQ(state.output_format.bit_depth, 8u);
  EXPECT_EQ(state.output_format.palette, nullptr);
  EXPECT_EQ(state.output_format.colour_key_defined, 0u);
  const VelaPNGDecodeOptions& d = state.decoder;
  EXPECT_EQ(d.skip_crc_check, 0u);
  EXPECT_EQ(d.allow_unknown_critical, 0u);
  EXPECT_EQ(d.allow_missing_end, 0u);
  EXPECT_EQ(d.convert_colour, 1u);
  EXPECT_EQ(d.keep_text_chunks, 1u);
  EXPECT_EQ(d.keep_unknown_chunks, 0u);
  EXPECT_EQ(d.inflate.zlib_hook, &inflate_hook);
  EXPECT_NE(d.inflate.decompressor, nullptr);
  EXPECT_EQ(state.encoder.deflate.zlib_hook, &deflate_hook);
  EXPECT_NE(state.encoder.deflate.compressor, nullptr);
  const uint32_t tuning[6] = {2, 1, 2048, 3, 128, 1};
  EXPECT_EQ(std::memcmp(state.encoder.deflate.tuning_words, tuning, sizeof tuning), 0);
  EXPECT_EQ(state.image_info.pixel_format.colour_type, 6u);
  EXPECT_EQ(state.image_info.text_count, 0u);
  state_release(&state);
  EXPECT_EQ(state.decoder.inflate.decompressor, nullptr);
  EXPECT_EQ(state.encoder.deflate.compressor, nullptr);
  EXPECT_EQ(state.last_error, 1u);  // release does not reset results
}

// A state whose handle allocations failed is released without touching libdeflate, and a
// second release frees nothing twice (the sanitizer build reports any double free).
TEST(State, ReleaseSkipsMissingHandlesAndIsIdempotent) {
  VelaPNGState state;
  state_init(&state);
  libdeflate_free_decompressor(state.decoder.inflate.decompressor);
  state.decoder.inflate.decompressor = nullptr;  // as if its allocation had failed
  state_release(&state);
  EXPECT_EQ(state.decoder.inflate.decompressor, nullptr);
  EXPECT_EQ(state.encoder.deflate.compressor, nullptr);
  state_release(&state);
  EXPECT_EQ(state.output_format.palette, nullptr);
}

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
  pixel_format_release(&target);
  EXPECT_EQ(target.palette, nullptr);
  EXPECT_EQ(target.palette_size, 0u);
}

TEST(PixelFormatCopy, WithoutASourcePaletteTheTargetLosesItsOwn) {
  VelaPNGPixelFormat source{2, 8};
  VelaPNGPixelFormat target{3, 8, palette_of({1, 2, 3, 4}), 1};
  ASSERT_EQ(pixel_format_copy(&target, &source), 0u);
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

TEST(ImageInfo, TextEntriesAreCopiedInOrder) {
  VelaPNGImageInfo info;
  image_info_init(&info);
  char key[] = "Title";
  ASSERT_EQ(image_info_add_text(&info, key, "one"), 0u);
  ASSERT_EQ(image_info_add_text(&info, "Author", ""), 0u);
  ASSERT_EQ(image_info_add_itext(&info, "k", "en", "Key", "value"), 0u);
  key[0] = 'X';  // stored strings are copies
  ASSERT_EQ(info.text_count, 2u);
  EXPECT_STREQ(info.text_keys[0], "Title");
  EXPECT_STREQ(info.text_values[0], "one");
  EXPECT_STREQ(info.text_keys[1], "Author");
  EXPECT_STREQ(info.text_values[1], "");
  ASSERT_EQ(info.itext_count, 1u);
  EXPECT_STREQ(info.itext_languages[0], "en");
  EXPECT_STREQ(info.itext_translated_keys[0], "Key");
  EXPECT_STREQ(info.itext_values[0], "value");
  image_info_release(&info);
  image_info_init(&info);
  EXPECT_EQ(info.text_count, 0u);
  EXPECT_EQ(info.itext_keys, nullptr);
  image_info_release(&info);
}

// Everything the record can own goes with one release (LeakSanitizer checks the rest).
TEST(ImageInfo, ReleaseFreesEveryOwnedBlock) {
  VelaPNGImageInfo info;
  image_info_init(&info);
  info.pixel_format.palette = palette_of({1, 2, 3, 4});
  info.pixel_format.palette_size = 1;
  info.icc_profile_name = copy_string("sRGB");
  info.icc_profile = palette_of({1, 2, 3});
  info.icc_profile_size = 3;
  for (int i = 0; i < 3; ++i) {
    info.unknown_chunk_data[i] = palette_of({1});
    info.unknown_chunk_size[i] = 1;
  }
  ASSERT_EQ(image_info_add_text(&info, "a", "b"), 0u);
  image_info_release(&info);
  EXPECT_EQ(info.pixel_format.palette, nullptr);
  EXPECT_EQ(info.icc_profile_name, nullptr);
  EXPECT_EQ(info.icc_profile, nullptr);
  EXPECT_EQ(info.icc_profile_size, 0u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(info.unknown_chunk_data[i], nullptr);
}

}  // namespace
