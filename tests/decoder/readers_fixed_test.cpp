#include <gtest/gtest.h>

#include "tests/decoder/reader_fixture.h"

namespace {

using namespace velapng;
using readertest::ReaderTest;
using testpng::Bytes;
using testpng::concat;
using testpng::u16_be;
using testpng::u32_be;

using FixedReader = uint32_t (*)(VelaPNGImageInfo*, const uint8_t*, uint64_t);

struct FixedChunk {
  const char* name;
  FixedReader reader;
  size_t length;
  uint32_t code;
  uint32_t VelaPNGImageInfo::*defined;
};

const FixedChunk kFixedChunks[] = {
    {"tIME", read_time, 7, 73, &VelaPNGImageInfo::time_defined},
    {"pHYs", read_phys, 9, 74, &VelaPNGImageInfo::phys_defined},
    {"gAMA", read_gama, 4, 96, &VelaPNGImageInfo::gamma_defined},
    {"cHRM", read_chrm, 32, 97, &VelaPNGImageInfo::chromaticity_defined},
    {"sRGB", read_srgb, 1, 98, &VelaPNGImageInfo::srgb_defined},
};

using FixedReaders = ReaderTest;

// One byte short, one byte long and empty all give the chunk's code and leave it undefined;
// the exact length is accepted.
TEST_F(FixedReaders, ExactLengthOrTheChunksCode) {
  const Bytes data(64, 0x5A);
  for (const FixedChunk& chunk : kFixedChunks) {
    for (size_t length : {chunk.length - 1, chunk.length + 1, size_t{0}, chunk.length}) {
      SCOPED_TRACE(std::string(chunk.name) + " of " + std::to_string(length) + " bytes");
      info() = VelaPNGImageInfo{};
      const uint32_t expected = length == chunk.length ? 0 : chunk.code;
      EXPECT_EQ(chunk.reader(&info(), data.data(), length), expected);
      EXPECT_EQ(info().*chunk.defined, expected == 0 ? 1u : 0u);
    }
  }
}

// Values outside their meaningful ranges are stored as read.
TEST_F(FixedReaders, TimeFieldsAsWritten) {
  const Bytes data = concat({u16_be(0xFFFE), {13, 32, 24, 60, 61}});
  ASSERT_EQ(read_time(&info(), data.data(), data.size()), 0u);
  EXPECT_EQ(info().time_year, 0xFFFEu);
  EXPECT_EQ(info().time_month, 13u);
  EXPECT_EQ(info().time_day, 32u);
  EXPECT_EQ(info().time_hour, 24u);
  EXPECT_EQ(info().time_minute, 60u);
  EXPECT_EQ(info().time_second, 61u);
}

TEST_F(FixedReaders, PhysFieldsAsWritten) {
  const Bytes data = concat({u32_be(0xFFFFFFFF), u32_be(2835), {7}});
  ASSERT_EQ(read_phys(&info(), data.data(), data.size()), 0u);
  EXPECT_EQ(info().pixels_per_unit_x, 0xFFFFFFFFu);
  EXPECT_EQ(info().pixels_per_unit_y, 2835u);
  EXPECT_EQ(info().phys_unit, 7u);
}

TEST_F(FixedReaders, GammaIsStoredAsTheIntegerAndTheLastOneCounts) {
  const struct {
    uint32_t gamma;
  } reads[] = {{45455}, {0}, {0x80000001}};
  for (const auto& r : reads) {
    const Bytes data = u32_be(r.gamma);
    ASSERT_EQ(read_gama(&info(), data.data(), data.size()), 0u);
    EXPECT_EQ(info().gamma, r.gamma);
    EXPECT_EQ(info().gamma_defined, 1u);
  }
}

TEST_F(FixedReaders, ChromaticitiesInChunkOrder) {
  const uint32_t values[8] = {31270, 32900, 64000, 33000, 30000, 60000, 15000, 0xFFFFFFFF};
  Bytes data;
  for (uint32_t v : values) testpng::put_u32(data, v);
  ASSERT_EQ(read_chrm(&info(), data.data(), data.size()), 0u);
  const uint32_t stored[8] = {info().white_point_x, info().white_point_y, info().red_x,   info().red_y,
                              info().green_x,       info().green_y,       info().blue_x, info().blue_y};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(stored[i], values[i]) << "value " << i;
}

TEST_F(FixedReaders, RenderingIntentAsWritten) {
  for (uint8_t intent : {uint8_t{0}, uint8_t{3}, uint8_t{200}, uint8_t{255}}) {
    ASSERT_EQ(read_srgb(&info(), &intent, 1), 0u);
    EXPECT_EQ(info().rendering_intent, intent);
  }
}

// A refused chunk leaves the values of an earlier good one alone.
TEST_F(FixedReaders, AWrongLengthKeepsEarlierValues) {
  const Bytes good = concat({u32_be(100), u32_be(200), {1}});
  const Bytes bad = concat({u32_be(300), u32_be(400)});
  ASSERT_EQ(read_phys(&info(), good.data(), good.size()), 0u);
  ASSERT_EQ(read_phys(&info(), bad.data(), bad.size()), 74u);
  EXPECT_EQ(info().pixels_per_unit_x, 100u);
  EXPECT_EQ(info().pixels_per_unit_y, 200u);
  EXPECT_EQ(info().phys_defined, 1u);
}

}  // namespace
