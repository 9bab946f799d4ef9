#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/decoder/reader_fixture.h"

namespace {

using namespace velapng;
using readertest::ReaderTest;
using testpng::Bytes;
using testpng::concat;
using testpng::u16_be;

// Palette payload bytes that differ from entry to entry and channel to channel.
Bytes palette_bytes(size_t size) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 37 + 11);
  return bytes;
}

// A table row for tRNS or bKGD: the colour type, the palette read before (entries, or -1
// for none), the chunk's data, the code, and the key or background it defines.
struct Case {
  const char* what;
  uint32_t colour_type;
  int entries;
  Bytes data;
  uint32_t code;
  uint32_t red = 0, green = 0, blue = 0;
};

class PaletteReaders : public ReaderTest {
 protected:
  void prepare(uint32_t colour_type, int entries) {
    fresh();
    format().colour_type = colour_type;
    if (entries < 0) return;
    const Bytes plte = palette_bytes(static_cast<size_t>(entries) * 3);
    ASSERT_EQ(read_plte(&format(), plte.data(), plte.size()), 0u);
  }
  Bytes alphas() {
    Bytes out;
    for (uint32_t i = 0; i < format().palette_size; ++i) out.push_back(format().palette[4 * i + 3]);
    return out;
  }
};

// The colour type plays no part: a grey image's palette is read like any other.
TEST_F(PaletteReaders, PlteLengthRules) {
  const struct {
    size_t length;
    uint32_t code;
    uint32_t entries;
  } cases[] = {
      {768, 0, 256},                         // the largest palette
      {771, 38, 257},                        // one entry too many: refused, but the size stays as read
      {2, 0, 0},                             // under one entry: empty, no error
      {0, 0, 0},      {3, 0, 1}, {7, 0, 2},  // a trailing partial entry is ignored
  };
  for (const uint32_t colour_type : {3u, 0u}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::to_string(c.length) + " bytes, colour type " + std::to_string(colour_type));
      prepare(colour_type, -1);
      const Bytes data = palette_bytes(c.length);
      EXPECT_EQ(read_plte(&format(), data.data(), data.size()), c.code);
      EXPECT_EQ(format().palette_size, c.entries);
      for (uint32_t i = 0; c.code == 0 && i < c.entries; ++i) {
        const uint8_t* entry = format().palette + 4 * i;
        ASSERT_EQ(Bytes(entry, entry + 4), (Bytes{data[3 * i], data[3 * i + 1], data[3 * i + 2], 255})) << i;
      }
    }
  }
}

TEST_F(PaletteReaders, ASecondPlteAfterTrnsBringsAlphaBackTo255) {
  prepare(3, 4);
  const Bytes trns = {0, 10, 20, 30};
  ASSERT_EQ(read_trns(&format(), trns.data(), trns.size()), 0u);
  ASSERT_EQ(alphas(), trns);
  const Bytes second = {9, 8, 7, 6, 5, 4};
  ASSERT_EQ(read_plte(&format(), second.data(), second.size()), 0u);
  EXPECT_EQ(Bytes(format().palette, format().palette + 8), (Bytes{9, 8, 7, 255, 6, 5, 4, 255}));
}

// Palettes take alphas for their first entries; grey and RGB take a colour key of 16-bit
// samples, kept at full width whatever the depth.
TEST_F(PaletteReaders, TrnsRules) {
  const Case cases[] = {
      {"3 of 5", 3, 5, {1, 2, 3}, 0},
      {"5 of 5", 3, 5, {1, 2, 3, 4, 5}, 0},
      {"6 of 5", 3, 5, {1, 2, 3, 4, 5, 6}, 39},
      {"empty", 3, 5, {}, 0},
      {"before PLTE", 3, -1, {7}, 39},
      {"empty before PLTE", 3, -1, {}, 0},
      {"grey", 0, -1, u16_be(0xBEEF), 0, 0xBEEF, 0xBEEF, 0xBEEF},
      {"grey 3 bytes", 0, -1, {0, 1, 2}, 30},
      {"grey 1 byte", 0, -1, {0}, 30},
      {"RGB", 2, -1, concat({u16_be(0x0102), u16_be(0xA0B0), u16_be(0xFFFE)}), 0, 0x0102, 0xA0B0, 0xFFFE},
      {"RGB 5 bytes", 2, -1, {1, 2, 3, 4, 5}, 41},
      {"RGB 7 bytes", 2, -1, {1, 2, 3, 4, 5, 6, 7}, 41},
      {"RGBA", 6, -1, {0, 1}, 42},
      {"grey and alpha", 4, -1, {0, 1}, 42},
      {"RGBA, RGB-sized", 6, -1, {0, 1, 2, 3, 4, 5}, 42},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    prepare(c.colour_type, c.entries);
    EXPECT_EQ(read_trns(&format(), c.data.data(), c.data.size()), c.code);
    EXPECT_EQ(format().colour_key_defined, c.code == 0 && c.colour_type != 3 ? 1u : 0u);
    if (c.colour_type == 3) {
      Bytes expected(static_cast<size_t>(c.entries < 0 ? 0 : c.entries), 255);
      if (c.code == 0) std::copy(c.data.begin(), c.data.end(), expected.begin());
      EXPECT_EQ(alphas(), expected);
    } else if (c.code == 0) {
      EXPECT_EQ(format().colour_key_red, c.red);
      EXPECT_EQ(format().colour_key_green, c.green);
      EXPECT_EQ(format().colour_key_blue, c.blue);
    }
  }
}

TEST_F(PaletteReaders, BkgdRules) {
  const Bytes rgb = concat({u16_be(0x1234), u16_be(0x5678), u16_be(0x9ABC)});
  const Case cases[] = {
      {"last palette index", 3, 5, {4}, 0, 4, 4, 4},
      {"index 0", 3, 5, {0}, 0, 0, 0, 0},
      {"index equal to the size", 3, 5, {5}, 103},
      {"before PLTE", 3, -1, {0}, 103},
      {"palette, 2 bytes", 3, 5, {0, 1}, 43},
      {"palette, length tested before index", 3, -1, {200, 0}, 43},
      {"palette, empty", 3, 5, {}, 43},
      {"grey", 0, -1, u16_be(0xFEDC), 0, 0xFEDC, 0xFEDC, 0xFEDC},
      {"grey and alpha", 4, -1, u16_be(0x0102), 0, 0x0102, 0x0102, 0x0102},
      {"grey, 1 byte", 0, -1, {1}, 44},
      {"grey and alpha, 3 bytes", 4, -1, {1, 2, 3}, 44},
      {"RGB", 2, -1, rgb, 0, 0x1234, 0x5678, 0x9ABC},
      {"RGBA", 6, -1, rgb, 0, 0x1234, 0x5678, 0x9ABC},
      {"RGB, 5 bytes", 2, -1, {1, 2, 3, 4, 5}, 45},
      {"RGBA, 2 bytes", 6, -1, {1, 2}, 45},
      {"unknown colour type stores nothing", 5, -1, rgb, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    prepare(c.colour_type, c.entries);
    EXPECT_EQ(read_bkgd(&info(), c.data.data(), c.data.size()), c.code);
    EXPECT_EQ(info().background_defined, c.code == 0 && c.colour_type != 5 ? 1u : 0u);
    EXPECT_EQ(info().background_red, c.red);
    EXPECT_EQ(info().background_green, c.green);
    EXPECT_EQ(info().background_blue, c.blue);
  }
}

}  // namespace
