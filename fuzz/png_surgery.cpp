#include "fuzz/png_surgery.h"

#include <libdeflate.h>

#include <cstring>

#include "decoder/decoder.h"
#include "pixels/pixels.h"

namespace velapng_fuzz {

namespace {

constexpr size_t kFirstChunk = 8;  // after the signature, whatever stands there

void put_u32(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

void append_u32(std::vector<uint8_t>& out, uint32_t value) {
  uint8_t bytes[4];
  put_u32(bytes, value);
  out.insert(out.end(), bytes, bytes + 4);
}

void append_chunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, size_t length) {
  append_u32(out, static_cast<uint32_t>(length));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  if (length != 0) out.insert(out.end(), data, data + length);
  append_u32(out, libdeflate_crc32(0, out.data() + start, length + 4));
}

// Offset of the first zero byte at or after `from` and before `end`, or `end`.
size_t find_zero(const uint8_t* file, size_t from, size_t end) {
  while (from < end && file[from] != 0) ++from;
  return from;
}

struct Piece {
  size_t offset;
  size_t length;
};

void repair_crcs(uint8_t* file, size_t size) {
  for (const ChunkSpan& chunk : list_chunks(file, size)) {
    put_u32(file + chunk.data_offset() + chunk.length,
            libdeflate_crc32(0, file + chunk.offset + 4, size_t{chunk.length} + 4));
  }
}

void repair_zlib_check_bits(uint8_t* cmf_flg) {
  const unsigned without_check = cmf_flg[0] * 256u + (cmf_flg[1] & 0xE0u);
  cmf_flg[1] = static_cast<uint8_t>((cmf_flg[1] & 0xE0u) | ((31u - without_check % 31u) % 31u));
}

// The zlib stream that lies in `pieces` (offsets and lengths in `file`, in stream order).
bool repair_zlib_stream(uint8_t* file, const std::vector<Piece>& pieces, size_t max_inflated,
                        libdeflate_decompressor* decompressor) {
  std::vector<uint8_t> stream;
  for (const Piece& piece : pieces)
    stream.insert(stream.end(), file + piece.offset, file + piece.offset + piece.length);
  if (stream.size() < 2 + 4) return false;
  repair_zlib_check_bits(stream.data());

  // The output buffer is reused between calls: the mutator runs this on every mutation.
  static thread_local std::vector<uint8_t> inflated;
  if (inflated.size() < max_inflated) inflated.resize(max_inflated);
  size_t consumed = 0, produced = 0;
  const libdeflate_result result = libdeflate_deflate_decompress_ex(
      decompressor, stream.data() + 2, stream.size() - 2, inflated.data(), max_inflated, &consumed, &produced);
  bool repaired = false;
  if (result == LIBDEFLATE_SUCCESS && stream.size() - 2 - consumed >= 4) {
    put_u32(stream.data() + 2 + consumed, libdeflate_adler32(1, inflated.data(), produced));
    repaired = true;
  }
  // The header bits are written back even when the trailer could not be repaired.
  size_t at = 0;
  for (const Piece& piece : pieces) {
    std::memcpy(file + piece.offset, stream.data() + at, piece.length);
    at += piece.length;
  }
  return repaired;
}

// zTXt and iCCP: keyword, zero, method, stream. iTXt: keyword, zero, flag, method, language,
// zero, translated keyword, zero, text (a stream when the flag is set).
bool compressed_payload(const uint8_t* file, const ChunkSpan& chunk, Piece* piece) {
  const size_t begin = chunk.data_offset();
  const size_t end = begin + chunk.length;
  size_t start = 0;
  if (chunk.is(file, "zTXt") || chunk.is(file, "iCCP")) {
    start = find_zero(file, begin, end) + 2;
  } else if (chunk.is(file, "iTXt")) {
    const size_t keyword_end = find_zero(file, begin, end);
    if (keyword_end + 2 >= end || file[keyword_end + 1] == 0) return false;
    const size_t language_end = find_zero(file, keyword_end + 3, end);
    start = find_zero(file, language_end < end ? language_end + 1 : end, end) + 1;
  } else {
    return false;
  }
  if (start >= end) return false;
  *piece = {start, end - start};
  return true;
}

}  // namespace

bool ChunkSpan::is(const uint8_t* file, const char* type) const { return std::memcmp(file + offset + 4, type, 4) == 0; }

std::vector<ChunkSpan> list_chunks(const uint8_t* file, size_t size) {
  std::vector<ChunkSpan> chunks;
  size_t offset = kFirstChunk;
  while (offset <= size && size - offset >= 12) {
    const uint32_t length = velapng::read_u32_be(file + offset);
    if (length > size - offset - 12) break;
    chunks.push_back({offset, length});
    offset += size_t{length} + 12;
  }
  return chunks;
}

std::vector<uint8_t> gather_image_data(const uint8_t* file, const std::vector<ChunkSpan>& chunks) {
  std::vector<uint8_t> stream;
  for (const ChunkSpan& chunk : chunks) {
    if (chunk.is(file, "IDAT"))
      stream.insert(stream.end(), file + chunk.data_offset(), file + chunk.data_offset() + chunk.length);
  }
  return stream;
}

void repair_file(uint8_t* file, size_t size, size_t max_inflated, libdeflate_decompressor* decompressor) {
  const std::vector<ChunkSpan> chunks = list_chunks(file, size);
  std::vector<Piece> image_data;
  for (const ChunkSpan& chunk : chunks) {
    Piece piece{};
    if (chunk.is(file, "IDAT")) {
      image_data.push_back({chunk.data_offset(), chunk.length});
    } else if (compressed_payload(file, chunk, &piece)) {
      // The readers give up past 8 MiB, so a payload is never worth inflating further.
      repair_zlib_stream(file, {piece}, max_inflated < (size_t{8} << 20) ? max_inflated : size_t{8} << 20,
                         decompressor);
    }
  }
  if (!image_data.empty()) repair_zlib_stream(file, image_data, max_inflated, decompressor);
  repair_crcs(file, size);
}

std::vector<uint8_t> replace_image_data(const uint8_t* file, size_t size, const std::vector<uint8_t>& stream) {
  const std::vector<ChunkSpan> chunks = list_chunks(file, size);
  std::vector<uint8_t> out(file, file + (chunks.empty() ? size : chunks.front().offset));
  bool placed = false;
  auto place = [&] {
    if (!placed) append_chunk(out, "IDAT", stream.data(), stream.size());
    placed = true;
  };
  for (const ChunkSpan& chunk : chunks) {
    if (chunk.is(file, "IDAT") || chunk.is(file, "IEND")) place();
    if (!chunk.is(file, "IDAT")) out.insert(out.end(), file + chunk.offset, file + chunk.end());
  }
  place();
  // Whatever follows the last whole chunk (a cut chunk, trailing bytes) stays at the end.
  const size_t tail = chunks.empty() ? size : chunks.back().end();
  out.insert(out.end(), file + tail, file + size);
  repair_crcs(out.data(), out.size());
  return out;
}

std::vector<uint8_t> insert_chunk(const uint8_t* file, size_t size, size_t index, const char* type,
                                  const std::vector<uint8_t>& data) {
  const std::vector<ChunkSpan> chunks = list_chunks(file, size);
  const size_t at = index < chunks.size() ? chunks[index].offset : chunks.empty() ? size : chunks.back().end();
  std::vector<uint8_t> out(file, file + at);
  append_chunk(out, type, data.data(), data.size());
  out.insert(out.end(), file + at, file + size);
  return out;
}

uint64_t predicted_image_data(const uint8_t* file, size_t size, uint64_t max_pixels) {
  if (size < 33) return 0;
  const uint32_t width = velapng::read_u32_be(file + 16);
  const uint32_t height = velapng::read_u32_be(file + 20);
  const uint32_t bpp = velapng::bits_per_pixel(file[25], file[24]);
  if (width == 0 || height == 0 || bpp == 0 || bpp > 64 || uint64_t{width} * height > max_pixels) return 0;
  if (file[28] == 0) return uint64_t{height} * (velapng::packed_size(width, bpp) + 1);
  return velapng::compute_pass_layout(width, height, bpp).filtered_start[7];
}

}  // namespace velapng_fuzz
