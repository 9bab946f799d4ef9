#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "tests/decoder/reader_fixture.h"

namespace {

using namespace velapng;
using readertest::ReaderTest;
using testpng::Bytes;
using testpng::concat;
using testpng::u32_be;

using Info = VelaPNGImageInfo;
using FixedReader = uint32_t (*)(Info*, const uint8_t*, uint64_t);

struct FixedChunk {
  const char* name;
  FixedReader reader;
  Bytes data;  // of the chunk's exact length
  uint32_t code;
  uint32_t Info::*defined;
  std::vector<std::pair<uint32_t Info::*, uint32_t>> fields;  // as the data above encodes them
};

// Values outside their meaningful ranges are stored as read.
const FixedChunk kFixedChunks[] = {
    {"tIME",
     read_time,
     {0xFF, 0xFE, 13, 32, 24, 60, 61},
     73,
     &Info::time_defined,
     {{&Info::time_year, 0xFFFE},
      {&Info::time_month, 13},
      {&Info::time_day, 32},
      {&Info::time_hour, 24},
      {&Info::time_minute, 60},
      {&Info::time_second, 61}}},
    {"pHYs",
     read_phys,
     concat({u32_be(0xFFFFFFFF), u32_be(2835), {7}}),
     74,
     &Info::phys_defined,
     {{&Info::pixels_per_unit_x, 0xFFFFFFFF}, {&Info::pixels_per_unit_y, 2835}, {&Info::phys_unit, 7}}},
    {"gAMA", read_gama, u32_be(0x80000001), 96, &Info::gamma_defined, {{&Info::gamma, 0x80000001}}},
    {"cHRM",
     read_chrm,
     concat({u32_be(31270), u32_be(32900), u32_be(64000), u32_be(33000), u32_be(30000), u32_be(60000), u32_be(15000),
             u32_be(0xFFFFFFFF)}),
     97,
     &Info::chromaticity_defined,
     {{&Info::white_point_x, 31270},
      {&Info::white_point_y, 32900},
      {&Info::red_x, 64000},
      {&Info::red_y, 33000},
      {&Info::green_x, 30000},
      {&Info::green_y, 60000},
      {&Info::blue_x, 15000},
      {&Info::blue_y, 0xFFFFFFFF}}},
    {"sRGB", read_srgb, {200}, 98, &Info::srgb_defined, {{&Info::rendering_intent, 200}}},
};

using FixedReaders = ReaderTest;

// One byte short, one byte long and empty give the chunk's code and leave the chunk undefined
// or, after a good one, its values as they were; the exact length stores every field.
TEST_F(FixedReaders, ExactLengthOrTheChunksCode) {
  for (const FixedChunk& chunk : kFixedChunks) {
    SCOPED_TRACE(chunk.name);
    fresh();
    const size_t length = chunk.data.size();
    const Bytes other(length + 1, 0x5A);
    const auto refuse_wrong_lengths = [&](uint32_t defined) {
      for (const size_t wrong : {length - 1, length + 1, size_t{0}}) {
        EXPECT_EQ(chunk.reader(&info(), other.data(), wrong), chunk.code) << wrong;
        EXPECT_EQ(info().*chunk.defined, defined) << wrong;
      }
    };
    refuse_wrong_lengths(0);
    ASSERT_EQ(chunk.reader(&info(), chunk.data.data(), length), 0u);
    refuse_wrong_lengths(1);
    for (const auto& [field, value] : chunk.fields) EXPECT_EQ(info().*field, value);
  }
}

}  // namespace
