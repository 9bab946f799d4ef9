// libpng as an independent oracle: decodes a PNG held in memory to 8-bit RGBA with 16-bit
// samples reduced to their high byte, low-depth grey scaled up, the palette expanded and
// tRNS turned into alpha. No gamma or other colour handling is applied.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testpng {

struct OracleImage {
  bool ok = false;
  std::string error;
  std::vector<std::string> warnings;  // what libpng let pass, in the order it said it
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> rgba;
};

OracleImage libpng_decode_rgba(const std::vector<uint8_t>& file);

}  // namespace testpng
