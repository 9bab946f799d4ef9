#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "decoder/decoder.h"
#include "tests/support/png_builder.h"

namespace {

using namespace velapng;
using testpng::Bytes;
using testpng::chunk;
using testpng::concat;

// A 3 x 2 grey 8-bit image: its scanlines (filter 0) and packed pixels.
const Bytes kPixels = {10, 20, 30, 40, 50, 60};
const Bytes kScanlines = {0, 10, 20, 30, 0, 40, 50, 60};

Bytes header() { return testpng::header(3, 2, 8, 0); }
Bytes idat(const Bytes& scanlines = kScanlines) { return chunk("IDAT", testpng::zlib_compress(scanlines)); }
Bytes iend() { return chunk("IEND", {}); }

Bytes with_bad_crc(Bytes c) {
  c.back() ^= 0x01;
  return c;
}

struct Options {
  uint32_t skip_crc = 0;
  uint32_t allow_unknown_critical = 0;
  uint32_t allow_missing_end = 0;
  uint32_t keep_text = 1;
  uint32_t keep_unknown = 0;
};

struct Result {
  uint32_t code;
  Bytes pixels;  // the packed image in the file's format, when decoding succeeded
};

// Runs the chunk stream with conversion off, letting it allocate the output.
Result run(const Bytes& file, const Options& options = {}, VelaPNGState* keep_state = nullptr) {
  VelaPNGState local;
  VelaPNGState& state = keep_state ? *keep_state : local;
  state_init(&state);
  state.decoder.skip_crc_check = options.skip_crc;
  state.decoder.allow_unknown_critical = options.allow_unknown_critical;
  state.decoder.allow_missing_end = options.allow_missing_end;
  state.decoder.keep_text_chunks = options.keep_text;
  state.decoder.keep_unknown_chunks = options.keep_unknown;
  uint8_t* out = nullptr;
  uint32_t width = 0, height = 0;
  decode_chunk_stream(&out, &width, &height, &state, file.data(), file.size());
  Result result{state.last_error, {}};
  if (result.code == 0) result.pixels.assign(out, out + width * height);
  std::free(out);
  if (keep_state == nullptr) state_release(&state);
  return result;
}

TEST(ChunkStream, WalkOutcomes) {
  const Bytes data = idat();
  const Bytes first_half(data.begin(), data.begin() + 14);
  const struct {
    const char* what;
    Bytes file;
    Options options;
    uint32_t code;
  } cases[] = {
      {"plain file", concat({header(), data, iend()}), {}, 0},
      {"bytes after IEND", concat({header(), data, iend(), Bytes(100, 0xFF), Bytes{1, 2, 3}}), {}, 0},
      {"a broken chunk after IEND", concat({header(), data, iend(), with_bad_crc(chunk("IDAT", {1}))}), {}, 0},
      {"no IEND", concat({header(), data}), {}, 30},
      {"no IEND allowed", concat({header(), data}), {.allow_missing_end = 1}, 0},
      {"eleven stray bytes", concat({header(), data, Bytes(11, 0)}), {}, 30},
      {"length 0x80000000", concat({header(), data, Bytes{0x80, 0, 0, 0, 'a', 'b', 'c', 'd'}, Bytes(8, 0)}), {}, 63},
      {"length 0x80000000 allowed",
       concat({header(), data, Bytes{0x80, 0, 0, 0, 'a', 'b', 'c', 'd'}, Bytes(8, 0)}), {.allow_missing_end = 1}, 0},
      {"last chunk cut short", concat({header(), data, Bytes(first_half)}), {}, 64},
      {"last chunk cut short allowed", concat({header(), data, Bytes(first_half)}), {.allow_missing_end = 1}, 64},
      {"no IDAT", concat({header(), iend()}), {}, 20},
      {"second IHDR", concat({header(), chunk("IHDR", testpng::ihdr_data(3, 2, 8, 0)), data, iend()}), {}, 69},
      {"unknown critical", concat({header(), chunk("ABCD", {1}), data, iend()}), {}, 69},
      {"unknown critical allowed", concat({header(), chunk("ABCD", {1}), data, iend()}), {.allow_unknown_critical = 1}, 0},
      {"unknown ancillary with bad CRC", concat({header(), with_bad_crc(chunk("prVt", {1})), data, iend()}), {}, 0},
      {"bad CRC on IDAT", concat({header(), with_bad_crc(data), iend()}), {}, 57},
      {"bad CRC on IEND", concat({header(), data, with_bad_crc(iend())}), {}, 57},
      {"bad CRC on IEND skipped", concat({header(), data, with_bad_crc(iend())}), {.skip_crc = 1}, 0},
      {"bad CRC on skipped tEXt", concat({header(), with_bad_crc(chunk("tEXt", testpng::text_bytes("a"))), data, iend()}),
       {.keep_text = 0}, 57},
      {"bad CRC on header skipped", [&] { Bytes f = concat({header(), data, iend()}); f[30] ^= 1; return f; }(),
       {.skip_crc = 1}, 0},
      // The reader's own code wins: the CRC of a chunk its reader refused is never checked.
      {"reader refuses before CRC", concat({header(), with_bad_crc(chunk("gAMA", {1, 2, 3})), data, iend()}), {}, 96},
      {"IEND with a payload", concat({header(), data, chunk("IEND", {1, 2, 3})}), {}, 0},
  };
  for (const auto& c : cases) {
    const Result r = run(c.file, c.options);
    EXPECT_EQ(r.code, c.code) << c.what;
    if (c.code == 0 && r.code == 0) {
      EXPECT_EQ(r.pixels, kPixels) << c.what;
    }
  }
}

TEST(ChunkStream, SplitImageDataDecodesLikeOneChunk) {
  const Bytes stream = testpng::zlib_compress(kScanlines);
  Bytes file = header();
  for (size_t i = 0; i < stream.size(); ++i) {
    const Bytes split = concat({chunk("IDAT", {}), chunk("IDAT", Bytes{stream[i]})});
    file.insert(file.end(), split.begin(), split.end());
  }
  const Bytes end = iend();
  file.insert(file.end(), end.begin(), end.end());
  const Result r = run(file);
  ASSERT_EQ(r.code, 0u);
  EXPECT_EQ(r.pixels, kPixels);
}

// The inflated data must be exactly as long as the header predicts.
TEST(ChunkStream, InflatedSizeMustMatchExactly) {
  const struct {
    const char* what;
    uint8_t interlace;
    uint32_t width, height;
    uint8_t colour_type;
    uint64_t expected;  // one filter byte plus the row's bytes, per non-empty row of each pass
  } cases[] = {
      {"1x1 RGBA", 0, 1, 1, 6, 5},
      {"1x1 RGBA Adam7", 1, 1, 1, 6, 5},
      {"3x2 grey", 0, 3, 2, 0, 8},
      // Adam7 3 x 2: pass 1 (1x1), pass 4 (1x1, column 2), pass 6 (1x1, column 1), pass 7 (3x1).
      {"3x2 grey Adam7", 1, 3, 2, 0, 2 + 2 + 2 + 4},
  };
  for (const auto& c : cases) {
    for (const int64_t delta : {-1, 0, 1}) {
      const Bytes scanlines(static_cast<size_t>(static_cast<int64_t>(c.expected) + delta), 0);
      const Bytes file = concat({testpng::header(c.width, c.height, 8, c.colour_type, c.interlace),
                                 chunk("IDAT", testpng::zlib_compress(scanlines)), iend()});
      EXPECT_EQ(run(file).code, delta == 0 ? 0u : 91u) << c.what << " delta " << delta;
    }
  }
}

TEST(ChunkStream, SizesBeyondSixtyFourBitsAreRefusedBeforeAnyChunk) {
  // Nothing but the header: had the walk run, it would have reported the missing IEND.
  const Bytes file = testpng::header(0xFFFFFFFF, 0xFFFFFFFF, 16, 6);
  EXPECT_EQ(run(file).code, 92u);
}

TEST(ChunkStream, UnknownChunksAreKeptWholeByPosition) {
  const Bytes before = chunk("prVa", {1});
  const Bytes between = chunk("prVb", {2, 2});
  const Bytes after = chunk("prVc", {3, 3, 3});
  const Bytes after_too = chunk("prVd", {});
  const Bytes file = concat({testpng::header(3, 2, 8, 3), before, chunk("PLTE", Bytes(12 * 3, 7)), between,
                             idat({0, 0, 1, 2, 0, 3, 4, 5}), after, after_too, iend()});
  VelaPNGState state;
  ASSERT_EQ(run(file, {.keep_unknown = 1}, &state).code, 0u);
  const VelaPNGImageInfo& info = state.image_info;
  const Bytes expected[3] = {before, between, concat({after, after_too})};
  for (int slot = 0; slot < 3; ++slot) {
    ASSERT_EQ(info.unknown_chunk_size[slot], expected[slot].size()) << slot;
    EXPECT_EQ(Bytes(info.unknown_chunk_data[slot], info.unknown_chunk_data[slot] + info.unknown_chunk_size[slot]),
              expected[slot])
        << slot;
  }
  state_release(&state);
}

// A palette met after image data moves the position back to "after the palette".
TEST(ChunkStream, PaletteAfterImageDataResetsThePosition) {
  const Bytes late = chunk("prVz", {9});
  const Bytes file = concat({testpng::header(3, 2, 8, 3), chunk("PLTE", Bytes(6 * 3, 7)), idat({0, 0, 1, 2, 0, 3, 4, 5}),
                             chunk("PLTE", Bytes(6 * 3, 8)), late, iend()});
  VelaPNGState state;
  ASSERT_EQ(run(file, {.keep_unknown = 1}, &state).code, 0u);
  EXPECT_EQ(state.image_info.unknown_chunk_size[1], late.size());
  EXPECT_EQ(state.image_info.unknown_chunk_size[2], 0u);
  EXPECT_EQ(state.image_info.pixel_format.palette[0], 8);  // the later palette replaced the first
  state_release(&state);
}

TEST(ChunkStream, TextChunksAreReadOnlyWhenKept) {
  const Bytes file = concat({header(), chunk("tEXt", testpng::text_bytes(std::string("Title\0Hi", 8))), idat(), iend()});
  for (const uint32_t keep : {0u, 1u}) {
    VelaPNGState state;
    ASSERT_EQ(run(file, {.keep_text = keep}, &state).code, 0u);
    EXPECT_EQ(state.image_info.text_count, keep);
    state_release(&state);
  }
}

// With the header already inspected on this state, the caller's width and height are used
// as they stand; a failed earlier inspection stops the walk at once.
TEST(ChunkStream, APreviouslyInspectedHeaderIsTrusted) {
  const Bytes file = concat({header(), idat(), iend()});
  VelaPNGState state;
  state_init(&state);
  uint32_t width = 0, height = 0;
  ASSERT_EQ(inspect_header(&width, &height, &state, file.data(), file.size()), 0u);
  uint32_t wrong_width = 4;  // one row of 4 bytes does not fit the data: 91
  uint8_t* out = nullptr;
  decode_chunk_stream(&out, &wrong_width, &height, &state, file.data(), file.size());
  EXPECT_EQ(state.last_error, 91u);
  std::free(out);
  state.last_error = 57;
  out = nullptr;
  decode_chunk_stream(&out, &width, &height, &state, file.data(), file.size());
  EXPECT_EQ(state.last_error, 57u);
  EXPECT_EQ(out, nullptr);
  state_release(&state);
}

TEST(ChunkStream, NoHookIsReportedWithoutInflating) {
  const Bytes file = concat({header(), idat(), iend()});
  VelaPNGState state;
  state_init(&state);
  state.decoder.inflate.zlib_hook = nullptr;
  uint8_t* out = nullptr;
  uint32_t width = 0, height = 0;
  decode_chunk_stream(&out, &width, &height, &state, file.data(), file.size());
  EXPECT_EQ(state.last_error, 87u);
  EXPECT_EQ(out, nullptr);
  state_release(&state);
}

// The allocated output is zero-filled and rounded up to whole 4-byte units: a 3 x 3 1-bit
// image is 9 bits, two bytes, so one unit of four.
TEST(ChunkStream, AllocatedOutputIsZeroFilledInWholeUnits) {
  const Bytes file = testpng::png(3, 3, 1, 0, {0, 0xE0, 0, 0x00, 0, 0xA0});
  VelaPNGState state;
  state_init(&state);
  state.decoder.convert_colour = 0;
  uint8_t* out = nullptr;
  uint32_t width = 0, height = 0;
  decode_chunk_stream(&out, &width, &height, &state, file.data(), file.size());
  ASSERT_EQ(state.last_error, 0u);
  // Rows 111, 000, 101 packed: 1110 0010 1 -> 0xE2 0x80, then zeros to the end of the unit.
  EXPECT_EQ(out[0], 0xE2);
  EXPECT_EQ(out[1], 0x80);
  EXPECT_EQ(out[2], 0);
  EXPECT_EQ(out[3], 0);
  std::free(out);
  state_release(&state);
}

}  // namespace
