#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "decoder/decoder.h"
#include "tests/support/corpus.h"
#include "tests/support/png_builder.h"

namespace {

using namespace velapng;
using testpng::Bytes;

TEST(ChunkPrimitives, BigEndianReads) {
  const uint8_t bytes[] = {0x80, 0x01, 0xFE, 0x7F};
  EXPECT_EQ(read_u32_be(bytes), 0x8001FE7Fu);
  EXPECT_EQ(read_u16_be(bytes), 0x8001u);
  EXPECT_EQ(read_u16_be(bytes + 2), 0xFE7Fu);
}

TEST(ChunkPrimitives, TypeComparisonIsExactAndNeedsFourCharacters) {
  const Bytes chunk = testpng::chunk("tEXt", {1, 2, 3});
  const struct {
    const char* name;
    bool expected;
  } cases[] = {{"tEXt", true}, {"TEXT", false}, {"text", false}, {"tEX", false},
               {"tEXtX", false}, {"", false},   {"tEXT", false}};
  for (const auto& c : cases) EXPECT_EQ(chunk_type_is(chunk.data(), c.name), c.expected) << c.name;
}

TEST(ChunkPrimitives, EmptyChunkLayout) {
  const Bytes chunk = testpng::chunk("IEND", {});
  ASSERT_EQ(chunk.size(), 12u);
  EXPECT_EQ(chunk_length(chunk.data()), 0u);
  EXPECT_EQ(chunk_data(chunk.data()), chunk.data() + 8);
  EXPECT_FALSE(chunk_crc_mismatch(chunk.data()));
  EXPECT_EQ(chunk_next(chunk.data()), chunk.data() + 12);
}

TEST(ChunkPrimitives, NextSkipsTheSignatureOrTheWholeChunk) {
  const Bytes file = testpng::header(3, 3, 8, 0);
  EXPECT_EQ(chunk_next(file.data()), file.data() + 8);
  EXPECT_EQ(chunk_next(file.data() + 8), file.data() + 33);
}

// Flipping any single bit of the type, data or CRC makes the check fail; the length field
// is excluded because it moves the CRC's position rather than its value.
TEST(ChunkPrimitives, AnySingleBitFlipAfterTheLengthIsACrcMismatch) {
  const Bytes chunk = testpng::chunk("zTXt", testpng::text_bytes("key\0\0payload bytes"));
  ASSERT_FALSE(chunk_crc_mismatch(chunk.data()));
  for (size_t byte = 4; byte < chunk.size(); ++byte) {
    for (int bit = 0; bit < 8; ++bit) {
      Bytes flipped = chunk;
      flipped[byte] ^= static_cast<uint8_t>(1u << bit);
      EXPECT_TRUE(chunk_crc_mismatch(flipped.data())) << "byte " << byte << " bit " << bit;
    }
  }
}

TEST(ChunkPrimitives, EveryChunkOfTheSuiteHasAMatchingCrc) {
  int chunks = 0;
  for (const std::string& name : testpng::png_files(testpng::pngsuite_dir())) {
    if (name[0] == 'x') continue;
    const Bytes file = testpng::read_file(testpng::pngsuite_dir() + "/" + name);
    const uint8_t* end = file.data() + file.size();
    for (const uint8_t* p = file.data() + 8; end - p >= 12; p = chunk_next(p)) {
      ASSERT_LE(uint64_t{chunk_length(p)} + 12, static_cast<uint64_t>(end - p)) << name;
      EXPECT_FALSE(chunk_crc_mismatch(p)) << name << " chunk at " << (p - file.data());
      ++chunks;
      if (chunk_type_is(p, "IEND")) break;
    }
  }
  EXPECT_GT(chunks, 600);
}

TEST(AppendUnknownChunk, AppendsTheWholeChunkAndGrowsExactly) {
  const Bytes first = testpng::chunk("prVt", {1, 2, 3, 4, 5});
  const Bytes second = testpng::chunk("abCd", {});
  uint8_t* buffer = nullptr;
  uint64_t size = 0;
  ASSERT_EQ(append_unknown_chunk(&buffer, &size, first.data()), 0u);
  EXPECT_EQ(size, 17u);
  ASSERT_EQ(append_unknown_chunk(&buffer, &size, second.data()), 0u);
  EXPECT_EQ(size, 29u);
  const Bytes expected = testpng::concat({first, second});
  EXPECT_EQ(Bytes(buffer, buffer + size), expected);
  std::free(buffer);
}

TEST(AppendUnknownChunk, RefusesASizeThatWouldWrap) {
  const Bytes chunk = testpng::chunk("prVt", {1});
  uint8_t* buffer = nullptr;
  uint64_t size = UINT64_MAX - 5;
  EXPECT_EQ(append_unknown_chunk(&buffer, &size, chunk.data()), 77u);
  EXPECT_EQ(buffer, nullptr);
  EXPECT_EQ(size, UINT64_MAX - 5);
}

// The growth sequence of the rule: a target of the new size when it is more than twice the
// capacity, else 3/2 of it; the capacity becomes ten times the target.
TEST(ByteBufferResize, FollowsTheTenfoldGrowthRule) {
  const struct {
    uint64_t new_size;
    uint64_t capacity_after;
  } steps[] = {{4, 40}, {60, 900}, {500, 900}, {2, 900}, {901, 13510}, {27021, 270210}};
  ByteBuffer buffer;
  for (const auto& step : steps) {
    ASSERT_TRUE(byte_buffer_resize(&buffer, step.new_size));
    EXPECT_EQ(buffer.size, step.new_size);
    EXPECT_EQ(buffer.capacity, step.capacity_after) << "after resizing to " << step.new_size;
  }
  std::memset(buffer.data, 0x5A, buffer.capacity);  // the whole capacity is really there
  byte_buffer_release(&buffer);
  EXPECT_EQ(buffer.data, nullptr);
  EXPECT_EQ(buffer.capacity, 0u);
}

TEST(ByteBufferResize, FailsWithoutChangingTheBufferWhenMemoryRunsOut) {
  ByteBuffer buffer;
  ASSERT_TRUE(byte_buffer_resize(&buffer, 10));
  uint8_t* const data = buffer.data;
  EXPECT_FALSE(byte_buffer_resize(&buffer, UINT64_MAX / 4));
  EXPECT_EQ(buffer.data, data);
  EXPECT_EQ(buffer.size, 10u);
  EXPECT_EQ(buffer.capacity, 100u);
  byte_buffer_release(&buffer);
}

TEST(CopyString, CopiesUpToAndIncludingTheTerminator) {
  char* copy = copy_string("Title");
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "Title");
  std::free(copy);
  char* empty = copy_string("");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty[0], '\0');
  std::free(empty);
}

