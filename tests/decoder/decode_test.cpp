// The chunk walk and the whole decode: which file gets which code under which options, what
// the walk keeps, and what the caller's buffer holds afterwards.
#include <gtest/gtest.h>

#include <cstdlib>

#include "decoder/decode_reference.h"
#include "decoder/decoder.h"
#include "pixels/pixel_format.h"
#include "tests/support/png_builder.h"

namespace {

using namespace velapng;
using testpng::Bytes;
using testpng::chunk;
using testpng::concat;

constexpr uint8_t kCanary = 0xC5;

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

// Options that differ from the defaults, as bits: skip CRC checks, allow unknown critical
// chunks, allow a missing end, pass text over, keep unknown chunks, no zlib hook.
enum Option : uint32_t { kSkipCrc = 1, kCritical = 2, kNoEnd = 4, kNoText = 8, kKeepUnknown = 16, kNoHook = 32 };

// Runs the chunk stream with conversion off, letting it allocate the output, and returns the
// code; *pixels gets the block's first kPixels.size() bytes, *keep the state, to be released.
// A failure allocates nothing.
uint32_t run(const Bytes& file, uint32_t options = 0, Bytes* pixels = nullptr, VelaPNGState* keep = nullptr) {
  VelaPNGState local;
  VelaPNGState* state = keep ? keep : &local;
  state_init(state);
  state->decoder.skip_crc_check = (options & kSkipCrc) != 0;
  state->decoder.allow_unknown_critical = (options & kCritical) != 0;
  state->decoder.allow_missing_end = (options & kNoEnd) != 0;
  state->decoder.keep_text_chunks = (options & kNoText) == 0;
  state->decoder.keep_unknown_chunks = (options & kKeepUnknown) != 0;
  if (options & kNoHook) state->decoder.inflate.zlib_hook = nullptr;
  uint8_t* out = nullptr;
  uint32_t width = 0, height = 0;
  decode_chunk_stream(&out, &width, &height, state, file.data(), file.size());
  const uint32_t code = state->last_error;
  if (code != 0) {
    EXPECT_EQ(out, nullptr);
  }
  if (out != nullptr && pixels != nullptr) pixels->assign(out, out + kPixels.size());
  std::free(out);
  if (keep == nullptr) state_release(state);
  return code;
}

// Each file is the header, `before`, one IDAT of the image and `after`.
TEST(ChunkStream, WalkOutcomes) {
  const Bytes data = idat(), cut(data.begin(), data.begin() + 14);
  const Bytes length_above_max = {0x80, 0, 0, 0, 'a', 'b', 'c', 'd', 0, 0, 0, 0, 0, 0, 0, 0};
  const Bytes length_max = {0x7F, 0xFF, 0xFF, 0xFF, 'a', 'b', 'c', 'd', 0, 0, 0, 0, 0, 0, 0, 0};
  const Bytes no_keyword = chunk("tEXt", {0, 'x'}), unknown_critical = chunk("ABCD", {1});
  const Bytes ztxt = concat({{'k', 0, 0}, testpng::zlib_compress({'x'})});
  const struct {
    const char* what;
    Bytes before, after;
    uint32_t options;
    uint32_t code;
  } cases[] = {
      {"plain file", {}, iend(), 0, 0},
      {"an empty IDAT first", chunk("IDAT", {}), iend(), 0, 0},
      {"bytes and a broken chunk after IEND", {}, concat({iend(), with_bad_crc(chunk("IDAT", {1})), {1, 2}}), 0, 0},
      {"IEND with a payload", {}, chunk("IEND", {1, 2, 3}), 0, 0},
      {"no IEND allowed", {}, {}, kNoEnd, 0},
      {"eleven stray bytes", {}, Bytes(11, 0), 0, 30},
      {"length 0x80000000", {}, length_above_max, 0, 63},
      {"length 0x80000000 allowed", {}, length_above_max, kNoEnd, 0},
      {"length 0x7FFFFFFF", {}, length_max, 0, 64},
      {"last chunk cut short", {}, cut, 0, 64},
      {"last chunk cut short allowed", {}, cut, kNoEnd, 64},
      {"no hook", {}, iend(), kNoHook, 87},
      {"second IHDR", chunk("IHDR", Bytes(13, 1)), iend(), 0, 69},
      {"unknown critical", unknown_critical, iend(), 0, 69},
      {"unknown critical allowed", unknown_critical, iend(), kCritical, 0},
      {"unknown ancillary with bad CRC", with_bad_crc(chunk("prVt", {1})), iend(), 0, 0},
      {"bad CRC on IEND", {}, with_bad_crc(iend()), 0, 57},
      {"bad CRC on IEND skipped", {}, with_bad_crc(iend()), kSkipCrc, 0},
      {"text read when kept", no_keyword, iend(), 0, 89},
      {"text passed over when not kept", no_keyword, iend(), kNoText, 0},
      {"bad CRC on a text chunk passed over", with_bad_crc(chunk("tEXt", {'a'})), iend(), kNoText, 57},
      // The reader's own code wins: the CRC of a chunk its reader refused is never checked.
      {"reader refuses before CRC", with_bad_crc(chunk("gAMA", {1, 2, 3})), iend(), 0, 96},
      // So a damaged text is inflated before its CRC is looked at; a sound one fails on it.
      {"zTXt inflated before CRC", with_bad_crc(chunk("zTXt", {'k', 0, 0, 1, 2, 3})), iend(), 0, 20},
      {"zTXt CRC after reading", with_bad_crc(chunk("zTXt", ztxt)), iend(), 0, 57},
      // Chunks of the format that have no reader here are passed over like private ones.
      {"eXIf with bad CRC", with_bad_crc(chunk("eXIf", {'M', 'M', 0, 42, 0, 0, 0, 8})), iend(), 0, 0},
      {"sBIT with bad CRC", with_bad_crc(chunk("sBIT", {8})), iend(), 0, 0},
      {"hIST with bad CRC", with_bad_crc(chunk("hIST", {0, 1})), iend(), 0, 0},
  };
  for (const auto& c : cases) {
    Bytes pixels;
    EXPECT_EQ(run(concat({header(), c.before, idat(), c.after}), c.options, &pixels), c.code) << c.what;
    if (c.code == 0) {
      EXPECT_EQ(pixels, kPixels) << c.what;
    }
  }
  // The inflated data must be exactly as long as the header predicts.
  EXPECT_EQ(run(concat({header(), idat(Bytes(kScanlines.size() - 1, 0)), iend()})), 91u);
  EXPECT_EQ(run(concat({header(), idat(Bytes(kScanlines.size() + 1, 0)), iend()})), 91u);
  EXPECT_EQ(run(concat({header(), with_bad_crc(idat()), iend()})), 57u);
  EXPECT_EQ(run(concat({header(), iend()})), 20u);                      // no image data
  EXPECT_EQ(run(testpng::header(0xFFFFFFFF, 0xFFFFFFFF, 16, 6)), 92u);  // sizes beyond 64 bits, before any chunk
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
    ASSERT_EQ(run(file, keep ? kKeepUnknown : 0u, nullptr, &state), 0u);
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

// Requested formats, and with conversion off the file's own format, into the caller's
// buffer or, without one, into a block the decode allocates and hands back. The file's
// format is copied into the requested one, palette and all, in a block of its own.
TEST(DecodeWithState, RequestedFormats) {
  const Bytes grey = testpng::png(3, 1, 8, 0, {0, 7, 8, 9});
  const Bytes palette = testpng::png(3, 1, 8, 3, {0, 1, 0, 1}, {chunk("PLTE", {1, 2, 3, 4, 5, 6})});
  const struct {
    const char* what;
    const Bytes& file;
    uint32_t convert, colour_type, bit_depth;
    bool buffer;
    uint32_t code;
    Bytes expected;
  } cases[] = {
      {"grey 16 refused", grey, 1, 0, 16, true, 56, {}},
      {"RGB 4 refused by the conversion", grey, 1, 2, 4, true, 56, {}},
      {"grey 8", grey, 1, 0, 8, true, 0, {7, 8, 9}},
      {"RGB 16", grey, 1, 2, 16, true, 0, {7, 7, 7, 7, 7, 7, 8, 8, 8, 8, 8, 8, 9, 9, 9, 9, 9, 9}},
      {"file's format", grey, 0, 6, 16, true, 0, {7, 8, 9}},
      {"file's format, new block", grey, 0, 6, 16, false, 0, {7, 8, 9}},
      {"file's palette", palette, 0, 6, 8, false, 0, {1, 0, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    VelaPNGState state;
    state_init(&state);
    state.decoder.convert_colour = c.convert;
    state.output_format.colour_type = c.colour_type;
    state.output_format.bit_depth = c.bit_depth;
    if (c.convert == 0) {  // a palette of the caller's, to be replaced by the file's
      state.output_format.palette = static_cast<uint8_t*>(std::calloc(4, 1));
      state.output_format.palette_size = 1;
    }
    Bytes buffer(24, kCanary);
    uint8_t* out = c.buffer ? buffer.data() : nullptr;
    uint32_t width = 0, height = 0;
    EXPECT_EQ(decode_with_state(&out, &width, &height, &state, c.file.data(), c.file.size()), c.code);
    if (c.code == 56) {
      EXPECT_EQ(buffer, Bytes(24, kCanary));
      EXPECT_EQ(state.last_error, 0u) << "56 is returned, not stored";
    } else {
      ASSERT_NE(out, nullptr);
      EXPECT_EQ(Bytes(out, out + c.expected.size()), c.expected);
    }
    const VelaPNGPixelFormat& file = state.image_info.pixel_format;
    if (c.convert == 0) {
      EXPECT_TRUE(pixel_format_equal(&state.output_format, &file));
      EXPECT_TRUE(file.palette ? state.output_format.palette != file.palette : state.output_format.palette == nullptr);
      if (file.palette != nullptr) state.output_format.palette[255 * 4 + 3] = 1;  // room for 256 entries (ASan)
    }
    if (!c.buffer) std::free(out);
    state_release(&state);
  }
}

}  // namespace
