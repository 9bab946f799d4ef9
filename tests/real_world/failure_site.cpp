// Locating a refusal: the chunk walk again, a chunk at a time, each known chunk through the
// reader the decode gives it and then its CRC, in the decode's order, so the first chunk
// that fails with the decode's own code is the one that ended the decode.
#include "tests/real_world/failure_site.h"

#include <cstring>

#include "decoder/chunk.h"
#include "decoder/decoder.h"
#include "decoder/readers.h"

namespace realworld {

namespace {

using velapng::VelaPNGState;

// The readers by chunk type, each on the state a decode would have reached.
uint32_t read_known(VelaPNGState* s, const std::string& type, const uint8_t* d, uint64_t n, bool* known) {
  velapng::VelaPNGImageInfo* info = &s->image_info;
  const velapng::VelaPNGInflateOptions* inflate = &s->decoder.inflate;
  *known = true;
  if (type == "PLTE") return velapng::read_plte(&info->pixel_format, d, n);
  if (type == "tRNS") return velapng::read_trns(&info->pixel_format, d, n);
  if (type == "bKGD") return velapng::read_bkgd(info, d, n);
  if (type == "tEXt") return velapng::read_text(info, d, n);
  if (type == "zTXt") return velapng::read_ztxt(info, inflate, d, n);
  if (type == "iTXt") return velapng::read_itxt(info, inflate, d, n);
  if (type == "tIME") return velapng::read_time(info, d, n);
  if (type == "pHYs") return velapng::read_phys(info, d, n);
  if (type == "gAMA") return velapng::read_gama(info, d, n);
  if (type == "cHRM") return velapng::read_chrm(info, d, n);
  if (type == "sRGB") return velapng::read_srgb(info, d, n);
  if (type == "iCCP") return velapng::read_iccp(info, inflate, d, n);
  *known = type == "IDAT" || type == "IEND";
  return velapng::code::ok;
}

std::string walk_to_failure(VelaPNGState* state, const std::vector<uint8_t>& file, uint32_t code) {
  for (uint64_t offset = 33;;) {
    if (offset > file.size() || file.size() - offset < 12) return "layout";
    const uint8_t* chunk = file.data() + offset;
    const uint32_t length = velapng::chunk_length(chunk);
    if (length > 0x7FFFFFFF || file.size() - offset - 12 < length) return "layout";
    const std::string type(reinterpret_cast<const char*>(chunk + 4), 4);
    bool known = false;
    if (read_known(state, type, velapng::chunk_data(chunk), length, &known) == code) return type;
    if (!known && (chunk[4] & 32) == 0 && code == velapng::code::unknown_critical_chunk) return type;
    if (known && code == velapng::code::crc_mismatch && velapng::chunk_crc_mismatch(chunk)) return type + " CRC";
    if (type == "IEND") return "image data";
    offset += uint64_t{length} + 12;
  }
}

}  // namespace

std::string failure_site(const std::vector<uint8_t>& file, uint32_t code) {
  VelaPNGState state;
  velapng::state_init(&state);
  uint32_t width = 0, height = 0;
  const bool header_fails = velapng::inspect_header(&width, &height, &state, file.data(), file.size()) != 0;
  std::string site = header_fails ? "header" : walk_to_failure(&state, file, code);
  velapng::state_release(&state);
  return site;
}

const char* code_name(uint32_t code) {
  namespace c = velapng::code;
  struct Name {
    uint32_t code;
    const char* name;
  };
  static constexpr Name kNames[] = {
      {c::ok, "ok"},
      {c::zlib_bad_data, "zlib_bad_data"},
      {c::input_too_short, "input_too_short"},
      {c::no_signature, "no_signature"},
      {c::first_chunk_not_ihdr, "first_chunk_not_ihdr"},
      {c::chunk_truncated, "chunk_truncated"},
      {c::bad_colour_type, "bad_colour_type"},
      {c::bad_compression_method, "bad_compression_method"},
      {c::bad_filter_method, "bad_filter_method"},
      {c::bad_interlace_method, "bad_interlace_method"},
      {c::bad_filter_type, "bad_filter_type"},
      {c::bad_bit_depth, "bad_bit_depth"},
      {c::palette_too_big, "palette_too_big"},
      {c::trns_exceeds_palette, "trns_exceeds_palette"},
      {c::trns_rgb_size, "trns_rgb_size"},
      {c::trns_colour_type, "trns_colour_type"},
      {c::bkgd_palette_size, "bkgd_palette_size"},
      {c::bkgd_grey_size, "bkgd_grey_size"},
      {c::bkgd_rgb_size, "bkgd_rgb_size"},
      {c::null_input, "null_input"},
      {c::zlib_output_too_big, "zlib_output_too_big"},
      {c::unsupported_conversion, "unsupported_conversion"},
      {c::crc_mismatch, "crc_mismatch"},
      {c::chunk_length_too_big, "chunk_length_too_big"},
      {c::chunk_past_end, "chunk_past_end"},
      {c::unknown_critical_chunk, "unknown_critical_chunk"},
      {c::bad_text_compression, "bad_text_compression"},
      {c::time_size, "time_size"},
      {c::phys_size, "phys_size"},
      {c::text_chunk_too_short, "text_chunk_too_short"},
      {c::unknown_chunks_overflow, "unknown_chunks_overflow"},
      {c::file_read_failed, "file_read_failed"},
      {c::colour_not_in_palette, "colour_not_in_palette"},
      {c::out_of_memory, "out_of_memory"},
      {c::no_zlib_hook, "no_zlib_hook"},
      {c::bad_keyword, "bad_keyword"},
      {c::image_size_mismatch, "image_size_mismatch"},
      {c::image_too_big, "image_too_big"},
      {c::zero_dimension, "zero_dimension"},
      {c::bad_header_length, "bad_header_length"},
      {c::image_data_overflow, "image_data_overflow"},
      {c::gama_size, "gama_size"},
      {c::chrm_size, "chrm_size"},
      {c::srgb_size, "srgb_size"},
      {c::bkgd_index, "bkgd_index"},
  };
  for (const Name& name : kNames)
    if (name.code == code) return name.name;
  return "unnamed";
}

}  // namespace realworld
