// Looking at one chunk (chunk.cpp): big-endian fields, length, type, data, CRC, the next
// chunk, and keeping a chunk whole. Every chunk operation takes the address of the chunk's
// length field and trusts the caller to have checked that the whole chunk lies inside the
// input.
#pragma once

#include <cstdint>

namespace velapng {

// Where the chunks after the header start: the signature and the header chunk.
inline constexpr uint64_t kFirstChunkOffset = 33;

uint32_t read_u32_be(const uint8_t* bytes);
uint32_t read_u16_be(const uint8_t* bytes);

uint32_t chunk_length(const uint8_t* chunk);
// True when `name` is exactly four characters and equals the chunk's type, byte for byte.
bool chunk_type_is(const uint8_t* chunk, const char* name);
const uint8_t* chunk_data(const uint8_t* chunk);
bool chunk_crc_mismatch(const uint8_t* chunk);
// Skips the PNG signature when it stands at `chunk`, otherwise the whole chunk.
const uint8_t* chunk_next(const uint8_t* chunk);
// Appends the whole chunk (length + 12 bytes) to a realloc'ed block. 0, 77 or 83.
uint32_t append_unknown_chunk(uint8_t** buffer, uint64_t* buffer_size, const uint8_t* chunk);

}  // namespace velapng
