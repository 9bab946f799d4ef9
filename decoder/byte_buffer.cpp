// The growable byte buffer and the image-size overflow test that guards every allocation.
#include <cstdlib>

#include "decoder/checked_math.h"
#include "decoder/decoder.h"

namespace velapng {

namespace {

// Growth is generous (ten times the target) because the chunk loop appends many small
// IDAT payloads: a handful of reallocations then covers a whole file. Only called with
// new_size > capacity; 0 when the capacity would not fit in 64 bits.
uint64_t grown_capacity(uint64_t capacity, uint64_t new_size) {
  uint64_t target = new_size;
  if (new_size - capacity <= capacity && !checked_add(new_size, new_size / 2, &target)) return 0;
  uint64_t grown = 0;
  return checked_mul(target, 10, &grown) ? grown : 0;
}

}  // namespace

bool byte_buffer_resize(ByteBuffer* buffer, uint64_t new_size) {
  if (new_size > buffer->capacity) {
    const uint64_t capacity = grown_capacity(buffer->capacity, new_size);
    if (capacity == 0 || capacity > SIZE_MAX) return false;
    void* grown = std::realloc(buffer->data, static_cast<size_t>(capacity));
    if (grown == nullptr) return false;
    buffer->data = static_cast<uint8_t*>(grown);
    buffer->capacity = capacity;
  }
  buffer->size = new_size;
  return true;
}

void byte_buffer_release(ByteBuffer* buffer) {
  std::free(buffer->data);
  *buffer = ByteBuffer{};
}

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

}  // namespace velapng
