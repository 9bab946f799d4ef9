// Initialisation, copy, comparison and release of the pixel format record.
#include "pixels/pixel_format.h"

#include <cstdlib>
#include <cstring>

#include "decoder/result_codes.h"

namespace velapng {

namespace {

// A copied format never holds more than 256 entries (larger palettes stop the decode),
// so a fixed block of 256 entries always has room.
constexpr size_t kPaletteBlockBytes = size_t{256} * 4;

}  // namespace

void pixel_format_init(VelaPNGPixelFormat* format) { *format = VelaPNGPixelFormat{}; }

void pixel_format_release(VelaPNGPixelFormat* format) {
  std::free(format->palette);
  format->palette = nullptr;
  format->palette_size = 0;
}

uint32_t pixel_format_copy(VelaPNGPixelFormat* target, const VelaPNGPixelFormat* source) {
  pixel_format_release(target);
  *target = *source;
  target->palette = nullptr;
  if (source->palette == nullptr) return code::ok;
  // A larger palette can only come from a caller that bypassed the palette reader;
  // give it room rather than overrun the block.
  const size_t bytes = size_t{source->palette_size} * 4;
  target->palette = static_cast<uint8_t*>(std::malloc(bytes > kPaletteBlockBytes ? bytes : kPaletteBlockBytes));
  if (target->palette == nullptr) return source->palette_size != 0 ? code::out_of_memory : code::ok;
  std::memcpy(target->palette, source->palette, bytes);
  return code::ok;
}

bool pixel_format_equal(const VelaPNGPixelFormat* a, const VelaPNGPixelFormat* b) {
  if (a->colour_type != b->colour_type || a->bit_depth != b->bit_depth) return false;
  if (a->colour_key_defined != b->colour_key_defined) return false;
  if (a->colour_key_defined && (a->colour_key_red != b->colour_key_red || a->colour_key_green != b->colour_key_green ||
                                a->colour_key_blue != b->colour_key_blue))
    return false;
  if (a->palette_size != b->palette_size) return false;
  if (a->palette_size == 0) return true;
  return std::memcmp(a->palette, b->palette, size_t{a->palette_size} * 4) == 0;
}

}  // namespace velapng
