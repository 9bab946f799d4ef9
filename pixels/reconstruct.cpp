// The reference route's reconstruction, from the inflated scanlines to the packed image:
// un-filtering, padding removal and the Adam7 merge, all in place in the inflated buffer.
//
// Every pass product, pixel index and bit position is computed in 64 bits. A width or
// height near 2^32, or a pass holding more than 2^32 bits, would wrap 32-bit offsets and
// write far from where it should; the inflate stage already refuses any image whose sizes do
// not fit in 64 bits, so 64-bit arithmetic here can neither wrap nor reject a valid file.
#include "decoder/result_codes.h"
#include "pixels/adam7.h"
#include "pixels/pixels.h"

namespace velapng {

namespace {

// Pixels of whole bytes: one copy per pixel, of a constant size for the formats PNG has.
template <size_t Bytes>
void merge_pass_bytes(uint8_t* out, const uint8_t* in, uint64_t width, const PassLayout& layout, int p,
                      size_t bytes = Bytes) {
  const uint8_t* source = in + layout.packed_start[p];
  const uint64_t count = layout.pass_width[p];
  for (uint64_t y = 0; y < layout.pass_height[p]; ++y, source += count * bytes)
    adam7_place_row<Bytes>(out + adam7_row(p, y) * width * bytes, source, count, p, bytes);
}

// ORs the `bpp` bits at bit `from` of `in` into `out` at bit `to`, most significant first.
// Pixels of 1, 2 or 4 bits never straddle a byte (positions are multiples of bpp), so
// they take one shift; other widths below 8 exist in no valid file and go bit by bit.
inline void or_pixel_bits(uint8_t* out, uint64_t to, const uint8_t* in, uint64_t from, uint32_t bpp) {
  if (8 % bpp == 0) {
    const uint32_t value = (in[from / 8] >> (8 - bpp - from % 8)) & ((1u << bpp) - 1);
    out[to / 8] = static_cast<uint8_t>(out[to / 8] | (value << (8 - bpp - to % 8)));
    return;
  }
  for (uint64_t k = 0; k < bpp; ++k) {
    const uint32_t bit = (in[(from + k) / 8] >> (7 - (from + k) % 8)) & 1u;
    out[(to + k) / 8] = static_cast<uint8_t>(out[(to + k) / 8] | (bit << (7 - (to + k) % 8)));
  }
}

// Only one bits are written, which is why `out` must start zeroed.
void merge_pass_bits(uint8_t* out, const uint8_t* in, uint64_t width, uint32_t bpp, const PassLayout& layout, int p) {
  uint64_t from = layout.packed_start[p] * 8;
  for (uint64_t y = 0; y < layout.pass_height[p]; ++y) {
    uint64_t to = (adam7_row(p, y) * width + adam7_column(p, 0)) * bpp;
    for (uint64_t x = 0; x < layout.pass_width[p]; ++x, from += bpp, to += uint64_t{kAdam7ColumnStep[p]} * bpp) {
      or_pixel_bits(out, to, in, from, bpp);
    }
  }
}

void merge_pass(uint8_t* out, const uint8_t* in, uint64_t width, uint32_t bpp, const PassLayout& layout, int p) {
  if (bpp < 8) return merge_pass_bits(out, in, width, bpp, layout, p);
  switch (bpp / 8) {
    case 1: return merge_pass_bytes<1>(out, in, width, layout, p);
    case 2: return merge_pass_bytes<2>(out, in, width, layout, p);
    case 3: return merge_pass_bytes<3>(out, in, width, layout, p);
    case 4: return merge_pass_bytes<4>(out, in, width, layout, p);
    case 6: return merge_pass_bytes<6>(out, in, width, layout, p);
    case 8: return merge_pass_bytes<8>(out, in, width, layout, p);
    default: return merge_pass_bytes<0>(out, in, width, layout, p, bpp / 8);  // no valid file
  }
}

uint32_t reconstruct_progressive(uint8_t* out, uint8_t* in, uint32_t width, uint32_t height, uint32_t bpp) {
  const uint64_t row_bits = static_cast<uint64_t>(width) * bpp;
  const uint64_t padded_row_bits = (row_bits + 7) & ~uint64_t{7};
  if (bpp >= 8 || row_bits == padded_row_bits) return unfilter_image(out, in, width, height, bpp);
  const uint32_t result = unfilter_image(in, in, width, height, bpp);
  if (result != code::ok) return result;
  strip_row_padding(out, in, row_bits, padded_row_bits, height);
  return code::ok;
}

uint32_t reconstruct_adam7(uint8_t* out, uint8_t* in, uint32_t width, uint32_t height, uint32_t bpp) {
  const PassLayout layout = compute_pass_layout(width, height, bpp);
  for (int p = 0; p < 7; ++p) {
    const uint32_t result = unfilter_image(in + layout.padded_start[p], in + layout.filtered_start[p],
                                           layout.pass_width[p], layout.pass_height[p], bpp);
    if (result != code::ok) return result;
    if (bpp < 8) {
      const uint64_t row_bits = static_cast<uint64_t>(layout.pass_width[p]) * bpp;
      strip_row_padding(in + layout.packed_start[p], in + layout.padded_start[p], row_bits,
                        (row_bits + 7) & ~uint64_t{7}, layout.pass_height[p]);
    }
  }
  merge_passes(out, in, width, height, bpp);
  return code::ok;
}

}  // namespace

void merge_passes(uint8_t* out, const uint8_t* in, uint32_t width, uint32_t height, uint32_t bpp) {
  const PassLayout layout = compute_pass_layout(width, height, bpp);
  for (int p = 0; p < 7; ++p) {
    if (layout.pass_height[p] != 0) merge_pass(out, in, width, bpp, layout, p);
  }
}

uint32_t reconstruct_image(uint8_t* out, uint8_t* in, uint32_t width, uint32_t height, const VelaPNGState* state) {
  const VelaPNGPixelFormat& format = state->image_info.pixel_format;
  const uint32_t bpp = bits_per_pixel(format.colour_type, format.bit_depth);
  if (bpp == 0) return code::bad_colour_type;
  // The header check admits interlace methods 0 and 1 only; anything else is read as Adam7.
  if (state->image_info.interlace_method == 0) return reconstruct_progressive(out, in, width, height, bpp);
  return reconstruct_adam7(out, in, width, height, bpp);
}

}  // namespace velapng
