// SSE2 un-filtering paths. Why they are shaped the way they are:
//
// - SSE2 only, no run-time CPU detection: it is the x86-64 baseline, so the same code
//   serves the Linux build and the Windows x64 DLL without dispatch.
// - Up has no dependence between bytes: plain 16-byte adds, four per step, then 8 bytes
//   at a time.
// - Sub is a running sum at distance B, done inside each 16-byte block by log2 steps of
//   shifted adds; the last B bytes of a block enter the next block as its left neighbours.
// - Average and Paeth depend on the reconstructed left pixel, which no shift trick
//   removes: each row is a chain from one pixel to the next. Two things make them fast.
//   A short chain: Average keeps complements in 8-bit lanes, where the rounding average
//   of two complements is the complement of the truncating average, so a pixel costs an
//   average and a subtract; Paeth compares the left byte with two thresholds that depend
//   on the row above alone (unfilter_scalar.h) and lets a max and a min choose: five
//   instructions deep, where the form with a division by three was about fourteen cycles.
//   Several rows at once: rows of one filter that follow each other run as a wavefront,
//   each row two pixels behind the one above, which hands over the pixels it needs in
//   registers. One step works on a pixel of every row, in lanes a single row would leave
//   idle: 16-bit lanes for Paeth (8 rows at B 1, 4 at B 2, 2 at B 3 and 4), bytes for
//   Average (4 rows at B 1 to 4, 2 at B 6 and 8).
// - Average and Paeth load and store one pixel of each row at a time, as a slot of 4 bytes
//   (B 3) or 8 (B 6): nothing to align and no block to assemble.
//
// Measured (unfilter_bench BM_unfilter_band: 4096-pixel rows in place, best of 20 runs,
// CPU time, AMD EPYC at 3.5 GHz under KVM), the paths these replaced (16-bit block paths;
// Average at B 3 byte by byte) -> one row per call / runs of 8 rows, MB/s:
//   Paeth    B 3   680 -> 1390 / 2170    B 4   1000 -> 1870 / 2990
//            B 6  1240 -> 2720 / 2600    B 8   2010 -> 3420 / 3530
//   Average  B 3  1610 -> 2950 / 6650    B 4   2620 -> 3870 / 8380
// A Paeth pair at B 3 takes about 9 cycles a step (4.6 a pixel; the division form took 16):
// some 52 instructions, 16 of them the register copies SSE2's two-operand forms need, at
// close to the 6 a cycle the core can take in. So it is bound by instruction count, not by
// the chain, and more rows per step would cost the same per pixel; for the same reason
// Paeth at B 6 and 8, whose single row fills 6 or 8 lanes, is not paired.
// Tried and not kept: unrolling the step loop by two, and 3c by a multiply rather than two
// adds (both no faster); 8 rows of Average at B 1 and 2 (0.9 and 1.6 GB/s against 1.3 and
// 2.2 with 4). Not tried: pairing rows of different filters (Paeth over Average); such a
// step would carry both filters' instructions, which is what the two rows cost apart.
//
// Invariants: `x` is the row being reconstructed in place, `prev` (`above`) the finished
// row over it, which is only read and only within its `length` bytes (it may be a buffer of
// its own). Up and Sub store aligned 16-byte blocks of x and need at least 32 bytes after
// the first pixel, so the alignment steps always leave a whole block; Up starts at 0. A
// slot store may write S - B bytes past its pixel, never past the row, and puts nothing
// there that is not rewritten or put back (wavefront).
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
// Pixel slots and the wavefront over rows (Average and Paeth)
// ---------------------------------------------------------------------------------------

// A step loads and stores one pixel of every row it works on as a slot of S bytes: B
// itself, or 4 for B 3 and 8 for B 6, whose last byte(s) belong to the next pixel.
constexpr int slot_bytes(int bpp_bytes) { return bpp_bytes == 3 ? 4 : bpp_bytes == 6 ? 8 : bpp_bytes; }

// Row j of a wavefront works on pixel t - kLag * j at step t, so the row above it finished
// the pixels it needs (above and above-left) two steps earlier: that result reaches it off
// the chain from one pixel to the next. With a lag of 1 it would sit on that chain.
constexpr int kLag = 2;

template <int S>
inline __m128i load_slot(const uint8_t* p) {
  if constexpr (S == 8) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  } else {
    uint32_t bytes = 0;
    std::memcpy(&bytes, p, S);
    return _mm_cvtsi32_si128(static_cast<int>(bytes));
  }
}

template <int S>
inline void store_slot(uint8_t* p, __m128i v) {
  if constexpr (S == 8) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
  } else {
    const auto bytes = static_cast<uint32_t>(_mm_cvtsi128_si32(v));
    std::memcpy(p, &bytes, S);
  }
}