TEST(RawSizeOverflows, FlagsSizesBeyondSixtyFourBits) {
  VelaPNGPixelFormat rgba16{6, 16};
  VelaPNGPixelFormat rgba8{6, 8};
  VelaPNGPixelFormat grey1{0, 1};
  const struct {
    uint32_t width, height;
    const VelaPNGPixelFormat* file;
    bool expected;
  } cases[] = {
      {0xFFFFFFFF, 0xFFFFFFFF, &rgba16, true},   // n * 8 alone exceeds 2^64
      {1, 1, &grey1, false},
      {0xFFFFFFFF, 0xFFFFFFFF, &grey1, true},    // n = 2^64 - 2^33 + 1, n * 8 overflows
      {0xFFFFFFFF, 0x1FFFFFFF, &grey1, false},   // n * 8 just fits; height * (line + 5) fits
      {100000, 100000, &rgba16, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(raw_size_overflows(c.width, c.height, c.file, &rgba8), c.expected)
        << c.width << " x " << c.height;
  }
}

TEST(PixelGeometry, ChannelsBitsAndPackedSizes) {
  const uint32_t channels[] = {1, 0, 3, 1, 2, 0, 4, 0};
  for (uint32_t type = 0; type < 8; ++type) EXPECT_EQ(channels_of(type), channels[type]) << type;
  EXPECT_EQ(bits_per_pixel(6, 16), 64u);
  EXPECT_EQ(bits_per_pixel(5, 8), 0u);
  // n pixels at b bits are ceil(n * b / 8) bytes, written out for the cases that matter.
  EXPECT_EQ(packed_size(9, 1), 2u);
  EXPECT_EQ(packed_size(8, 1), 1u);
  EXPECT_EQ(packed_size(3, 4), 2u);
  EXPECT_EQ(packed_size(5, 24), 15u);
  EXPECT_EQ(packed_size(0, 64), 0u);
  EXPECT_EQ(packed_size(uint64_t{1} << 40, 2), uint64_t{1} << 38);
}

}  // namespace
