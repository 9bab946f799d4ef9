#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "tests/decoder/reader_fixture.h"

namespace {

using namespace velapng;
using readertest::ReaderTest;
using testpng::Bytes;

// Palette payload bytes that differ from entry to entry and channel to channel.
Bytes palette_bytes(size_t size) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 37 + 11);
  return bytes;
}

class PaletteReaders : public ReaderTest {
 protected:
  void give_palette(uint32_t colour_type, size_t entries) {
    format().colour_type = colour_type;
    const Bytes plte = palette_bytes(entries * 3);
    ASSERT_EQ(read_plte(&format(), plte.data(), plte.size()), 0u);
  }
  std::vector<uint8_t> alphas() const {
    const VelaPNGPixelFormat& f = state_.image_info.pixel_format;
    std::vector<uint8_t> out;
    for (uint32_t i = 0; i < f.palette_size; ++i) out.push_back(f.palette[4 * i + 3]);
    return out;
  }
};

TEST_F(PaletteReaders, PlteLengthRules) {
  const struct {
    size_t length;
    uint32_t code;
    uint32_t entries;
  } cases[] = {
      {768, 0, 256},   // the largest palette
      {771, 38, 257},  // one entry too many: refused, but the size stays as read
      {2, 0, 0},       // under one entry: empty, no error
      {0, 0, 0},
      {3, 0, 1},
      {7, 0, 2},       // a trailing partial entry is ignored
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    const Bytes data = palette_bytes(c.length);
    EXPECT_EQ(read_plte(&format(), data.data(), data.size()), c.code);
    EXPECT_EQ(format().palette_size, c.entries);
    if (c.code != 0) continue;
    for (uint32_t i = 0; i < c.entries; ++i) {
      const uint8_t* entry = format().palette + 4 * i;
      const Bytes rgba = {entry[0], entry[1], entry[2], entry[3]};
      const Bytes expected = {data[3 * i], data[3 * i + 1], data[3 * i + 2], 255};
      ASSERT_EQ(rgba, expected) << "entry " << i;
    }
  }
}

TEST_F(PaletteReaders, PlteIgnoresTheColourType) {
  for (uint32_t colour_type : {0u, 2u, 3u, 4u, 6u, 9u}) {
    format().colour_type = colour_type;
    const Bytes data = palette_bytes(6);
    EXPECT_EQ(read_plte(&format(), data.data(), data.size()), 0u) << colour_type;
    EXPECT_EQ(format().palette_size, 2u) << colour_type;
  }
}

TEST_F(PaletteReaders, ASecondPlteAfterTrnsBringsAlphaBackTo255) {
  give_palette(3, 4);
  const Bytes trns = {0, 10, 20, 30};
  ASSERT_EQ(read_trns(&format(), trns.data(), trns.size()), 0u);
  ASSERT_EQ(alphas(), (std::vector<uint8_t>{0, 10, 20, 30}));
  const Bytes second = {9, 8, 7, 6, 5, 4};
  ASSERT_EQ(read_plte(&format(), second.data(), second.size()), 0u);
  EXPECT_EQ(alphas(), (std::vector<uint8_t>{255, 255}));
  EXPECT_EQ(Bytes(format().palette, format().palette + 8), (Bytes{9, 8, 7, 255, 6, 5, 4, 255}));
}

struct TrnsCase {
  const char* what;
  uint32_t colour_type;
  std::optional<size_t> palette_entries;  // none: no PLTE read before
  Bytes data;
  uint32_t code;
};

TEST_F(PaletteReaders, TrnsOnPalettes) {
  const TrnsCase cases[] = {
      {"3 of 5", 3, 5, {1, 2, 3}, 0},
      {"5 of 5", 3, 5, {1, 2, 3, 4, 5}, 0},
      {"6 of 5", 3, 5, {1, 2, 3, 4, 5, 6}, 39},
      {"empty", 3, 5, {}, 0},
      {"before PLTE", 3, std::nullopt, {7}, 39},
      {"empty before PLTE", 3, std::nullopt, {}, 0},
  };
  for (const TrnsCase& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    format().colour_type = c.colour_type;
    if (c.palette_entries) give_palette(3, *c.palette_entries);
    EXPECT_EQ(read_trns(&format(), c.data.data(), c.data.size()), c.code);
    std::vector<uint8_t> expected(c.palette_entries.value_or(0), 255);
    if (c.code == 0) {
      for (size_t i = 0; i < c.data.size(); ++i) expected[i] = c.data[i];
    }
    EXPECT_EQ(alphas(), expected);
    EXPECT_EQ(format().colour_key_defined, 0u);
  }
}

