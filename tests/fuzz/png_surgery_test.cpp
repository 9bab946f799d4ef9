// The decode mutator's file surgery: repaired files must pass exactly the checks the
// repairs are for, and image data rewritten into one IDAT must decode to the same pixels.
#include <gtest/gtest.h>

#include <libdeflate.h>

#include <cstring>
#include <string>

#include "decoder/decoder.h"
#include "fuzz/png_surgery.h"
#include "tests/support/png_builder.h"

namespace {

using namespace velapng_fuzz;
using testpng::Bytes;
using testpng::chunk;
using testpng::concat;

// A 4 x 3 RGB 8-bit image with a distinct value in every byte, filter type 0.
Bytes scanlines() {
  Bytes raw;
  for (int row = 0; row < 3; ++row) {
    raw.push_back(0);
    for (int i = 0; i < 12; ++i) raw.push_back(static_cast<uint8_t>(row * 12 + i + 1));
  }
  return raw;
}

// The same image with its zlib stream cut into IDAT chunks at the given offsets, a text
// chunk between two of them and IEND.
Bytes split_file(const std::vector<size_t>& cuts) {
  const Bytes stream = testpng::zlib_compress(scanlines());
  Bytes file = testpng::header(4, 3, 8, 2);
  size_t from = 0;
  for (size_t i = 0; i <= cuts.size(); ++i) {
    const size_t to = i < cuts.size() ? cuts[i] : stream.size();
    const Bytes idat = chunk("IDAT", Bytes(stream.begin() + static_cast<long>(from), stream.begin() + static_cast<long>(to)));
    file.insert(file.end(), idat.begin(), idat.end());
    if (i == 0) {
      const Bytes text = chunk("tEXt", testpng::text_bytes(std::string("Note\0between", 12)));
      file.insert(file.end(), text.begin(), text.end());
    }
    from = to;
  }
  const Bytes iend = chunk("IEND", {});
  file.insert(file.end(), iend.begin(), iend.end());
  return file;
}

struct Decoded {
  uint32_t code;
  Bytes rgba;
};

Decoded decode(const Bytes& file) {
  Bytes rgba(4 * 3 * 4);
  uint8_t* out = rgba.data();
  uint32_t width = 0, height = 0;
  const uint32_t code = velapng::decode_rgba(&out, &width, &height, file.data(), file.size());
  return {code, rgba};
}

// Offset of the n-th byte of the concatenated IDAT payloads inside the file.
size_t image_data_offset(const Bytes& file, size_t n) {
  for (const ChunkSpan& span : list_chunks(file.data(), file.size())) {
    if (!span.is(file.data(), "IDAT")) continue;
    if (n < span.length) return span.data_offset() + n;
    n -= span.length;
  }
  return file.size();
}

size_t image_data_size(const Bytes& file) { return gather_image_data(file.data(), list_chunks(file.data(), file.size())).size(); }

struct Decompressor {
  libdeflate_decompressor* handle = libdeflate_alloc_decompressor();
  ~Decompressor() { libdeflate_free_decompressor(handle); }
};

TEST(ListChunks, StopsAtTheFirstChunkThatDoesNotFit) {
  const Bytes file = split_file({5});
  const std::vector<ChunkSpan> whole = list_chunks(file.data(), file.size());
  ASSERT_EQ(whole.size(), 5u);  // IHDR, IDAT, tEXt, IDAT, IEND
  EXPECT_TRUE(whole[0].is(file.data(), "IHDR"));
  EXPECT_TRUE(whole[4].is(file.data(), "IEND"));
  EXPECT_EQ(whole[4].end(), file.size());
  const std::vector<ChunkSpan> cut = list_chunks(file.data(), file.size() - 1);
  EXPECT_EQ(cut.size(), 4u);
  EXPECT_TRUE(list_chunks(file.data(), 19).empty());
}

TEST(RepairCrcs, EveryChunkCrcIsRecomputed) {
  const Bytes valid = split_file({5, 9});
  Bytes broken = valid;
  for (const ChunkSpan& span : list_chunks(broken.data(), broken.size())) broken[span.end() - 1] ^= 0x5A;
  ASSERT_EQ(decode(broken).code, 57u);
  repair_crcs(broken.data(), broken.size());
  EXPECT_EQ(broken, valid);
  // And for chunks the builder never made: a CRC of the type and data, as the format says.
  Bytes unknown = concat({testpng::header(1, 1, 8, 0), Bytes{0, 0, 0, 2, 'x', 'y', 'Z', 'q', 7, 9, 0, 0, 0, 0}});
  repair_crcs(unknown.data(), unknown.size());
  const uint32_t crc = testpng::crc32_reference(&unknown[37], 6);
  EXPECT_EQ(velapng::read_u32_be(&unknown[43]), crc);
}

TEST(RepairZlibCheckBits, EveryHeaderPassesAndKeepsItsOtherBits) {
  for (unsigned cmf = 0; cmf < 256; ++cmf) {
    for (unsigned flg_high = 0; flg_high < 256; flg_high += 32) {
      for (unsigned check : {0u, 13u, 30u, 31u}) {
        uint8_t header[2] = {static_cast<uint8_t>(cmf), static_cast<uint8_t>(flg_high | (check & 31u))};
        repair_zlib_check_bits(header);
        EXPECT_EQ(header[0], cmf);
        EXPECT_EQ(header[1] & 0xE0u, flg_high);
        EXPECT_EQ((header[0] * 256u + header[1]) % 31u, 0u) << cmf << " " << flg_high;
      }
    }
  }
}

// Damage that the repair must undo, wherever the IDAT boundaries fall: the trailer alone,
// the header check bits, or both, with the trailer inside one chunk or across two.
TEST(RepairFile, ImageDataChecksumsAreRepairedAcrossChunks) {
  const size_t stream_size = testpng::zlib_compress(scanlines()).size();
  const struct {
    const char* what;
    std::vector<size_t> cuts;
    bool damage_header;
    bool damage_trailer;
  } cases[] = {
      {"one IDAT, trailer", {}, false, true},
      {"one IDAT, header", {}, true, false},
      {"trailer split over two chunks", {stream_size - 2}, false, true},
      {"header split over two chunks", {1, 7}, true, true},
      {"trailer alone in the last chunk", {stream_size - 4}, false, true},
  };
  Decompressor decompressor;
  const Bytes expected = decode(split_file({})).rgba;
  for (const auto& c : cases) {
    const Bytes valid = split_file(c.cuts);
    Bytes file = valid;
    if (c.damage_header) file[image_data_offset(file, 1)] ^= 0x03;
    if (c.damage_trailer) file[image_data_offset(file, image_data_size(file) - 1)] ^= 0x80;
    repair_crcs(file.data(), file.size());
    ASSERT_NE(decode(file).code, 0u) << c.what;
    repair_file(file.data(), file.size(), 1 << 20, decompressor.handle);
    EXPECT_EQ(file, valid) << c.what;
    const Decoded repaired = decode(file);
    EXPECT_EQ(repaired.code, 0u) << c.what;
    EXPECT_EQ(repaired.rgba, expected) << c.what;
  }
}

TEST(RepairZlibStream, LeavesWhatItCannotRepair) {
  const Bytes stream = testpng::zlib_compress(scanlines());
  Decompressor decompressor;
  const struct {
    const char* what;
    Bytes stream;
    size_t max_inflated;
  } cases[] = {
      {"no room for the trailer", Bytes(stream.begin(), stream.end() - 1), 1 << 20},
      {"inflates past the limit", stream, scanlines().size() - 1},
      {"bad block type", concat({Bytes{0x78, 0x9C, 0x07}, Bytes(8, 0)}), 1 << 20},
      {"too short for header and trailer", Bytes{0x78, 0x9C, 0x03, 0x00, 0x00}, 1 << 20},
  };
  for (const auto& c : cases) {
    Bytes bytes = c.stream;
    EXPECT_FALSE(repair_zlib_stream(bytes.data(), {{0, bytes.size()}}, c.max_inflated, decompressor.handle)) << c.what;
    EXPECT_TRUE(std::equal(bytes.begin() + 2, bytes.end(), c.stream.begin() + 2)) << c.what;
  }
}

// Payload positions follow each chunk's layout: keyword and zero byte, then the method byte
// (and for iTXt the flag, method, language and translated keyword).
TEST(CompressedPayload, FindsTheStreamOfEachKind) {
  const Bytes stream = {0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01};
  const struct {
    const char* what;
    std::string type;
    Bytes prefix;
    bool has_stream;
  } cases[] = {
      {"zTXt", "zTXt", testpng::text_bytes(std::string("Title\0\0", 7)), true},
      {"iCCP", "iCCP", testpng::text_bytes(std::string("ICC profile\0\0", 13)), true},
      {"compressed iTXt", "iTXt", testpng::text_bytes(std::string("Comment\0\1\0en\0Note\0", 18)), true},
      {"uncompressed iTXt", "iTXt", testpng::text_bytes(std::string("Comment\0\0\0en\0Note\0", 18)), false},
      {"tEXt", "tEXt", testpng::text_bytes(std::string("Title\0", 6)), false},
  };
  for (const auto& c : cases) {
    const Bytes file = concat({testpng::header(1, 1, 8, 0), chunk(c.type, concat({c.prefix, stream}))});
    const std::vector<ChunkSpan> spans = list_chunks(file.data(), file.size());
    ASSERT_EQ(spans.size(), 2u) << c.what;
    Piece piece{};
    ASSERT_EQ(compressed_payload(file.data(), spans[1], &piece), c.has_stream) << c.what;
    if (!c.has_stream) continue;
    EXPECT_EQ(piece.offset, spans[1].data_offset() + c.prefix.size()) << c.what;
    EXPECT_EQ(piece.length, stream.size()) << c.what;
  }
}

TEST(RepairFile, ACompressedTextWithABadChecksumIsStoredAfterRepair) {
  Bytes stream = testpng::zlib_compress(testpng::text_bytes("inflated text"));
  stream.back() ^= 0x01;
  Bytes file = testpng::png(1, 1, 8, 0, {0, 9}, {chunk("zTXt", concat({testpng::text_bytes(std::string("Key\0\0", 5)), stream}))});
  Decompressor decompressor;
  repair_file(file.data(), file.size(), 1 << 20, decompressor.handle);
  velapng::VelaPNGState state;
  velapng::state_init(&state);
  uint8_t pixel[4];
  uint8_t* out = pixel;
  uint32_t width = 0, height = 0;
  ASSERT_EQ(velapng::decode_with_state(&out, &width, &height, &state, file.data(), file.size()), 0u);
  ASSERT_EQ(state.image_info.text_count, 1u);
  EXPECT_STREQ(state.image_info.text_values[0], "inflated text");
  velapng::state_release(&state);
}

TEST(ReplaceImageData, OneIdatWhereTheFirstWasAndEverythingElseKept) {
  const Bytes stream = testpng::zlib_compress(scanlines(), 1);
  const Bytes trailing = {'t', 'a', 'i', 'l'};
  const Bytes expected = decode(split_file({})).rgba;
  for (const std::vector<size_t>& cuts : {std::vector<size_t>{}, {3}, {2, 6, 9}}) {
    const Bytes file = concat({split_file(cuts), trailing});
    const Bytes replaced = replace_image_data(file.data(), file.size(), stream);
    const std::vector<ChunkSpan> spans = list_chunks(replaced.data(), replaced.size());
    ASSERT_EQ(spans.size(), 4u);  // IHDR, IDAT, tEXt, IEND
    EXPECT_TRUE(spans[1].is(replaced.data(), "IDAT"));
    EXPECT_TRUE(spans[2].is(replaced.data(), "tEXt"));
    EXPECT_EQ(gather_image_data(replaced.data(), spans), stream);
    EXPECT_TRUE(std::equal(trailing.begin(), trailing.end(), replaced.end() - 4));
    const Decoded decoded = decode(replaced);
    EXPECT_EQ(decoded.code, 0u);
    EXPECT_EQ(decoded.rgba, expected);
  }
}

TEST(ReplaceImageData, AFileWithoutImageDataGetsItBeforeIend) {
  const Bytes file = concat({testpng::header(4, 3, 8, 2), chunk("IEND", {})});
  const Bytes replaced = replace_image_data(file.data(), file.size(), testpng::zlib_compress(scanlines()));
  const Decoded decoded = decode(replaced);
  EXPECT_EQ(decoded.code, 0u);
  EXPECT_EQ(decoded.rgba, decode(split_file({})).rgba);
}

TEST(InsertChunk, GoesBeforeTheChunkNamedOrAfterTheLast) {
  const Bytes file = split_file({});  // IHDR, IDAT, tEXt, IEND
  const Bytes data = testpng::text_bytes("xyz");
  const struct {
    size_t index;
    size_t position;  // of the new chunk in the list afterwards
  } cases[] = {{0, 0}, {1, 1}, {3, 3}, {4, 4}, {99, 4}};
  for (const auto& c : cases) {
    const Bytes changed = insert_chunk(file.data(), file.size(), c.index, "zzZz", data);
    ASSERT_EQ(changed.size(), file.size() + 12 + data.size()) << c.index;
    const std::vector<ChunkSpan> spans = list_chunks(changed.data(), changed.size());
    ASSERT_EQ(spans.size(), 5u) << c.index;
    const ChunkSpan& made = spans[c.position];
    EXPECT_TRUE(made.is(changed.data(), "zzZz")) << c.index;
    EXPECT_EQ(Bytes(changed.begin() + static_cast<long>(made.data_offset()), changed.begin() + static_cast<long>(made.end() - 4)), data);
    EXPECT_EQ(velapng::read_u32_be(&changed[made.end() - 4]), testpng::crc32_reference(&changed[made.offset + 4], 7));
  }
  // Once the header stands first, the decoder passes over the new ancillary chunk.
  EXPECT_EQ(decode(insert_chunk(file.data(), file.size(), 1, "zzZz", data)).rgba, decode(file).rgba);
}

// Filter byte plus packed row bytes per row, per Adam7 pass where interlaced.
TEST(PredictedImageData, FollowsTheHeader) {
  const struct {
    const char* what;
    Bytes header;
    uint64_t max_pixels;
    uint64_t expected;
  } cases[] = {
      {"3 x 2 grey 8", testpng::header(3, 2, 8, 0), 100, 2 * (3 + 1)},
      {"9 x 1 grey 1", testpng::header(9, 1, 1, 0), 100, 1 + 2},
      {"2 x 2 RGBA 16", testpng::header(2, 2, 16, 6), 100, 2 * (16 + 1)},
      // Only pass 1 holds a pixel.
      {"1 x 1 RGBA 8, Adam7", testpng::header(1, 1, 8, 6, 1), 100, 1 + 4},
      // Passes of widths 1, 1, 0, 1, 3, 2, 5 and heights 1, 1, 0, 1, 1, 2, 1.
      {"5 x 3 grey 8, Adam7", testpng::header(5, 3, 8, 0, 1), 100, 2 + 2 + 2 + 4 + 2 * 3 + 6},
      {"more pixels than allowed", testpng::header(11, 10, 8, 0), 100, 0},
      {"unknown colour type", testpng::header(3, 2, 8, 5), 100, 0},
      {"cut header", Bytes(20, 0), 100, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(predicted_image_data(c.header.data(), c.header.size(), c.max_pixels), c.expected) << c.what;
  }
}

}  // namespace
