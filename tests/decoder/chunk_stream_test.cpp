#include <gtest/gtest.h>

#include <cstdlib>

#include "decoder/decoder.h"
#include "tests/support/png_builder.h"

namespace {

using namespace velapng;
using testpng::Bytes;
using testpng::chunk;
using testpng::concat;

// A 3 x 2 grey 8-bit image: its scanlines (filter 0), and the block the chunk stream
// allocates for it: the packed pixels, zero-filled to a whole 4-byte unit.
const Bytes kScanlines = {0, 10, 20, 30, 0, 40, 50, 60};
const Bytes kPixels = {10, 20, 30, 40, 50, 60, 0, 0};

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
  bool no_hook = false;
};

struct Result {
  uint32_t code;
  Bytes pixels;  // the first `expected_size` bytes of the output, when decoding succeeded
};

// Runs the chunk stream with conversion off, letting it allocate the output. A failure
// leaves nothing allocated.
Result run(const Bytes& file, const Options& options = {}, VelaPNGState* keep_state = nullptr,
           size_t expected_size = kPixels.size()) {
  VelaPNGState local;
  VelaPNGState& state = keep_state ? *keep_state : local;
  state_init(&state);
  state.decoder.skip_crc_check = options.skip_crc;
  state.decoder.allow_unknown_critical = options.allow_unknown_critical;
  state.decoder.allow_missing_end = options.allow_missing_end;
  state.decoder.keep_text_chunks = options.keep_text;
  state.decoder.keep_unknown_chunks = options.keep_unknown;
  if (options.no_hook) state.decoder.inflate.zlib_hook = nullptr;
  uint8_t* out = nullptr;
  uint32_t width = 0, height = 0;
  decode_chunk_stream(&out, &width, &height, &state, file.data(), file.size());
  Result result{state.last_error, {}};
  if (result.code == 0) {
    result.pixels.assign(out, out + expected_size);
  } else {
    EXPECT_EQ(out, nullptr);
  }
  std::free(out);
  if (keep_state == nullptr) state_release(&state);
  return result;
}

