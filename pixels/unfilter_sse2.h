// SSE2 un-filtering paths. Why they are shaped the way they are:
//
// - SSE2 only, no run-time CPU detection: it is the x86-64 baseline, so the same code
//   serves the Linux build and the Windows x64 DLL without dispatch.
// - Up has no dependence between bytes: plain 16-byte adds, four per step, then 8 bytes
//   at a time.
// - Sub is a running sum at distance B, done inside each 16-byte block by log2 steps of
//   shifted adds; the last B bytes of a block enter the next block as its left neighbours.
// - Average and Paeth depend on the reconstructed left pixel, which no shift trick
//   removes. Both walk the 16-byte block in groups of B bytes (one pixel's worth, not
//   necessarily pixel aligned) with everything that does not depend on the left
//   neighbour hoisted off the critical path, then store the block once. Both work in
//   16-bit lanes: Average because a + b needs nine bits, Paeth for its signed differences.
// - Paeth at B 3 and 6 runs 48-byte superblocks (three aligned blocks of whole pixels), so
//   no step of the chain is spent on a pixel split between blocks; its row-above bytes are
//   read from memory rather than cut out of registers, which keeps the shuffle port free
//   for the widening and packing every step needs.
// - Which widths get Average and Paeth vector paths is decided by the row loops
//   (unfilter_rows.cpp); narrow Paeth (B 1, 2) would spend 8 lanes on 1 or 2 bytes.
//
// Measured (unfilter_bench, 4096-pixel rows, 2.3 GHz x86-64, CPU time), vector path over
// the decoder's own byte path with B constant: Sub 2.2x (B 3) and 4x (B 4); Paeth only
// 1.0-1.3x (B 3) and 1.4-1.6x (B 4). Paeth is bound by its chain from one pixel to the
// next (about 14 cycles, 5 of them the multiply-high), which the byte path overlaps across
// its B independent lanes just as well. Comparing |a - b| with three times lo and hi
// (no division at all) gives the same bytes and measured 1.2x faster than the
// multiply-high here; not adopted, the division by multiply-high is the agreed form.
// Average likewise: keeping the complements of the bytes in 8-bit lanes, where the
// rounding-average instruction gives the floor exactly (~pavgb(~a, ~b)), measured 2.4 GB/s
// against 1.6 GB/s for the widened sums at B 4 (byte path 1.1 GB/s); not adopted, the
// widened sums are the agreed form.
// Paeth B 3 in 48-byte superblocks against 16-byte blocks: 442 -> 494 MB/s, and 507 MB/s
// with the row above read from memory (unfilter_bench, gradient content, CPU time); B 4
// runs 716 MB/s, so B 3 now costs about what a whole pixel's chain costs. Still bound by
// that chain: photographs filtered adaptively are mostly Paeth rows and spend about a third
// of their decode here.
//
// Invariants: `x` is the row being reconstructed in place, `prev` the finished row above
// (read unaligned, never written); every store goes to x + i with x + i 16-byte aligned.
// Sub, Average and Paeth start after the first pixel (i = B) and need at least 32 bytes
// after it, so the alignment steps always leave a whole block; Up starts at 0.
#pragma once

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "pixels/unfilter_scalar.h"

