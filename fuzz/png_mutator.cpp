// The PNG-aware mutator of the decode targets. Most random mutations of a PNG die at the
// first CRC or at the Adler-32 of the image data, long before the readers, inflate,
// un-filtering, Adam7 or conversion see them; so after libFuzzer's own mutation the file is
// usually repaired, and often the mutation is aimed past the compression or at the chunk
// structure instead.
//
// Share of the mutations, by the seed libFuzzer hands in:
//   1/8  libFuzzer's mutation, left as it is: the CRC and Adler-32 checks stay exercised;
//   3/8  libFuzzer's mutation, then every zlib stream and CRC repaired;
//   3/8  the image data inflated, mutated, sometimes cut or padded to the size the header
//        predicts (so header mutations reach reconstruction), compressed again into one IDAT;
//   1/8  a well-formed chunk of a kind the decoder reads, with random contents, inserted
//        at a random place (valid compressed payloads for zTXt, iTXt and iCCP included).
// A mutation that cannot be made (data that does not inflate, a result too long) falls
// back to the repairing one.
//
// The surgery behind it repairs, so that a mutation reaches the stage it was aimed at
// instead of dying at the first checksum: chunk CRCs, the zlib header check bits and the
// Adler-32 trailer of the image data and of compressed text and profile chunks; and the
// structural edits the mutator makes (image data rewritten into one IDAT, chunks inserted).
//
// Nothing here validates anything: a chunk that does not fit, a stream that libdeflate
// cannot inflate or whose trailer lies beyond the data is simply left as it is, and the
// decoder meets it as the mutation made it.
#include <libdeflate.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "fuzz/decode_limits.h"
#include "pixels/pixels.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t max_size);

