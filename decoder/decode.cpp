// The top-level decode: a whole PNG in memory into a caller-supplied buffer.
#include <cstdlib>

#include "decoder/decoder.h"
#include "pixels/pixels.h"

namespace velapng {

namespace {

// Conversion accepts RGB or RGBA at any depth, and any colour type at depth 8.
bool conversion_supported(const VelaPNGPixelFormat& target) {
  return target.colour_type == 2 || target.colour_type == 6 || target.bit_depth == 8;
}

}  // namespace

uint32_t decode_rgba(uint8_t** out, uint32_t* width, uint32_t* height, const uint8_t* in, uint64_t in_size) {
  VelaPNGState state;
  state_init(&state);
  const uint32_t result = decode_with_state(out, width, height, &state, in, in_size);
  state_release(&state);
  return result;
}

// With conversion off the chunk loop writes into the caller's buffer; when the caller
// passed none, the block the chunk loop allocates is handed back through *out and belongs
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
