// Surgery on mutated PNG files. Repairs, so that a mutation reaches the stage it was aimed at
// instead of dying at the first checksum: chunk CRCs, the zlib header check bits and the
// Adler-32 trailer of the image data and of compressed text and profile chunks; and the
// structural edits the mutator makes (image data rewritten into one IDAT, chunks inserted).
//
// Nothing here validates anything: a chunk that does not fit, a stream that libdeflate
// cannot inflate or whose trailer lies beyond the data is simply left as it is, and the
// decoder meets it as the mutation made it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct libdeflate_decompressor;

namespace velapng_fuzz {

// Where one chunk lies in a file: offset of its length field, and its data length.
struct ChunkSpan {
  size_t offset;
  uint32_t length;
  bool is(const uint8_t* file, const char* type) const;
  size_t data_offset() const { return offset + 8; }
  size_t end() const { return offset + 12 + length; }
};

// The chunks from offset 8 on, as far as each one's 12 + length bytes fit in the file.
std::vector<ChunkSpan> list_chunks(const uint8_t* file, size_t size);

// Repairs every zlib stream of the file (the concatenated IDAT data, then each zTXt, iCCP
// and compressed iTXt payload) and then every CRC. A stream's header check bits are set, and
// the four bytes after its deflate data receive the Adler-32 of what it inflates to (at most
// `max_inflated` bytes); a stream that does not inflate, or lacks those four bytes, keeps
// its trailer.
void repair_file(uint8_t* file, size_t size, size_t max_inflated, libdeflate_decompressor* decompressor);

// The concatenated IDAT payloads of the file.
std::vector<uint8_t> gather_image_data(const uint8_t* file, const std::vector<ChunkSpan>& chunks);

// Replaces all IDAT chunks by one holding `stream`, placed where the first one was (before
// IEND when there was none). The new file is returned; its CRCs are correct.
std::vector<uint8_t> replace_image_data(const uint8_t* file, size_t size, const std::vector<uint8_t>& stream);

// Inserts a chunk of `type` holding `data`, with its CRC, before the `index`-th chunk that
// list_chunks finds (after the last one when there are fewer). The new file is returned.
std::vector<uint8_t> insert_chunk(const uint8_t* file, size_t size, size_t index, const char* type,
                                  const std::vector<uint8_t>& data);

// Bytes of inflated image data that the file's header predicts (filter bytes included), or
// 0 when the header is not there, names no pixel format or has more than `max_pixels` pixels.
uint64_t predicted_image_data(const uint8_t* file, size_t size, uint64_t max_pixels);

}  // namespace velapng_fuzz
