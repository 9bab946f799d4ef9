// The Adam7 pass layout: each pass's size, and where its rows start with their filter-type
// bytes, without them and packed.
#include "pixels/adam7.h"

namespace velapng {

namespace {

uint64_t row_bytes(uint64_t width, uint32_t bpp) { return (width * bpp + 7) / 8; }

}  // namespace

PassLayout compute_pass_layout(uint32_t width, uint32_t height, uint32_t bpp) {
  PassLayout layout{};
  for (int p = 0; p < 7; ++p) {
    uint64_t w = (uint64_t{width} + kAdam7ColumnStep[p] - kAdam7StartColumn[p] - 1) / kAdam7ColumnStep[p];
    uint64_t h = (uint64_t{height} + kAdam7RowStep[p] - kAdam7StartRow[p] - 1) / kAdam7RowStep[p];
    if (w == 0) h = 0;
    if (h == 0) w = 0;
    layout.pass_width[p] = static_cast<uint32_t>(w);
    layout.pass_height[p] = static_cast<uint32_t>(h);
    layout.filtered_start[p + 1] = layout.filtered_start[p] + h * (1 + row_bytes(w, bpp));
    layout.padded_start[p + 1] = layout.padded_start[p] + h * row_bytes(w, bpp);
    layout.packed_start[p + 1] = layout.packed_start[p] + (h * w * bpp + 7) / 8;
  }
  return layout;
}

}  // namespace velapng
