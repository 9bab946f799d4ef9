// Header inspection: the signature and the header chunk, checked in a fixed order so each
// fault has one code. Only the first 33 bytes are read.
#include <libdeflate.h>

#include <cstring>

#include "decoder/chunk.h"
#include "decoder/decoder.h"
#include "decoder/image_info.h"
#include "decoder/png_signature.h"
#include "pixels/pixel_format.h"

namespace velapng {

namespace {

uint32_t inspect(uint32_t* width, uint32_t* height, VelaPNGState* state, const uint8_t* in, uint64_t in_size) {
  if (in == nullptr || in_size == 0) return code::null_input;
  if (in_size < kFirstChunkOffset) return code::input_too_short;  // the header chunk ends there
  image_info_release(&state->image_info);
  image_info_init(&state->image_info);
  if (std::memcmp(in, kPngSignature, sizeof kPngSignature) != 0) return code::no_signature;
  const uint8_t* chunk = in + 8;
  if (chunk_length(chunk) != 13) return code::bad_header_length;
  if (!chunk_type_is(chunk, "IHDR")) return code::first_chunk_not_ihdr;

  const uint8_t* data = chunk_data(chunk);
  const uint32_t header_width = read_u32_be(data);
  const uint32_t header_height = read_u32_be(data + 4);
  VelaPNGImageInfo& info = state->image_info;
  info.pixel_format.bit_depth = data[8];
  info.pixel_format.colour_type = data[9];
  info.compression_method = data[10];
  info.filter_method = data[11];
  info.interlace_method = data[12];
  if (header_width == 0 || header_height == 0) return code::zero_dimension;
  if (width != nullptr) *width = header_width;
  if (height != nullptr) *height = header_height;

  if (state->decoder.skip_crc_check == 0 && read_u32_be(in + 29) != libdeflate_crc32(0, in + 12, 17))
    return code::crc_mismatch;
  if (info.compression_method != 0) return code::bad_compression_method;
  if (info.filter_method != 0) return code::bad_filter_method;
  if (info.interlace_method > 1) return code::bad_interlace_method;
  state->header_checked = 1;
  return check_colour_depth(info.pixel_format.colour_type, info.pixel_format.bit_depth);
}

}  // namespace

uint32_t inspect_header(uint32_t* width, uint32_t* height, VelaPNGState* state, const uint8_t* in, uint64_t in_size) {
  state->last_error = inspect(width, height, state, in, in_size);
  return state->last_error;
}

}  // namespace velapng
