// The decode target's mutator. Most random mutations of a PNG die at the first CRC or at
// the Adler-32 of the image data, long before the readers, inflate, un-filtering, Adam7 or
// conversion see them; so after libFuzzer's own mutation the file is usually repaired, and
// often the mutation is aimed at the inflated image data instead of the compressed bytes.
//
// Share of the mutations, by the seed libFuzzer hands in:
//   1/8  libFuzzer's mutation, left as it is: the CRC and Adler-32 checks stay exercised;
//   4/8  libFuzzer's mutation, then every zlib stream and CRC repaired (png_repair.h);
//   3/8  the image data inflated, mutated, sometimes cut or padded to the size the header
//        predicts (so header mutations reach reconstruction), compressed again into one
//        IDAT. Falls back to the repairing mutation when the data does not inflate.
#include <libdeflate.h>

#include <cstring>
#include <random>
#include <vector>

#include "fuzz/decode_limits.h"
#include "fuzz/png_repair.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t max_size);

namespace {

using namespace velapng_fuzz;

// One decompressor and compressor for the whole run; the mutator is called on one thread.
struct Codecs {
  libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
  libdeflate_compressor* fast = libdeflate_alloc_compressor(1);
  libdeflate_compressor* strong = libdeflate_alloc_compressor(9);
};

Codecs& codecs() {
  static Codecs instance;
  return instance;
}

size_t mutate_and_repair(uint8_t* data, size_t size, size_t max_size) {
  const size_t mutated = LLVMFuzzerMutate(data, size, max_size);
  if (codecs().decompressor != nullptr) repair_file(data, mutated, kMaxInflated, codecs().decompressor);
  return mutated;
}

bool inflate_image_data(const uint8_t* data, size_t size, std::vector<uint8_t>* raw) {
  const std::vector<uint8_t> stream = gather_image_data(data, list_chunks(data, size));
  // Allocated once: zero-filling this much on every mutation would dominate the run.
  static std::vector<uint8_t> room(kMaxInflated);
  size_t produced = 0;
  const libdeflate_result result = libdeflate_zlib_decompress_ex(codecs().decompressor, stream.data(), stream.size(),
                                                                 room.data(), room.size(), nullptr, &produced);
  raw->assign(room.begin(), room.begin() + static_cast<long>(produced));
  return result == LIBDEFLATE_SUCCESS;
}

size_t mutate_image_data(uint8_t* data, size_t size, size_t max_size, std::minstd_rand& random) {
  std::vector<uint8_t> raw;
  if (codecs().decompressor == nullptr || codecs().fast == nullptr || !inflate_image_data(data, size, &raw))
    return mutate_and_repair(data, size, max_size);

  const size_t before = raw.size();
  raw.resize(before + before / 8 + 64);
  raw.resize(LLVMFuzzerMutate(raw.data(), before, raw.size()));
  const uint64_t predicted = predicted_image_data(data, size, kMaxPixels);
  if (predicted != 0 && random() % 2 == 0) raw.resize(predicted, 0);

  libdeflate_compressor* compressor = random() % 4 == 0 ? codecs().strong : codecs().fast;
  if (compressor == nullptr) compressor = codecs().fast;
  std::vector<uint8_t> stream(libdeflate_zlib_compress_bound(compressor, raw.size()));
  stream.resize(libdeflate_zlib_compress(compressor, raw.data(), raw.size(), stream.data(), stream.size()));
  const std::vector<uint8_t> file = replace_image_data(data, size, stream);
  if (stream.empty() || file.size() > max_size) return mutate_and_repair(data, size, max_size);
  std::memcpy(data, file.data(), file.size());
  return file.size();
}

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t max_size, unsigned int seed) {
  std::minstd_rand random(seed);
  switch (random() % 8) {
    case 0: return LLVMFuzzerMutate(data, size, max_size);
    case 1:
    case 2:
    case 3:
    case 4: return mutate_and_repair(data, size, max_size);
    default: return mutate_image_data(data, size, max_size, random);
  }
}
