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
#include <libdeflate.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "fuzz/decode_limits.h"
#include "fuzz/png_surgery.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t max_size);

namespace {

using namespace velapng_fuzz;
using Bytes = std::vector<uint8_t>;

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
