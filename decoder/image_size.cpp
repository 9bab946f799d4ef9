// The sizes the inflate stage holds an image to: the overflow test that guards every
// allocation the decode makes for it, and the inflated size its header predicts.
#include "decoder/checked_math.h"
#include "decoder/inflate_stage.h"
#include "pixels/adam7.h"
#include "pixels/pixel_format.h"

namespace velapng {

bool raw_size_overflows(uint32_t width, uint32_t height, const VelaPNGPixelFormat* file_format,
                        const VelaPNGPixelFormat* output_format) {
  const uint32_t file_bpp = bits_per_pixel(file_format->colour_type, file_format->bit_depth);
  const uint32_t output_bpp = bits_per_pixel(output_format->colour_type, output_format->bit_depth);
  const uint64_t bpp = file_bpp > output_bpp ? file_bpp : output_bpp;
  uint64_t pixels = 0, bits = 0, whole = 0, line = 0, line_plus = 0, total = 0;
  if (!checked_mul(width, height, &pixels)) return true;
  if (!checked_mul(pixels, 8, &bits)) return true;
  if (!checked_mul(width / 8, bpp, &whole)) return true;
  if (!checked_add(whole, ((width % 8) * bpp + 7) / 8, &line)) return true;
  if (!checked_add(line, 5, &line_plus)) return true;
  return !checked_mul(height, line_plus, &total);
}

uint64_t expected_inflated_size(const VelaPNGImageInfo& info, uint32_t width, uint32_t height) {
  const uint32_t bpp = bits_per_pixel(info.pixel_format.colour_type, info.pixel_format.bit_depth);
  if (info.interlace_method == 0) return uint64_t{height} * (packed_size(width, bpp) + 1);
  return compute_pass_layout(width, height, bpp).filtered_start[7];
}

}  // namespace velapng
