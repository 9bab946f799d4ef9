// SSE2 block loops for the RGBA kernels of expand_run_to_8bit. SSE2 is part of every
// x86-64 CPU, so there is no run-time dispatch; without it (other architectures) the scalar
// loops do all the work.
//
// SSE2 has no byte shuffle, so pixels are moved with whole-register byte shifts, unpacks
// and packs:
// - RGB to RGBA: of four 3-byte pixels, the last two move to the high half with one byte
//   shift, then a 64-bit shift and masks spread each half's pair into 32-bit lanes; alpha
//   is ORed into the empty byte.
// - Table lookups (palette, grey below 8 bits): SSE2 cannot gather, but moving four entries
//   into one register and storing 16 bytes at once measured 30% faster than four 4-byte
//   stores.
// - Grey to RGBA: unpacking grey with itself and grey with alpha gives the (g, g) and (g, a)
//   pairs; unpacking those pairs gives g, g, g, a.
// - 16-bit samples: loaded as little-endian 16-bit lanes, so the high byte of a sample is the
//   low byte of its lane; masking and an unsigned pack keep it. Keys are compared on the
//   whole lane (byte-swapped key) or, for RGB, on the high and the low bytes separately.
#include "pixels/convert_run_sse2.h"

#if defined(__SSE2__)

#include <emmintrin.h>

#include <cstring>

namespace velapng::sse2 {

namespace {

__m128i load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
void store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

__m128i alpha_lanes() { return _mm_set1_epi32(static_cast<int>(0xFF000000u)); }
__m128i low_bytes_16() { return _mm_set1_epi16(0x00FF); }

// Bytes 0-11 of `x`, four RGB pixels, as four lanes r | g << 8 | b << 16: pixels 2 and 3
// move up to the high half first, then each half splits its pair with a 64-bit shift.
// (Four byte shifts and masks, one per lane, measured 12% slower.)
__m128i rgb_to_lanes(__m128i x) {
  const __m128i pairs = _mm_or_si128(_mm_and_si128(x, _mm_setr_epi32(-1, 0xFFFF, 0, 0)),
                                     _mm_and_si128(_mm_slli_si128(x, 2), _mm_setr_epi32(0, 0, -1, 0xFFFF)));
  const __m128i even = _mm_and_si128(pairs, _mm_setr_epi32(0x00FFFFFF, 0, 0x00FFFFFF, 0));
  const __m128i odd = _mm_and_si128(_mm_slli_epi64(pairs, 8), _mm_setr_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF));
  return _mm_or_si128(even, odd);
}

__m128i entry(const uint8_t* rgba) {
  int32_t word;
  std::memcpy(&word, rgba, 4);
  return _mm_cvtsi32_si128(word);
}

// Four table entries gathered into one 16-byte store.
void store_entries(uint8_t* out, const uint8_t (*table)[4], uint32_t i0, uint32_t i1, uint32_t i2, uint32_t i3) {
  const __m128i low = _mm_unpacklo_epi32(entry(table[i0]), entry(table[i1]));
  const __m128i high = _mm_unpacklo_epi32(entry(table[i2]), entry(table[i3]));
  store(out, _mm_unpacklo_epi64(low, high));
}

uint64_t bytes_through_table(uint8_t* out, const uint8_t* in, uint64_t pixels, const uint8_t (*table)[4]) {
  uint64_t i = 0;
  for (; i + 4 <= pixels; i += 4) store_entries(out + 4 * i, table, in[i], in[i + 1], in[i + 2], in[i + 3]);
  return i;
}

// Sub-byte samples in steps of 4 pixels (8 at 1 bit), a whole number of source bytes read
// as one big-endian word. (Building that word for 8-bit indices too measured twice as slow
// as reading the bytes.)
template <uint32_t kBits>
uint64_t packed_through_table(uint8_t* out, const uint8_t* in, uint64_t pixels, const uint8_t (*table)[4]) {
  constexpr uint32_t kStep = kBits == 1 ? 8 : 4;
  constexpr uint32_t kBytes = kStep * kBits / 8;
  constexpr uint32_t kMask = (1u << kBits) - 1;
  uint64_t i = 0;
  for (; i + kStep <= pixels; i += kStep, in += kBytes, out += size_t{4} * kStep) {
    uint32_t word = 0;
    for (uint32_t b = 0; b < kBytes; ++b) word = word << 8 | in[b];
    const auto at = [word](uint32_t p) { return (word >> (kBits * (kStep - 1 - p))) & kMask; };
    for (uint32_t k = 0; k < kStep; k += 4)
      store_entries(out + size_t{4} * k, table, at(k), at(k + 1), at(k + 2), at(k + 3));
  }
  return i;
}

// Opaque, except transparent where `hit` lanes are all ones.
__m128i with_alpha(__m128i rgb_lanes, __m128i hit) {
  return _mm_or_si128(rgb_lanes, _mm_andnot_si128(hit, alpha_lanes()));
}

__m128i key_word(uint32_t r, uint32_t g, uint32_t b) { return _mm_set1_epi32(static_cast<int>(r | g << 8 | b << 16)); }

// 16 grey values and their 16 alphas as 64 bytes of RGBA.
void store_grey(uint8_t* out, __m128i grey, __m128i alpha) {
  const __m128i gg_lo = _mm_unpacklo_epi8(grey, grey), gg_hi = _mm_unpackhi_epi8(grey, grey);
  const __m128i ga_lo = _mm_unpacklo_epi8(grey, alpha), ga_hi = _mm_unpackhi_epi8(grey, alpha);
  store(out, _mm_unpacklo_epi16(gg_lo, ga_lo));
  store(out + 16, _mm_unpackhi_epi16(gg_lo, ga_lo));
  store(out + 32, _mm_unpacklo_epi16(gg_hi, ga_hi));
  store(out + 48, _mm_unpackhi_epi16(gg_hi, ga_hi));
}

// 8 (grey, alpha) byte pairs as 32 bytes of RGBA: each pair's grey doubled, then the
// doubled grey and the pair interleaved as 16-bit lanes.
void store_grey_alpha(uint8_t* out, __m128i pairs) {
  const __m128i grey = _mm_and_si128(pairs, low_bytes_16());
  const __m128i doubled = _mm_or_si128(grey, _mm_slli_epi16(grey, 8));
  store(out, _mm_unpacklo_epi16(doubled, pairs));
  store(out + 16, _mm_unpackhi_epi16(doubled, pairs));
}

// The high bytes of the 16 big-endian samples in a and b.
__m128i high_bytes(__m128i a, __m128i b) {
  return _mm_packus_epi16(_mm_and_si128(a, low_bytes_16()), _mm_and_si128(b, low_bytes_16()));
}

__m128i low_bytes(__m128i a, __m128i b) { return _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8)); }

