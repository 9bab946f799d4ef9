// The PNG-aware mutator of the decode targets. Most random mutations of a PNG die at the
// first CRC or at the Adler-32 of the image data, long before the readers, un-filtering,
// Adam7 or conversion see them; so after libFuzzer's own mutation the CRCs are usually
// repaired, and often the mutation is aimed past the compression instead.
//
// Share of the mutations, by the seed libFuzzer hands in:
//   1/8  libFuzzer's mutation, left as it is: the CRC checks stay exercised;
//   1/8  the last two bytes random, after IEND (appended when not there), where the targets
//        read their options (fuzz_plugin_memory: which allocation fails): a PNG means the
//        same whatever bytes end it;
//   3/8  libFuzzer's mutation, then every chunk CRC repaired: mutated headers, chunk
//        structure and ancillary chunks reach the chunk walk and the readers;
//   3/8  the image data inflated, mutated, sometimes cut or padded to the size the header
//        predicts (so header mutations reach reconstruction), compressed again into one IDAT.
// Zlib streams are not repaired: a mutated stream is refused at its Adler-32 as it is, and
// what lies past the compression is reached by the rewrite, which needs no luck for it. Image
// data that does not inflate falls back to the repairing mutation.
//
// Nothing here validates anything: a chunk that does not fit is simply left as it is, and
// the decoder meets it as the mutation made it.
#include <libdeflate.h>

#include <cstring>
#include <random>
#include <vector>

#include "decoder/chunk.h"
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

// The chunks after the signature (whatever stands there), as far as each one's 12 + length
// bytes fit in the file.
std::vector<ChunkSpan> list_chunks(const uint8_t* file, size_t size) {
  std::vector<ChunkSpan> chunks;
  size_t offset = 8;
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

void repair_crcs(uint8_t* file, size_t size) {
  for (const ChunkSpan& chunk : list_chunks(file, size)) {
    put_u32(file + chunk.data_offset() + chunk.length,
            libdeflate_crc32(0, file + chunk.offset + 4, size_t{chunk.length} + 4));
  }
}

// Replaces all IDAT chunks by one holding `stream`, placed where the first one was (before
// IEND when there was none). The new file is returned; its CRCs are correct.
Bytes replace_image_data(const uint8_t* file, size_t size, const Bytes& stream) {
  const std::vector<ChunkSpan> chunks = list_chunks(file, size);
  Bytes out(file, file + (chunks.empty() ? size : chunks.front().offset));
  bool placed = false;
  auto place = [&] {
    if (placed) return;
    placed = true;
    const size_t start = out.size();
    out.resize(start + 8);
    put_u32(&out[start], static_cast<uint32_t>(stream.size()));
    std::memcpy(&out[start + 4], "IDAT", 4);
    out.insert(out.end(), stream.begin(), stream.end());
    out.resize(out.size() + 4);  // the CRC, repaired below
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

// One decompressor and compressor for the whole run; the mutator is called on one thread. The
// decoder sees only what the data inflates to, so one compression level serves.
struct Codecs {
  libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(1);
  bool ready() const { return decompressor != nullptr && compressor != nullptr; }
};

Codecs& codecs() {
  static Codecs instance;
  return instance;
}

size_t mutate_and_repair(uint8_t* data, size_t size, size_t max_size) {
  const size_t mutated = LLVMFuzzerMutate(data, size, max_size);
  repair_crcs(data, mutated);
  return mutated;
}

// The concatenated IDAT payloads inflated, into *raw; false when they do not inflate.
bool inflate_image_data(const uint8_t* data, size_t size, Bytes* raw) {
  Bytes stream;
  for (const ChunkSpan& chunk : list_chunks(data, size)) {
    if (chunk.is(data, "IDAT"))
      stream.insert(stream.end(), data + chunk.data_offset(), data + chunk.data_offset() + chunk.length);
  }
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

  Bytes stream(libdeflate_zlib_compress_bound(codecs().compressor, raw.size()));
  stream.resize(libdeflate_zlib_compress(codecs().compressor, raw.data(), raw.size(), stream.data(), stream.size()));
  const Bytes file = replace_image_data(data, size, stream);
  if (file.size() > max_size) return mutate_and_repair(data, size, max_size);
  std::memcpy(data, file.data(), file.size());
  return file.size();
}

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t max_size, unsigned int seed) {
  std::minstd_rand random(seed);
  const unsigned share = random() % 8;
  if (share == 0) return LLVMFuzzerMutate(data, size, max_size);
  if (share == 1) {  // the two bytes after IEND, from which the targets read their options
    const std::vector<ChunkSpan> chunks = list_chunks(data, size);
    if (size - (chunks.empty() ? size : chunks.back().end()) < 2 && size + 2 <= max_size) size += 2;
    for (size_t i = size < 2 ? 0 : size - 2; i < size; ++i) data[i] = static_cast<uint8_t>(random());
    return size;
  }
  if (share <= 4 || !codecs().ready()) return mutate_and_repair(data, size, max_size);
  return mutate_image_data(data, size, max_size, random);
}