TEST_F(PaletteReaders, TrnsColourKeys) {
  struct KeyCase {
    const char* what;
    uint32_t colour_type;
    uint32_t bit_depth;
    Bytes data;
    uint32_t code;
    uint32_t red = 0, green = 0, blue = 0;  // expected key when the code is 0
  };
  const KeyCase cases[] = {
      {"grey", 0, 16, testpng::u16_be(0xBEEF), 0, 0xBEEF, 0xBEEF, 0xBEEF},
      {"grey key beyond a 1-bit depth is kept", 0, 1, testpng::u16_be(0xFFFF), 0, 0xFFFF, 0xFFFF, 0xFFFF},
      {"grey 3 bytes", 0, 8, {0, 1, 2}, 30},
      {"grey 1 byte", 0, 8, {0}, 30},
      {"RGB", 2, 16, testpng::concat({testpng::u16_be(0x0102), testpng::u16_be(0xA0B0), testpng::u16_be(0xFFFE)}),
       0, 0x0102, 0xA0B0, 0xFFFE},
      {"RGB 5 bytes", 2, 8, {1, 2, 3, 4, 5}, 41},
      {"RGB 7 bytes", 2, 8, {1, 2, 3, 4, 5, 6, 7}, 41},
      {"RGBA", 6, 8, {0, 1}, 42},
      {"grey and alpha", 4, 8, {0, 1}, 42},
      {"RGBA, RGB-sized", 6, 8, {0, 1, 2, 3, 4, 5}, 42},
  };
  for (const KeyCase& c : cases) {
    SCOPED_TRACE(c.what);
    format() = VelaPNGPixelFormat{};
    format().colour_type = c.colour_type;
    format().bit_depth = c.bit_depth;
    EXPECT_EQ(read_trns(&format(), c.data.data(), c.data.size()), c.code);
    EXPECT_EQ(format().colour_key_defined, c.code == 0 ? 1u : 0u);
    if (c.code != 0) continue;
    EXPECT_EQ(format().colour_key_red, c.red);
    EXPECT_EQ(format().colour_key_green, c.green);
    EXPECT_EQ(format().colour_key_blue, c.blue);
  }
}

TEST_F(PaletteReaders, TheLastTrnsCounts) {
  format().colour_type = 2;
  const Bytes first = testpng::concat({testpng::u16_be(1), testpng::u16_be(2), testpng::u16_be(3)});
  const Bytes second = testpng::concat({testpng::u16_be(4), testpng::u16_be(5), testpng::u16_be(6)});
  ASSERT_EQ(read_trns(&format(), first.data(), first.size()), 0u);
  ASSERT_EQ(read_trns(&format(), second.data(), second.size()), 0u);
  EXPECT_EQ(format().colour_key_red, 4u);
  EXPECT_EQ(format().colour_key_green, 5u);
  EXPECT_EQ(format().colour_key_blue, 6u);
}

TEST_F(PaletteReaders, BkgdRules) {
  struct BkgdCase {
    const char* what;
    uint32_t colour_type;
    std::optional<size_t> palette_entries;
    Bytes data;
    uint32_t code;
    uint32_t red = 0, green = 0, blue = 0;
  };
  const Bytes rgb = testpng::concat({testpng::u16_be(0x1234), testpng::u16_be(0x5678), testpng::u16_be(0x9ABC)});
  const BkgdCase cases[] = {
      {"last palette index", 3, 5, {4}, 0, 4, 4, 4},
      {"index 0", 3, 5, {0}, 0, 0, 0, 0},
      {"index equal to the size", 3, 5, {5}, 103},
      {"before PLTE", 3, std::nullopt, {0}, 103},
      {"palette, 2 bytes", 3, 5, {0, 1}, 43},
      {"palette, length tested before index", 3, std::nullopt, {200, 0}, 43},
      {"palette, empty", 3, 5, {}, 43},
      {"grey", 0, std::nullopt, testpng::u16_be(0xFEDC), 0, 0xFEDC, 0xFEDC, 0xFEDC},
      {"grey and alpha", 4, std::nullopt, testpng::u16_be(0x0102), 0, 0x0102, 0x0102, 0x0102},
      {"grey, 1 byte", 0, std::nullopt, {1}, 44},
      {"grey and alpha, 3 bytes", 4, std::nullopt, {1, 2, 3}, 44},
      {"RGB", 2, std::nullopt, rgb, 0, 0x1234, 0x5678, 0x9ABC},
      {"RGBA", 6, std::nullopt, rgb, 0, 0x1234, 0x5678, 0x9ABC},
      {"RGB, 5 bytes", 2, std::nullopt, {1, 2, 3, 4, 5}, 45},
      {"RGBA, 2 bytes", 6, std::nullopt, {1, 2}, 45},
  };
  for (const BkgdCase& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    format().colour_type = c.colour_type;
    if (c.palette_entries) give_palette(c.colour_type, *c.palette_entries);
    EXPECT_EQ(read_bkgd(&info(), c.data.data(), c.data.size()), c.code);
    EXPECT_EQ(info().background_defined, c.code == 0 ? 1u : 0u);
    if (c.code != 0) continue;
    EXPECT_EQ(info().background_red, c.red);
    EXPECT_EQ(info().background_green, c.green);
    EXPECT_EQ(info().background_blue, c.blue);
  }
}

TEST_F(PaletteReaders, BkgdOnAnUnknownColourTypeStoresNothing) {
  format().colour_type = 5;
  const Bytes data = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(read_bkgd(&info(), data.data(), data.size()), 0u);
  EXPECT_EQ(info().background_defined, 0u);
  EXPECT_EQ(info().background_red, 0u);
}

}  // namespace
