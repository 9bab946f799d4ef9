#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "pixels/pixels.h"
#include "pixels/unfilter_scalar.h"
#include "pixels/unfilter_sse2.h"
#include "testkit/unfilter_reference.h"

namespace {

using namespace velapng;
using Bytes = std::vector<uint8_t>;

constexpr size_t kPixelWidths[] = {1, 2, 3, 4, 6, 8};

// Rows of every length up to three pixels, the lengths around the vector thresholds
// (and those plus one pixel), and long rows that run several 64-byte steps or 48-byte Paeth
// superblocks followed by 16-byte blocks and a byte tail.
std::vector<size_t> row_lengths(size_t bpp_bytes) {
  std::vector<size_t> lengths;
  for (size_t n = 1; n <= 3 * bpp_bytes; ++n) lengths.push_back(n);
  for (size_t n : {15, 16, 17, 23, 24, 31, 32, 33, 47, 48, 63, 64, 65, 80, 81, 97, 130, 143, 161, 176, 209, 257}) {
    lengths.push_back(n);
    lengths.push_back(n + bpp_bytes);
  }
  std::sort(lengths.begin(), lengths.end());
  lengths.erase(std::unique(lengths.begin(), lengths.end()), lengths.end());
  return lengths;
}

// Filtered rows (a filter byte and `length` bytes each) of the given types: random filtered
// bytes, or with `extremes` the filtered form of reconstructed bytes drawn from
// {0, 1, 127, 128, 254, 255}, where Average wraps and Paeth meets its ties.
Bytes make_filtered(size_t bpp_bytes, size_t length, const Bytes& types, bool extremes, std::mt19937& rng) {
  static constexpr uint8_t kExtremes[] = {0, 1, 127, 128, 254, 255};
  Bytes filtered(types.size() * (length + 1));
  for (auto& byte : filtered) byte = static_cast<uint8_t>(rng());
  if (!extremes) {
    for (size_t r = 0; r < types.size(); ++r) filtered[r * (length + 1)] = types[r];
    return filtered;
  }
  Bytes raw(types.size() * length);
  for (auto& byte : raw) byte = kExtremes[rng() % 6];
  testpng::filter_reference(filtered.data(), raw.data(), types.size(), length, bpp_bytes, types.data());
  return filtered;
}

// Filter-type sequences: every transition with the special first row; runs of 1 to 5 and
// of 9 rows of Average and of Paeth (the multi-row paths take 8, 4 or 2) between other
// filters; and each filter from the first row on.
std::vector<Bytes> type_sets() {
  std::vector<Bytes> sets = {{4, 3, 1, 2, 4, 0, 3},
                             {0, 3, 3, 4, 4, 3, 3, 3, 4, 4, 4, 3, 3, 3, 3, 4, 4, 4, 4, 2, 3, 3, 3, 3, 3,
                              4, 4, 4, 4, 4, 1, 4, 4, 4, 4, 4, 4, 4, 4, 4, 3, 3, 3, 3, 3, 3, 3, 3, 3}};
  for (uint8_t t = 0; t <= 4; ++t) sets.push_back(Bytes(6, t));
  return sets;
}

// What went wrong with one block, or empty: unfilter_rows in place at every start alignment,
// in a block that ends where its allocation ends, and unfilter_band split before every row,
// with the row above the split in an allocation of its own, must all give `expected`.
std::string check_block(const Bytes& filtered, const Bytes& expected, size_t bpp_bytes, size_t length) {
  const size_t stride = length + 1;
  const auto rows = static_cast<uint32_t>(filtered.size() / stride);
  const auto bpp = static_cast<uint32_t>(bpp_bytes);
  for (size_t offset = 0; offset < 16; ++offset) {
    Bytes block(offset + filtered.size());
    std::copy(filtered.begin(), filtered.end(), block.begin() + static_cast<long>(offset));
    const uint32_t result = unfilter_rows(block.data() + offset, rows, bpp, stride);
    if (result != 0 || !std::equal(expected.begin(), expected.end(), block.begin() + static_cast<long>(offset)))
      return "offset " + std::to_string(offset);
  }
  for (uint32_t split = 1; split < rows; ++split) {
    Bytes block = filtered;
    const uint32_t first = unfilter_band(block.data(), split, bpp, stride, nullptr);
    const Bytes above(block.begin() + static_cast<long>((split - 1) * stride + 1),
                      block.begin() + static_cast<long>(split * stride));
    const uint32_t second = unfilter_band(block.data() + split * stride, rows - split, bpp, stride, above.data());
    if (first != 0 || second != 0 || block != expected) return "band split before row " + std::to_string(split);
  }
  return "";
}

// Every filter type at every pixel width, every row length around the thresholds, runs of
// rows of one filter and mixed sequences: byte for byte what the definition gives.
// (unfilter_image's moves are checked through reconstruct_image.)
TEST(Unfilter, MatchesTheDefinitionEverywhere) {
  // The offsets mean alignments only if allocations start on 16-byte boundaries.
  ASSERT_EQ(reinterpret_cast<uintptr_t>(Bytes(40).data()) % 16, 0u);
  std::mt19937 rng(1);
  int failures = 0;
  for (size_t bpp_bytes : kPixelWidths) {
    for (size_t length : row_lengths(bpp_bytes)) {
      for (const Bytes& types : type_sets()) {
        for (const bool extremes : {false, true}) {
          const Bytes filtered = make_filtered(bpp_bytes, length, types, extremes, rng);
          Bytes expected = filtered;
          ASSERT_TRUE(testpng::unfilter_reference(expected.data(), types.size(), bpp_bytes, length + 1));
          const std::string failure = check_block(filtered, expected, bpp_bytes, length);
          if (failure.empty()) continue;
          std::string sequence;
          for (uint8_t t : types) sequence += char('0' + t);
          ADD_FAILURE() << "B=" << bpp_bytes << " L=" << length << " types " << sequence
                        << (extremes ? " extremes " : " random ") << failure;
          if (++failures > 20) return;
        }
      }
    }
  }
}

// The predictor's vector form (8 lanes at a time) and its scalar form against the
// standard's definition, for every one of the 2^24 inputs.
TEST(Unfilter, BranchFreePaethPredictorIsExactForAllInputs) {
  int scalar_failures = 0;
  int vector_failures = 0;
  alignas(16) int16_t expected[256];
  alignas(16) int16_t cs[256];
  for (int c = 0; c < 256; ++c) cs[c] = static_cast<int16_t>(c);
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      for (int c = 0; c < 256; ++c) {
        expected[c] = static_cast<int16_t>(testpng::paeth_reference(a, b, c));
        scalar_failures += unfilter_detail::paeth_predictor(a, b, c) != expected[c];
      }
      const __m128i av = _mm_set1_epi16(static_cast<int16_t>(a));
      const __m128i bv = _mm_set1_epi16(static_cast<int16_t>(b));
      for (int c = 0; c < 256; c += 8) {
        const __m128i cv = _mm_load_si128(reinterpret_cast<const __m128i*>(cs + c));
        const __m128i got = unfilter_detail::paeth_predict(av, unfilter_detail::paeth_above(bv, cv));
        const __m128i want = _mm_load_si128(reinterpret_cast<const __m128i*>(expected + c));
        vector_failures += 8 - __builtin_popcount(_mm_movemask_epi8(_mm_cmpeq_epi16(got, want))) / 2;
      }
    }
  }
  EXPECT_EQ(scalar_failures, 0);
  EXPECT_EQ(vector_failures, 0);
}

