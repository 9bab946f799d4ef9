// Keyword fields and the grow-and-retry inflate shared by the keyword-led chunk readers.
#include "decoder/reader_support.h"

#include <cstdlib>
#include <cstring>

#include "decoder/result_codes.h"

namespace velapng {

namespace {

// One attempt at a fixed room: a fresh block (the previous attempt's bytes are worthless,
// so there is nothing to carry over with realloc), released again unless the hook succeeds.
uint32_t inflate_into_block(const VelaPNGInflateOptions* inflate, const uint8_t* in, uint64_t in_size, uint64_t room,
                            ByteBuffer* out) {
  out->data = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(room)));
  if (out->data == nullptr) return code::out_of_memory;
  out->capacity = room;
  out->size = 0;
  const uint32_t result = inflate->zlib_hook(&out->data, &out->size, in, in_size, inflate, room);
  if (result != code::ok) byte_buffer_release(out);
  return result;
}

uint64_t next_inflate_block(uint64_t room, uint64_t limit) {
  return room >= limit / kInflateGrowth ? limit : room * kInflateGrowth;
}

}  // namespace

uint64_t bytes_before_zero(const uint8_t* data, uint64_t length) {
  if (length == 0) return 0;  // an empty payload may come without any bytes behind it
  const void* zero = std::memchr(data, 0, static_cast<size_t>(length));
  return zero == nullptr ? length : static_cast<uint64_t>(static_cast<const uint8_t*>(zero) - data);
}

bool keyword_length_valid(uint64_t length) { return length >= 1 && length <= 79; }

char* copy_as_string(const uint8_t* bytes, uint64_t count) {
  char* copy = static_cast<char*>(std::malloc(static_cast<size_t>(count) + 1));
  if (copy == nullptr) return nullptr;
  if (count != 0) std::memcpy(copy, bytes, static_cast<size_t>(count));
  copy[count] = '\0';
  return copy;
}

// Compressed lengths are below 2^31, so four times one cannot wrap.
uint64_t first_inflate_block(uint64_t compressed_size) {
  const uint64_t room = compressed_size * kInflateFirstBlockFactor;
  if (room < kInflateFirstBlockMin) return kInflateFirstBlockMin;
  return room > kInflateCap ? kInflateCap : room;
}

uint32_t inflate_payload(const VelaPNGInflateOptions* inflate, const uint8_t* in, uint64_t in_size, ByteBuffer* out,
                         uint64_t* inflated_total) {
  *out = ByteBuffer{};
  if (inflate->zlib_hook == nullptr) return code::no_zlib_hook;
  const uint64_t left = *inflated_total < kInflateTotalCap ? kInflateTotalCap - *inflated_total : 0;
  const uint64_t limit = left < kInflateCap ? left : kInflateCap;
  if (limit == 0) return code::zlib_output_too_big;  // the decode's total is spent
  uint64_t room = first_inflate_block(in_size);
  for (room = room < limit ? room : limit;; room = next_inflate_block(room, limit)) {
    const uint32_t result = inflate_into_block(inflate, in, in_size, room, out);
    if (result == code::ok) *inflated_total += out->size;
    if (result != code::zlib_output_too_big || room == limit) return result;
  }
}

uint32_t terminate_text(ByteBuffer* text) {
  const uint64_t end = text->size;
  if (!byte_buffer_resize(text, end + 1)) return code::out_of_memory;
  text->data[end] = 0;
  return code::ok;
}

}  // namespace velapng