// 24 bytes of RGB (16 in `first`, 8 in the low half of `second`) as 8 RGB lanes.
void rgb24_to_lanes(__m128i first, __m128i second, __m128i* lanes0, __m128i* lanes1) {
  *lanes0 = rgb_to_lanes(first);
  *lanes1 = rgb_to_lanes(_mm_or_si128(_mm_srli_si128(first, 12), _mm_slli_si128(second, 4)));
}

// Bytes 0 and 2 of every 32-bit lane exchanged.
__m128i swap_lanes(__m128i v) {
  const __m128i low_byte = _mm_set1_epi32(0xFF);
  const __m128i red_to_blue = _mm_and_si128(_mm_srli_epi32(v, 16), low_byte);
  const __m128i blue_to_red = _mm_slli_epi32(_mm_and_si128(v, low_byte), 16);
  return _mm_or_si128(_mm_and_si128(v, _mm_set1_epi32(static_cast<int>(0xFF00FF00u))),
                      _mm_or_si128(red_to_blue, blue_to_red));
}

// 4 pixels per step from a 16-byte load, of which 12 bytes are used: the loop stops while
// 4 bytes past the step are still inside the run. The key is compared before any exchange.
template <bool kBgra>
uint64_t rgb8_to_lanes_loop(uint8_t* out, const uint8_t* in, uint64_t pixels, BlockKey key) {
  const __m128i keyed = key_word(key.red, key.green, key.blue);
  uint64_t i = 0;
  for (; i + 6 <= pixels; i += 4) {
    const __m128i lanes = rgb_to_lanes(load(in + 3 * i));
    const __m128i hit = key.defined ? _mm_cmpeq_epi32(lanes, keyed) : _mm_setzero_si128();
    store(out + 4 * i, with_alpha(kBgra ? swap_lanes(lanes) : lanes, hit));
  }
  return i;
}

}  // namespace

uint64_t rgb8_to_rgba8(uint8_t* out, const uint8_t* in, uint64_t pixels, BlockKey key, bool bgra) {
  return bgra ? rgb8_to_lanes_loop<true>(out, in, pixels, key) : rgb8_to_lanes_loop<false>(out, in, pixels, key);
}

// Four pixels per step: one mask keeps green and alpha, two 32-bit lane shifts carry red and
// blue across. (GCC 12 vectorises neither the byte exchange nor the word form by itself;
// measured 14 against 5 GB/s in cache.)
uint64_t swap_red_blue(uint8_t* out, const uint8_t* in, uint64_t pixels) {
  uint64_t i = 0;
  for (; i + 4 <= pixels; i += 4) store(out + 4 * i, swap_lanes(load(in + 4 * i)));
  return i;
}

