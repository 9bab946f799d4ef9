// The chunk walk: every chunk after the header, each known one handed to its reader, unknown
// ones kept or refused, the IDAT payloads counted and handed to the route's policy.
//
// Positions are kept as 64-bit offsets from the start of the input rather than pointers, so
// a huge length field can never form a pointer outside the input: every bound is a plain
// comparison against the input size.
#include "decoder/chunk_walk.h"

#include "decoder/checked_math.h"
#include "decoder/chunk.h"
#include "decoder/readers.h"
#include "decoder/result_codes.h"

namespace velapng {

namespace {

constexpr uint32_t kMaxChunkLength = 0x7FFFFFFF;

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
  const InflatePolicy& policy;
  ImageData* data;
  uint32_t position = kBeforePalette;
};

uint32_t meet_image_data(Walk* walk, const uint8_t* payload, uint32_t length) {
  if (!checked_add(walk->data->size, length, &walk->data->size)) return code::image_data_overflow;
  walk->position = kAfterImageData;
  return walk->policy.meet(walk->data, payload, length);
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
  if (chunk_type_is(chunk, "IDAT")) return meet_image_data(walk, data, length);
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

// One chunk the walk has found whole: its reader (or the unknown-chunk rule), then its CRC.
uint32_t handle_chunk(Walk* walk, const uint8_t* chunk) {
  bool known = true;
  const uint32_t result = handle_known(walk, chunk, &known);
  if (result != code::ok) return result;
  if (!known) return handle_unknown(walk, chunk);
  if (walk->state->decoder.skip_crc_check == 0 && chunk_crc_mismatch(chunk)) return code::crc_mismatch;
  return code::ok;
}

}  // namespace

uint32_t walk_chunks(VelaPNGState* state, uint64_t in_size, const InflatePolicy& policy, ImageData* data) {
  const VelaPNGDecodeOptions& options = state->decoder;
  const uint32_t missing_end = options.allow_missing_end ? code::ok : code::chunk_truncated;
  const uint32_t length_too_big = options.allow_missing_end ? code::ok : code::chunk_length_too_big;
  Walk walk{state, policy, data};
  uint64_t& offset = data->end;
  offset = kFirstChunkOffset;
  for (;;) {
    if (offset > in_size || in_size - offset < 12) return missing_end;
    const uint8_t* chunk = data->in + offset;
    const uint32_t length = chunk_length(chunk);
    if (length > kMaxChunkLength) return length_too_big;
    if (in_size - offset - 12 < length) return code::chunk_past_end;
    const uint32_t result = handle_chunk(&walk, chunk);
    if (result != code::ok) return result;
    offset += uint64_t{length} + 12;
    if (chunk_type_is(chunk, "IEND")) return code::ok;
  }
}

}  // namespace velapng
