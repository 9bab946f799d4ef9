// The growable byte buffer (byte_buffer.cpp) the chunk walk, the inflate stage and the
// readers collect bytes in.
#pragma once

#include <cstdint>

namespace velapng {

struct ByteBuffer {
  uint8_t* data = nullptr;  // owned; free with std::free
  uint64_t size = 0;
  uint64_t capacity = 0;
};

// Grows the capacity to ten times the growth target when `new_size` exceeds it; never
// shrinks. False (buffer unchanged) when realloc fails; callers turn that into 83.
bool byte_buffer_resize(ByteBuffer* buffer, uint64_t new_size);
void byte_buffer_release(ByteBuffer* buffer);

}  // namespace velapng
