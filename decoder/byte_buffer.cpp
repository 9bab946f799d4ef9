// The growable byte buffer.
#include "decoder/byte_buffer.h"

#include <cstdlib>

#include "decoder/checked_math.h"

namespace velapng {

namespace {

// Growth is generous (ten times the target) because the reference route appends many small
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

}  // namespace velapng
