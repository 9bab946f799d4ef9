// Row loops, one per pixel width, chosen once per block rather than once per row.
//
// What runs where (vector paths in unfilter_sse2.h, byte paths in unfilter_scalar.h):
//   Up       vector for every width once the row has 24 bytes
//   Sub      vector for every width once 32 bytes follow the first pixel
//   Average  vector under the same threshold, B 2 byte by byte; a run of rows with this
//            filter goes 4 rows at a time (B 1 to 4) or 2 (B 6, 8), then in pairs
//   Paeth    vector under the same threshold, B 1 byte by byte; a run of rows goes 8 (B 1),
//            4 (B 2) or 2 (B 3, 4) rows at a time, then in halves; B 6 and 8 row by row
// Below the thresholds the first pixels and the tail would be most of the row.
// The first row of a block has no row above: Up is then a no-op, Paeth is exactly Sub,
// and Average adds half the left byte.
#include "pixels/pixels.h"
#include "pixels/unfilter_scalar.h"
#include "pixels/unfilter_sse2.h"

namespace velapng {

namespace {

using namespace unfilter_detail;

constexpr size_t kUpVectorFrom = 24;      // row bytes
constexpr size_t kVectorAfterFirst = 32;  // bytes after the first pixel, other filters

// A single row of Average at B 2 and of Paeth at B 1 measured slower in vector than byte by
// byte (1550 against 1700 MB/s, 275 against 370 MB/s); runs of rows go vector at every width.
constexpr bool average_has_vector(int bpp_bytes) { return bpp_bytes != 2; }
constexpr bool paeth_has_vector(int bpp_bytes) { return bpp_bytes >= 2; }
// The most rows one step takes: 16 bytes of slots for Average (but only 4 of 1- or 2-byte
// slots: 8 measured slower than 4, 1.3 against 2.2 GB/s at B 2, the gathers costing more
// than the rows save), 8 lanes of 16 bits for Paeth.
constexpr int average_rows_max(int bpp_bytes) { return bpp_bytes >= 3 ? 16 / slot_bytes(bpp_bytes) : 4; }
constexpr int paeth_rows_max(int bpp_bytes) { return 8 / slot_bytes(bpp_bytes); }

inline size_t first_pixel_end(size_t bpp_bytes, size_t length) { return bpp_bytes < length ? bpp_bytes : length; }

template <int B>
void sub_row(uint8_t* x, size_t length) {
  if (length >= B + kVectorAfterFirst) sub_vector<B>(x, length);
  else sub_bytes(x, B, length, B);
}

void up_row(uint8_t* x, const uint8_t* prev, size_t length) {
  if (length >= kUpVectorFrom) up_vector(x, prev, length);
  else up_bytes(x, prev, 0, length);
}

template <int B>
void average_row(uint8_t* x, const uint8_t* prev, size_t length) {
  if constexpr (average_has_vector(B)) {
    if (length >= B + kVectorAfterFirst) return average_vector<B>(x, prev, length);
  }
  average_first_pixel(x, prev, first_pixel_end(B, length));
  average_bytes(x, prev, B, length, B);
}

template <int B>
void paeth_row(uint8_t* x, const uint8_t* prev, size_t length) {
  if constexpr (paeth_has_vector(B)) {
    if (length >= B + kVectorAfterFirst) return paeth_vector<B>(x, prev, length);
  }
  up_bytes(x, prev, 0, first_pixel_end(B, length));  // no left pixel: the predictor is b
  paeth_bytes(x, prev, B, length, B);
}

// Reconstructs one row; `prev` is null on the first row of the block.
template <int B>
bool unfilter_row(uint8_t* x, const uint8_t* prev, size_t length) {
  switch (x[-1]) {
    case 0: return true;
    case 1: sub_row<B>(x, length); return true;
    case 2:
      if (prev != nullptr) up_row(x, prev, length);
      return true;
    case 3:
      if (prev != nullptr) average_row<B>(x, prev, length);
      else average_first_row_bytes(x, B, length, B);
      return true;
    case 4:
      if (prev != nullptr) paeth_row<B>(x, prev, length);
      else sub_row<B>(x, length);
      return true;
    default: return false;
  }
}

// How many rows from `x` on (at most `limit`) share its filter type.
inline uint32_t rows_alike(const uint8_t* x, uint64_t stride, uint32_t limit) {
  uint32_t n = 1;
  while (n < limit && x[n * stride - 1] == x[-1]) ++n;
  return n;
}

// Takes `count` rows of one filter (Average or Paeth) from `x` on together, in groups of
// R rows, the largest that fit. Returns the number of rows done.
template <int B, int R, template <int, int> class Kernel>
uint32_t rows_together(uint8_t* x, const uint8_t* prev, uint64_t stride, size_t length, uint32_t count) {
  if constexpr (R < 2) {
    return 0;
  } else {
    if (count < R || !wavefront_fits<B, R>(length))
      return rows_together<B, R / 2, Kernel>(x, prev, stride, length, count);
    wavefront<B, R, Kernel<B, R>>(x, stride, prev, length);
    return R;
  }
}

template <int B>
uint32_t row_loop(uint8_t* block, uint32_t rows, uint64_t stride, const uint8_t* above) {
  const size_t length = stride - 1;
  const bool together = length >= B + kVectorAfterFirst;
  const uint8_t* prev = above;
  for (uint32_t r = 0; r < rows;) {
    uint8_t* x = block + r * stride + 1;
    uint32_t done = 0;
    if (together && prev != nullptr && (x[-1] == 3 || x[-1] == 4)) {
      const int most = x[-1] == 3 ? average_rows_max(B) : paeth_rows_max(B);
      const uint32_t count = rows_alike(x, stride, rows - r < uint32_t(most) ? rows - r : uint32_t(most));
      done = x[-1] == 3 ? rows_together<B, average_rows_max(B), AverageKernel>(x, prev, stride, length, count)
                        : rows_together<B, paeth_rows_max(B), PaethKernel>(x, prev, stride, length, count);
    }
    // The format defines filter types 0-4 only. 36 is a free number beside the other
    // header-level format faults (33 filter method, 34 interlace method). Rows above the
    // bad one stay reconstructed in place; it and the rows below are left as they were,
    // and unfilter_image moves nothing to its output.
    if (done == 0) {
      if (!unfilter_row<B>(x, prev, length)) return code::bad_filter_type;
      done = 1;
    }
    r += done;
    prev = block + (r - 1) * stride + 1;
  }
  return code::ok;
}

}  // namespace

uint32_t unfilter_rows(uint8_t* block, uint32_t rows, uint32_t bytes_per_pixel, uint64_t stride) {
  return unfilter_band(block, rows, bytes_per_pixel, stride, nullptr);
}

uint32_t unfilter_band(uint8_t* block, uint32_t rows, uint32_t bytes_per_pixel, uint64_t stride, const uint8_t* above) {
  if (rows == 0 || stride == 0) return code::ok;
  switch (bytes_per_pixel) {
    case 1: return row_loop<1>(block, rows, stride, above);
    case 2: return row_loop<2>(block, rows, stride, above);
    case 3: return row_loop<3>(block, rows, stride, above);
    case 4: return row_loop<4>(block, rows, stride, above);
    case 6: return row_loop<6>(block, rows, stride, above);
    case 8: return row_loop<8>(block, rows, stride, above);
    default: return code::bad_colour_type;  // no PNG format has this pixel width
  }
}

}  // namespace velapng
