#include "tests/support/png_builder.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

#include <libdeflate.h>

namespace testpng {

uint32_t crc32_reference(const uint8_t* data, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return crc ^ 0xFFFFFFFFu;
}

void put_u32(Bytes& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void put_u16(Bytes& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

Bytes u32_be(uint32_t value) {
  Bytes out;
  put_u32(out, value);
  return out;
}

Bytes u16_be(uint32_t value) {
  Bytes out;
  put_u16(out, value);
  return out;
}

Bytes text_bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes signature() { return {137, 80, 78, 71, 13, 10, 26, 10}; }

Bytes chunk(std::string_view type, const Bytes& data) {
  Bytes out;
  put_u32(out, static_cast<uint32_t>(data.size()));
  out.insert(out.end(), type.begin(), type.end());
  out.insert(out.end(), data.begin(), data.end());
  put_u32(out, crc32_reference(out.data() + 4, out.size() - 4));
  return out;
}

Bytes ihdr_data(uint32_t width, uint32_t height, uint8_t bit_depth, uint8_t colour_type, uint8_t interlace,
                uint8_t compression, uint8_t filter) {
  Bytes data;
  put_u32(data, width);
  put_u32(data, height);
  data.insert(data.end(), {bit_depth, colour_type, compression, filter, interlace});
  return data;
}

Bytes header(uint32_t width, uint32_t height, uint8_t bit_depth, uint8_t colour_type, uint8_t interlace) {
  return concat({signature(), chunk("IHDR", ihdr_data(width, height, bit_depth, colour_type, interlace))});
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
  for (const Bytes& extra : chunks_before_idat) out.insert(out.end(), extra.begin(), extra.end());
  const Bytes idat = chunk("IDAT", zlib_compress(raw_scanlines));
  out.insert(out.end(), idat.begin(), idat.end());
  const Bytes iend = chunk("IEND", {});
  out.insert(out.end(), iend.begin(), iend.end());
  return out;
}

Bytes read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot open " + path);
  return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace testpng
