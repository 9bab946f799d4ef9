#include "tests/support/png_builder.h"

#include <libdeflate.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testpng {

namespace {

// CRC-32 of the format, bit by bit from the reflected polynomial 0xEDB88320.
uint32_t crc32_reference(const uint8_t* data, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return crc ^ 0xFFFFFFFFu;
}

}  // namespace

Bytes u32_be(uint32_t value) {
  return {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
}
Bytes text_bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes chunk(std::string_view type, const Bytes& data) {
  const Bytes out = concat({u32_be(static_cast<uint32_t>(data.size())), text_bytes(type), data});
  return concat({out, u32_be(crc32_reference(out.data() + 4, out.size() - 4))});
}

Bytes header(uint32_t width, uint32_t height, uint8_t bit_depth, uint8_t colour_type, uint8_t interlace) {
  const Bytes ihdr = concat({u32_be(width), u32_be(height), {bit_depth, colour_type, 0, 0, interlace}});
  return concat({{137, 80, 78, 71, 13, 10, 26, 10}, chunk("IHDR", ihdr)});
}

Bytes zlib_compress(const Bytes& raw, int level) {
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
  if (compressor == nullptr) throw std::runtime_error("libdeflate_alloc_compressor failed");
  Bytes out(libdeflate_zlib_compress_bound(compressor, raw.size()));
  const size_t size = libdeflate_zlib_compress(compressor, raw.data(), raw.size(), out.data(), out.size());
  libdeflate_free_compressor(compressor);
  if (size == 0) throw std::runtime_error("libdeflate_zlib_compress failed");
  out.resize(size);
  return out;
}

Bytes filter_none(const std::vector<Bytes>& rows) {
  Bytes out;
  for (const Bytes& row : rows) {
    out.push_back(0);
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

Bytes png(uint32_t width, uint32_t height, uint8_t bit_depth, uint8_t colour_type, const Bytes& raw_scanlines,
          const std::vector<Bytes>& chunks_before_idat, uint8_t interlace) {
  Bytes out = header(width, height, bit_depth, colour_type, interlace);
  for (const Bytes& extra : chunks_before_idat) out = concat({out, extra});
  return concat({out, chunk("IDAT", zlib_compress(raw_scanlines)), chunk("IEND", {})});
}

Bytes read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot open " + path);
  return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace testpng