// Lanes 0..W-1 of `low` followed by lanes 0..W-1 of `high` (W bytes each).
template <int W>
inline __m128i join(__m128i low, __m128i high) {
  static_assert(W == 1 || W == 2 || W == 4 || W == 8);
  if constexpr (W == 1) {
    return _mm_unpacklo_epi8(low, high);
  } else if constexpr (W == 2) {
    return _mm_unpacklo_epi16(low, high);
  } else if constexpr (W == 4) {
    return _mm_unpacklo_epi32(low, high);
  } else {
    return _mm_unpacklo_epi64(low, high);
  }
}

// The slots of R rows, `row_step` apart, side by side: row j in bytes j*S .. j*S+S-1.
template <int S, int R>
inline __m128i gather(const uint8_t* p, ptrdiff_t row_step) {
  if constexpr (R == 1) {
    return load_slot<S>(p);
  } else {
    return join<S * R / 2>(gather<S, R / 2>(p, row_step), gather<S, R / 2>(p + R / 2 * row_step, row_step));
  }
}

template <int S, int R, int J = 0>
inline void scatter(__m128i v, uint8_t* p, ptrdiff_t row_step) {
  store_slot<S>(p + J * row_step, _mm_srli_si128(v, J * S));
  if constexpr (J + 1 < R) scatter<S, R, J + 1>(v, p, row_step);
}

// The first step at which all R rows of a wavefront are at work: the last row starts kLag
// pixels behind the one above it.
template <int B, int R>
constexpr size_t kFirstStep = size_t{kLag} * (R - 1) + 1;

// Whether rows of `length` bytes hold a wavefront of R rows: the first row's slot at the
// first step with every row at work must lie inside the row.
template <int B, int R>
constexpr bool wavefront_fits(size_t length) {
  return length >= B * kFirstStep<B, R> + slot_bytes(B);
}

// Reconstructs R consecutive rows of one filter (R = 1 is a single row), x0 the first and
// `above` the finished row over it; needs wavefront_fits<B, R>(length). The first pixels of
// the lower rows and the last ones of the upper rows, where the rows are not all at work,
// go byte by byte (Kernel::bytes). A slot store writes S - B bytes of the next pixel, still
// filtered: the next step's slots are loaded before this step stores, and the bytes the
// last stores overwrite are put back before the rows are finished byte by byte.
template <int B, int R, class Kernel>
inline void wavefront(uint8_t* x0, size_t stride, const uint8_t* above, size_t length) {
  constexpr int S = slot_bytes(B);
  constexpr size_t first = kFirstStep<B, R>;
  const size_t end = (length - S) / B + 1;  // steps [first, end): row 0's slots lie in the row
  const auto row_step = static_cast<ptrdiff_t>(stride) - ptrdiff_t{kLag} * B;
  for (size_t j = 0; j < R; ++j) {
    uint8_t* x = x0 + j * stride;
    Kernel::bytes(x, j == 0 ? above : x - stride, 0, B * (first - kLag * j), B);
  }
  static_assert(S - B <= 2);
  uint8_t kept[R][2];
  for (size_t j = 0; j < R; ++j) std::memcpy(kept[j], x0 + j * stride + B * (end - kLag * j), S - B);

  Kernel kernel(x0, row_step, above, first);
  __m128i filtered = gather<S, R>(x0 + B * first, row_step);
  for (size_t t = first; t + 1 < end; ++t) {
    const __m128i next = gather<S, R>(x0 + B * (t + 1), row_step);
    kernel.step(x0 + B * t, row_step, above + B * t, filtered);
    filtered = next;
  }
  kernel.step(x0 + B * (end - 1), row_step, above + B * (end - 1), filtered);

  for (size_t j = 0; j < R; ++j) std::memcpy(x0 + j * stride + B * (end - kLag * j), kept[j], S - B);
  for (size_t j = 0; j < R; ++j) {
    uint8_t* x = x0 + j * stride;
    Kernel::bytes(x, j == 0 ? above : x - stride, B * (end - kLag * j), length, B);
  }
}

// ---------------------------------------------------------------------------------------
// Average
// ---------------------------------------------------------------------------------------

// Kept as complements in 8-bit lanes: the rounding average of the complements is the
// complement of the truncating average, so ~a' = pavgb(~a, ~b) - f, two instructions from
// one pixel to the next, and R * S bytes (up to 16) per step.
template <int B, int R>
class AverageKernel {
 public:
  static constexpr int S = slot_bytes(B);

  static void bytes(uint8_t* x, const uint8_t* prev, size_t from, size_t to, size_t bpp_bytes) {
    if (from < bpp_bytes) {
      average_first_pixel(x, prev, to < bpp_bytes ? to : bpp_bytes);
      from = bpp_bytes;
    }
    average_bytes(x, prev, from, to, bpp_bytes);
  }

  AverageKernel(const uint8_t* x0, ptrdiff_t row_step, const uint8_t*, size_t first)
      : left_(_mm_xor_si128(gather<S, R>(x0 + B * (first - 1), row_step), _mm_set1_epi8(-1))) {
    if constexpr (R > 1) older_ = _mm_xor_si128(gather<S, R>(x0 + B * (first - 2), row_step), _mm_set1_epi8(-1));
  }

