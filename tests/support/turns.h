// Where a clockwise turn carries each pixel, for the checks that hold a turned load to the
// upright one: the plug-in fuzz target and the real-world checker.
#pragma once

#include <cstdint>
#include <cstring>

namespace testpng {

// Whether `turned` holds every 4-byte pixel of the upright w x h image where a clockwise turn
// by `angle` (90, 180 or 270) carries it. Walks the turned image and asks where each of its
// pixels came from.
inline bool turned_clockwise(const uint8_t* upright, const uint8_t* turned, int32_t angle, uint64_t w, uint64_t h) {
  const uint64_t turned_width = angle == 180 ? w : h, turned_height = angle == 180 ? h : w;
  for (uint64_t y = 0; y < turned_height; ++y) {
    for (uint64_t x = 0; x < turned_width; ++x) {
      const uint64_t from = angle == 90    ? (h - 1 - x) * w + y
                            : angle == 180 ? (h - 1 - y) * w + (w - 1 - x)
                                           : x * w + (w - 1 - y);
      if (std::memcmp(turned + (y * turned_width + x) * 4, upright + from * 4, 4) != 0) return false;
    }
  }
  return true;
}

}  // namespace testpng
