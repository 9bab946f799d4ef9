// Finding the eXIf chunk and reading the orientation tag (0x0112, one SHORT) from the first
// image directory of its TIFF structure.
#include <cstring>

#include "companions/picfacts/picfacts.h"

namespace picfacts {

namespace {

constexpr uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr uint16_t kOrientationTag = 0x0112;
constexpr uint16_t kShortType = 3;

uint32_t big_endian_32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

struct TiffReader {
  const uint8_t* data;
  size_t size;
  bool little;

  uint32_t u16(size_t at) const {
    return little ? uint32_t{data[at]} | uint32_t{data[at + 1]} << 8 : uint32_t{data[at]} << 8 | data[at + 1];
  }
  uint32_t u32(size_t at) const { return little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2); }
};

}  // namespace

int32_t tiff_orientation(const uint8_t* tiff, size_t size) {
  if (tiff == nullptr || size < 8) return 0;
  TiffReader reader{tiff, size, false};
  if (std::memcmp(tiff, "II", 2) == 0) reader.little = true;
  else if (std::memcmp(tiff, "MM", 2) != 0) return 0;
  if (reader.u16(2) != 42) return 0;
  const uint64_t directory = reader.u32(4);
  if (directory + 2 > size) return 0;
  const uint32_t entries = reader.u16(static_cast<size_t>(directory));
  for (uint32_t i = 0; i < entries; ++i) {
    const uint64_t entry = directory + 2 + 12 * uint64_t{i};
    if (entry + 12 > size) return 0;
    const auto at = static_cast<size_t>(entry);
    if (reader.u16(at) != kOrientationTag) continue;
    if (reader.u16(at + 2) != kShortType || reader.u32(at + 4) < 1) return 0;
    const uint32_t value = reader.u16(at + 8);  // a single SHORT sits at the start of the value field
    return value >= 1 && value <= 8 ? static_cast<int32_t>(value) : 0;
  }
  return 0;
}

bool find_exif(ReadAt read, void* source, uint64_t* offset, uint32_t* length) {
  uint8_t head[8];
  if (!read(source, 0, 8, head) || std::memcmp(head, kSignature, 8) != 0) return false;
  uint64_t at = 8;
  while (read(source, at, 8, head)) {
    const uint32_t chunk_length = big_endian_32(head);
    if (chunk_length > 0x7FFFFFFF) return false;
    if (std::memcmp(head + 4, "eXIf", 4) == 0) {
      *offset = at + 8;
      *length = chunk_length;
      return true;
    }
    if (std::memcmp(head + 4, "IEND", 4) == 0) return false;
    at += 12 + uint64_t{chunk_length};
  }
  return false;
}

}  // namespace picfacts