namespace velapng::unfilter_detail {

// B bytes from p in lanes 0..B-1, zero above: the left neighbours of a first block.
template <int B>
inline __m128i load_low(const uint8_t* p) {
  uint64_t bytes = 0;
  std::memcpy(&bytes, p, B);
  return _mm_cvtsi64_si128(static_cast<long long>(bytes));
}

// Keeps bytes 0..B-1, clears the rest.
template <int B>
inline __m128i low_bytes_mask() {
  return _mm_srli_si128(_mm_set1_epi8(-1), 16 - B);
}

// Bytes 0..7 as eight 16-bit lanes.
inline __m128i widen_low(__m128i bytes) { return _mm_unpacklo_epi8(bytes, _mm_setzero_si128()); }

// ---------------------------------------------------------------------------------------
// Up
// ---------------------------------------------------------------------------------------

inline void up_vector(uint8_t* x, const uint8_t* prev, size_t length) {
  size_t i = aligned_index(x, 0, length);
  up_bytes(x, prev, 0, i);
  for (; i + 64 <= length; i += 64) {
    for (size_t k = 0; k < 64; k += 16) {
      const __m128i f = _mm_load_si128(reinterpret_cast<const __m128i*>(x + i + k));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(prev + i + k));
      _mm_store_si128(reinterpret_cast<__m128i*>(x + i + k), _mm_add_epi8(f, b));
    }
  }
  for (; i + 8 <= length; i += 8) {
    const __m128i f = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(x + i));
    const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(prev + i));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(x + i), _mm_add_epi8(f, b));
  }
  up_bytes(x, prev, i, length);
}

// ---------------------------------------------------------------------------------------
// Sub
// ---------------------------------------------------------------------------------------

// One block of Sub: `left` holds the B reconstructed bytes before the block in lanes
// 0..B-1 and zeros above. Adding it to the first B lanes makes it the first term of each
// of the B interleaved running sums, which the shifted adds then spread over the block.
template <int B>
inline __m128i sub_block(__m128i filtered, __m128i left) {
  __m128i v = _mm_add_epi8(filtered, left);
  v = _mm_add_epi8(v, _mm_slli_si128(v, B));
  if constexpr (2 * B < 16) v = _mm_add_epi8(v, _mm_slli_si128(v, 2 * B));
  if constexpr (4 * B < 16) v = _mm_add_epi8(v, _mm_slli_si128(v, 4 * B));
  if constexpr (8 * B < 16) v = _mm_add_epi8(v, _mm_slli_si128(v, 8 * B));
  return v;
}

template <int B>
inline __m128i sub_step(uint8_t* at, __m128i* left) {
  const __m128i y = sub_block<B>(_mm_load_si128(reinterpret_cast<const __m128i*>(at)), *left);
  _mm_store_si128(reinterpret_cast<__m128i*>(at), y);
  *left = _mm_srli_si128(y, 16 - B);
  return y;
}

template <int B>
inline void sub_vector(uint8_t* x, size_t length) {
  size_t i = aligned_index(x, B, length);
  sub_bytes(x, B, i, B);
  __m128i left = load_low<B>(x + i - B);
  for (; i + 64 <= length; i += 64) {
    sub_step<B>(x + i, &left);
    sub_step<B>(x + i + 16, &left);
    sub_step<B>(x + i + 32, &left);
    sub_step<B>(x + i + 48, &left);
  }
  for (; i + 16 <= length; i += 16) sub_step<B>(x + i, &left);
  sub_bytes(x, i, length, B);
}

// ---------------------------------------------------------------------------------------
// Average
// ---------------------------------------------------------------------------------------

// Sums of two bytes need nine bits, so the block is worked in 16-bit lanes, where the floor
// of the half is a plain shift. Only the add, the shift, the add of the filtered byte and
// the mask sit between one pixel and the next.
template <int B, int K>
inline void average_groups(__m128i filtered, __m128i above, __m128i* left, __m128i* out) {
  if constexpr (K * B < 16) {
    const __m128i f = widen_low(_mm_srli_si128(filtered, K * B));
    const __m128i b = widen_low(_mm_srli_si128(above, K * B));
    const __m128i half = _mm_srli_epi16(_mm_add_epi16(*left, b), 1);
    *left = _mm_and_si128(_mm_add_epi16(half, f), _mm_set1_epi16(0xFF));
    const __m128i bytes = _mm_and_si128(_mm_packus_epi16(*left, *left), low_bytes_mask<B>());
    *out = _mm_or_si128(*out, _mm_slli_si128(bytes, K * B));
    average_groups<B, K + 1>(filtered, above, left, out);
  }
}

