// Un-filtering of one block of scanlines (a whole image or one Adam7 pass).
#include <cstring>

#include "pixels/pixels.h"

namespace velapng {

uint32_t unfilter_image(uint8_t* out, uint8_t* in, uint32_t width, uint32_t height, uint32_t bpp) {
  const uint64_t length = (static_cast<uint64_t>(width) * bpp + 7) / 8;
  if (height == 0 || length == 0) return code::ok;  // an empty Adam7 pass
  const uint32_t result = unfilter_rows(in, height, (bpp + 7) / 8, length + 1);
  if (result != code::ok) return result;
  // Every row moves toward the front (out <= in), so front to back never overwrites a row
  // still to be moved; memmove because a row may overlap its own destination.
  for (uint64_t r = 0; r < height; ++r) std::memmove(out + r * length, in + r * (length + 1) + 1, length);
  return code::ok;
}

}  // namespace velapng
