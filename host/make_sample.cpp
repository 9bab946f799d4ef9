// Generates the host's sample image: a 160 x 96 RGBA picture lying on its side (an arrow
// pointing left over a colour gradient, alpha fading towards the corners) with an eXIf
// chunk of orientation 6, so the host turns it by 90 degrees and the arrow points up.
//
//   velapng-make-sample OUTPUT.png
#include <libdeflate.h>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kWidth = 160;
constexpr uint32_t kHeight = 96;

void put32(Bytes& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void put_chunk(Bytes& out, const char* type, const Bytes& data) {
  put32(out, static_cast<uint32_t>(data.size()));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  put32(out, libdeflate_crc32(0, out.data() + start, out.size() - start));
}

// Inside the arrow: a head whose tip is at the left and a shaft to its right.
bool in_arrow(double x, double y) {
  const double centre = kHeight / 2.0;
  const double tip = 28, base = 72, half_head = 30, shaft_end = 132, half_shaft = 9;
  if (x >= tip && x <= base && std::fabs(y - centre) <= (x - tip) / (base - tip) * half_head) return true;
  return x > base - 1 && x <= shaft_end && std::fabs(y - centre) <= half_shaft;
}

Bytes pixel_at(uint32_t x, uint32_t y) {
  const double px = x + 0.5, py = y + 0.5;
  // Alpha falls from opaque in the middle towards the corners.
  const double dx = (px - kWidth / 2.0) / (kWidth / 2.0), dy = (py - kHeight / 2.0) / (kHeight / 2.0);
  const double fade = std::fmin(1.0, std::sqrt(dx * dx + dy * dy) / std::sqrt(2.0));
  const auto alpha = static_cast<uint8_t>(255 - 150 * fade * fade);
  if (in_arrow(px, py)) return {250, 250, 245, 255};
  // A dark rim one pixel around the arrow.
  for (int oy = -2; oy <= 2; ++oy)
    for (int ox = -2; ox <= 2; ++ox)
      if (in_arrow(px + ox, py + oy)) return {20, 24, 40, 255};
  return {static_cast<uint8_t>(40 + 200 * x / (kWidth - 1)), static_cast<uint8_t>(60 + 160 * y / (kHeight - 1)),
          static_cast<uint8_t>(200 - 120 * x / (kWidth - 1)), alpha};
}

// A big-endian TIFF structure with one entry: orientation (0x0112), SHORT, value 6.
Bytes exif_orientation_6() {
  return {'M',  'M',  0, 42, 0, 0, 0, 8,                           // header, first directory at 8
          0,    1,                                                 // one entry
          0x01, 0x12, 0, 3,  0, 0, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0};  // no next directory
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
    return 2;
  }
  Bytes scanlines;
  for (uint32_t y = 0; y < kHeight; ++y) {
    scanlines.push_back(0);  // filter type None
    for (uint32_t x = 0; x < kWidth; ++x) {
      const Bytes pixel = pixel_at(x, y);
      scanlines.insert(scanlines.end(), pixel.begin(), pixel.end());
    }
  }
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(9);
  if (compressor == nullptr) return 1;
  Bytes compressed(libdeflate_zlib_compress_bound(compressor, scanlines.size()));
  compressed.resize(
      libdeflate_zlib_compress(compressor, scanlines.data(), scanlines.size(), compressed.data(), compressed.size()));
  libdeflate_free_compressor(compressor);
  if (compressed.empty()) return 1;

  Bytes png = {137, 80, 78, 71, 13, 10, 26, 10};
  Bytes header;
  put32(header, kWidth);
  put32(header, kHeight);
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8-bit RGBA, not interlaced
  put_chunk(png, "IHDR", header);
  put_chunk(png, "eXIf", exif_orientation_6());
  put_chunk(png, "IDAT", compressed);
  put_chunk(png, "IEND", {});

  std::FILE* file = std::fopen(argv[1], "wb");
  if (file == nullptr) return 1;
  const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  return std::fclose(file) == 0 && written ? 0 : 1;
}
