// What a pixel format means: its geometry (bits per pixel, packed sizes, which colour type
// and depth pairs exist; pixel_geometry.cpp) and the operations of its record
// (pixel_format.cpp). Both routes and the decoder's size checks take their sizes from here.
#pragma once

#include <cstdint>

#include "decoder/records.h"

namespace velapng {

// Channels of a PNG colour type: 1, 3, 1, 2, 4 for 0, 2, 3, 4, 6; 0 for anything else.
uint32_t channels_of(uint32_t colour_type);
// Channels times bit depth; 0 for an unknown colour type.
uint32_t bits_per_pixel(uint32_t colour_type, uint32_t bit_depth);
// Bytes of `pixels` pixels packed at `bpp` bits: (n div 8) * bpp + ((n mod 8) * bpp + 7) div 8.
// The caller guarantees the result fits (raw_size_overflows).
uint64_t packed_size(uint64_t pixels, uint32_t bpp);
// 0, 37 (depth not allowed for the colour type) or 31 (unknown colour type).
uint32_t check_colour_depth(uint32_t colour_type, uint32_t bit_depth);

void pixel_format_init(VelaPNGPixelFormat* format);
void pixel_format_release(VelaPNGPixelFormat* format);
// Deep copy; the target gets a palette block of its own with room for 256 entries. 0 or 83.
uint32_t pixel_format_copy(VelaPNGPixelFormat* target, const VelaPNGPixelFormat* source);
bool pixel_format_equal(const VelaPNGPixelFormat* a, const VelaPNGPixelFormat* b);

}  // namespace velapng
