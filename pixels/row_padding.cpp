// Removal of the padding bits at the end of rows whose bit length is not a multiple of 8.
// Works in place: the output trails the input (out <= in), and each chunk of up to 8 bits
// is read before it is written, so no bit is overwritten before it has been read.
#include <cstring>

#include "pixels/pixels.h"

namespace velapng {

namespace {

// `count` (1..8) bits starting at bit `position`, most significant bit first.
uint32_t read_bits(const uint8_t* in, uint64_t position, uint32_t count) {
  const uint8_t* byte = in + position / 8;
  const uint32_t shift = 16 - static_cast<uint32_t>(position % 8) - count;
  uint32_t window = static_cast<uint32_t>(byte[0]) << 8;
  if (shift < 8) window |= byte[1];  // the bits straddle two bytes; never read past them
  return (window >> shift) & ((1u << count) - 1);
}

// Sets and clears, so whatever `out` held before does not matter.
void write_bits(uint8_t* out, uint64_t position, uint32_t count, uint32_t value) {
  uint8_t* byte = out + position / 8;
  const uint32_t shift = 16 - static_cast<uint32_t>(position % 8) - count;
  const uint32_t mask = ((1u << count) - 1) << shift;
  const uint32_t bits = value << shift;
  byte[0] = static_cast<uint8_t>((byte[0] & ~(mask >> 8)) | (bits >> 8));
  if (shift < 8) byte[1] = static_cast<uint8_t>((byte[1] & ~mask) | (bits & 0xFF));
}

void copy_bits(uint8_t* out, uint64_t to, const uint8_t* in, uint64_t from, uint64_t count) {
  if (to % 8 == 0 && from % 8 == 0 && count >= 8) {  // whole bytes move as bytes
    std::memmove(out + to / 8, in + from / 8, count / 8);
    to += count / 8 * 8;
    from += count / 8 * 8;
    count %= 8;
  }
  for (; count >= 8; count -= 8, to += 8, from += 8) write_bits(out, to, 8, read_bits(in, from, 8));
  if (count != 0) write_bits(out, to, static_cast<uint32_t>(count), read_bits(in, from, static_cast<uint32_t>(count)));
}

}  // namespace

void strip_row_padding(uint8_t* out, const uint8_t* in, uint64_t out_row_bits, uint64_t in_row_bits, uint32_t rows) {
  for (uint64_t r = 0; r < rows; ++r) copy_bits(out, r * out_row_bits, in, r * in_row_bits, out_row_bits);
}

}  // namespace velapng
