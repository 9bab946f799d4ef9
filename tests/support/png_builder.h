// Building PNG byte streams inside tests: chunks with CRCs computed here from the
// polynomial (independently of the decoder's libdeflate call), zlib streams made with
// libdeflate's compressor, and whole images from raw scanlines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace testpng {

using Bytes = std::vector<uint8_t>;

Bytes u32_be(uint32_t value);
Bytes text_bytes(std::string_view text);  // no terminating zero
Bytes concat(std::initializer_list<Bytes> parts);

// Length, type, data and a correct CRC.
Bytes chunk(std::string_view type, const Bytes& data);
// Signature plus IHDR chunk: the 33 bytes header inspection reads.
Bytes header(uint32_t width, uint32_t height, uint8_t bit_depth, uint8_t colour_type, uint8_t interlace = 0);

Bytes zlib_compress(const Bytes& raw, int level = 6);

// Unfiltered scanlines (filter type 0) of a non-interlaced image whose packed rows are given
// row by row (each row already padded to whole bytes).
Bytes filter_none(const std::vector<Bytes>& rows);

// A complete file: header, the extra chunks before IDAT, one IDAT of `raw_scanlines`
// compressed, IEND.
Bytes png(uint32_t width, uint32_t height, uint8_t bit_depth, uint8_t colour_type, const Bytes& raw_scanlines,
          const std::vector<Bytes>& chunks_before_idat = {}, uint8_t interlace = 0);

Bytes read_file(const std::string& path);

}  // namespace testpng
