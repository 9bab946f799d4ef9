// Where in a file our decoder refused it: the header, the chunk layout, the first chunk
// whose reader or CRC gives the decode's result code, or the image data, found by walking
// the file's chunks with the decoder's own primitives and readers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace realworld {

// "header", "layout" (lengths and the end chunk), a chunk type such as "iCCP" (its reader
// refused it, or "iCCP CRC" for its checksum), or "image data" (inflate, size, filters).
std::string failure_site(const std::vector<uint8_t>& file, uint32_t code);

// The result code's name as decoder/result_codes.h gives it.
const char* code_name(uint32_t code);

}  // namespace realworld
