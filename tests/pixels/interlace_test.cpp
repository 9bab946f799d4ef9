#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "pixels/pixels.h"
#include "tests/pixels/pixel_model.h"
#include "tests/support/unfilter_reference.h"

namespace {

using namespace velapng;
using testpng::Format;
using testpng::Samples;
using Bytes = std::vector<uint8_t>;

// The Adam7 pattern of ISO/IEC 15948, passes 1 to 7.
constexpr uint32_t kStartColumn[7] = {0, 4, 0, 2, 0, 1, 0};
constexpr uint32_t kStartRow[7] = {0, 0, 4, 0, 2, 0, 1};
constexpr uint32_t kColumnStep[7] = {8, 8, 4, 4, 2, 2, 1};
constexpr uint32_t kRowStep[7] = {8, 8, 8, 4, 4, 2, 2};

// One format for each pixel width PNG has, 1 to 64 bits: reconstruction sees only the width.
const Format kFormats[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {6, 8}, {2, 16}, {6, 16}};

uint32_t bpp_of(const Format& f) { return f.channels() * f.bit_depth; }
uint64_t row_bytes(uint64_t width, uint32_t bpp) { return (width * bpp + 7) / 8; }

struct Pass {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<Samples> pixels;  // row by row
};

// The passes found by walking the image and sorting each pixel into the pass whose
// pattern it matches; a pass without pixels is empty in both directions.
std::vector<Pass> split_into_passes(const std::vector<Samples>& image, uint32_t width, uint32_t height) {
  std::vector<Pass> passes(7);
  for (int p = 0; p < 7; ++p) {
    Pass& pass = passes[p];
    for (uint32_t y = kStartRow[p]; y < height; y += kRowStep[p]) {
      uint32_t row_width = 0;
      for (uint32_t x = kStartColumn[p]; x < width; x += kColumnStep[p], ++row_width)
        pass.pixels.push_back(image[y * width + x]);
      if (row_width == 0) break;
      pass.width = row_width;
      ++pass.height;
    }
  }
  return passes;
}

// Rows as the file stores them: each packed, padded to whole bytes with random bits (a
// decoder must ignore them), then filtered with random filter types as an encoder might.
Bytes file_rows(const Format& f, const std::vector<Samples>& pixels, uint32_t width, uint32_t height,
                std::mt19937& random) {
  const uint64_t used_bits = uint64_t{width} * bpp_of(f);
  const size_t length = row_bytes(width, bpp_of(f));
  Bytes rows;
  std::vector<uint8_t> types(height);
  for (uint32_t y = 0; y < height; ++y) {
    Bytes row = testpng::pack(f, {pixels.begin() + y * width, pixels.begin() + (y + 1) * width});
    if (used_bits % 8 != 0) row.back() |= static_cast<uint8_t>(testpng::draw(random) & (0xFFu >> (used_bits % 8)));
    rows.insert(rows.end(), row.begin(), row.end());
    types[y] = static_cast<uint8_t>(testpng::draw(random) % 5);
  }
  Bytes filtered(height * (length + 1));
  testpng::filter_reference(filtered.data(), rows.data(), height, length, (bpp_of(f) + 7) / 8, types.data());
  return filtered;
}

VelaPNGState state_for(uint32_t colour_type, uint32_t bit_depth, uint32_t interlace) {
  VelaPNGState state;  // reconstruct_image reads only these three fields
  state.image_info.pixel_format.colour_type = colour_type;
  state.image_info.pixel_format.bit_depth = bit_depth;
  state.image_info.interlace_method = interlace;
  return state;
}

// The pass geometry, derived from enumerating the pixels of each pass, for every size up
// to 33 x 33 at sub-byte and whole-byte depths.
TEST(PassLayout, MatchesThePassesFoundPixelByPixel) {
  for (uint32_t bpp : {1u, 2u, 4u, 8u, 24u, 64u}) {
    for (uint32_t h = 1; h <= 33; ++h) {
      for (uint32_t w = 1; w <= 33; ++w) {
        const std::vector<Pass> passes = split_into_passes(std::vector<Samples>(size_t{w} * h), w, h);
        const PassLayout layout = compute_pass_layout(w, h, bpp);
        uint64_t filtered = 0, padded = 0, packed = 0;
        for (int p = 0; p <= 7; ++p) {
          const std::string where = std::to_string(w) + "x" + std::to_string(h) + " bpp " + std::to_string(bpp) +
                                    " pass " + std::to_string(p + 1);
          ASSERT_EQ(layout.filtered_start[p], filtered) << where;
          ASSERT_EQ(layout.padded_start[p], padded) << where;
          ASSERT_EQ(layout.packed_start[p], packed) << where;
          if (p == 7) break;
          ASSERT_EQ(layout.pass_width[p], passes[p].width) << where;
          ASSERT_EQ(layout.pass_height[p], passes[p].height) << where;
          filtered += passes[p].height * (1 + row_bytes(passes[p].width, bpp));
          padded += passes[p].height * row_bytes(passes[p].width, bpp);
          packed += row_bytes(passes[p].pixels.size(), bpp);
        }
      }
    }
  }
}

// A width near 2^32: pass 7 takes the odd rows whole, so rows 1 and 3 of a 4-row image,
// whose products overflow 32 bits but not 64.
TEST(PassLayout, HugeWidthsDoNotWrap) {
  const uint64_t w = 0xFFFFFFFFu;
  const PassLayout layout = compute_pass_layout(static_cast<uint32_t>(w), 4, 64);
  EXPECT_EQ(layout.pass_width[6], w);
  EXPECT_EQ(layout.pass_height[6], 2u);
  EXPECT_EQ(layout.packed_start[7] - layout.packed_start[6], 2 * w * 8);
  EXPECT_EQ(layout.padded_start[7] - layout.padded_start[6], 2 * w * 8);
  EXPECT_EQ(layout.filtered_start[7] - layout.filtered_start[6], 2 * (1 + w * 8));
}

// Every pixel width at every size up to 33 x 33 with Adam7 (33 x 5 plain, where rows do not
// interact beyond the one above): a random image, filtered and interlaced here, comes back
// bit for bit.
TEST(ReconstructImage, GivesBackTheOriginalImage) {
  std::mt19937 random(7);
  int failures = 0;
  for (const uint32_t interlace : {0u, 1u}) {
    for (const Format& f : kFormats) {
      for (uint32_t h = 1; h <= (interlace ? 33u : 5u); ++h) {
        for (uint32_t w = 1; w <= 33 && failures < 10; ++w) {
          const std::vector<Samples> image = testpng::random_pixels(f, size_t{w} * h, random);
          Bytes inflated;
          if (interlace == 0) inflated = file_rows(f, image, w, h, random);
          for (const Pass& pass : interlace ? split_into_passes(image, w, h) : std::vector<Pass>{}) {
            const Bytes filtered = file_rows(f, pass.pixels, pass.width, pass.height, random);
            inflated.insert(inflated.end(), filtered.begin(), filtered.end());
          }
          const Bytes expected = testpng::pack(f, image);
          Bytes out(expected.size(), 0);
          const VelaPNGState state = state_for(f.colour_type, f.bit_depth, interlace);
          const uint32_t result = reconstruct_image(out.data(), inflated.data(), w, h, &state);
          if (result != 0 || out != expected) {
            ADD_FAILURE() << f.name() << (interlace ? " Adam7 " : " ") << w << "x" << h << " result " << result;
            ++failures;
          }
        }
      }
    }
  }
}

// The zero bits-per-pixel guard: nothing read, nothing written.
TEST(ReconstructImage, UnknownFormatIsCode31AndTouchesNothing) {
  const struct { uint32_t colour_type, bit_depth, interlace; } cases[] = {{5, 8, 0}, {1, 8, 1}, {6, 0, 0}, {0, 0, 1}};
  for (const auto& c : cases) {
    Bytes in = {4, 1, 2, 3, 4, 5, 6, 7, 8};
    Bytes out(8, 0x33);
    const VelaPNGState state = state_for(c.colour_type, c.bit_depth, c.interlace);
    EXPECT_EQ(reconstruct_image(out.data(), in.data(), 2, 2, &state), 31u) << c.colour_type << "/" << c.bit_depth;
    EXPECT_EQ(in, Bytes({4, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(out, Bytes(8, 0x33));
  }
}

// A bad filter type anywhere ends the work with 36 and leaves the output as it was, on
// the direct path, the padding path and in any Adam7 pass.
TEST(ReconstructImage, BadFilterTypeIsPassedOnAndOutputUntouched) {
  std::mt19937 random(5);
  const struct {
    uint32_t colour_type, bit_depth, interlace, width, height, bad_row;
  } cases[] = {
      {6, 8, 0, 9, 4, 2},   // straight into the output
      {0, 1, 0, 3, 4, 3},   // in place, then padding removal
      {2, 16, 1, 9, 9, 0},  // Adam7, first pass
      {0, 2, 1, 9, 9, 6},   // Adam7, a later pass, sub-byte
  };
  for (const auto& c : cases) {
    const uint32_t bpp = bits_per_pixel(c.colour_type, c.bit_depth);
    const PassLayout layout = compute_pass_layout(c.width, c.height, bpp);
    // The filter bytes, pass by pass and row by row; the chosen one becomes invalid.
    std::vector<uint64_t> filter_bytes;
    for (int p = 0; p < (c.interlace ? 7 : 1); ++p) {
      const uint64_t pass_width = c.interlace ? layout.pass_width[p] : c.width;
      const uint64_t pass_height = c.interlace ? layout.pass_height[p] : c.height;
      const uint64_t start = c.interlace ? layout.filtered_start[p] : 0;
      for (uint64_t y = 0; y < pass_height; ++y) filter_bytes.push_back(start + y * (1 + row_bytes(pass_width, bpp)));
    }
    Bytes in(c.interlace ? layout.filtered_start[7] : c.height * (1 + row_bytes(c.width, bpp)));
    for (auto& byte : in) byte = static_cast<uint8_t>(testpng::draw(random) % 5);  // every filter byte valid
    ASSERT_LT(c.bad_row, filter_bytes.size());
    in[filter_bytes[c.bad_row]] = 200;
    Bytes out(row_bytes(uint64_t{c.width} * c.height, bpp), 0);
    const VelaPNGState state = state_for(c.colour_type, c.bit_depth, c.interlace);
    EXPECT_EQ(reconstruct_image(out.data(), in.data(), c.width, c.height, &state), 36u) << c.bad_row;
    EXPECT_EQ(out, Bytes(out.size(), 0)) << c.bad_row;
  }
}

uint32_t bit(const Bytes& b, uint64_t i) { return b[i / 8] >> (7 - i % 8) & 1u; }

// Rows of any bit length and spacing, into a buffer of any prior content or onto the input
// itself: the row bits arrive back to back, and every bit past the last row stays as it was.
TEST(StripRowPadding, PacksRowsWhateverTheOutputHeld) {
  std::mt19937 random(3);
  for (uint64_t out_bits = 0; out_bits <= 40; ++out_bits) {
    for (uint64_t pad = 0; pad <= 17; ++pad) {
      for (uint32_t rows : {0u, 1u, 2u, 5u}) {
        const uint64_t in_bits = out_bits + pad;
        Bytes in((rows * in_bits + 7) / 8 + 1);
        for (auto& byte : in) byte = static_cast<uint8_t>(testpng::draw(random));
        for (int fill : {0x00, 0xFF, 0x6B, -1}) {  // -1: in place
          Bytes out = fill < 0 ? in : Bytes(in.size() + 2, static_cast<uint8_t>(fill));
          const Bytes before = out;
          strip_row_padding(out.data(), fill < 0 ? out.data() : in.data(), out_bits, in_bits, rows);
          uint64_t wrong = 0;
          for (uint64_t i = 0; i < out.size() * 8; ++i) {
            const bool row_bit = i < rows * out_bits;
            wrong += bit(out, i) != (row_bit ? bit(in, i / out_bits * in_bits + i % out_bits) : bit(before, i));
          }
          ASSERT_EQ(wrong, 0u) << "fill " << fill << " out " << out_bits << " in " << in_bits << " rows " << rows;
        }
      }
    }
  }
}

}  // namespace
