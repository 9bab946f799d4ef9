// RGBA to BGRA in place, run over every decoded image. Working on whole 32-bit words with
// masks and shifts (instead of exchanging bytes) lets the compiler vectorise the loop; the
// memcpy calls compile to plain loads and stores.
#include <bit>
#include <cstring>

#include "plugin/load.h"

namespace velapng {

static_assert(std::endian::native == std::endian::little, "pixel words are read little-endian");

void swap_red_blue(uint8_t* pixels, uint32_t bytes) {
  const uint32_t words = bytes / 4;
  for (uint32_t i = 0; i < words; ++i) {
    uint32_t pixel;
    std::memcpy(&pixel, pixels + 4 * size_t{i}, 4);
    pixel = (pixel & 0xFF00FF00u) | ((pixel >> 16) & 0xFFu) | ((pixel & 0xFFu) << 16);
    std::memcpy(pixels + 4 * size_t{i}, &pixel, 4);
  }
}

}  // namespace velapng
