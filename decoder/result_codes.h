// Result codes of the decoder: unsigned 32-bit, 0 for success. The decoder keeps no texts
// for them; callers see only the number, so the numbers are part of the interface.
#pragma once

#include <cstdint>

namespace velapng::code {

inline constexpr uint32_t ok = 0;
inline constexpr uint32_t zlib_bad_data = 20;    // libdeflate reported bad data
inline constexpr uint32_t input_too_short = 27;  // fewer than 33 bytes
inline constexpr uint32_t no_signature = 28;
inline constexpr uint32_t first_chunk_not_ihdr = 29;
inline constexpr uint32_t chunk_truncated = 30;  // < 12 bytes before IEND; also grey tRNS size, short iTXt
inline constexpr uint32_t bad_colour_type = 31;  // also a format of zero bits per pixel
inline constexpr uint32_t bad_compression_method = 32;
inline constexpr uint32_t bad_filter_method = 33;
inline constexpr uint32_t bad_interlace_method = 34;
inline constexpr uint32_t bad_bit_depth = 37;
inline constexpr uint32_t palette_too_big = 38;
inline constexpr uint32_t trns_exceeds_palette = 39;
inline constexpr uint32_t trns_rgb_size = 41;
inline constexpr uint32_t trns_colour_type = 42;
inline constexpr uint32_t bkgd_palette_size = 43;
inline constexpr uint32_t bkgd_grey_size = 44;
inline constexpr uint32_t bkgd_rgb_size = 45;
inline constexpr uint32_t null_input = 48;
inline constexpr uint32_t zlib_output_too_big = 52;  // does not fit the block, or short output
inline constexpr uint32_t unsupported_conversion = 56;
inline constexpr uint32_t crc_mismatch = 57;
inline constexpr uint32_t chunk_length_too_big = 63;  // above 2^31 - 1
inline constexpr uint32_t chunk_past_end = 64;
inline constexpr uint32_t unknown_critical_chunk = 69;
inline constexpr uint32_t bad_text_compression = 72;
inline constexpr uint32_t time_size = 73;
inline constexpr uint32_t phys_size = 74;
inline constexpr uint32_t text_chunk_too_short = 75;
inline constexpr uint32_t unknown_chunks_overflow = 77;
inline constexpr uint32_t file_read_failed = 78;
inline constexpr uint32_t colour_not_in_palette = 82;
inline constexpr uint32_t out_of_memory = 83;
inline constexpr uint32_t no_zlib_hook = 87;
inline constexpr uint32_t bad_keyword = 89;
inline constexpr uint32_t image_size_mismatch = 91;  // inflated data is not the expected size
inline constexpr uint32_t image_too_big = 92;        // sizes do not fit in 64 bits
inline constexpr uint32_t zero_dimension = 93;
inline constexpr uint32_t bad_header_length = 94;
inline constexpr uint32_t image_data_overflow = 95;
inline constexpr uint32_t gama_size = 96;
inline constexpr uint32_t chrm_size = 97;
inline constexpr uint32_t srgb_size = 98;
inline constexpr uint32_t bkgd_index = 103;
// Not in the format's own failure list: a scanline whose filter-type byte is above 4.
inline constexpr uint32_t bad_filter_type = 36;

}  // namespace velapng::code
