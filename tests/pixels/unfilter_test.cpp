#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "pixels/pixels.h"
#include "pixels/unfilter_scalar.h"
#include "pixels/unfilter_sse2.h"
#include "tests/support/unfilter_reference.h"

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

// Every filter type at every pixel width, every row length around the thresholds and every
// start alignment, in place in a block that ends where its allocation ends: byte for byte
// what the definition gives. (unfilter_image's moves are checked through reconstruct_image.)
TEST(Unfilter, MatchesTheDefinitionEverywhere) {
  // The offsets mean alignments only if allocations start on 16-byte boundaries.
  ASSERT_EQ(reinterpret_cast<uintptr_t>(Bytes(40).data()) % 16, 0u);
  std::mt19937 rng(1);
  int failures = 0;
  for (size_t bpp_bytes : kPixelWidths) {
    for (size_t length : row_lengths(bpp_bytes)) {
      std::vector<Bytes> type_sets = {{4, 3, 1, 2, 4, 0, 3}};  // every transition, first row special
      for (uint8_t t = 0; t <= 4; ++t) type_sets.push_back({t, t, t});
      for (const Bytes& types : type_sets) {
        for (const bool extremes : {false, true}) {
          const Bytes filtered = make_filtered(bpp_bytes, length, types, extremes, rng);
          Bytes expected = filtered;
          ASSERT_TRUE(testpng::unfilter_reference(expected.data(), types.size(), bpp_bytes, length + 1));
          for (size_t offset = 0; offset < 16; ++offset) {
            Bytes block(offset + filtered.size());
            std::copy(filtered.begin(), filtered.end(), block.begin() + static_cast<long>(offset));
            const uint32_t result = unfilter_rows(block.data() + offset, static_cast<uint32_t>(types.size()),
                                                  static_cast<uint32_t>(bpp_bytes), length + 1);
            if (result == 0 && std::equal(expected.begin(), expected.end(), block.begin() + static_cast<long>(offset)))
              continue;
            ADD_FAILURE() << "B=" << bpp_bytes << " L=" << length << " first type " << int{types[0]}
                          << (extremes ? " extremes" : " random") << " offset " << offset;
            if (++failures > 20) return;
          }
        }
      }
    }
  }
}

// The vector paths reuse the predictor on many lanes at once; both forms must agree with
// the standard's definition for every one of the 2^24 inputs.
TEST(Unfilter, BranchFreePaethPredictorIsExactForAllInputs) {
  int scalar_failures = 0;
  int vector_failures = 0;
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      for (int c = 0; c < 256; c += 8) {
        alignas(16) int16_t as[8], bs[8], cs[8], got[8];
        for (int k = 0; k < 8; ++k) {
          as[k] = static_cast<int16_t>(a);
          bs[k] = static_cast<int16_t>(b);
          cs[k] = static_cast<int16_t>(c + k);
          if (unfilter_detail::paeth_predictor(a, b, c + k) != testpng::paeth_reference(a, b, c + k)) ++scalar_failures;
        }
        const __m128i cv = _mm_load_si128(reinterpret_cast<__m128i*>(cs));
        const __m128i p = unfilter_detail::paeth_predictor_16(_mm_load_si128(reinterpret_cast<__m128i*>(as)),
                                                              _mm_load_si128(reinterpret_cast<__m128i*>(bs)), cv, cv);
        _mm_store_si128(reinterpret_cast<__m128i*>(got), p);
        for (int k = 0; k < 8; ++k) {
          if (got[k] != testpng::paeth_reference(a, b, c + k)) ++vector_failures;
        }
      }
    }
  }
  EXPECT_EQ(scalar_failures, 0);
  EXPECT_EQ(vector_failures, 0);
}

// A filter-type byte above 4 (just above, with the top bit set, the largest): code 36. Rows
// above it stay reconstructed in place, the bad row and everything below are untouched, and
// unfilter_image writes nothing to its output; a bad first row changes nothing at all.
TEST(Unfilter, FilterTypeAboveFourIsRejected) {
  std::mt19937 rng(2);
  for (size_t bpp_bytes : kPixelWidths) {
    const size_t length = 40 * bpp_bytes;  // long enough for the vector paths
    for (const uint8_t bad : {uint8_t{5}, uint8_t{128}, uint8_t{255}}) {
      const Bytes filtered = make_filtered(bpp_bytes, length, {1, bad, 2}, false, rng);
      Bytes expected = filtered;
      ASSERT_TRUE(testpng::unfilter_reference(expected.data(), 1, bpp_bytes, length + 1));  // the first row only
      Bytes block = filtered;
      EXPECT_EQ(unfilter_rows(block.data(), 3, static_cast<uint32_t>(bpp_bytes), length + 1), 36u) << int{bad};
      EXPECT_EQ(block, expected) << int{bad};
      Bytes out(3 * length, 0x5C);
      EXPECT_EQ(unfilter_image(out.data(), block.data(), 40, 3, static_cast<uint32_t>(8 * bpp_bytes)), 36u);
      EXPECT_EQ(out, Bytes(3 * length, 0x5C)) << int{bad};
    }
  }
  Bytes first_bad = {7, 1, 2, 3, 0, 4, 5, 6};
  const Bytes before = first_bad;
  EXPECT_EQ(unfilter_rows(first_bad.data(), 2, 1, 4), 36u);
  EXPECT_EQ(first_bad, before);
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
