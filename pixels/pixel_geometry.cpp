// Bits per pixel, packed sizes and the colour-type/depth rule: the sizes every stage of both
// routes computes with, and the formats conversion accepts.
#include "decoder/result_codes.h"
#include "pixels/pixel_format.h"

namespace velapng {

uint32_t channels_of(uint32_t colour_type) {
  switch (colour_type) {
    case 0: return 1;
    case 2: return 3;
    case 3: return 1;
    case 4: return 2;
    case 6: return 4;
    default: return 0;
  }
}

uint32_t bits_per_pixel(uint32_t colour_type, uint32_t bit_depth) { return channels_of(colour_type) * bit_depth; }

uint64_t packed_size(uint64_t pixels, uint32_t bpp) { return pixels / 8 * bpp + ((pixels % 8) * bpp + 7) / 8; }

uint32_t check_colour_depth(uint32_t colour_type, uint32_t bit_depth) {
  switch (colour_type) {
    case 0:
      return bit_depth == 1 || bit_depth == 2 || bit_depth == 4 || bit_depth == 8 || bit_depth == 16
                 ? code::ok
                 : code::bad_bit_depth;
    case 3:
      return bit_depth == 1 || bit_depth == 2 || bit_depth == 4 || bit_depth == 8 ? code::ok : code::bad_bit_depth;
    case 2:
    case 4:
    case 6: return bit_depth == 8 || bit_depth == 16 ? code::ok : code::bad_bit_depth;
    default: return code::bad_colour_type;
  }
}

}  // namespace velapng
