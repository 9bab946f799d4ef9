// Row loops, one per pixel width, chosen once per block rather than once per row.
//
// What runs where (vector paths in unfilter_sse2.h, byte paths in unfilter_scalar.h):
//   Up       vector for every width once the row has 24 bytes
//   Sub      vector for every width once 32 bytes follow the first pixel
//   Average  vector for B 1, 4, 6, 8 under the same threshold; B 2 and 3 byte by byte
//   Paeth    vector for B 3, 4, 6, 8 under the same threshold; B 1 and 2 byte by byte
// Below the thresholds the alignment steps and the tail would be most of the row.
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

constexpr bool average_has_vector(int bpp_bytes) { return bpp_bytes != 2 && bpp_bytes != 3; }
constexpr bool paeth_has_vector(int bpp_bytes) { return bpp_bytes >= 3; }

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
  average_first_pixel(x, prev, first_pixel_end(B, length));
  if constexpr (average_has_vector(B)) {
    if (length >= B + kVectorAfterFirst) return average_vector<B>(x, prev, length);
  }
  average_bytes(x, prev, B, length, B);
}

template <int B>
void paeth_row(uint8_t* x, const uint8_t* prev, size_t length) {
  up_bytes(x, prev, 0, first_pixel_end(B, length));  // no left pixel: the predictor is b
  if constexpr (paeth_has_vector(B)) {
    if (length >= B + kVectorAfterFirst) return paeth_vector<B>(x, prev, length);
  }
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

template <int B>
uint32_t row_loop(uint8_t* block, uint32_t rows, uint64_t stride, const uint8_t* above) {
  const size_t length = stride - 1;
  const uint8_t* prev = above;
  for (uint32_t r = 0; r < rows; ++r) {
    uint8_t* x = block + r * stride + 1;
    // The format defines filter types 0-4 only. 36 is a free number beside the other
    // header-level format faults (33 filter method, 34 interlace method). Rows above the
    // bad one stay reconstructed in place; it and the rows below are left as they were,
    // and unfilter_image moves nothing to its output.
    if (!unfilter_row<B>(x, prev, length)) return code::bad_filter_type;
    prev = x;
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
