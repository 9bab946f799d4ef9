// Byte-by-byte un-filtering: the short rows, the first pixel of every row, the alignment
// steps and tails of the vector paths, and the filters a width has no vector path for.
//
// Buffer invariants shared with unfilter_sse2.h: `x` is the row being reconstructed in
// place (its filter-type byte is x[-1]), `prev` the already reconstructed row above it.
// Ranges are [from, to) byte offsets; every function that reads a left neighbour needs
// from >= bpp_bytes. B is passed as a constant by the row loops, so these inline into
// code specialised per pixel width.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velapng::unfilter_detail {

// The Paeth predictor without branches. With lo = min(a,b) - c and hi = max(a,b) - c,
// the standard's three distances reduce to two comparisons against |a - b| / 3; the
// division is the exact multiply-and-shift x * 171 >> 9 (exact for x <= 255).
inline uint8_t paeth_predictor(int a, int b, int c) {
  const int smaller = a < b ? a : b;
  const int larger = a < b ? b : a;
  const int lo = smaller - c;
  const int hi = larger - c;
  const int third = ((larger - smaller) * 171) >> 9;
  const int take_hi = -static_cast<int>(lo + third >= 0);  // all ones or zero
  const int take_lo = -static_cast<int>(third >= hi);
  return static_cast<uint8_t>(c + (hi & take_hi) + (lo & take_lo));
}

inline void sub_bytes(uint8_t* x, size_t from, size_t to, size_t bpp_bytes) {
  for (size_t i = from; i < to; ++i) x[i] = static_cast<uint8_t>(x[i] + x[i - bpp_bytes]);
}

inline void up_bytes(uint8_t* x, const uint8_t* prev, size_t from, size_t to) {
  for (size_t i = from; i < to; ++i) x[i] = static_cast<uint8_t>(x[i] + prev[i]);
}

// The sum is formed in int, so 255 + 255 cannot wrap before the halving.
inline void average_bytes(uint8_t* x, const uint8_t* prev, size_t from, size_t to, size_t bpp_bytes) {
  for (size_t i = from; i < to; ++i) x[i] = static_cast<uint8_t>(x[i] + ((x[i - bpp_bytes] + prev[i]) >> 1));
}

// First row of a block: no row above, so only half the left neighbour is added.
inline void average_first_row_bytes(uint8_t* x, size_t from, size_t to, size_t bpp_bytes) {
  for (size_t i = from; i < to; ++i) x[i] = static_cast<uint8_t>(x[i] + (x[i - bpp_bytes] >> 1));
}

// First pixel with a row above: no left neighbour, so only half of the byte above.
inline void average_first_pixel(uint8_t* x, const uint8_t* prev, size_t to) {
  for (size_t i = 0; i < to; ++i) x[i] = static_cast<uint8_t>(x[i] + (prev[i] >> 1));
}

inline void paeth_bytes(uint8_t* x, const uint8_t* prev, size_t from, size_t to, size_t bpp_bytes) {
  for (size_t i = from; i < to; ++i)
    x[i] = static_cast<uint8_t>(x[i] + paeth_predictor(x[i - bpp_bytes], prev[i], prev[i - bpp_bytes]));
}

// The first index at or after `i` where x + index sits on a 16-byte boundary, at most
// `to`: the vector loops store aligned, the bytes before it go one at a time.
inline size_t aligned_index(const uint8_t* x, size_t i, size_t to) {
  const size_t ahead = (16 - (reinterpret_cast<uintptr_t>(x + i) & 15)) & 15;
  return to - i < ahead ? to : i + ahead;
}

}  // namespace velapng::unfilter_detail