// `left`: the B reconstructed bytes before the block, widened into lanes 0..B-1.
template <int B>
inline void average_block(uint8_t* at, const uint8_t* above, __m128i* left) {
  const __m128i f = _mm_load_si128(reinterpret_cast<const __m128i*>(at));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(above));
  __m128i out = _mm_setzero_si128();
  average_groups<B, 0>(f, b, left, &out);
  _mm_store_si128(reinterpret_cast<__m128i*>(at), out);
  // When B divides 16 the last group is exactly the last B bytes and already sits in
  // lanes 0..B-1; otherwise the last group is partial and the block supplies them.
  if constexpr (16 % B != 0) *left = widen_low(_mm_srli_si128(out, 16 - B));
}

template <int B>
inline void average_vector(uint8_t* x, const uint8_t* prev, size_t length) {
  size_t i = aligned_index(x, B, length);
  average_bytes(x, prev, B, i, B);
  __m128i left = widen_low(load_low<B>(x + i - B));
  for (; i + 16 <= length; i += 16) average_block<B>(x + i, prev + i, &left);
  average_bytes(x, prev, i, length, B);
}

// ---------------------------------------------------------------------------------------
// Paeth
// ---------------------------------------------------------------------------------------

// The branch-free predictor of unfilter_scalar.h in 16-bit lanes (inputs 0..255), plus
// `base` - c: with base = c the predictor itself; with base = c + f, which needs no left
// neighbour, the reconstructed byte before its reduction mod 256, one add shorter on the
// chain from pixel to pixel. The division by 3 is a multiply-high by 21888: 21888 / 65536
// lies just above 1/3, close enough that (x * 21888) >> 16 equals x / 3 for every x up
// to 255.
inline __m128i paeth_predictor_16(__m128i a, __m128i b, __m128i c, __m128i base) {
  const __m128i smaller = _mm_min_epi16(a, b);
  const __m128i larger = _mm_max_epi16(a, b);
  const __m128i third = _mm_mulhi_epu16(_mm_sub_epi16(larger, smaller), _mm_set1_epi16(21888));
  const __m128i lo = _mm_sub_epi16(smaller, c);
  const __m128i hi = _mm_sub_epi16(larger, c);
  const __m128i take_hi = _mm_cmpgt_epi16(_mm_add_epi16(lo, third), _mm_set1_epi16(-1));
  const __m128i skip_lo = _mm_cmpgt_epi16(hi, third);
  return _mm_add_epi16(_mm_add_epi16(base, _mm_andnot_si128(skip_lo, lo)), _mm_and_si128(hi, take_hi));
}

// Group K covers bytes K*B .. K*B+B-1 of the block, widened into lanes 0..B-1. Only the
// predictor and the final add sit between one group and the next.
template <int B, int K>
inline void paeth_groups(__m128i filtered, __m128i above, __m128i above_left, __m128i* left, __m128i* out) {
  if constexpr (K * B < 16) {
    const __m128i f = widen_low(_mm_srli_si128(filtered, K * B));
    const __m128i b = widen_low(_mm_srli_si128(above, K * B));
    const __m128i c = widen_low(_mm_srli_si128(above_left, K * B));
    *left = _mm_and_si128(paeth_predictor_16(*left, b, c, _mm_add_epi16(c, f)), _mm_set1_epi16(0xFF));
    const __m128i bytes = _mm_and_si128(_mm_packus_epi16(*left, *left), low_bytes_mask<B>());
    *out = _mm_or_si128(*out, _mm_slli_si128(bytes, K * B));
    paeth_groups<B, K + 1>(filtered, above, above_left, left, out);
  }
}

// `left`: the B reconstructed bytes before the block, widened into lanes 0..B-1.
template <int B>
inline void paeth_block(uint8_t* at, const uint8_t* above, __m128i* left) {
  const __m128i f = _mm_load_si128(reinterpret_cast<const __m128i*>(at));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(above));
  const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(above - B));
  __m128i out = _mm_setzero_si128();
  paeth_groups<B, 0>(f, b, c, left, &out);
  _mm_store_si128(reinterpret_cast<__m128i*>(at), out);
  if constexpr (16 % B != 0) *left = widen_low(_mm_srli_si128(out, 16 - B));
}

