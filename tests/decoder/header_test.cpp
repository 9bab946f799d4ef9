#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "decoder/decoder.h"
#include "tests/support/corpus.h"
#include "tests/support/png_builder.h"

namespace {

using namespace velapng;
using testpng::Bytes;

// A valid 33-byte header (7 x 5, RGB 8-bit) and a way to change one byte and fix the CRC.
Bytes valid_header() { return testpng::header(7, 5, 8, 2); }

void refresh_crc(Bytes& header) {
  const uint32_t crc = testpng::crc32_reference(header.data() + 12, 17);
  for (int i = 0; i < 4; ++i) header[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
}

Bytes with_byte(size_t offset, uint8_t value) {
  Bytes header = valid_header();
  header[offset] = value;
  refresh_crc(header);
  return header;
}

Bytes with_fields(uint32_t width, uint32_t height, uint8_t depth, uint8_t colour, uint8_t compression = 0,
                  uint8_t filter = 0, uint8_t interlace = 0) {
  return testpng::concat(
      {testpng::signature(),
       testpng::chunk("IHDR", testpng::ihdr_data(width, height, depth, colour, interlace, compression, filter))});
}

struct Inspection {
  uint32_t result;
  uint32_t width;
  uint32_t height;
  uint32_t header_checked;
};

Inspection inspect(const Bytes& bytes, bool skip_crc = false, size_t size_override = SIZE_MAX) {
  VelaPNGState state;
  state_init(&state);
  state.decoder.skip_crc_check = skip_crc ? 1 : 0;
  Inspection out{0, 0xAAAA, 0xBBBB, 0};
  out.result = inspect_header(&out.width, &out.height, &state, bytes.data(),
                              size_override == SIZE_MAX ? bytes.size() : size_override);
  EXPECT_EQ(state.last_error, out.result);
  out.header_checked = state.header_checked;
  state_release(&state);
  return out;
}

struct BrokenHeader {
  const char* rule;
  std::function<Bytes()> make;
  uint32_t code;
};

// Each case breaks exactly one rule of a valid header (the CRC is refreshed unless the
// CRC is the rule), so the code names that rule alone.
TEST(InspectHeader, EachBrokenRuleGivesItsOwnCode) {
  const BrokenHeader cases[] = {
      {"signature byte 0", [] { return with_byte(0, 0x88); }, 28},
      {"signature byte 7", [] { return with_byte(7, 0x0B); }, 28},
      {"header length 14", [] { return with_byte(11, 14); }, 94},
      {"header length 0", [] { return with_byte(11, 0); }, 94},
      {"type lower-case", [] { return with_byte(12, 'i'); }, 29},
      {"type IDAT", [] { Bytes h = valid_header(); std::memcpy(&h[12], "IDAT", 4); refresh_crc(h); return h; }, 29},
      {"width 0", [] { return with_fields(0, 5, 8, 2); }, 93},
      {"height 0", [] { return with_fields(7, 0, 8, 2); }, 93},
      {"CRC off by one", [] { Bytes h = valid_header(); h[32] ^= 1; return h; }, 57},
      {"compression method 1", [] { return with_fields(7, 5, 8, 2, 1); }, 32},
      {"filter method 1", [] { return with_fields(7, 5, 8, 2, 0, 1); }, 33},
      {"interlace method 2", [] { return with_fields(7, 5, 8, 2, 0, 0, 2); }, 34},
      {"colour type 1", [] { return with_fields(7, 5, 8, 1); }, 31},
      {"colour type 5", [] { return with_fields(7, 5, 8, 5); }, 31},
      {"colour type 7", [] { return with_fields(7, 5, 8, 7); }, 31},
      {"palette 16-bit", [] { return with_fields(7, 5, 16, 3); }, 37},
      {"grey depth 3", [] { return with_fields(7, 5, 3, 0); }, 37},
      {"RGB depth 4", [] { return with_fields(7, 5, 4, 2); }, 37},
  };
  for (const BrokenHeader& c : cases) {
    EXPECT_EQ(inspect(c.make()).result, c.code) << c.rule;
  }
}

// When several rules are broken, the one tested first wins.
TEST(InspectHeader, RulesAreTestedInOrder) {
  EXPECT_EQ(inspect(valid_header(), false, 0).result, 48u);
  {
    VelaPNGState state;
    state_init(&state);
    EXPECT_EQ(inspect_header(nullptr, nullptr, &state, nullptr, 100), 48u);
    state_release(&state);
  }
  EXPECT_EQ(inspect(valid_header(), false, 32).result, 27u);
  Bytes bad_crc_and_compression = with_fields(7, 5, 8, 2, 1);
  bad_crc_and_compression[30] ^= 0x40;
  EXPECT_EQ(inspect(bad_crc_and_compression).result, 57u);
  EXPECT_EQ(inspect(bad_crc_and_compression, true).result, 32u);
  EXPECT_EQ(inspect(with_fields(7, 5, 8, 2, 1, 1)).result, 32u);
  EXPECT_EQ(inspect(with_fields(0, 5, 3, 9, 1, 1, 7)).result, 93u);
  Bytes length_and_type = with_byte(11, 14);
  length_and_type[12] = 'X';
  EXPECT_EQ(inspect(length_and_type).result, 94u);
}

TEST(InspectHeader, OutputsAreWrittenOnlyOnceTheSizeIsKnown) {
  const Inspection zero_width = inspect(with_fields(0, 5, 8, 2));
  EXPECT_EQ(zero_width.width, 0xAAAAu);
  EXPECT_EQ(zero_width.height, 0xBBBBu);

  Bytes bad_crc = valid_header();
  bad_crc[29] ^= 0xFF;
  const Inspection crc = inspect(bad_crc);
  EXPECT_EQ(crc.result, 57u);
  EXPECT_EQ(crc.width, 7u);
  EXPECT_EQ(crc.height, 5u);
  EXPECT_EQ(inspect(bad_crc, true).result, 0u);

  const Inspection huge = inspect(with_fields(0xFFFFFFFF, 0xFFFFFFFF, 16, 6));
  EXPECT_EQ(huge.result, 0u);
  EXPECT_EQ(huge.width, 0xFFFFFFFFu);
  EXPECT_EQ(huge.height, 0xFFFFFFFFu);
}

TEST(InspectHeader, HeaderCheckedIsSetOnlyWhenTheColourCheckIsReached) {
  EXPECT_EQ(inspect(valid_header()).header_checked, 1u);
  EXPECT_EQ(inspect(with_fields(7, 5, 16, 3)).header_checked, 1u);   // 37
  EXPECT_EQ(inspect(with_fields(7, 5, 8, 2, 0, 0, 2)).header_checked, 0u);  // 34
}

TEST(InspectHeader, StoresTheHeaderFieldsEvenWhenLaterRulesFail) {
  const Bytes zero_width = with_fields(0, 5, 4, 3, 0, 0, 1);
  VelaPNGState state;
  state_init(&state);
  EXPECT_EQ(inspect_header(nullptr, nullptr, &state, zero_width.data(), zero_width.size()), 93u);
  EXPECT_EQ(state.image_info.pixel_format.bit_depth, 4u);
  EXPECT_EQ(state.image_info.pixel_format.colour_type, 3u);
  EXPECT_EQ(state.image_info.interlace_method, 1u);
  state_release(&state);
}

// A second inspection on the same state first empties what the state held.
TEST(InspectHeader, ReinspectionEmptiesTheImageInfo) {
  VelaPNGState state;
  state_init(&state);
  ASSERT_EQ(image_info_add_text(&state.image_info, "Title", "x"), 0u);
  state.image_info.pixel_format.palette = static_cast<uint8_t*>(std::malloc(8));
  state.image_info.pixel_format.palette_size = 2;
  const Bytes header = valid_header();
  EXPECT_EQ(inspect_header(nullptr, nullptr, &state, header.data(), header.size()), 0u);
  EXPECT_EQ(state.image_info.text_count, 0u);
  EXPECT_EQ(state.image_info.pixel_format.palette, nullptr);
  EXPECT_EQ(state.image_info.pixel_format.colour_type, 2u);
  state_release(&state);
}

TEST(CheckColourDepth, AllowsExactlyThePngCombinations) {
  const uint32_t allowed[7][17] = {
      // depth:    0  1  2  3  4  5  6  7  8  9 10 11 12 13 14 15 16
      /* type 0 */ {0, 1, 1, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1},
      /* type 1 */ {},
      /* type 2 */ {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1},
      /* type 3 */ {0, 1, 1, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0},
      /* type 4 */ {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1},
      /* type 5 */ {},
      /* type 6 */ {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1},
  };
  for (uint32_t type = 0; type < 9; ++type) {
    for (uint32_t depth = 0; depth <= 16; ++depth) {
      const bool known = type == 0 || type == 2 || type == 3 || type == 4 || type == 6;
      const uint32_t expected = !known ? 31u : allowed[type][depth] ? 0u : 37u;
      EXPECT_EQ(check_colour_depth(type, depth), expected) << "type " << type << " depth " << depth;
    }
  }
}

TEST(InspectHeader, EverySuiteFileInspectsToWhatItsNameEncodes) {
  int inspected = 0;
  for (const std::string& name : testpng::png_files(testpng::pngsuite_dir())) {
    testpng::SuiteName expected;
    if (!testpng::parse_suite_name(name, &expected)) continue;
    const Bytes file = testpng::read_file(testpng::pngsuite_dir() + "/" + name);
    VelaPNGState state;
    state_init(&state);
    uint32_t width = 0, height = 0;
    EXPECT_EQ(inspect_header(&width, &height, &state, file.data(), file.size()), 0u) << name;
    EXPECT_EQ(state.image_info.pixel_format.colour_type, expected.colour_type) << name;
    EXPECT_EQ(state.image_info.pixel_format.bit_depth, expected.bit_depth) << name;
    EXPECT_EQ(state.image_info.interlace_method, expected.interlaced ? 1u : 0u) << name;
    // The s* files are named after their size (s01 = 1 x 1); the cd* files test pixel
    // aspect with flat (f), high (h) and small (s) images; every other file is 32 x 32.
    uint32_t expected_width = name[0] == 's' ? static_cast<uint32_t>(std::stoi(name.substr(1, 2))) : 32u;
    uint32_t expected_height = expected_width;
    if (name.rfind("cdf", 0) == 0) expected_width = 8;
    if (name.rfind("cdh", 0) == 0) expected_height = 8;
    if (name.rfind("cds", 0) == 0) expected_width = expected_height = 8;
    EXPECT_EQ(width, expected_width) << name;
    EXPECT_EQ(height, expected_height) << name;
    state_release(&state);
    ++inspected;
  }
  EXPECT_GT(inspected, 150);
}

// The corrupt suite files whose fault lies in the first 33 bytes, with the code each
// fault calls for (read off the bytes: a changed signature byte, a colour type of 1 or 9,
// a depth of 0, 3 or 99, a header CRC spelling "CSUM").
TEST(InspectHeader, SuiteHeaderFaultsAreRefused) {
  const std::pair<const char*, uint32_t> cases[] = {
      {"xs1n0g01.png", 28}, {"xs2n0g01.png", 28}, {"xs4n0g01.png", 28}, {"xs7n0g01.png", 28},
      {"xcrn0g04.png", 28}, {"xlfn0g04.png", 28}, {"xc1n0g08.png", 31}, {"xc9n2c08.png", 31},
      {"xd0n2c08.png", 37}, {"xd3n2c08.png", 37}, {"xd9n2c08.png", 37}, {"xhdn0g08.png", 57},
  };
  for (const auto& [name, expected] : cases) {
    const Bytes file = testpng::read_file(testpng::pngsuite_dir() + "/" + name);
    EXPECT_EQ(inspect(file).result, expected) << name;
  }
}

}  // namespace
