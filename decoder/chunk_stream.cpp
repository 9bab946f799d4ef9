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
#include "decoder/inflate_stage.h"
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
  InflateRoute route;
  ByteBuffer image_data;         // the payloads copied as they are met (reference route)
  uint64_t image_data_size = 0;  // their total, on either route
  uint64_t end = 0;              // where the walk stopped: after IEND, or where input ran out
  uint32_t position = kBeforePalette;
};

uint32_t append_image_data(Walk* walk, const uint8_t* data, uint32_t length) {
  const uint64_t old_size = walk->image_data_size;
  if (!checked_add(old_size, length, &walk->image_data_size)) return code::image_data_overflow;
  walk->position = kAfterImageData;
  if (walk->route == InflateRoute::direct) return code::ok;  // gathered after the walk
  if (!byte_buffer_resize(&walk->image_data, walk->image_data_size)) return code::out_of_memory;
  if (length != 0) std::memcpy(walk->image_data.data + old_size, data, length);
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
  uint64_t& offset = walk->end;
  offset = kFirstChunkOffset;
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
    offset += uint64_t{length} + 12;
    if (chunk_type_is(chunk, "IEND")) return code::ok;
  }
}

// The payloads of the IDAT chunks before `end`, back to back, gathered after a walk that
// found every chunk there whole. A single non-empty payload is used where it lies; several
// are copied into one block of exactly their size, which *block then owns.
uint32_t gather_image_data(const Walk& walk, const uint8_t** data, uint8_t** block) {
  const auto each_payload = [&walk](auto visit) {
    for (uint64_t offset = kFirstChunkOffset; offset < walk.end;) {
      const uint8_t* chunk = walk.in + offset;
      if (chunk_length(chunk) != 0 && chunk_type_is(chunk, "IDAT")) visit(chunk_data(chunk), chunk_length(chunk));
      offset += uint64_t{chunk_length(chunk)} + 12;
    }
  };
  uint32_t payloads = 0;
  each_payload([&](const uint8_t* payload, uint32_t) {
    if (payloads++ == 0) *data = payload;
  });
  if (payloads <= 1) return code::ok;
  if (walk.image_data_size > SIZE_MAX) return code::out_of_memory;
  *block = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(walk.image_data_size)));
  if (*block == nullptr) return code::out_of_memory;
  uint8_t* at = *block;
  each_payload([&at](const uint8_t* payload, uint32_t length) {
    std::memcpy(at, payload, length);
    at += length;
  });
  *data = *block;
  return code::ok;
}

// The inflated size the header predicts: every row one filter byte plus its packed bytes,
// for the whole image or for each non-empty Adam7 pass.
uint64_t expected_inflated_size(const VelaPNGImageInfo& info, uint32_t width, uint32_t height) {
  const uint32_t bpp = bits_per_pixel(info.pixel_format.colour_type, info.pixel_format.bit_depth);
  if (info.interlace_method == 0) return uint64_t{height} * (packed_size(width, bpp) + 1);
  return compute_pass_layout(width, height, bpp).filtered_start[7];
}

// A block of `capacity` bytes for the inflated data (none for nothing); 83 when there is none.
uint32_t allocate_scratch(ByteBuffer* scratch, uint64_t capacity) {
  byte_buffer_release(scratch);
  if (capacity == 0) return code::ok;
  if (capacity > SIZE_MAX) return code::out_of_memory;
  scratch->data = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(capacity)));
  if (scratch->data == nullptr) return code::out_of_memory;
  scratch->capacity = capacity;
  return code::ok;
}

// Inflates the gathered image data into a scratch block and holds the result against the
// expected size. The reference block is ten times that size, so an over-long stream is
// inflated far enough to be told (91) from one too big for any block (52). The direct route
// offers the expected size and one byte more, which already tells a stream of the right
// size from any other; only a stream too long for it is inflated again into the tenfold
// block, for the same code. A block the size of the image can be recycled by the allocator
// from one decode to the next, where a tenfold one is fresh pages every time.
uint32_t inflate_image_data(VelaPNGState* state, const uint8_t* image_data, uint64_t image_data_size, uint64_t expected,
                            InflateRoute route, ByteBuffer* scratch) {
  uint64_t tenfold = 0;
  if (!checked_mul(expected, kScratchFactor, &tenfold)) return code::out_of_memory;
  uint64_t capacity = route == InflateRoute::direct ? expected + 1 : tenfold;
  uint32_t result = allocate_scratch(scratch, capacity);
  const VelaPNGInflateOptions& inflate = state->decoder.inflate;
  if (result == code::ok && inflate.zlib_hook == nullptr) result = code::no_zlib_hook;
  if (result == code::ok)
    result = inflate.zlib_hook(&scratch->data, &scratch->size, image_data, image_data_size, &inflate, capacity);
  if (result == code::zlib_output_too_big && capacity < tenfold) {
    capacity = tenfold;
    result = allocate_scratch(scratch, capacity);
    if (result == code::ok)
      result = inflate.zlib_hook(&scratch->data, &scratch->size, image_data, image_data_size, &inflate, capacity);
  }
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

void inflate_chunk_stream(ByteBuffer* scratch, uint32_t* width, uint32_t* height, VelaPNGState* state,
                          const uint8_t* in, uint64_t in_size, InflateRoute route) {
  if (state->header_checked == 0) {
    state->last_error = inspect_header(width, height, state, in, in_size);
    if (state->last_error != code::ok) return;
  }
  if (raw_size_overflows(*width, *height, &state->image_info.pixel_format, &state->output_format)) {
    state->last_error = code::image_too_big;
    return;
  }

  Walk walk{state, in, in_size, route, {}};
  if (state->last_error == code::ok) state->last_error = walk_chunks(&walk);
  const uint8_t* image_data = walk.image_data.data;
  uint8_t* gathered = nullptr;
  if (state->last_error == code::ok && route == InflateRoute::direct)
    state->last_error = gather_image_data(walk, &image_data, &gathered);

  const uint64_t expected = expected_inflated_size(state->image_info, *width, *height);
  if (state->last_error == code::ok)
    state->last_error = inflate_image_data(state, image_data, walk.image_data_size, expected, route, scratch);
  std::free(gathered);
  byte_buffer_release(&walk.image_data);
}

void decode_chunk_stream(uint8_t** out, uint32_t* width, uint32_t* height, VelaPNGState* state, const uint8_t* in,
                         uint64_t in_size) {
  ByteBuffer scratch;
  inflate_chunk_stream(&scratch, width, height, state, in, in_size, InflateRoute::reference);
  if (state->last_error == code::ok && *out == nullptr)
    state->last_error = allocate_output(out, state->image_info.pixel_format, *width, *height);
  if (state->last_error == code::ok) state->last_error = reconstruct_image(*out, scratch.data, *width, *height, state);
  byte_buffer_release(&scratch);
}

}  // namespace velapng
