// Byte-by-byte un-filtering: the short rows, the first pixel of every row, the alignment
// steps and tails of the vector paths, the first and last pixels of a wavefront, and the
// filters a width has no vector path for.
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

// The Paeth predictor without branches. Written as a function of the left neighbour `a`
// with b and c fixed, the standard's choice is: max(a, b) once a >= at_least, min(a, b)
// once a <= at_most, c in between, where at_least = max(3c - 2b, ceil((3c - b) / 2)) and
// at_most = min(3c - 2b, floor((3c - b) / 2)). (It reads better with mn = min(a, b),
// mx = max(a, b): mx when mx + 2 mn >= 3c, mn when 2 mx + mn <= 3c, else c; both hold only
// for a = b = c.) The thresholds come from the row above alone, so in a vector path they
// are computed off the chain from one pixel to the next; max(a, b) >= c whenever it is
// chosen and min(a, b) <= c likewise, which lets a max and a min do the choosing.
struct PaethThresholds {
  int at_least;
  int at_most;
};

inline PaethThresholds paeth_thresholds(int b, int c) {
  const int k2 = 3 * c - b;
  const int k1 = k2 - b;
  const int half_down = k2 >> 1;  // arithmetic shift: the floor, negative k2 included
  const int half_up = k2 - half_down;
  return {k1 > half_up ? k1 : half_up, k1 < half_down ? k1 : half_down};
}

inline uint8_t paeth_predictor(int a, int b, int c) {
  const PaethThresholds t = paeth_thresholds(b, c);
  const int larger = a >= t.at_least ? (a > b ? a : b) : 0;
  const int smaller = a <= t.at_most ? (a < b ? a : b) : 255;
  const int kept = c > larger ? c : larger;
  return static_cast<uint8_t>(kept < smaller ? kept : smaller);
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
