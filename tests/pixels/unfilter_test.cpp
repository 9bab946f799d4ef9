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

// What the reconstructed image looks like before the test filters it.
enum class Content {
  random_filtered,  // random filtered bytes, whatever they reconstruct to
  extremes,         // reconstructed bytes from {0, 1, 127, 128, 254, 255}: ties and wraps
  all_ff,           // Average of 255 and 255, Paeth with a = b = c
  all_00,
};

struct BlockCase {
  size_t bpp_bytes;
  size_t length;
  std::vector<uint8_t> types;  // one filter type per row
  Content content;
  uint32_t seed;
};

// Filtered rows (filter byte + length bytes each) for the case.
Bytes make_filtered(const BlockCase& c) {
  std::mt19937 rng(c.seed);
  const size_t rows = c.types.size();
  Bytes filtered(rows * (c.length + 1));
  if (c.content == Content::random_filtered) {
    for (auto& byte : filtered) byte = static_cast<uint8_t>(rng());
    for (size_t r = 0; r < rows; ++r) filtered[r * (c.length + 1)] = c.types[r];
    return filtered;
  }
  static constexpr uint8_t kExtremes[] = {0, 1, 127, 128, 254, 255};
  Bytes raw(rows * c.length);
  for (auto& byte : raw) {
    byte = c.content == Content::all_ff ? 0xFF : c.content == Content::all_00 ? 0 : kExtremes[rng() % 6];
  }
  testpng::filter_reference(filtered.data(), raw.data(), rows, c.length, c.bpp_bytes, c.types.data());
  return filtered;
}

std::string describe(const BlockCase& c, size_t offset, const char* mode) {
  std::string types;
  for (uint8_t t : c.types) types += std::to_string(t);
  return std::string(mode) + " B=" + std::to_string(c.bpp_bytes) + " L=" + std::to_string(c.length) +
         " types=" + types + " content=" + std::to_string(static_cast<int>(c.content)) +
         " offset=" + std::to_string(offset);
}

// The block placed at `offset` bytes past a 16-byte boundary, ending exactly where its
// allocation ends so the sanitizer sees any read past the last row.
struct PlacedBlock {
  Bytes storage;
  uint8_t* block;
  PlacedBlock(const Bytes& filtered, size_t offset) : storage(offset + filtered.size()) {
    block = storage.data() + offset;
    std::memcpy(block, filtered.data(), filtered.size());
  }
};

// unfilter_rows in place: the whole block, filter bytes included, as the reference has it.
bool rows_match(const BlockCase& c, const Bytes& filtered, const Bytes& expected, size_t offset) {
  PlacedBlock placed(filtered, offset);
  const uint32_t result = unfilter_rows(placed.block, static_cast<uint32_t>(c.types.size()),
                                        static_cast<uint32_t>(c.bpp_bytes), c.length + 1);
  return result == 0 && std::memcmp(placed.block, expected.data(), expected.size()) == 0;
}

// Reference rows without their filter bytes, back to back.
Bytes packed_rows(const Bytes& reconstructed, size_t rows, size_t length) {
  Bytes out;
  for (size_t r = 0; r < rows; ++r) {
    const auto* row = reconstructed.data() + r * (length + 1) + 1;
    out.insert(out.end(), row, row + length);
  }
  return out;
}

// unfilter_image into a buffer of its own, onto its input, and onto a spot before its
// input in the same buffer (as the Adam7 stages do).
bool image_matches(const BlockCase& c, const Bytes& filtered, const Bytes& expected_rows, size_t offset,
                   size_t gap, bool separate) {
  const auto rows = static_cast<uint32_t>(c.types.size());
  const auto width = static_cast<uint32_t>(c.length / c.bpp_bytes);
  const auto bpp = static_cast<uint32_t>(8 * c.bpp_bytes);
  Bytes with_gap(gap, 0xA5);
  with_gap.insert(with_gap.end(), filtered.begin(), filtered.end());
  PlacedBlock placed(with_gap, offset);
  uint8_t* in = placed.block + gap;
  Bytes own(expected_rows.size());
  uint8_t* out = separate ? own.data() : placed.block;
  if (unfilter_image(out, in, width, rows, bpp) != 0) return false;
  return std::memcmp(out, expected_rows.data(), expected_rows.size()) == 0;
}

std::vector<BlockCase> block_cases() {
  std::vector<BlockCase> cases;
  uint32_t seed = 1;
  for (size_t bpp_bytes : kPixelWidths) {
    for (size_t length : row_lengths(bpp_bytes)) {
      std::vector<std::vector<uint8_t>> type_sets;
      for (uint8_t t = 0; t <= 4; ++t) type_sets.push_back({t, t, t});
      type_sets.push_back({4, 3, 1, 2, 4, 0, 3});  // every transition, first row special
      for (const auto& types : type_sets) {
        for (Content content : {Content::random_filtered, Content::extremes, Content::all_ff, Content::all_00}) {
          cases.push_back({bpp_bytes, length, types, content, seed++});
        }
      }
    }
  }
  return cases;
}

