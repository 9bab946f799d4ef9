// Initialisation, copy, comparison and release of the decoder's records.
#include <libdeflate.h>

#include <cstdlib>
#include <cstring>

#include "decoder/decoder.h"

namespace velapng {

namespace {

// A copied format never holds more than 256 entries (larger palettes stop the decode),
// so a fixed block of 256 entries always has room.
constexpr size_t kPaletteBlockBytes = size_t{256} * 4;

}  // namespace

void pixel_format_init(VelaPNGPixelFormat* format) { *format = VelaPNGPixelFormat{}; }

void pixel_format_release(VelaPNGPixelFormat* format) {
  std::free(format->palette);
  format->palette = nullptr;
  format->palette_size = 0;
}

uint32_t pixel_format_copy(VelaPNGPixelFormat* target, const VelaPNGPixelFormat* source) {
  pixel_format_release(target);
  *target = *source;
  target->palette = nullptr;
  if (source->palette == nullptr) return code::ok;
  // A larger palette can only come from a caller that bypassed the palette reader;
  // give it room rather than overrun the block.
  const size_t bytes = size_t{source->palette_size} * 4;
  target->palette = static_cast<uint8_t*>(std::malloc(bytes > kPaletteBlockBytes ? bytes : kPaletteBlockBytes));
  if (target->palette == nullptr) return source->palette_size != 0 ? code::out_of_memory : code::ok;
  std::memcpy(target->palette, source->palette, bytes);
  return code::ok;
}

bool pixel_format_equal(const VelaPNGPixelFormat* a, const VelaPNGPixelFormat* b) {
  if (a->colour_type != b->colour_type || a->bit_depth != b->bit_depth) return false;
  if (a->colour_key_defined != b->colour_key_defined) return false;
  if (a->colour_key_defined && (a->colour_key_red != b->colour_key_red || a->colour_key_green != b->colour_key_green ||
                                a->colour_key_blue != b->colour_key_blue))
    return false;
  if (a->palette_size != b->palette_size) return false;
  if (a->palette_size == 0) return true;
  return std::memcmp(a->palette, b->palette, size_t{a->palette_size} * 4) == 0;
}

void inflate_options_init(VelaPNGInflateOptions* options) {
  *options = VelaPNGInflateOptions{};
  options->zlib_hook = inflate_hook;
  options->decompressor = libdeflate_alloc_decompressor();
}

void encode_options_init(VelaPNGEncodeOptions* options) {
  *options = VelaPNGEncodeOptions{};
  options->deflate.zlib_hook = deflate_hook;
  options->deflate.compressor = libdeflate_alloc_compressor(6);
}

void state_init_without_codecs(VelaPNGState* state) {
  state->decoder = VelaPNGDecodeOptions{};
  state->encoder = VelaPNGEncodeOptions{};
  pixel_format_init(&state->output_format);
  image_info_init(&state->image_info);
  state->last_error = 1;
  state->header_checked = 0;
}

void state_init(VelaPNGState* state) {
  state_init_without_codecs(state);
  inflate_options_init(&state->decoder.inflate);
  encode_options_init(&state->encoder);
}

void state_release(VelaPNGState* state) {
  pixel_format_release(&state->output_format);
  image_info_release(&state->image_info);
  if (state->decoder.inflate.decompressor != nullptr) {
    libdeflate_free_decompressor(state->decoder.inflate.decompressor);
    state->decoder.inflate.decompressor = nullptr;
  }
  if (state->encoder.deflate.compressor != nullptr) {
    libdeflate_free_compressor(state->encoder.deflate.compressor);
    state->encoder.deflate.compressor = nullptr;
  }
}

}  // namespace velapng
