#include "bench/png_layout.h"

#include <algorithm>
#include <cstring>

namespace velabench {

namespace {

constexpr uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

uint32_t be32(const uint8_t* p) { return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]; }

uint32_t channels(uint32_t colour_type) {
  switch (colour_type) {
    case 0:
    case 3: return 1;
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 0;
  }
}

uint64_t row_size(uint64_t width, uint32_t bits_per_pixel) { return 1 + (width * bits_per_pixel + 7) / 8; }

bool fail(std::string* error, const char* why) {
  *error = why;
  return false;
}

// Calls visit(rows, row_bytes) for each non-empty pass, or once for the whole image.
template <typename Visit>
void for_each_pass(uint32_t width, uint32_t height, uint32_t bits_per_pixel, bool adam7, Visit visit) {
  if (!adam7) return visit(uint64_t{height}, row_size(width, bits_per_pixel));
  // Passes as (first column, first row, column step, row step).
  static constexpr uint32_t kPasses[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                             {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
  for (const auto& pass : kPasses) {
    const uint64_t columns = width > pass[0] ? (width - pass[0] + pass[2] - 1) / pass[2] : 0;
    const uint64_t rows = height > pass[1] ? (height - pass[1] + pass[3] - 1) / pass[3] : 0;
    if (columns != 0 && rows != 0) visit(rows, row_size(columns, bits_per_pixel));
  }
}

}  // namespace

uint64_t filtered_size(uint32_t width, uint32_t height, uint32_t bits_per_pixel, bool adam7) {
  uint64_t total = 0;
  for_each_pass(width, height, bits_per_pixel, adam7,
                [&](uint64_t rows, uint64_t row_bytes) { total += rows * row_bytes; });
  return total;
}

std::array<uint64_t, 6> filter_histogram(const PngLayout& layout, const uint8_t* inflated) {
  std::array<uint64_t, 6> rows_of_type{};
  const uint8_t* row = inflated;
  for_each_pass(layout.width, layout.height, channels(layout.colour_type) * layout.bit_depth, layout.interlace != 0,
                [&](uint64_t rows, uint64_t row_bytes) {
                  for (uint64_t y = 0; y < rows; ++y, row += row_bytes) ++rows_of_type[std::min<uint8_t>(*row, 5)];
                });
  return rows_of_type;
}

std::string format_name(uint32_t colour_type, uint32_t bit_depth) {
  const char* names[] = {"grey", "?", "rgb", "palette", "grey-alpha", "?", "rgba"};
  return std::string(colour_type < 7 ? names[colour_type] : "?") + std::to_string(bit_depth);
}

bool read_png_layout(const uint8_t* data, size_t size, PngLayout* layout, std::string* error, bool join_image_data) {
  *layout = PngLayout{};
  if (size < 33 || std::memcmp(data, kSignature, 8) != 0) return fail(error, "no PNG signature");
  if (be32(data + 8) != 13 || std::memcmp(data + 12, "IHDR", 4) != 0) return fail(error, "no header chunk");
  layout->width = be32(data + 16);
  layout->height = be32(data + 20);
  layout->bit_depth = data[24];
  layout->colour_type = data[25];
  layout->interlace = data[28];
  if (channels(layout->colour_type) == 0) return fail(error, "unknown colour type");
  layout->inflated_size = filtered_size(layout->width, layout->height,
                                        channels(layout->colour_type) * layout->bit_depth, layout->interlace != 0);

  // Two walks: the first checks the chunks and sums the IDAT lengths, so the join below
  // is one allocation of the final size.
  std::vector<std::pair<size_t, uint32_t>> idat;  // offset of the data, length
  for (size_t at = 33;;) {
    if (size - at < 12) return fail(error, "chunks end before IEND");
    const uint32_t length = be32(data + at);
    if (length > size - at - 12) return fail(error, "chunk runs past the end");
    const uint8_t* type = data + at + 4;
    if (std::memcmp(type, "IDAT", 4) == 0) idat.emplace_back(at + 8, length);
    if (std::memcmp(type, "IEND", 4) == 0) break;
    at += size_t{length} + 12;
  }
  if (join_image_data) {
    size_t total = 0;
    for (const auto& [offset, length] : idat) total += length;
    layout->image_data.reserve(total);
    for (const auto& [offset, length] : idat)
      layout->image_data.insert(layout->image_data.end(), data + offset, data + offset + length);
  }
  return true;
}

}  // namespace velabench
