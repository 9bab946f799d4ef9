#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "pixels/pixels.h"
#include "tests/support/unfilter_reference.h"

namespace {

using namespace velapng;
using Bytes = std::vector<uint8_t>;

// The Adam7 pattern of ISO/IEC 15948, passes 1 to 7.
constexpr uint32_t kStartColumn[7] = {0, 4, 0, 2, 0, 1, 0};
constexpr uint32_t kStartRow[7] = {0, 0, 4, 0, 2, 0, 1};
constexpr uint32_t kColumnStep[7] = {8, 8, 4, 4, 2, 2, 1};
constexpr uint32_t kRowStep[7] = {8, 8, 8, 4, 4, 2, 2};

struct Format {
  uint32_t colour_type;
  uint32_t bit_depth;
  uint32_t channels;
};

// Every colour type and depth the format allows, with its channel count.
constexpr Format kFormats[] = {{0, 1, 1},  {0, 2, 1}, {0, 4, 1},  {0, 8, 1},  {0, 16, 1},
                               {3, 1, 1},  {3, 2, 1}, {3, 4, 1},  {3, 8, 1},  {4, 8, 2},
                               {4, 16, 2}, {2, 8, 3}, {2, 16, 3}, {6, 8, 4},  {6, 16, 4}};

// A small fast generator (splitmix64): the image tests draw millions of pixels.
struct Random {
  uint64_t state;
  uint64_t operator()() {
    uint64_t z = (state += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
  }
};

uint32_t bpp_of(const Format& f) { return f.channels * f.bit_depth; }

// Appends pixels (each a value of `bpp` bits) as one bit stream, most significant bit
// first, starting on a byte boundary. Whole-byte pixels are written byte by byte, high
// byte first; the others bit by bit.
void pack_into(Bytes& out, const uint64_t* pixels, size_t count, uint32_t bpp) {
  const size_t start = out.size();
  out.resize(start + (count * bpp + 7) / 8, 0);
  uint8_t* bytes = out.data() + start;
  for (size_t i = 0; i < count; ++i) {
    if (bpp % 8 == 0) {
      for (uint32_t k = 0; k < bpp / 8; ++k) *bytes++ = static_cast<uint8_t>(pixels[i] >> (bpp - 8 - 8 * k));
      continue;
    }
    for (uint32_t k = 0; k < bpp; ++k) {
      const uint64_t bit = (pixels[i] >> (bpp - 1 - k)) & 1;
      const uint64_t position = i * bpp + k;
      bytes[position / 8] = static_cast<uint8_t>(bytes[position / 8] | (bit << (7 - position % 8)));
    }
  }
}

Bytes pack(const std::vector<uint64_t>& pixels, uint32_t bpp) {
  Bytes out;
  pack_into(out, pixels.data(), pixels.size(), bpp);
  return out;
}

std::vector<uint64_t> random_pixels(size_t count, uint32_t bpp, Random& rng) {
  std::vector<uint64_t> pixels(count);
  for (auto& p : pixels) p = bpp == 64 ? rng() : rng() & ((uint64_t{1} << bpp) - 1);
  return pixels;
}

// Rows as the file stores them: each packed, padded to whole bytes with random bits (a
// decoder must ignore them), then filtered with random filter types as an encoder might.
Bytes file_rows(const uint64_t* pixels, uint32_t width, uint32_t height, uint32_t bpp, Random& rng) {
  Bytes rows;
  const uint64_t used_bits = uint64_t{width} * bpp;
  for (uint32_t y = 0; y < height; ++y) {
    pack_into(rows, pixels + size_t{y} * width, width, bpp);
    if (used_bits % 8 != 0) rows.back() = static_cast<uint8_t>(rows.back() | (rng() & (0xFFu >> (used_bits % 8))));
  }
  std::vector<uint8_t> types(height);
  for (auto& t : types) t = static_cast<uint8_t>(rng() % 5);
  const size_t length = (used_bits + 7) / 8;
  Bytes filtered(height * (length + 1));
  testpng::filter_reference(filtered.data(), rows.data(), height, length, (bpp + 7) / 8, types.data());
  return filtered;
}

struct Pass {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint64_t> pixels;  // row by row
};

// The passes found by walking the image and sorting each pixel into the pass whose
// pattern it matches; a pass without pixels is empty in both directions.
std::vector<Pass> split_into_passes(const std::vector<uint64_t>& image, uint32_t width, uint32_t height) {
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

VelaPNGState state_for(uint32_t colour_type, uint32_t bit_depth, uint32_t interlace) {
  VelaPNGState state;  // reconstruct_image reads only these three fields
  state.image_info.pixel_format.colour_type = colour_type;
  state.image_info.pixel_format.bit_depth = bit_depth;
  state.image_info.interlace_method = interlace;
  return state;
}

// The pass geometry, derived from enumerating the pixels of each pass, for every size up
// to 33 x 33 (the 5 x 3 image among them) at sub-byte and whole-byte depths.
TEST(PassLayout, MatchesThePassesFoundPixelByPixel) {
  for (uint32_t bpp : {1u, 2u, 4u, 8u, 24u, 64u}) {
    for (uint32_t h = 1; h <= 33; ++h) {
      for (uint32_t w = 1; w <= 33; ++w) {
        const std::vector<Pass> passes = split_into_passes(std::vector<uint64_t>(size_t{w} * h), w, h);
        const PassLayout layout = compute_pass_layout(w, h, bpp);
        uint64_t filtered = 0, padded = 0, packed = 0;
        for (int p = 0; p < 7; ++p) {
          const std::string where = std::to_string(w) + "x" + std::to_string(h) + " bpp " + std::to_string(bpp) +
                                    " pass " + std::to_string(p + 1);
          ASSERT_EQ(layout.pass_width[p], passes[p].width) << where;
          ASSERT_EQ(layout.pass_height[p], passes[p].height) << where;
          ASSERT_EQ(layout.filtered_start[p], filtered) << where;
          ASSERT_EQ(layout.padded_start[p], padded) << where;
          ASSERT_EQ(layout.packed_start[p], packed) << where;
          Bytes one_row;
          pack_into(one_row, passes[p].pixels.data(), passes[p].width, bpp);  // bytes per row
          filtered += passes[p].height * (1 + one_row.size());
          padded += passes[p].height * one_row.size();
          packed += (passes[p].pixels.size() * bpp + 7) / 8;
        }
        ASSERT_EQ(layout.filtered_start[7], filtered);
        ASSERT_EQ(layout.padded_start[7], padded);
        ASSERT_EQ(layout.packed_start[7], packed);
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

// Every valid format at every size up to 33 x 33: a random image, interlaced and filtered
// here, comes back bit for bit.
TEST(ReconstructImage, Adam7GivesBackTheOriginalImage) {
  Random rng{7};
  int failures = 0;
  for (const Format& f : kFormats) {
    const uint32_t bpp = bpp_of(f);
    for (uint32_t h = 1; h <= 33; ++h) {
      for (uint32_t w = 1; w <= 33 && failures < 10; ++w) {
        const std::vector<uint64_t> image = random_pixels(size_t{w} * h, bpp, rng);
        Bytes inflated;
        for (const Pass& pass : split_into_passes(image, w, h)) {
          const Bytes filtered = file_rows(pass.pixels.data(), pass.width, pass.height, bpp, rng);
          inflated.insert(inflated.end(), filtered.begin(), filtered.end());
        }
        const Bytes expected = pack(image, bpp);
        Bytes out(expected.size(), 0);
        const VelaPNGState state = state_for(f.colour_type, f.bit_depth, 1);
        const uint32_t result = reconstruct_image(out.data(), inflated.data(), w, h, &state);
        if (result != 0 || out != expected) {
          ADD_FAILURE() << "colour " << f.colour_type << " depth " << f.bit_depth << " " << w << "x" << h
                        << " result " << result;
          ++failures;
        }
      }
    }
  }
}

// Non-interlaced images of every format at widths 1..33: whole-byte rows go straight to
// the output, rows with padding bits lose them.
TEST(ReconstructImage, ProgressiveGivesBackTheOriginalImage) {
  Random rng{11};
  for (const Format& f : kFormats) {
    const uint32_t bpp = bpp_of(f);
    for (uint32_t w = 1; w <= 33; ++w) {
      for (uint32_t h : {1u, 2u, 5u}) {
        const std::vector<uint64_t> image = random_pixels(size_t{w} * h, bpp, rng);
        Bytes inflated = file_rows(image.data(), w, h, bpp, rng);
        const Bytes expected = pack(image, bpp);
        Bytes out(expected.size(), 0);
        const VelaPNGState state = state_for(f.colour_type, f.bit_depth, 0);
        ASSERT_EQ(reconstruct_image(out.data(), inflated.data(), w, h, &state), 0u);
        ASSERT_EQ(out, expected) << "colour " << f.colour_type << " depth " << f.bit_depth << " " << w << "x" << h;
      }
    }
  }
}

// The zero bits-per-pixel guard: nothing read, nothing written.
TEST(ReconstructImage, UnknownFormatIsCode31AndTouchesNothing) {
  const struct {
    uint32_t colour_type, bit_depth, interlace;
  } cases[] = {{5, 8, 0}, {5, 8, 1}, {6, 0, 0}, {0, 0, 1}, {1, 8, 0}, {7, 16, 1}};
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
  Random rng{5};
  const struct {
    uint32_t colour_type, bit_depth, interlace, width, height, bad_row;
  } cases[] = {
      {6, 8, 0, 9, 4, 2},  // straight into the output
      {0, 1, 0, 3, 4, 3},  // in place, then padding removal
      {2, 16, 1, 9, 9, 0}, // Adam7, first pass
      {0, 2, 1, 9, 9, 6},  // Adam7, a later pass, sub-byte
  };
  for (const auto& c : cases) {
    const uint32_t bpp = bits_per_pixel(c.colour_type, c.bit_depth);
    const PassLayout layout = compute_pass_layout(c.width, c.height, bpp);
    const uint64_t size = c.interlace ? layout.filtered_start[7] : c.height * (1 + (uint64_t{c.width} * bpp + 7) / 8);
    Bytes in(size);
    for (auto& byte : in) byte = static_cast<uint8_t>(rng() % 5);  // every filter byte valid
    // The filter bytes, pass by pass and row by row; the chosen one becomes invalid.
    std::vector<uint64_t> filter_bytes;
    const int passes = c.interlace ? 7 : 1;
    for (int p = 0; p < passes; ++p) {
      const uint64_t pass_width = c.interlace ? layout.pass_width[p] : c.width;
      const uint64_t pass_height = c.interlace ? layout.pass_height[p] : c.height;
      const uint64_t start = c.interlace ? layout.filtered_start[p] : 0;
      for (uint64_t y = 0; y < pass_height; ++y) filter_bytes.push_back(start + y * (1 + (pass_width * bpp + 7) / 8));
    }
    ASSERT_LT(c.bad_row, filter_bytes.size());
    const uint64_t at = filter_bytes[c.bad_row];
    in[at] = 200;
    Bytes out(packed_size(uint64_t{c.width} * c.height, bpp), 0);
    const VelaPNGState state = state_for(c.colour_type, c.bit_depth, c.interlace);
    EXPECT_EQ(reconstruct_image(out.data(), in.data(), c.width, c.height, &state), 36u) << c.bad_row;
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t v) { return v == 0; })) << c.bad_row;
  }
}

// Rows of any bit length and spacing, into a buffer of any prior content or onto the input
// itself: the row bits arrive back to back, and bytes past the last row stay as they were.
TEST(StripRowPadding, PacksRowsWhateverTheOutputHeld) {
  Random rng{3};
  for (uint64_t out_bits = 0; out_bits <= 40; ++out_bits) {
    for (uint64_t pad = 0; pad <= 17; ++pad) {
      for (uint32_t rows : {0u, 1u, 2u, 5u}) {
        const uint64_t in_bits = out_bits + pad;
        std::vector<uint64_t> bits(rows * in_bits);
        for (auto& b : bits) b = rng() & 1;
        const Bytes in = pack(bits, 1);
        std::vector<uint64_t> kept;
        for (uint32_t r = 0; r < rows; ++r) {
          kept.insert(kept.end(), bits.begin() + r * in_bits, bits.begin() + r * in_bits + out_bits);
        }
        const Bytes wanted = pack(kept, 1);  // the last byte's unused bits are not compared
        const uint64_t whole = rows * out_bits / 8, tail = rows * out_bits % 8;
        const auto check = [&](const Bytes& got, const Bytes& before, const char* how) {
          const std::string where = std::string(how) + " out " + std::to_string(out_bits) + " in " +
                                    std::to_string(in_bits) + " rows " + std::to_string(rows);
          ASSERT_TRUE(std::equal(wanted.begin(), wanted.begin() + static_cast<long>(whole), got.begin())) << where;
          if (tail != 0) {
            const uint8_t mask = static_cast<uint8_t>(0xFF00u >> tail);
            ASSERT_EQ(got[whole] & mask, wanted[whole] & mask) << where;
            ASSERT_EQ(got[whole] & ~mask & 0xFF, before[whole] & ~mask & 0xFF) << where << " (bits past the end)";
          }
          const size_t untouched_from = whole + (tail != 0);
          ASSERT_TRUE(std::equal(got.begin() + static_cast<long>(untouched_from), got.end(),
                                 before.begin() + static_cast<long>(untouched_from)))
              << where;
        };
        for (int fill : {0x00, 0xFF, 0x6B}) {
          Bytes out(in.size() + 2, static_cast<uint8_t>(fill));
          const Bytes before = out;
          strip_row_padding(out.data(), in.data(), out_bits, in_bits, rows);
          check(out, before, "separate");
        }
        Bytes same = in;
        same.push_back(0x5A);
        const Bytes before = same;
        strip_row_padding(same.data(), same.data(), out_bits, in_bits, rows);
        check(same, before, "in place");
      }
    }
  }
}

// The merge sets exactly the pixels of each pass; pixels of other passes stay zero.
TEST(MergePasses, ScattersEachPassToItsPattern) {
  for (uint32_t bpp : {1u, 2u, 4u, 8u, 16u, 48u}) {
    const uint32_t w = 11, h = 10;
    const PassLayout layout = compute_pass_layout(w, h, bpp);
    for (int lit = 0; lit < 7; ++lit) {
      // Pass `lit` all ones, the others zero, already packed where merge_passes reads them.
      Bytes in(layout.packed_start[7], 0);
      const uint64_t pass_bits = uint64_t{layout.pass_width[lit]} * layout.pass_height[lit] * bpp;
      for (uint64_t b = 0; b < pass_bits; ++b) {
        const uint64_t position = layout.packed_start[lit] * 8 + b;
        in[position / 8] = static_cast<uint8_t>(in[position / 8] | (0x80 >> (position % 8)));
      }
      std::vector<uint64_t> expected_pixels(size_t{w} * h, 0);
      const uint64_t ones = bpp == 64 ? ~uint64_t{0} : (uint64_t{1} << bpp) - 1;
      for (uint32_t y = kStartRow[lit]; y < h; y += kRowStep[lit]) {
        for (uint32_t x = kStartColumn[lit]; x < w; x += kColumnStep[lit]) expected_pixels[y * w + x] = ones;
      }
      Bytes out(packed_size(uint64_t{w} * h, bpp), 0);
      merge_passes(out.data(), in.data(), w, h, bpp);
      EXPECT_EQ(out, pack(expected_pixels, bpp)) << "bpp " << bpp << " pass " << lit + 1;
    }
  }
}

}  // namespace
