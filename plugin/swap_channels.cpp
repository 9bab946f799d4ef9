// RGBA to BGRA in place, run over every decoded image.
// - Four pixels per step in SSE2 (every x86-64 processor has it): one mask keeps green and
//   alpha, two 32-bit lane shifts carry red and blue across. Unaligned loads and stores,
//   since the host's memory carries no alignment promise.
// - The scalar form handles the last pixels and is the reference the tests compare with.
// GCC 12 at -O2 vectorises neither the byte exchange nor the word form on its own. Measured
// here against the plain byte exchange: 14 against 5 GB/s in cache (256 KiB), 12-13 against
// 5 GB/s for a 64 MiB image.
#include <emmintrin.h>

#include <bit>
#include <cstring>

#include "plugin/load.h"

namespace velapng {

static_assert(std::endian::native == std::endian::little, "pixel words are read little-endian");

namespace {

uint32_t swap_word(uint32_t pixel) { return (pixel & 0xFF00FF00u) | ((pixel >> 16) & 0xFFu) | ((pixel & 0xFFu) << 16); }

}  // namespace

void swap_red_blue(uint8_t* pixels, uint32_t bytes) {
  const uint32_t words = bytes / 4;
  uint32_t i = 0;
  const __m128i keep = _mm_set1_epi32(static_cast<int>(0xFF00FF00u));
  const __m128i low_byte = _mm_set1_epi32(0xFF);
  for (; i + 4 <= words; i += 4) {
    auto* at = reinterpret_cast<__m128i*>(pixels + 4 * size_t{i});
    const __m128i v = _mm_loadu_si128(at);
    const __m128i red_to_blue = _mm_and_si128(_mm_srli_epi32(v, 16), low_byte);
    const __m128i blue_to_red = _mm_slli_epi32(_mm_and_si128(v, low_byte), 16);
    _mm_storeu_si128(at, _mm_or_si128(_mm_and_si128(v, keep), _mm_or_si128(red_to_blue, blue_to_red)));
  }
  for (; i < words; ++i) {
    uint32_t pixel;
    std::memcpy(&pixel, pixels + 4 * size_t{i}, 4);
    pixel = swap_word(pixel);
    std::memcpy(pixels + 4 * size_t{i}, &pixel, 4);
  }
}

}  // namespace velapng
