#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

#include "plugin/load.h"

namespace {

// Byte-by-byte exchange, the plain form of the rule.
void reference_swap(std::vector<uint8_t>& bytes, size_t start, size_t pixels) {
  for (size_t i = 0; i < pixels; ++i) std::swap(bytes[start + 4 * i], bytes[start + 4 * i + 2]);
}

TEST(SwapRedBlue, MatchesByteExchangeAtEveryLengthAndAlignment) {
  std::mt19937 random(7);
  for (size_t start = 0; start < 4; ++start) {
    for (size_t pixels = 0; pixels <= 70; ++pixels) {
      std::vector<uint8_t> data(start + pixels * 4 + 8);
      for (uint8_t& byte : data) byte = static_cast<uint8_t>(random());
      std::vector<uint8_t> expected = data;
      reference_swap(expected, start, pixels);
      velapng::swap_red_blue(data.data() + start, static_cast<uint32_t>(pixels * 4));
      ASSERT_EQ(data, expected) << "start " << start << ", pixels " << pixels;
    }
  }
}

TEST(SwapRedBlue, RgbaBecomesBgra) {
  std::vector<uint8_t> pixel = {0x11, 0x22, 0x33, 0x44};
  velapng::swap_red_blue(pixel.data(), 4);
  EXPECT_EQ(pixel, (std::vector<uint8_t>{0x33, 0x22, 0x11, 0x44}));
}

}  // namespace