  void step(uint8_t* at, ptrdiff_t row_step, const uint8_t* above, __m128i filtered) {
    __m128i up = _mm_xor_si128(load_slot<S>(above), low_bytes_mask<S>());
    if constexpr (R > 1) up = _mm_or_si128(up, _mm_slli_si128(older_, S));  // row j - 1, two steps back
    if constexpr (R > 1) older_ = left_;
    left_ = _mm_sub_epi8(_mm_avg_epu8(left_, up), filtered);
    scatter<S, R>(_mm_xor_si128(left_, _mm_set1_epi8(-1)), at, row_step);
  }

 private:
  __m128i left_;
  __m128i older_{};
};

// ---------------------------------------------------------------------------------------
// Paeth
// ---------------------------------------------------------------------------------------

// The predictor of unfilter_scalar.h in 16-bit lanes (inputs 0..255). Everything that
// depends on the row above alone is PaethAbove, computed off the chain; between one pixel
// and the next sit two compares, an and, a max, a min and the add of the filtered byte.
struct PaethAbove {
  __m128i b, c, at_least, at_most;
};

inline PaethAbove paeth_above(__m128i b, __m128i c) {
  const __m128i k2 = _mm_sub_epi16(_mm_add_epi16(c, _mm_add_epi16(c, c)), b);  // 3c - b
  const __m128i k1 = _mm_sub_epi16(k2, b);
  const __m128i half_down = _mm_srai_epi16(k2, 1);
  const __m128i half_up = _mm_sub_epi16(k2, half_down);
  return {b, c, _mm_max_epi16(k1, half_up), _mm_min_epi16(k1, half_down)};
}

inline __m128i paeth_predict(__m128i a, const PaethAbove& k) {
  // max(a, b) where a >= at_least, else 0; min(a, b) where a <= at_most, else all ones.
  const __m128i larger = _mm_andnot_si128(_mm_cmpgt_epi16(k.at_least, a), _mm_max_epi16(a, k.b));
  const __m128i smaller = _mm_or_si128(_mm_min_epi16(a, k.b), _mm_cmpgt_epi16(a, k.at_most));
  // Bytewise min: the high bytes are 0 on the left, so the all-ones lanes act as 255.
  return _mm_min_epu8(_mm_max_epi16(k.c, larger), smaller);
}

// 16-bit lanes: R * S lanes (up to 8) per step. The row above of the lower rows is the
// previous step's `older` moved up one slot; above-left is the step before's above.
template <int B, int R>
class PaethKernel {
 public:
  static constexpr int S = slot_bytes(B);
  static_assert(R * S <= 8);

  static void bytes(uint8_t* x, const uint8_t* prev, size_t from, size_t to, size_t bpp_bytes) {
    if (from < bpp_bytes) {
      up_bytes(x, prev, 0, to < bpp_bytes ? to : bpp_bytes);  // no left pixel: the predictor is b
      from = bpp_bytes;
    }
    paeth_bytes(x, prev, from, to, bpp_bytes);
  }

  PaethKernel(const uint8_t* x0, ptrdiff_t row_step, const uint8_t* above, size_t first)
      : left_(widen_low(gather<S, R>(x0 + B * (first - 1), row_step))),
        above_left_(widen_low(load_slot<S>(above + B * (first - 1)))) {
    if constexpr (R > 1) {
      older_ = widen_low(gather<S, R>(x0 + B * (first - 2), row_step));
      const __m128i lower = widen_low(gather<S, R>(x0 + B * (first - 3), row_step));
      above_left_ = _mm_or_si128(above_left_, _mm_slli_si128(lower, 2 * S));
    }
  }

  void step(uint8_t* at, ptrdiff_t row_step, const uint8_t* above, __m128i filtered) {
    __m128i b = widen_low(load_slot<S>(above));
    if constexpr (R == 2) b = join<2 * S>(b, older_);
    if constexpr (R > 2) b = _mm_or_si128(b, _mm_slli_si128(older_, 2 * S));
    const PaethAbove k = paeth_above(b, above_left_);
    above_left_ = b;
    if constexpr (R > 1) older_ = left_;
    left_ = _mm_add_epi8(paeth_predict(left_, k), widen_low(filtered));  // high bytes stay 0
    scatter<S, R>(_mm_packus_epi16(left_, left_), at, row_step);
  }

 private:
  __m128i left_;
  __m128i above_left_;
  __m128i older_{};
};

template <int B>
inline void average_vector(uint8_t* x, const uint8_t* prev, size_t length) {
  wavefront<B, 1, AverageKernel<B, 1>>(x, 0, prev, length);
}

template <int B>
inline void paeth_vector(uint8_t* x, const uint8_t* prev, size_t length) {
  wavefront<B, 1, PaethKernel<B, 1>>(x, 0, prev, length);
}

}  // namespace velapng::unfilter_detail
