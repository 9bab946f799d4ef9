// The encoder side of the state: the level-6 compressor, its hook, state_init, which sets it
// up beside the decompressor, and its release. No decode uses any of it; it lives in a file
// of its own, which state_release refers to only weakly, so that what only decodes (the
// plug-in) links none of libdeflate's compressor.
#include <libdeflate.h>

#include "decoder/decoder.h"
#include "decoder/zlib_bridge.h"

namespace velapng {

namespace {

void encode_options_init(VelaPNGEncodeOptions* options) {
  *options = VelaPNGEncodeOptions{};
  options->deflate.zlib_hook = deflate_hook;
  options->deflate.compressor = libdeflate_alloc_compressor(6);
}

}  // namespace

// Reports the compressed size through *out_size; output that does not fit in `capacity`
// (libdeflate returns 0) is the same condition as on the inflate side, so 52.
uint32_t deflate_hook(uint8_t** out, uint64_t* out_size, const uint8_t* in, uint64_t in_size,
                      const VelaPNGDeflateOptions* options, uint64_t capacity) {
  if (options->compressor == nullptr) return code::out_of_memory;
  const size_t written = libdeflate_zlib_compress(options->compressor, in, static_cast<size_t>(in_size), *out,
                                                  static_cast<size_t>(capacity));
  *out_size = written;
  return written == 0 ? code::zlib_output_too_big : code::ok;
}

// state_release's weak reference (state.cpp) resolves to this.
void release_encoder_side(VelaPNGEncodeOptions* options) {
  libdeflate_free_compressor(options->deflate.compressor);
  options->deflate.compressor = nullptr;
}

void state_init(VelaPNGState* state) {
  state_init_without_codecs(state);
  inflate_options_init(&state->decoder.inflate);
  encode_options_init(&state->encoder);
}

}  // namespace velapng
