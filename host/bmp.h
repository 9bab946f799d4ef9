// Writing 32-bit BMP files that common viewers open, alpha included.
#pragma once

#include <cstdint>
#include <string>

namespace host {

// Writes `width` x `height` BGRA pixels (top row first, rows `width` * 4 bytes apart) as a
// BMP with a version-4 header and an alpha mask. False when the file can't be written.
bool write_bmp(const std::string& path, const uint8_t* bgra, uint32_t width, uint32_t height);

}  // namespace host
