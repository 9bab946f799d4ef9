#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

#include "plugin/load.h"

namespace {

// Against the plain byte exchange, on both sides of every vector step and at every
// alignment; the bytes after the range must stay.
TEST(SwapRedBlue, MatchesByteExchangeAtEveryLengthAndAlignment) {
  std::mt19937 random(7);
  for (size_t start = 0; start < 4; ++start) {
    for (size_t pixels = 0; pixels <= 70; ++pixels) {
      std::vector<uint8_t> data(start + pixels * 4 + 8);
      for (uint8_t& byte : data) byte = static_cast<uint8_t>(random());
      std::vector<uint8_t> expected = data;
      for (size_t i = 0; i < pixels; ++i) std::swap(expected[start + 4 * i], expected[start + 4 * i + 2]);
      velapng::swap_red_blue(data.data() + start, static_cast<uint32_t>(pixels * 4));
      ASSERT_EQ(data, expected) << "start " << start << ", pixels " << pixels;
    }
  }
}

}  // namespace
