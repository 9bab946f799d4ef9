// The reference route: the shared inflate stage with the reference policy, the whole packed
// image in the file's format, and conversion from there into the caller's format.
#include "decoder/decode_reference.h"

#include <cstdlib>

#include "decoder/decoder.h"
#include "decoder/inflate_stage.h"
#include "pixels/pixels.h"

namespace velapng {

namespace {

// Conversion accepts RGB or RGBA at any depth, and any colour type at depth 8.
bool conversion_supported(const VelaPNGPixelFormat& target) {
  return target.colour_type == 2 || target.colour_type == 6 || target.bit_depth == 8;
}

// A zero-filled block of the raw image size in the file's format, in whole 4-byte units.
uint32_t allocate_output(uint8_t** out, const VelaPNGPixelFormat& format, uint32_t width, uint32_t height) {
  const uint64_t raw = packed_size(uint64_t{width} * height, bits_per_pixel(format.colour_type, format.bit_depth));
  const uint64_t units = raw / 4 + (raw % 4 != 0);
  if (units > SIZE_MAX / 4) return code::out_of_memory;
  *out = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(units), 4));
  return *out == nullptr ? code::out_of_memory : code::ok;
}

}  // namespace

void decode_chunk_stream(uint8_t** out, uint32_t* width, uint32_t* height, VelaPNGState* state, const uint8_t* in,
                         uint64_t in_size) {
  ByteBuffer scratch;
  inflate_chunk_stream(&scratch, width, height, state, borrowed_input(in, in_size), kReferenceInflate);
  if (state->last_error == code::ok && *out == nullptr)
    state->last_error = allocate_output(out, state->image_info.pixel_format, *width, *height);
  if (state->last_error == code::ok) state->last_error = reconstruct_image(*out, scratch.data, *width, *height, state);
  byte_buffer_release(&scratch);
}

uint32_t decode_rgba(uint8_t** out, uint32_t* width, uint32_t* height, const uint8_t* in, uint64_t in_size) {
  VelaPNGState state;
  state_init(&state);
  const uint32_t result = decode_with_state(out, width, height, &state, in, in_size);
  state_release(&state);
  return result;
}

// With conversion off the chunk stream writes into the caller's buffer; when the caller
// passed none, the block the chunk stream allocates is handed back through *out and belongs
// to the caller from then on (to be released with free), rather than being thrown away.
uint32_t decode_with_state(uint8_t** out, uint32_t* width, uint32_t* height, VelaPNGState* state, const uint8_t* in,
                           uint64_t in_size) {
  if (state->decoder.convert_colour == 0) {
    decode_chunk_stream(out, width, height, state, in, in_size);
    if (state->last_error != code::ok) return state->last_error;
    state->last_error = pixel_format_copy(&state->output_format, &state->image_info.pixel_format);
    return state->last_error;
  }

  uint8_t* image = nullptr;
  decode_chunk_stream(&image, width, height, state, in, in_size);
  uint32_t result = state->last_error;
  if (result == code::ok) {
    result = conversion_supported(state->output_format)
                 ? convert_pixels(*out, image, &state->output_format, &state->image_info.pixel_format, *width, *height)
                 : code::unsupported_conversion;
    // A format that cannot be converted to is the caller's mistake, not the file's: its 56
    // is returned without being stored, whichever check refused it.
    if (result != code::unsupported_conversion) state->last_error = result;
  }
  std::free(image);
  return result;
}

}  // namespace velapng
