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

// Writes the correct CRC into every chunk that list_chunks finds.
void repair_crcs(uint8_t* file, size_t size);

// Sets the check bits of a zlib header (CMF, FLG) so that it passes the header test,
// leaving the method, window, dictionary and level bits alone.
void repair_zlib_check_bits(uint8_t* cmf_flg);

// Repairs the header check bits and the Adler-32 trailer of one zlib stream that lies in
// pieces (`pieces` are offsets and lengths inside `file`, in stream order): the deflate data
// is inflated (at most `max_inflated` bytes) and the four bytes after its end receive the
// Adler-32 of what it produced. False when the stream could not be repaired: the deflate
// data is bad or too big, or fewer than four bytes follow it.
struct Piece {
  size_t offset;
  size_t length;
};
bool repair_zlib_stream(uint8_t* file, const std::vector<Piece>& pieces, size_t max_inflated,
                        libdeflate_decompressor* decompressor);

// The zlib stream of a zTXt, iCCP or compressed iTXt chunk, as a piece of the file; false for
// other chunks and for chunks too short to hold one.
bool compressed_payload(const uint8_t* file, const ChunkSpan& chunk, Piece* piece);

// Repairs every zlib stream of the file (the concatenated IDAT data, then each compressed
// ancillary chunk) and then every CRC.
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
