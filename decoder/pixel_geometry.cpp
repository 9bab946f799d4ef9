// Bits per pixel and packed sizes, shared by the chunk loop, reconstruction and conversion.
#include "decoder/decoder.h"

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

}  // namespace velapng
