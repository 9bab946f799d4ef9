// A whole-file decode the way a careful caller makes one: the header first, then decode_rgba
// into a buffer of exactly the image's size, so any write beyond it is a sanitizer report.
#pragma once

#include <cstdint>
#include <vector>

namespace testpng {

struct WholeDecode {
  uint32_t code = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> rgba;  // the image's pixels when the code is 0
};

// Every corpus and regression image is small; one claiming more pixels than this is not
// decoded and gets kTooLargeToTry.
inline constexpr uint64_t kMaxTriedPixels = uint64_t{1} << 26;
inline constexpr uint32_t kTooLargeToTry = 0xFFFFFFFF;

// Reads from a heap block of exactly the file's size. A header the inspection refuses still
// goes through decode_rgba (with a 4-byte buffer), so the code is always the decode's own.
WholeDecode decode_whole(const std::vector<uint8_t>& file);

}  // namespace testpng
