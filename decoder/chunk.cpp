// Looking at one chunk: length, type, data, CRC, the next chunk, and keeping it whole.
#include "decoder/chunk.h"

#include <libdeflate.h>

#include <cstdlib>
#include <cstring>

#include "decoder/checked_math.h"
#include "decoder/png_signature.h"
#include "decoder/result_codes.h"

namespace velapng {

uint32_t read_u32_be(const uint8_t* bytes) {
  return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
}

uint32_t read_u16_be(const uint8_t* bytes) { return uint32_t{bytes[0]} << 8 | bytes[1]; }

uint32_t chunk_length(const uint8_t* chunk) { return read_u32_be(chunk); }

bool chunk_type_is(const uint8_t* chunk, const char* name) {
  if (std::strlen(name) != 4) return false;
  return std::memcmp(chunk + 4, name, 4) == 0;
}

const uint8_t* chunk_data(const uint8_t* chunk) { return chunk + 8; }

bool chunk_crc_mismatch(const uint8_t* chunk) {
  const uint32_t length = chunk_length(chunk);
  const uint32_t stored = read_u32_be(chunk + 8 + length);
  const uint32_t computed = libdeflate_crc32(0, chunk + 4, size_t{length} + 4);
  return stored != computed;
}

const uint8_t* chunk_next(const uint8_t* chunk) {
  if (std::memcmp(chunk, kPngSignature, sizeof kPngSignature) == 0) return chunk + sizeof kPngSignature;
  return chunk + uint64_t{chunk_length(chunk)} + 12;
}

uint32_t append_unknown_chunk(uint8_t** buffer, uint64_t* buffer_size, const uint8_t* chunk) {
  const uint64_t chunk_size = uint64_t{chunk_length(chunk)} + 12;
  uint64_t new_size = 0;
  if (!checked_add(*buffer_size, chunk_size, &new_size)) return code::unknown_chunks_overflow;
  void* grown = std::realloc(*buffer, new_size);
  if (grown == nullptr) return code::out_of_memory;
  std::memcpy(static_cast<uint8_t*>(grown) + *buffer_size, chunk, chunk_size);
  *buffer = static_cast<uint8_t*>(grown);
  *buffer_size = new_size;
  return code::ok;
}

}  // namespace velapng