// 8 pixels (48 bytes) per step. The key must match both the high and the low bytes.
uint64_t rgb16_to_rgba8(uint8_t* out, const uint8_t* in, uint64_t pixels, BlockKey key) {
  const __m128i key_high = key_word(key.red >> 8, key.green >> 8, key.blue >> 8);
  const __m128i key_low = key_word(key.red & 0xFF, key.green & 0xFF, key.blue & 0xFF);
  const __m128i zero = _mm_setzero_si128();
  uint64_t i = 0;
  for (; i + 8 <= pixels; i += 8) {
    const uint8_t* p = in + 6 * i;
    const __m128i x0 = load(p), x1 = load(p + 16), x2 = load(p + 32);
    __m128i high[2], low[2], hit[2] = {zero, zero};
    rgb24_to_lanes(high_bytes(x0, x1), high_bytes(x2, zero), &high[0], &high[1]);
    if (key.defined) {
      rgb24_to_lanes(low_bytes(x0, x1), low_bytes(x2, zero), &low[0], &low[1]);
      for (int k = 0; k < 2; ++k)
        hit[k] = _mm_and_si128(_mm_cmpeq_epi32(high[k], key_high), _mm_cmpeq_epi32(low[k], key_low));
    }
    store(out + 4 * i, with_alpha(high[0], hit[0]));
    store(out + 4 * i + 16, with_alpha(high[1], hit[1]));
  }
  return i;
}

uint64_t grey8_to_rgba8(uint8_t* out, const uint8_t* in, uint64_t pixels, BlockKey key) {
  const __m128i keyed = _mm_set1_epi8(static_cast<char>(key.red));
  const __m128i opaque = _mm_set1_epi8(-1);
  uint64_t i = 0;
  for (; i + 16 <= pixels; i += 16) {
    const __m128i grey = load(in + i);
    const __m128i hit = key.defined ? _mm_cmpeq_epi8(grey, keyed) : _mm_setzero_si128();
    store_grey(out + 4 * i, grey, _mm_xor_si128(hit, opaque));
  }
  return i;
}

// The lanes hold byte-swapped samples, so the key is swapped to match.
uint64_t grey16_to_rgba8(uint8_t* out, const uint8_t* in, uint64_t pixels, BlockKey key) {
  const __m128i keyed = _mm_set1_epi16(static_cast<short>((key.red & 0xFF) << 8 | key.red >> 8));
  const __m128i opaque = _mm_set1_epi8(-1);
  uint64_t i = 0;
  for (; i + 16 <= pixels; i += 16) {
    const __m128i x0 = load(in + 2 * i), x1 = load(in + 2 * i + 16);
    __m128i hit = _mm_setzero_si128();
    if (key.defined) hit = _mm_packs_epi16(_mm_cmpeq_epi16(x0, keyed), _mm_cmpeq_epi16(x1, keyed));
    store_grey(out + 4 * i, high_bytes(x0, x1), _mm_xor_si128(hit, opaque));
  }
  return i;
}

uint64_t indexed_to_rgba8(uint8_t* out, const uint8_t* in, uint64_t pixels, uint32_t bits, const uint8_t (*table)[4]) {
  switch (bits) {
    case 1: return packed_through_table<1>(out, in, pixels, table);
    case 2: return packed_through_table<2>(out, in, pixels, table);
    case 4: return packed_through_table<4>(out, in, pixels, table);
    case 8: return bytes_through_table(out, in, pixels, table);
    default: return 0;
  }
}

uint64_t grey_alpha8_to_rgba8(uint8_t* out, const uint8_t* in, uint64_t pixels) {
  uint64_t i = 0;
  for (; i + 8 <= pixels; i += 8) store_grey_alpha(out + 4 * i, load(in + 2 * i));
  return i;
}

uint64_t grey_alpha16_to_rgba8(uint8_t* out, const uint8_t* in, uint64_t pixels) {
  uint64_t i = 0;
  for (; i + 8 <= pixels; i += 8) store_grey_alpha(out + 4 * i, high_bytes(load(in + 4 * i), load(in + 4 * i + 16)));
  return i;
}

uint64_t rgba16_to_rgba8(uint8_t* out, const uint8_t* in, uint64_t pixels) {
  uint64_t i = 0;
  for (; i + 4 <= pixels; i += 4) store(out + 4 * i, high_bytes(load(in + 8 * i), load(in + 8 * i + 16)));
  return i;
}

}  // namespace velapng::sse2

#endif  // __SSE2__
