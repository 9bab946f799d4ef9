// Adam7, once for both routes: the pattern, where each pass lies in the inflated data, and
// where a pass pixel lands in the image. The reference route merges packed passes with it
// (reconstruct.cpp), the direct route places converted pass rows (decode_direct.cpp).
//
// Every position is computed in 64 bits, so no image that passes the decode's 64-bit size
// check can wrap an offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace velapng {

// The Adam7 pattern, passes 1 to 7: the first column and row of each pass, and the steps
// between its columns and its rows.
inline constexpr uint32_t kAdam7StartColumn[7] = {0, 4, 0, 2, 0, 1, 0};
inline constexpr uint32_t kAdam7StartRow[7] = {0, 0, 4, 0, 2, 0, 1};
inline constexpr uint32_t kAdam7ColumnStep[7] = {8, 8, 4, 4, 2, 2, 1};
inline constexpr uint32_t kAdam7RowStep[7] = {8, 8, 8, 4, 4, 2, 2};

// Where each Adam7 pass lies at each stage of reconstruction inside the inflated buffer.
struct PassLayout {
  uint32_t pass_width[7];
  uint32_t pass_height[7];
  uint64_t filtered_start[8];  // with filter-type bytes; [7] is the whole inflated size
  uint64_t padded_start[8];    // filter bytes gone, rows still padded to whole bytes
  uint64_t packed_start[8];    // rows packed bit to bit
};

PassLayout compute_pass_layout(uint32_t width, uint32_t height, uint32_t bpp);

// The image row of row y of pass p, and the image column of its pixel x.
inline uint64_t adam7_row(int p, uint64_t y) { return kAdam7StartRow[p] + y * kAdam7RowStep[p]; }
inline uint64_t adam7_column(int p, uint64_t x) { return kAdam7StartColumn[p] + x * kAdam7ColumnStep[p]; }

// Copies the `count` whole-byte pixels of a pass-p row to their columns of `image_row`.
// Bytes is the pixel size when it is a constant (one fixed-size copy per pixel), 0 to take
// `bytes` instead.
template <size_t Bytes>
inline void adam7_place_row(uint8_t* image_row, const uint8_t* pass_row, uint64_t count, int p, size_t bytes = Bytes) {
  uint8_t* target = image_row + adam7_column(p, 0) * bytes;
  const uint64_t step = uint64_t{kAdam7ColumnStep[p]} * bytes;
  for (uint64_t x = 0; x < count; ++x) std::memcpy(target + x * step, pass_row + x * bytes, Bytes == 0 ? bytes : Bytes);
}

}  // namespace velapng