TEST(ChunkStream, WalkOutcomes) {
  const Bytes data = idat();
  const Bytes first_half(data.begin(), data.begin() + 14);
  const Bytes length_above_max = {0x80, 0, 0, 0, 'a', 'b', 'c', 'd', 0, 0, 0, 0, 0, 0, 0, 0};
  const Bytes length_max = {0x7F, 0xFF, 0xFF, 0xFF, 'a', 'b', 'c', 'd', 0, 0, 0, 0, 0, 0, 0, 0};
  const Bytes no_keyword = chunk("tEXt", {0, 'x'});
  const struct {
    const char* what;
    Bytes file;
    Options options;
    uint32_t code;
  } cases[] = {
      {"plain file", concat({header(), data, iend()}), {}, 0},
      {"bytes and a broken chunk after IEND",
       concat({header(), data, iend(), with_bad_crc(chunk("IDAT", {1})), {1, 2}}),
       {},
       0},
      {"IEND with a payload", concat({header(), data, chunk("IEND", {1, 2, 3})}), {}, 0},
      {"no IEND allowed", concat({header(), data}), {.allow_missing_end = 1}, 0},
      {"eleven stray bytes", concat({header(), data, Bytes(11, 0)}), {}, 30},
      {"length 0x80000000", concat({header(), data, length_above_max}), {}, 63},
      {"length 0x80000000 allowed", concat({header(), data, length_above_max}), {.allow_missing_end = 1}, 0},
      {"length 0x7FFFFFFF", concat({header(), data, length_max}), {}, 64},
      {"last chunk cut short", concat({header(), data, first_half}), {}, 64},
      {"last chunk cut short allowed", concat({header(), data, first_half}), {.allow_missing_end = 1}, 64},
      {"no IDAT", concat({header(), iend()}), {}, 20},
      {"no hook", concat({header(), data, iend()}), {.no_hook = true}, 87},
      {"sizes beyond 64 bits, before any chunk", testpng::header(0xFFFFFFFF, 0xFFFFFFFF, 16, 6), {}, 92},
      {"second IHDR", concat({header(), chunk("IHDR", testpng::ihdr_data(3, 2, 8, 0)), data, iend()}), {}, 69},
      {"unknown critical", concat({header(), chunk("ABCD", {1}), data, iend()}), {}, 69},
      {"unknown critical allowed",
       concat({header(), chunk("ABCD", {1}), data, iend()}),
       {.allow_unknown_critical = 1},
       0},
      {"unknown ancillary with bad CRC", concat({header(), with_bad_crc(chunk("prVt", {1})), data, iend()}), {}, 0},
      {"bad CRC on IDAT", concat({header(), with_bad_crc(data), iend()}), {}, 57},
      {"bad CRC on IEND", concat({header(), data, with_bad_crc(iend())}), {}, 57},
      {"bad CRC on IEND skipped", concat({header(), data, with_bad_crc(iend())}), {.skip_crc = 1}, 0},
      {"bad CRC on header skipped",
       [&] {
         Bytes f = concat({header(), data, iend()});
         f[30] ^= 1;
         return f;
       }(),
       {.skip_crc = 1},
       0},
      {"text read when kept", concat({header(), no_keyword, data, iend()}), {}, 89},
      {"text passed over when not kept", concat({header(), no_keyword, data, iend()}), {.keep_text = 0}, 0},
      {"bad CRC on a text chunk passed over",
       concat({header(), with_bad_crc(chunk("tEXt", {'a'})), data, iend()}),
       {.keep_text = 0},
       57},
      // The reader's own code wins: the CRC of a chunk its reader refused is never checked.
      {"reader refuses before CRC", concat({header(), with_bad_crc(chunk("gAMA", {1, 2, 3})), data, iend()}), {}, 96},
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
  for (const uint8_t byte : stream) {
    const Bytes split = concat({chunk("IDAT", {}), chunk("IDAT", {byte})});
    file.insert(file.end(), split.begin(), split.end());
  }
  const Result r = run(concat({file, iend()}));
  ASSERT_EQ(r.code, 0u);
  EXPECT_EQ(r.pixels, kPixels);
}

// Rows of 3 bits pack without padding and the block is rounded up to whole 4-byte units.
TEST(ChunkStream, SubByteRowsArePackedIntoAZeroFilledBlock) {
  const Result r = run(testpng::png(3, 3, 1, 0, {0, 0xE0, 0, 0x00, 0, 0xA0}), {}, nullptr, 4);
  ASSERT_EQ(r.code, 0u);
  EXPECT_EQ(r.pixels, (Bytes{0xE2, 0x80, 0, 0}));  // 111 000 101, then zeros
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
      {"1x1 RGBA Adam7: passes 2 to 7 empty", 1, 1, 1, 6, 5},
      {"3x2 grey", 0, 3, 2, 0, 8},
      // Adam7 3 x 2: pass 1 (1x1), pass 4 (1x1, column 2), pass 6 (1x1, column 1), pass 7 (3x1).
      {"3x2 grey Adam7", 1, 3, 2, 0, 2 + 2 + 2 + 4},
  };
  for (const auto& c : cases) {
    for (const int64_t delta : {-1, 0, 1}) {
      const Bytes scanlines(static_cast<size_t>(static_cast<int64_t>(c.expected) + delta), 0);
      const Bytes file = concat({testpng::header(c.width, c.height, 8, c.colour_type, c.interlace),
                                 chunk("IDAT", testpng::zlib_compress(scanlines)), iend()});
      EXPECT_EQ(run(file, {}, nullptr, 4).code, delta == 0 ? 0u : 91u) << c.what << " delta " << delta;
    }
  }
}

// Unknown chunks are kept whole by position, only when asked; a palette met after image
// data moves the position back to "after the palette" and replaces the first one.
TEST(ChunkStream, UnknownChunksAreKeptWholeByPosition) {
  const Bytes before = chunk("prVa", {1}), between = chunk("prVb", {2, 2}), after = chunk("prVc", {3, 3, 3});
  const Bytes late = chunk("prVd", {});
  const Bytes file = concat({testpng::header(3, 2, 8, 3), before, chunk("PLTE", Bytes(12 * 3, 7)), between,
                             idat({0, 0, 1, 2, 0, 3, 4, 5}), after, chunk("PLTE", Bytes(6 * 3, 8)), late, iend()});
  const Bytes expected[3] = {before, concat({between, late}), after};
  for (const uint32_t keep : {0u, 1u}) {
    VelaPNGState state;
    ASSERT_EQ(run(file, {.keep_unknown = keep}, &state).code, 0u);
    const VelaPNGImageInfo& info = state.image_info;
    for (int slot = 0; slot < 3; ++slot) {
      const uint8_t* data = info.unknown_chunk_data[slot];
      EXPECT_EQ(data ? Bytes(data, data + info.unknown_chunk_size[slot]) : Bytes(), keep ? expected[slot] : Bytes())
          << "slot " << slot << " keep " << keep;
    }
    EXPECT_EQ(info.pixel_format.palette_size, 6u);
    EXPECT_EQ(info.pixel_format.palette[0], 8);
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

}  // namespace
