// The chunk stream: walks every chunk after the header, hands each to its reader, gathers
// the image data, inflates it in one call and reconstructs the pixels.
//
// Positions are kept as 64-bit offsets from the start of the input rather than pointers, so
// a huge length field can never form a pointer outside the input: every bound is a plain
// comparison against the input size.
#include <cstdlib>
#include <cstring>

#include "decoder/checked_math.h"
#include "decoder/decoder.h"
#include "pixels/pixels.h"

namespace velapng {

namespace {

constexpr uint64_t kFirstChunkOffset = 33;  // signature and the header chunk
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFF;
// The inflated image gets ten times the room it should need, so an over-long stream is
// inflated far enough to be recognised as such (91) rather than cut off as too big (52).
constexpr uint64_t kScratchFactor = 10;

using ChunkReader = uint32_t (*)(VelaPNGState* state, const uint8_t* data, uint64_t length);

struct ReaderEntry {
  const char* type;
  bool is_text;  // passed over unless text chunks are kept
  ChunkReader read;
};

constexpr ReaderEntry kReaders[] = {
    {"PLTE", false,
     [](VelaPNGState* s, const uint8_t* d, uint64_t n) { return read_plte(&s->image_info.pixel_format, d, n); }},
    {"tRNS", false,
     [](VelaPNGState* s, const uint8_t* d, uint64_t n) { return read_trns(&s->image_info.pixel_format, d, n); }},
    {"bKGD", false, [](VelaPNGState* s, const uint8_t* d, uint64_t n) { return read_bkgd(&s->image_info, d, n); }},
    {"tEXt", true, [](VelaPNGState* s, const uint8_t* d, uint64_t n) { return read_text(&s->image_info, d, n); }},
    {"zTXt", true,
     [](VelaPNGState* s, const uint8_t* d, uint64_t n) {
       return read_ztxt(&s->image_info, &s->decoder.inflate, d, n);
     }},
    {"iTXt", true,
     [](VelaPNGState* s, const uint8_t* d, uint64_t n) {
       return read_itxt(&s->image_info, &s->decoder.inflate, d, n);
     }},
    {"tIME", false, [](VelaPNGState* s, const uint8_t* d, uint64_t n) { return read_time(&s->image_info, d, n); }},
    {"pHYs", false, [](VelaPNGState* s, const uint8_t* d, uint64_t n) { return read_phys(&s->image_info, d, n); }},
    {"gAMA", false, [](VelaPNGState* s, const uint8_t* d, uint64_t n) { return read_gama(&s->image_info, d, n); }},
    {"cHRM", false, [](VelaPNGState* s, const uint8_t* d, uint64_t n) { return read_chrm(&s->image_info, d, n); }},
    {"sRGB", false, [](VelaPNGState* s, const uint8_t* d, uint64_t n) { return read_srgb(&s->image_info, d, n); }},
    {"iCCP", false,
     [](VelaPNGState* s, const uint8_t* d, uint64_t n) {
       return read_iccp(&s->image_info, &s->decoder.inflate, d, n);
     }},
};

// Where unknown chunks go: 1 before PLTE, 2 after it, 3 after image data.
enum Position : uint32_t { kBeforePalette = 1, kAfterPalette = 2, kAfterImageData = 3 };

struct Walk {
  VelaPNGState* state;
  const uint8_t* in;
  uint64_t in_size;
  ByteBuffer image_data;
  uint32_t position = kBeforePalette;
};

uint32_t append_image_data(Walk* walk, const uint8_t* data, uint32_t length) {
  const uint64_t old_size = walk->image_data.size;
  uint64_t total = 0;
  if (!checked_add(old_size, length, &total)) return code::image_data_overflow;
  if (!byte_buffer_resize(&walk->image_data, total)) return code::out_of_memory;
  if (length != 0) std::memcpy(walk->image_data.data + old_size, data, length);
  walk->position = kAfterImageData;
  return code::ok;
}

uint32_t handle_unknown(Walk* walk, const uint8_t* chunk) {
  const VelaPNGDecodeOptions& options = walk->state->decoder;
  const bool critical = (chunk[4] & 32) == 0;
  if (critical && options.allow_unknown_critical == 0) return code::unknown_critical_chunk;
  if (options.keep_unknown_chunks == 0) return code::ok;
  VelaPNGImageInfo& info = walk->state->image_info;
  const uint32_t slot = walk->position - 1;
  return append_unknown_chunk(&info.unknown_chunk_data[slot], &info.unknown_chunk_size[slot], chunk);
}

// Runs the reader of one recognised chunk; *known is false for a chunk no reader takes.
uint32_t handle_known(Walk* walk, const uint8_t* chunk, bool* known) {
  const uint8_t* data = chunk_data(chunk);
  const uint32_t length = chunk_length(chunk);
  if (chunk_type_is(chunk, "IDAT")) return append_image_data(walk, data, length);
  if (chunk_type_is(chunk, "IEND")) return code::ok;
  for (const ReaderEntry& reader : kReaders) {
    if (!chunk_type_is(chunk, reader.type)) continue;
    if (reader.is_text && walk->state->decoder.keep_text_chunks == 0) return code::ok;
    const uint32_t result = reader.read(walk->state, data, length);
    if (result == code::ok && chunk_type_is(chunk, "PLTE")) walk->position = kAfterPalette;
    return result;
  }
  *known = false;
  return code::ok;
}

// Walks the chunks from the first one after the header up to IEND; returns the code that
// ended the walk (0 for a clean end, or for running out of input when that is allowed).
uint32_t walk_chunks(Walk* walk) {
  const VelaPNGDecodeOptions& options = walk->state->decoder;
  const uint32_t missing_end = options.allow_missing_end ? code::ok : code::chunk_truncated;
  const uint32_t length_too_big = options.allow_missing_end ? code::ok : code::chunk_length_too_big;
  uint64_t offset = kFirstChunkOffset;
  for (;;) {
    if (offset > walk->in_size || walk->in_size - offset < 12) return missing_end;
    const uint8_t* chunk = walk->in + offset;
    const uint32_t length = chunk_length(chunk);
    if (length > kMaxChunkLength) return length_too_big;
    if (walk->in_size - offset - 12 < length) return code::chunk_past_end;

    bool known = true;
    const uint32_t result = handle_known(walk, chunk, &known);
    if (result != code::ok) return result;
    if (!known) {
      const uint32_t unknown = handle_unknown(walk, chunk);
      if (unknown != code::ok) return unknown;
    } else if (options.skip_crc_check == 0 && chunk_crc_mismatch(chunk)) {
      return code::crc_mismatch;
    }
    if (chunk_type_is(chunk, "IEND")) return code::ok;
    offset += uint64_t{length} + 12;
  }
}

// The inflated size the header predicts: every row one filter byte plus its packed bytes,
// for the whole image or for each non-empty Adam7 pass.
uint64_t expected_inflated_size(const VelaPNGImageInfo& info, uint32_t width, uint32_t height) {
  const uint32_t bpp = bits_per_pixel(info.pixel_format.colour_type, info.pixel_format.bit_depth);
  if (info.interlace_method == 0) return uint64_t{height} * (packed_size(width, bpp) + 1);
  return compute_pass_layout(width, height, bpp).filtered_start[7];
}

// Inflates the gathered image data into a scratch block of ten times the expected size and
// holds the result against that size.
uint32_t inflate_image_data(VelaPNGState* state, const ByteBuffer& image_data, uint64_t expected, ByteBuffer* scratch) {
  uint64_t capacity = 0;
  if (expected != 0) {
    if (!checked_mul(expected, kScratchFactor, &capacity) || capacity > SIZE_MAX) return code::out_of_memory;
    scratch->data = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(capacity)));
    if (scratch->data == nullptr) return code::out_of_memory;
    scratch->capacity = capacity;
  }
  const VelaPNGInflateOptions& inflate = state->decoder.inflate;
  if (inflate.zlib_hook == nullptr) return code::no_zlib_hook;
  const uint32_t result =
      inflate.zlib_hook(&scratch->data, &scratch->size, image_data.data, image_data.size, &inflate, capacity);
  if (result != code::ok) return result;
  return scratch->size == expected ? code::ok : code::image_size_mismatch;
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
  if (state->header_checked == 0) {
    state->last_error = inspect_header(width, height, state, in, in_size);
    if (state->last_error != code::ok) return;
  }
  if (raw_size_overflows(*width, *height, &state->image_info.pixel_format, &state->output_format)) {
    state->last_error = code::image_too_big;
    return;
  }

  Walk walk{state, in, in_size, {}};
  if (state->last_error == code::ok) state->last_error = walk_chunks(&walk);

  ByteBuffer scratch;
  const uint64_t expected = expected_inflated_size(state->image_info, *width, *height);
  if (state->last_error == code::ok) state->last_error = inflate_image_data(state, walk.image_data, expected, &scratch);
  byte_buffer_release(&walk.image_data);

  if (state->last_error == code::ok && *out == nullptr)
    state->last_error = allocate_output(out, state->image_info.pixel_format, *width, *height);
  if (state->last_error == code::ok) state->last_error = reconstruct_image(*out, scratch.data, *width, *height, state);
  byte_buffer_release(&scratch);
}

}  // namespace velapng
