// Chunk primitives, the growable buffer and the size guards the chunk loop relies on.
#include <gtest/gtest.h>

#include <cstdlib>

#include "decoder/decoder.h"
#include "tests/support/png_builder.h"

namespace {

using namespace velapng;
using testpng::Bytes;

TEST(ChunkPrimitives, TypeNextAndCrc) {
  const Bytes file = testpng::concat({testpng::header(3, 3, 8, 0), testpng::chunk("zTXt", {'k', 0, 0, 'p', 'q'})});
  const uint8_t* chunk = file.data() + 33;
  EXPECT_TRUE(chunk_type_is(chunk, "zTXt"));
  for (const char* other : {"ZTXT", "ztxt", "zTXT", "zTX", "zTXtX", ""})
    EXPECT_FALSE(chunk_type_is(chunk, other)) << other;
  EXPECT_EQ(chunk_next(file.data()), file.data() + 8);  // the signature
  EXPECT_EQ(chunk_next(file.data() + 8), chunk);        // a whole chunk
  // Any flipped bit of type, data or CRC is a mismatch; the length only moves the CRC.
  ASSERT_FALSE(chunk_crc_mismatch(chunk));
  for (size_t byte = 4; byte < file.size() - 33; ++byte) {
    for (int bit = 0; bit < 8; ++bit) {
      Bytes flipped(file.begin() + 33, file.end());
      flipped[byte] ^= static_cast<uint8_t>(1u << bit);
      EXPECT_TRUE(chunk_crc_mismatch(flipped.data())) << "byte " << byte << " bit " << bit;
    }
  }
}

TEST(AppendUnknownChunk, RefusesASizeThatWouldWrap) {
  const Bytes chunk = testpng::chunk("prVt", {1});
  uint8_t* buffer = nullptr;
  uint64_t size = UINT64_MAX - 12;  // one byte short of room for the 13-byte chunk
  EXPECT_EQ(append_unknown_chunk(&buffer, &size, chunk.data()), 77u);
  EXPECT_EQ(buffer, nullptr);
  EXPECT_EQ(size, UINT64_MAX - 12);
}

// The growth rule: a target of the new size when it is more than twice the capacity, else
// 3/2 of it; the capacity becomes ten times the target. A failed growth changes nothing.
TEST(ByteBufferResize, TenfoldGrowthAndFailureWithoutChange) {
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
  buffer.data[buffer.capacity - 1] = 1;  // the whole capacity is really there
  uint8_t* const data = buffer.data;
  EXPECT_FALSE(byte_buffer_resize(&buffer, UINT64_MAX / 4));
  EXPECT_EQ(buffer.data, data);
  EXPECT_EQ(buffer.size, 27021u);
  EXPECT_EQ(buffer.capacity, 270210u);
  byte_buffer_release(&buffer);
  EXPECT_EQ(buffer.data, nullptr);
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
  for (const auto& c : cases) {
    EXPECT_EQ(raw_size_overflows(c.width, c.height, c.file, &rgba8), c.expected) << c.width << " x " << c.height;
  }
}

// n pixels of b bits take ceil(n * b / 8) bytes, also where n * b itself would not fit.
TEST(PixelGeometry, PackedSizes) {
  EXPECT_EQ(packed_size(9, 1), 2u);
  EXPECT_EQ(packed_size(8, 1), 1u);
  EXPECT_EQ(packed_size(3, 4), 2u);
  EXPECT_EQ(packed_size(5, 24), 15u);
  EXPECT_EQ(packed_size(0, 64), 0u);
  EXPECT_EQ(packed_size((uint64_t{1} << 62) + 3, 8), (uint64_t{1} << 62) + 3);
  EXPECT_EQ(bits_per_pixel(4, 16), 32u);
  EXPECT_EQ(bits_per_pixel(5, 8), 0u);
}

}  // namespace
