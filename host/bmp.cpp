// The file is bottom-up (positive height), which every reader handles; the version-4 header
// carries the channel masks so readers that honour alpha see it.
#include "host/bmp.h"

#include <fstream>
#include <vector>

namespace host {

namespace {

void put16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t value) {
  put16(out, value & 0xFFFF);
  put16(out, value >> 16);
}

constexpr uint32_t kFileHeaderBytes = 14;
constexpr uint32_t kInfoHeaderBytes = 108;  // BITMAPV4HEADER
constexpr uint32_t kBitfields = 3;
constexpr uint32_t kSrgb = 0x73524742;      // 'sRGB'
constexpr uint32_t kPixelsPerMetre = 2835;  // 72 dpi

}  // namespace

bool write_bmp(const std::string& path, const uint8_t* bgra, uint32_t width, uint32_t height) {
  const uint64_t image_bytes = uint64_t{width} * height * 4;
  if (image_bytes + kFileHeaderBytes + kInfoHeaderBytes > 0xFFFFFFFF) return false;
  std::vector<uint8_t> head;
  head.push_back('B');
  head.push_back('M');
  put32(head, static_cast<uint32_t>(kFileHeaderBytes + kInfoHeaderBytes + image_bytes));
  put32(head, 0);
  put32(head, kFileHeaderBytes + kInfoHeaderBytes);
  put32(head, kInfoHeaderBytes);
  put32(head, width);
  put32(head, height);
  put16(head, 1);
  put16(head, 32);
  put32(head, kBitfields);
  put32(head, static_cast<uint32_t>(image_bytes));
  put32(head, kPixelsPerMetre);
  put32(head, kPixelsPerMetre);
  put32(head, 0);
  put32(head, 0);
  for (uint32_t mask : {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u}) put32(head, mask);
  put32(head, kSrgb);
  for (int i = 0; i < 12; ++i) put32(head, 0);  // colour space end points and gamma, unused for sRGB

  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
  const uint64_t row_bytes = uint64_t{width} * 4;
  for (uint32_t row = height; row-- > 0;)
    file.write(reinterpret_cast<const char*>(bgra + row * row_bytes), static_cast<std::streamsize>(row_bytes));
  return static_cast<bool>(file);
}

}  // namespace host