namespace {

using velapng_fuzz::kMaxInflated;
using velapng_fuzz::kMaxPixels;
using Bytes = std::vector<uint8_t>;

// Where one chunk lies in a file: offset of its length field, and its data length.
struct ChunkSpan {
  size_t offset;
  uint32_t length;
  bool is(const uint8_t* file, const char* type) const { return std::memcmp(file + offset + 4, type, 4) == 0; }
  size_t data_offset() const { return offset + 8; }
  size_t end() const { return offset + 12 + length; }
};

constexpr size_t kFirstChunk = 8;  // after the signature, whatever stands there

// The chunks from offset 8 on, as far as each one's 12 + length bytes fit in the file.
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

// The concatenated IDAT payloads of the file.
std::vector<uint8_t> gather_image_data(const uint8_t* file, const std::vector<ChunkSpan>& chunks) {
  std::vector<uint8_t> stream;
  for (const ChunkSpan& chunk : chunks) {
    if (chunk.is(file, "IDAT"))
      stream.insert(stream.end(), file + chunk.data_offset(), file + chunk.data_offset() + chunk.length);
  }
  return stream;
}

// Repairs every zlib stream of the file (the concatenated IDAT data, then each zTXt, iCCP
// and compressed iTXt payload) and then every CRC. A stream's header check bits are set, and
// the four bytes after its deflate data receive the Adler-32 of what it inflates to (at most
// `max_inflated` bytes); a stream that does not inflate, or lacks those four bytes, keeps
// its trailer.
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

// Replaces all IDAT chunks by one holding `stream`, placed where the first one was (before
// IEND when there was none). The new file is returned; its CRCs are correct.
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

// Inserts a chunk of `type` holding `data`, with its CRC, before the `index`-th chunk that
// list_chunks finds (after the last one when there are fewer). The new file is returned.
std::vector<uint8_t> insert_chunk(const uint8_t* file, size_t size, size_t index, const char* type,
                                  const std::vector<uint8_t>& data) {
  const std::vector<ChunkSpan> chunks = list_chunks(file, size);
  const size_t at = index < chunks.size() ? chunks[index].offset : chunks.empty() ? size : chunks.back().end();
  std::vector<uint8_t> out(file, file + at);
  append_chunk(out, type, data.data(), data.size());
  out.insert(out.end(), file + at, file + size);
  return out;
}

// Bytes of inflated image data that the file's header predicts (filter bytes included), or
// 0 when the header is not there, names no pixel format or has more than `max_pixels` pixels.
uint64_t predicted_image_data(const uint8_t* file, size_t size, uint64_t max_pixels) {
  if (size < 33) return 0;
  const uint32_t width = velapng::read_u32_be(file + 16);
  const uint32_t height = velapng::read_u32_be(file + 20);
  const uint32_t bpp = velapng::bits_per_pixel(file[25], file[24]);
  if (width == 0 || height == 0 || bpp == 0 || bpp > 64 || uint64_t{width} * height > max_pixels) return 0;
  if (file[28] == 0) return uint64_t{height} * (velapng::packed_size(width, bpp) + 1);
  return velapng::compute_pass_layout(width, height, bpp).filtered_start[7];
}

// One decompressor and compressor for the whole run; the mutator is called on one thread.
struct Codecs {
  libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
  libdeflate_compressor* fast = libdeflate_alloc_compressor(1);
  libdeflate_compressor* strong = libdeflate_alloc_compressor(9);
  bool ready() const { return decompressor != nullptr && fast != nullptr && strong != nullptr; }
};

Codecs& codecs() {
  static Codecs instance;
  return instance;
}

size_t mutate_and_repair(uint8_t* data, size_t size, size_t max_size) {
  const size_t mutated = LLVMFuzzerMutate(data, size, max_size);
  if (codecs().ready()) repair_file(data, mutated, kMaxInflated, codecs().decompressor);
  return mutated;
}

size_t replace_file(uint8_t* data, size_t size, size_t max_size, const Bytes& file) {
  if (file.size() > max_size) return mutate_and_repair(data, size, max_size);
  std::memcpy(data, file.data(), file.size());
  return file.size();
}

Bytes zlib_compress(const Bytes& raw, std::minstd_rand& random) {
  libdeflate_compressor* compressor = random() % 4 == 0 ? codecs().strong : codecs().fast;
  Bytes stream(libdeflate_zlib_compress_bound(compressor, raw.size()));
  stream.resize(libdeflate_zlib_compress(compressor, raw.data(), raw.size(), stream.data(), stream.size()));
  return stream;
}

bool inflate_image_data(const uint8_t* data, size_t size, Bytes* raw) {
  const Bytes stream = gather_image_data(data, list_chunks(data, size));
  // Allocated once: zero-filling this much on every mutation would dominate the run.
  static Bytes room(kMaxInflated);
  size_t produced = 0;
  const libdeflate_result result = libdeflate_zlib_decompress_ex(codecs().decompressor, stream.data(), stream.size(),
                                                                 room.data(), room.size(), nullptr, &produced);
  raw->assign(room.begin(), room.begin() + static_cast<long>(produced));
  return result == LIBDEFLATE_SUCCESS;
}

size_t mutate_image_data(uint8_t* data, size_t size, size_t max_size, std::minstd_rand& random) {
  Bytes raw;
  if (!inflate_image_data(data, size, &raw)) return mutate_and_repair(data, size, max_size);
  const size_t before = raw.size();
  raw.resize(before + before / 8 + 64);
  raw.resize(LLVMFuzzerMutate(raw.data(), before, raw.size()));
  const uint64_t predicted = predicted_image_data(data, size, kMaxPixels);
  if (predicted != 0 && random() % 2 == 0) raw.resize(predicted, 0);
  return replace_file(data, size, max_size, replace_image_data(data, size, zlib_compress(raw, random)));
}

Bytes random_bytes(std::minstd_rand& random, size_t max_count) {
  Bytes bytes(random() % (max_count + 1));
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
  return bytes;
}

// Text that compresses: a few random bytes repeated.
Bytes compressible_bytes(std::minstd_rand& random) {
  const Bytes unit = random_bytes(random, 8);
  Bytes bytes;
  const size_t repeats = random() % 512;
  for (size_t i = 0; i < repeats; ++i) bytes.insert(bytes.end(), unit.begin(), unit.end());
  return bytes;
}

Bytes text(const char* field) { return Bytes(field, field + std::strlen(field) + 1); }

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

struct MadeChunk {
  const char* type;
  Bytes data;
};

// Each kind with the layout its reader expects, and with lengths around the ones it accepts.
MadeChunk make_chunk(std::minstd_rand& random) {
  const Bytes method = {0};
  switch (random() % 16) {
    case 0: return {"PLTE", random_bytes(random, 3 * 260)};
    case 1: return {"tRNS", random_bytes(random, 260)};
    case 2: return {"bKGD", random_bytes(random, 7)};
    case 3: return {"tEXt", concat({text("Title"), random_bytes(random, 64)})};
    case 4: return {"zTXt", concat({text("Comment"), method, zlib_compress(compressible_bytes(random), random)})};
    case 5:
      return {"iTXt", concat({text("Comment"), Bytes{1, 0}, text("en"), text("Note"),
                              zlib_compress(compressible_bytes(random), random)})};
    case 6: return {"iTXt", concat({text("Comment"), Bytes{0, 0}, text("en"), text("Note"), random_bytes(random, 64)})};
    case 7: return {"iCCP", concat({text("Profile"), method, zlib_compress(compressible_bytes(random), random)})};
    case 8: return {"tIME", random_bytes(random, 8)};
    case 9: return {"pHYs", random_bytes(random, 10)};
    case 10: return {"gAMA", random_bytes(random, 5)};
    case 11: return {"cHRM", random_bytes(random, 33)};
    case 12: return {"sRGB", random_bytes(random, 2)};
    case 13: return {"IDAT", random_bytes(random, 16)};
    case 14: return {"IEND", {}};
    default: return {"vpAg", random_bytes(random, 16)};  // unknown, ancillary
  }
}

size_t insert_made_chunk(uint8_t* data, size_t size, size_t max_size, std::minstd_rand& random) {
  if (size < 8) return mutate_and_repair(data, size, max_size);
  const MadeChunk chunk = make_chunk(random);
  // Never before the header chunk, which must stay first for anything else to be reached.
  const size_t index = 1 + random() % (list_chunks(data, size).size() + 1);
  return replace_file(data, size, max_size, insert_chunk(data, size, index, chunk.type, chunk.data));
}

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t max_size, unsigned int seed) {
  std::minstd_rand random(seed);
  const unsigned share = random() % 8;
  if (share == 0) return LLVMFuzzerMutate(data, size, max_size);
  if (!codecs().ready() || share <= 3) return mutate_and_repair(data, size, max_size);
  if (share <= 6) return mutate_image_data(data, size, max_size, random);
  return insert_made_chunk(data, size, max_size, random);
}