// Widths that do not divide 16 (B 3 and 6) would end every block on part of a pixel: a
// predictor step spent on one or two bytes, and the next block's left neighbour rebuilt
// from the stored bytes, both on the chain from pixel to pixel. Three blocks (48 bytes)
// hold whole pixels, so over a superblock every step is a whole pixel and `left` passes
// from one superblock to the next as it is. Pixels that straddle two blocks are gathered
// from, and scattered to, both; that work depends on nothing reconstructed.
constexpr size_t kSuperblock = 48;

// Bytes [start, start + 16) of the three blocks `v`, start < 48, as one register (only the
// first B lanes matter).
template <int Start>
inline __m128i superblock_window(const __m128i* v) {
  constexpr int q = Start / 16, s = Start % 16;
  if constexpr (s == 0) {
    return v[q];
  } else if constexpr (q == 2) {
    return _mm_srli_si128(v[2], s);
  } else {
    return _mm_or_si128(_mm_srli_si128(v[q], s), _mm_slli_si128(v[q + 1], 16 - s));
  }
}

// ORs the B bytes in lanes 0..B-1 of `bytes` into the three output blocks at `Start`.
template <int Start>
inline void superblock_place(__m128i bytes, __m128i* out) {
  constexpr int q = Start / 16, s = Start % 16;
  out[q] = _mm_or_si128(out[q], _mm_slli_si128(bytes, s));
  if constexpr (s != 0 && q < 2) out[q + 1] = _mm_or_si128(out[q + 1], _mm_srli_si128(bytes, 16 - s));
}

// The row above is complete, so its bytes are read straight from memory, 8 at a time
// (never past the current row's first bytes, which follow it in the block); the above-left
// pixel of one step is the above pixel of the step before.
template <int B, int K>
inline void paeth_superblock_groups(const __m128i* filtered, const uint8_t* above, __m128i c, __m128i* left,
                                    __m128i* out) {
  if constexpr (K * B < int(kSuperblock)) {
    const __m128i f = widen_low(superblock_window<K * B>(filtered));
    const __m128i b = widen_low(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(above + K * B)));
    *left = _mm_and_si128(paeth_predictor_16(*left, b, c, _mm_add_epi16(c, f)), _mm_set1_epi16(0xFF));
    superblock_place<K * B>(_mm_and_si128(_mm_packus_epi16(*left, *left), low_bytes_mask<B>()), out);
    paeth_superblock_groups<B, K + 1>(filtered, above, b, left, out);
  }
}

template <int B>
inline void paeth_superblock(uint8_t* at, const uint8_t* above, __m128i* left) {
  __m128i f[3], out[3];
  for (int q = 0; q < 3; ++q) {
    f[q] = _mm_load_si128(reinterpret_cast<const __m128i*>(at + 16 * q));
    out[q] = _mm_setzero_si128();
  }
  const __m128i c = widen_low(load_low<B>(above - B));
  paeth_superblock_groups<B, 0>(f, above, c, left, out);
  for (int q = 0; q < 3; ++q) _mm_store_si128(reinterpret_cast<__m128i*>(at + 16 * q), out[q]);
}

template <int B>
inline void paeth_vector(uint8_t* x, const uint8_t* prev, size_t length) {
  size_t i = aligned_index(x, B, length);
  paeth_bytes(x, prev, B, i, B);
  __m128i left = widen_low(load_low<B>(x + i - B));
  if constexpr (16 % B != 0) {
    static_assert(kSuperblock % B == 0);
    for (; i + kSuperblock <= length; i += kSuperblock) paeth_superblock<B>(x + i, prev + i, &left);
  }
  for (; i + 16 <= length; i += 16) paeth_block<B>(x + i, prev + i, &left);
  paeth_bytes(x, prev, i, length, B);
}

}  // namespace velapng::unfilter_detail