// Rows of zero length or no rows at all: nothing is read or written, not even the filter
// byte (here an invalid one), and the result is 0.
TEST(Unfilter, EmptyBlocksTouchNothing) {
  const struct { uint32_t width, height, bpp; } cases[] = {{0, 3, 8}, {0, 1, 64}, {5, 0, 8}, {0, 0, 1}, {1, 0, 64}};
  for (const auto& c : cases) {
    Bytes in = {9, 9, 9, 9};
    Bytes out = {7, 7, 7, 7};
    EXPECT_EQ(unfilter_image(out.data(), in.data(), c.width, c.height, c.bpp), 0u) << c.width << "x" << c.height;
    EXPECT_EQ(in, Bytes({9, 9, 9, 9}));
    EXPECT_EQ(out, Bytes({7, 7, 7, 7}));
  }
}

// A pixel width that no PNG format has is refused before anything is touched.
TEST(Unfilter, UnknownPixelWidthsAreRefused) {
  for (uint32_t bpp_bytes : {0u, 5u, 7u, 9u, 16u}) {
    Bytes block = {1, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
    const Bytes before = block;
    EXPECT_EQ(unfilter_rows(block.data(), 1, bpp_bytes, block.size()), 31u) << bpp_bytes;
    EXPECT_EQ(block, before);
  }
}

}  // namespace
