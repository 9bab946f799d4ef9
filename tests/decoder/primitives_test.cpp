// What the decode is built from: chunk primitives, the growable buffer and the size guards,
// the records' defaults, comparison and release, and the zlib bridge.
#include <gtest/gtest.h>
#include <libdeflate.h>

#include <cstdlib>
#include <vector>

#include "decoder/chunk.h"
#include "decoder/decoder.h"
#include "decoder/image_info.h"
#include "decoder/inflate_stage.h"
#include "decoder/reader_support.h"
#include "pixels/pixel_format.h"
#include "tests/support/png_builder.h"

namespace {

using namespace velapng;
using testpng::Bytes;

// Chunk types compare as exactly four bytes, case and all; the next chunk after the
// signature is the header. A chunk that does not fit behind its size is refused with 77.
TEST(ChunkPrimitives, TypeNextAndAppend) {
  const Bytes file = testpng::concat({testpng::header(3, 3, 8, 0), testpng::chunk("zTXt", {'k', 0, 0, 'p', 'q'})});
  const uint8_t* chunk = file.data() + 33;
  EXPECT_TRUE(chunk_type_is(chunk, "zTXt"));
  for (const char* other : {"ZTXT", "ztxt", "zTXT", "zTX", "zTXtX", ""}) EXPECT_FALSE(chunk_type_is(chunk, other));
  EXPECT_EQ(chunk_next(file.data()), file.data() + 8);
  EXPECT_EQ(chunk_next(file.data() + 8), chunk);
  uint8_t* buffer = nullptr;
  uint64_t size = UINT64_MAX - 16;  // one byte short of room for the 17-byte chunk
  EXPECT_EQ(append_unknown_chunk(&buffer, &size, chunk), 77u);
  EXPECT_EQ(buffer, nullptr);
  EXPECT_EQ(size, UINT64_MAX - 16);
}

// The growth rule: a target of the new size when it is more than twice the capacity, else
// 3/2 of it (exactly twice included); the capacity becomes ten times the target. A failed
// growth changes nothing.
TEST(ByteBufferResize, TenfoldGrowthAndFailureWithoutChange) {
  const struct {
    uint64_t new_size;
    uint64_t capacity_after;
  } steps[] = {{4, 40}, {80, 1200}, {500, 1200}, {2, 1200}, {1201, 18010}, {36021, 360210}};
  ByteBuffer buffer;
  for (const auto& step : steps) {
    ASSERT_TRUE(byte_buffer_resize(&buffer, step.new_size));
    EXPECT_EQ(buffer.size, step.new_size);
    EXPECT_EQ(buffer.capacity, step.capacity_after) << "after resizing to " << step.new_size;
  }
  buffer.data[buffer.capacity - 1] = 1;  // the whole capacity is really there
  uint8_t* const data = buffer.data;
  EXPECT_FALSE(byte_buffer_resize(&buffer, UINT64_MAX / 4));
  EXPECT_EQ(buffer.data, data);
  EXPECT_EQ(buffer.size, 36021u);
  EXPECT_EQ(buffer.capacity, 360210u);
  byte_buffer_release(&buffer);
  // Nor can a text get its terminating zero then: 83, and the text as it was.
  uint8_t byte = 'x';
  ByteBuffer text{&byte, UINT64_MAX / 8, UINT64_MAX / 8};
  EXPECT_EQ(terminate_text(&text), 83u);
  EXPECT_EQ(text.data, &byte);
  EXPECT_EQ(text.size, UINT64_MAX / 8);
  EXPECT_EQ(byte, 'x');
}

TEST(RawSizeOverflows, FlagsSizesBeyondSixtyFourBits) {
  const VelaPNGPixelFormat rgba16{6, 16}, rgba8{6, 8}, grey1{0, 1};
  const struct {
    uint32_t width, height;
    const VelaPNGPixelFormat* file;
    bool expected;
  } cases[] = {
      {0xFFFFFFFF, 0xFFFFFFFF, &rgba16, true},  // n * 8 alone exceeds 2^64
      {1, 1, &grey1, false},
      {0xFFFFFFFF, 0xFFFFFFFF, &grey1, true},   // n = 2^64 - 2^33 + 1, n * 8 overflows
      {0xFFFFFFFF, 0x1FFFFFFF, &grey1, false},  // n * 8 just fits; height * (line + 5) fits
      {0x20000000, 0xFFFFFFFF, &rgba16, true},  // n * 8 and height * line fit, height * (line + 5) does not
      {100000, 100000, &rgba16, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(raw_size_overflows(c.width, c.height, c.file, &rgba8), c.expected) << c.width << " x " << c.height;
  EXPECT_EQ(bits_per_pixel(5, 8), 0u);  // an unknown colour type
}

// The defaults every decode starts from: a full check of the file, text kept, unknown
// chunks dropped, conversion on, and nothing inspected or decoded yet. A state whose
// decompressor could not be allocated is released without touching libdeflate, and a second
// release frees nothing twice (the sanitizer build reports any double free).
TEST(State, DefaultsAndRelease) {
  VelaPNGState state;
  state.last_error = 0;
  state.header_checked = 5;
  state_init(&state);
  const VelaPNGDecodeOptions& d = state.decoder;
  EXPECT_EQ((std::vector<uint32_t>{d.skip_crc_check, d.allow_unknown_critical, d.allow_missing_end, d.convert_colour,
                                   d.keep_text_chunks, d.keep_unknown_chunks, state.last_error, state.header_checked}),
            (std::vector<uint32_t>{0, 0, 0, 1, 1, 0, 1, 0}));
  libdeflate_free_decompressor(state.decoder.inflate.decompressor);
  state.decoder.inflate.decompressor = nullptr;
  state.image_info.pixel_format.palette = static_cast<uint8_t*>(std::calloc(4, 1));
  state.image_info.pixel_format.palette_size = 1;
  ASSERT_EQ(image_info_add_itext(&state.image_info, "k", "en", "Key", "value"), 0u);
  state_release(&state);
  EXPECT_EQ(state.image_info.pixel_format.palette, nullptr);
  EXPECT_EQ(state.image_info.itext_count, 0u);
  state_release(&state);
}

TEST(PixelFormatEqual, ComparesKeysOnlyWhenDefinedAndPalettesByContent) {
  uint8_t palette_a[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  uint8_t palette_b[8] = {1, 2, 3, 4, 5, 6, 7, 9};
  const struct {
    VelaPNGPixelFormat a, b;
    bool equal;
  } cases[] = {
      {{}, {}, true},
      {{2, 8}, {6, 8}, false},
      {{0, 8, nullptr, 0, 0, 1, 1, 1}, {0, 8, nullptr, 0, 0, 2, 2, 2}, true},  // keys differ, none defined
      {{0, 8, nullptr, 0, 1, 1, 1, 1}, {0, 8, nullptr, 0, 1, 2, 1, 1}, false},
      {{2, 8, nullptr, 0, 1, 1, 1, 1}, {2, 8, nullptr, 0, 1, 1, 2, 1}, false},
      {{2, 8, nullptr, 0, 1, 1, 1, 1}, {2, 8, nullptr, 0, 1, 1, 1, 2}, false},
      {{2, 8, nullptr, 0, 1, 5, 6, 7}, {2, 8, nullptr, 0, 1, 5, 6, 7}, true},
      {{2, 8, nullptr, 0, 1}, {2, 8, nullptr, 0, 0}, false},
      {{3, 8, palette_a, 2}, {3, 8, palette_a, 1}, false},
      {{3, 8, palette_a, 2}, {3, 8, palette_b, 2}, false},
      {{3, 8, palette_a, 1}, {3, 8, palette_b, 1}, true},  // entries beyond the size are ignored
      {{6, 8, palette_a, 0}, {6, 8, nullptr, 0}, true},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(pixel_format_equal(&cases[i].a, &cases[i].b), cases[i].equal) << "case " << i;
    EXPECT_EQ(pixel_format_equal(&cases[i].b, &cases[i].a), cases[i].equal) << "case " << i << " swapped";
  }
}

// The inflate hook without a decompressor (its allocation failed) must not reach libdeflate.
// The deflate hook, which nothing in the decoder calls, round-trips and reports no room as 52.
TEST(ZlibBridge, HooksAndTheirOwnCodes) {
  VelaPNGState state;
  state_init(&state);
  const Bytes payload = testpng::text_bytes("a payload, a payload, a payload of some length");
  Bytes compressed(100), inflated(payload.size());
  uint8_t *out = compressed.data(), *back = inflated.data();
  uint64_t size = 0, produced = 0;
  const VelaPNGDeflateOptions* deflate = &state.encoder.deflate;
  const VelaPNGInflateOptions* inflate = &state.decoder.inflate;
  ASSERT_EQ(deflate->zlib_hook(&out, &size, payload.data(), payload.size(), deflate, compressed.size()), 0u);
  ASSERT_EQ(inflate->zlib_hook(&back, &produced, out, size, inflate, inflated.size()), 0u);
  EXPECT_EQ(inflated, payload);
  EXPECT_EQ(produced, payload.size());
  EXPECT_EQ(deflate->zlib_hook(&out, &size, payload.data(), payload.size(), deflate, 4), 52u);
  libdeflate_free_decompressor(state.decoder.inflate.decompressor);
  state.decoder.inflate.decompressor = nullptr;
  EXPECT_EQ(inflate->zlib_hook(&back, &produced, out, size, inflate, inflated.size()), 83u);
  state_release(&state);
}

}  // namespace
