#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "pixels/pixels.h"
#include "testkit/unfilter_reference.h"
#include "tests/pixels/pixel_model.h"

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

// Appends rows as the file stores them: each packed, padded to whole bytes with random bits
// (a decoder must ignore them), then filtered with random filter types as an encoder might.
// Notes where each filter-type byte lies.
void append_file_rows(Bytes& inflated, std::vector<size_t>& filter_bytes, const Format& f,
                      const std::vector<Samples>& pixels, uint32_t width, uint32_t height, std::mt19937& random) {
  const uint64_t used_bits = uint64_t{width} * bpp_of(f);
  const size_t length = row_bytes(width, bpp_of(f));
  Bytes rows;
  std::vector<uint8_t> types(height);
  for (uint32_t y = 0; y < height; ++y) {
    Bytes row = testpng::pack(f, {pixels.begin() + y * width, pixels.begin() + (y + 1) * width});
    if (used_bits % 8 != 0) row.back() |= static_cast<uint8_t>(testpng::draw(random) & (0xFFu >> (used_bits % 8)));
    rows.insert(rows.end(), row.begin(), row.end());
    types[y] = static_cast<uint8_t>(testpng::draw(random) % 5);
    filter_bytes.push_back(inflated.size() + y * (length + 1));
  }
  Bytes filtered(height * (length + 1));
  testpng::filter_reference(filtered.data(), rows.data(), height, length, (bpp_of(f) + 7) / 8, types.data());
  inflated.insert(inflated.end(), filtered.begin(), filtered.end());
}

VelaPNGState state_for(uint32_t colour_type, uint32_t bit_depth, uint32_t interlace) {
  VelaPNGState state;  // reconstruct_image reads only these three fields
  state.image_info.pixel_format.colour_type = colour_type;
  state.image_info.pixel_format.bit_depth = bit_depth;
  state.image_info.interlace_method = interlace;
  return state;
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

// Every pixel width at every size up to 20 x 20 with Adam7 (two and a half periods of its
// pattern) and up to 33 x 5 plain (rows interact only with the one above): a random image,
// filtered and interlaced here, comes back
// bit for bit. With a filter type above 4 in any one row (on the direct path, the padding
// path or in any pass) the result is 36 and the output stays as it was.
TEST(ReconstructImage, GivesBackTheOriginalImageOrRefusesABadFilterType) {
  std::mt19937 random(7);
  int failures = 0;
  for (const uint32_t interlace : {0u, 1u}) {
    for (const Format& f : kFormats) {
      for (uint32_t h = 1; h <= (interlace ? 20u : 5u); ++h) {
        for (uint32_t w = 1; w <= (interlace ? 20u : 33u) && failures < 10; ++w) {
          const std::vector<Samples> image = testpng::random_pixels(f, size_t{w} * h, random);
          Bytes inflated;
          std::vector<size_t> filter_bytes;
          if (interlace == 0) append_file_rows(inflated, filter_bytes, f, image, w, h, random);
          for (const Pass& pass : interlace ? split_into_passes(image, w, h) : std::vector<Pass>{})
            append_file_rows(inflated, filter_bytes, f, pass.pixels, pass.width, pass.height, random);
          Bytes broken = inflated;
          broken[filter_bytes[testpng::draw(random) % filter_bytes.size()]] =
              static_cast<uint8_t>(5 + testpng::draw(random) % 251);
          const Bytes expected = testpng::pack(f, image);
          Bytes out(expected.size(), 0), untouched(expected.size(), 0);
          const VelaPNGState state = state_for(f.colour_type, f.bit_depth, interlace);
          const uint32_t result = reconstruct_image(out.data(), inflated.data(), w, h, &state);
          const uint32_t refused = reconstruct_image(untouched.data(), broken.data(), w, h, &state);
          if (result != 0 || out != expected || refused != 36 || untouched != Bytes(expected.size(), 0)) {
            ADD_FAILURE() << f.name() << (interlace ? " Adam7 " : " ") << w << "x" << h << " results " << result << ", "
                          << refused;
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

uint32_t bit(const Bytes& b, uint64_t i) { return b[i / 8] >> (7 - i % 8) & 1u; }

// Rows of any bit length and spacing (not only the byte-aligned rows reconstruction gives
// it), into a buffer of any prior content or onto the input itself: the row bits arrive
// back to back, and every bit past the last row stays as it was.
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