// Every filter type at every pixel width, every row length around the thresholds, every
// start alignment, in place and moved: byte for byte what the definition gives.
TEST(Unfilter, MatchesTheDefinitionEverywhere) {
  // The offsets mean alignments only if allocations start on 16-byte boundaries.
  ASSERT_EQ(reinterpret_cast<uintptr_t>(PlacedBlock(Bytes(40), 0).storage.data()) % 16, 0u);
  int failures = 0;
  for (const BlockCase& c : block_cases()) {
    if (failures > 20) break;
    const Bytes filtered = make_filtered(c);
    Bytes expected = filtered;
    ASSERT_TRUE(testpng::unfilter_reference(expected.data(), c.types.size(), c.bpp_bytes, c.length + 1));
    const bool uniform = c.content == Content::all_ff || c.content == Content::all_00;
    for (size_t offset = 0; offset < 16; offset += uniform ? 5 : 1) {
      if (!rows_match(c, filtered, expected, offset)) {
        ADD_FAILURE() << describe(c, offset, "unfilter_rows");
        ++failures;
      }
    }
    if (c.length % c.bpp_bytes != 0) continue;  // no image has such rows
    const Bytes expected_rows = packed_rows(expected, c.types.size(), c.length);
    const struct {
      const char* name;
      size_t gap;
      bool separate;
    } modes[] = {{"image to own buffer", 0, true}, {"image in place", 0, false}, {"image moved 3 back", 3, false}};
    for (const auto& mode : modes) {
      for (size_t offset : {0, 9}) {
        if (!image_matches(c, filtered, expected_rows, offset, mode.gap, mode.separate)) {
          ADD_FAILURE() << describe(c, offset, mode.name);
          ++failures;
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
          if (unfilter_detail::paeth_predictor(a, b, c + k) != testpng::paeth_reference(a, b, c + k))
            ++scalar_failures;
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

// A filter-type byte above 4: code 36. Rows above it stay reconstructed in place, the bad
// row and everything below are untouched, and unfilter_image writes nothing to its output.
TEST(Unfilter, FilterTypeAboveFourIsRejected) {
  for (size_t bpp_bytes : kPixelWidths) {
    const size_t length = 40 * bpp_bytes;  // long enough for the vector paths
    for (int bad = 5; bad <= 255; ++bad) {
      const BlockCase c{bpp_bytes, length, {1, static_cast<uint8_t>(bad), 2}, Content::random_filtered,
                        static_cast<uint32_t>(bad)};
      const Bytes filtered = make_filtered(c);
      Bytes first_row(filtered.begin(), filtered.begin() + static_cast<long>(length + 1));
      ASSERT_TRUE(testpng::unfilter_reference(first_row.data(), 1, bpp_bytes, length + 1));

      Bytes block = filtered;
      EXPECT_EQ(unfilter_rows(block.data(), 3, static_cast<uint32_t>(bpp_bytes), length + 1), 36u) << bad;
      EXPECT_TRUE(std::equal(first_row.begin(), first_row.end(), block.begin())) << bad;
      EXPECT_TRUE(std::equal(filtered.begin() + static_cast<long>(length + 1), filtered.end(),
                             block.begin() + static_cast<long>(length + 1)))
          << bad;

      Bytes in = filtered;
      Bytes out(3 * length, 0x5C);
      EXPECT_EQ(unfilter_image(out.data(), in.data(), 40, 3, static_cast<uint32_t>(8 * bpp_bytes)), 36u) << bad;
      EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t v) { return v == 0x5C; })) << bad;
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
  const struct {
    uint32_t width, height, bpp;
  } cases[] = {{0, 3, 8}, {0, 1, 64}, {5, 0, 8}, {0, 0, 1}, {1, 0, 64}};
  for (const auto& c : cases) {
    Bytes in = {9, 9, 9, 9};
    Bytes out = {7, 7, 7, 7};
    EXPECT_EQ(unfilter_image(out.data(), in.data(), c.width, c.height, c.bpp), 0u) << c.width << "x" << c.height;
    EXPECT_EQ(in, Bytes({9, 9, 9, 9}));
    EXPECT_EQ(out, Bytes({7, 7, 7, 7}));
  }
}

// Row lengths follow from width and bits per pixel, rounded up to whole bytes; sub-byte
// pixels share one left-neighbour distance of a byte. Each row is checked where it lands.
TEST(Unfilter, RowLengthAndLeftDistanceFollowBitsPerPixel) {
  const uint32_t formats[] = {1, 2, 4, 8, 16, 24, 32, 48, 64};
  for (uint32_t bpp : formats) {
    for (uint32_t width = 1; width <= 19; ++width) {
      const size_t length = (static_cast<size_t>(width) * bpp + 7) / 8;
      const size_t bpp_bytes = (bpp + 7) / 8;
      const BlockCase c{bpp_bytes, length, {0, 1, 2, 3, 4}, Content::random_filtered, width * 100 + bpp};
      const Bytes filtered = make_filtered(c);
      Bytes expected = filtered;
      ASSERT_TRUE(testpng::unfilter_reference(expected.data(), 5, bpp_bytes, length + 1));
      Bytes in = filtered;
      Bytes out(5 * length + 1, 0xEE);  // one guard byte past the last row
      ASSERT_EQ(unfilter_image(out.data(), in.data(), width, 5, bpp), 0u);
      EXPECT_EQ(Bytes(out.begin(), out.end() - 1), packed_rows(expected, 5, length)) << bpp << " " << width;
      EXPECT_EQ(out.back(), 0xEE) << bpp << " " << width;
    }
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
