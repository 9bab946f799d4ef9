// The five scanline filters of ISO/IEC 15948 written straight from their definitions,
// byte by byte with no tricks: the yardstick the tests compare the decoder's un-filtering
// against, and the scalar baseline of the un-filtering benchmark.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace testpng {

// The standard's Paeth predictor, ties resolved in the order a, b, c.
inline int paeth_reference(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a);
  const int pb = std::abs(p - b);
  const int pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return a;
  if (pb <= pc) return b;
  return c;
}

// What filter type `type` predicts for byte i of row x (prev the row above, null on the
// first row), from a, b, c as the standard names them (0 where the neighbour does not exist).
inline int filter_prediction(int type, const uint8_t* x, const uint8_t* prev, size_t i, size_t bpp_bytes) {
  const int a = i >= bpp_bytes ? x[i - bpp_bytes] : 0;
  const int b = prev != nullptr ? prev[i] : 0;
  const int c = prev != nullptr && i >= bpp_bytes ? prev[i - bpp_bytes] : 0;
  switch (type) {
    case 1: return a;
    case 2: return b;
    case 3: return (a + b) / 2;
    case 4: return paeth_reference(a, b, c);
    default: return 0;
  }
}

// Reconstructs `rows` rows in place, row r at block + r * stride with its filter byte first
// and stride - 1 data bytes. False at the first filter type above 4.
inline bool unfilter_reference(uint8_t* block, size_t rows, size_t bpp_bytes, size_t stride) {
  for (size_t r = 0; r < rows; ++r) {
    uint8_t* x = block + r * stride + 1;
    if (x[-1] > 4) return false;
    for (size_t i = 0; i + 1 < stride; ++i)
      x[i] = static_cast<uint8_t>(x[i] + filter_prediction(x[-1], x, r == 0 ? nullptr : x - stride, i, bpp_bytes));
  }
  return true;
}

// The encoder's side: filters `rows` reconstructed rows of `length` bytes (back to back in
// `raw`) into `out` (rows of a filter byte plus `length` bytes) with the given types.
inline void filter_reference(uint8_t* out, const uint8_t* raw, size_t rows, size_t length, size_t bpp_bytes,
                             const uint8_t* types) {
  for (size_t r = 0; r < rows; ++r) {
    const uint8_t* x = raw + r * length;
    uint8_t* filtered = out + r * (length + 1);
    filtered[0] = types[r];
    for (size_t i = 0; i < length; ++i)
      filtered[1 + i] =
          static_cast<uint8_t>(x[i] - filter_prediction(types[r], x, r == 0 ? nullptr : x - length, i, bpp_bytes));
  }
}

}  // namespace testpng
