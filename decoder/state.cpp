// Setting a state to its defaults and releasing it; state_init, which adds the encoder
// side's compressor, is in encoder_side.cpp.
#include <libdeflate.h>

#include "decoder/decoder.h"
#include "decoder/image_info.h"
#include "decoder/zlib_bridge.h"
#include "pixels/pixel_format.h"

namespace velapng {

// The encoder side's release, defined beside state_init (encoder_side.cpp), the only maker
// of a compressor. It is referred to weakly, so that a program that never makes one (the
// plug-in) links neither that file nor libdeflate's compressor; there it is null, and so is
// every state's compressor. Hidden: a shared library resolves it when it is linked, never
// from whatever else the process holds.
[[gnu::weak, gnu::visibility("hidden")]] void release_encoder_side(VelaPNGEncodeOptions* options);

void inflate_options_init(VelaPNGInflateOptions* options) {
  *options = VelaPNGInflateOptions{};
  options->zlib_hook = inflate_hook;
  options->decompressor = libdeflate_alloc_decompressor();
}

void state_init_without_codecs(VelaPNGState* state) {
  state->decoder = VelaPNGDecodeOptions{};
  state->encoder = VelaPNGEncodeOptions{};
  pixel_format_init(&state->output_format);
  image_info_init(&state->image_info);
  state->last_error = 1;
  state->header_checked = 0;
}

void state_release(VelaPNGState* state) {
  pixel_format_release(&state->output_format);
  image_info_release(&state->image_info);
  if (state->decoder.inflate.decompressor != nullptr) {
    libdeflate_free_decompressor(state->decoder.inflate.decompressor);
    state->decoder.inflate.decompressor = nullptr;
  }
  if (state->encoder.deflate.compressor != nullptr && release_encoder_side != nullptr)
    release_encoder_side(&state->encoder);
}

}  // namespace velapng
