// The inflate stage both routes share: header, size check, the chunk walk, the image data
// joined by the route's policy, and one inflate held against the size the header predicts.
#include "decoder/inflate_stage.h"

#include <cstdlib>

#include "decoder/checked_math.h"
#include "decoder/chunk_walk.h"
#include "decoder/decoder.h"

namespace velapng {

namespace {

// The inflated image gets ten times the room it should need, so an over-long stream is
// inflated far enough to be recognised as such (91) rather than cut off as too big (52).
constexpr uint64_t kScratchFactor = 10;

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

// One inflate into a fresh block of `capacity` bytes.
uint32_t inflate_into(const VelaPNGInflateOptions& inflate, const uint8_t* data, uint64_t size, uint64_t capacity,
                      ByteBuffer* scratch) {
  const uint32_t result = allocate_scratch(scratch, capacity);
  if (result != code::ok) return result;
  if (inflate.zlib_hook == nullptr) return code::no_zlib_hook;
  return inflate.zlib_hook(&scratch->data, &scratch->size, data, size, &inflate, capacity);
}

// Inflates the joined image data into a scratch block of the policy's first room, and once
// more into the tenfold block when the stream was too long for a smaller one; then holds the
// result against the expected size.
uint32_t inflate_image_data(const VelaPNGState& state, const uint8_t* data, uint64_t size, uint64_t expected,
                            const InflatePolicy& policy, ByteBuffer* scratch) {
  uint64_t tenfold = 0;
  if (!checked_mul(expected, kScratchFactor, &tenfold)) return code::out_of_memory;
  const uint64_t room = policy.first_room(expected, tenfold);
  const VelaPNGInflateOptions& inflate = state.decoder.inflate;
  uint32_t result = inflate_into(inflate, data, size, room, scratch);
  if (result == code::zlib_output_too_big && room < tenfold)
    result = inflate_into(inflate, data, size, tenfold, scratch);
  if (result != code::ok) return result;
  return scratch->size == expected ? code::ok : code::image_size_mismatch;
}

}  // namespace

void inflate_chunk_stream(ByteBuffer* scratch, uint32_t* width, uint32_t* height, VelaPNGState* state,
                          const VelaPNGInput& in, const InflatePolicy& policy) {
  if (state->header_checked == 0) {
    state->last_error = inspect_header(width, height, state, in.bytes, in.size);
    if (state->last_error != code::ok) return;
  }
  if (raw_size_overflows(*width, *height, &state->image_info.pixel_format, &state->output_format)) {
    state->last_error = code::image_too_big;
    return;
  }

  ImageData image_data;
  image_data.in = in.bytes;
  image_data.movable = in.movable;
  if (state->last_error == code::ok) state->last_error = walk_chunks(state, in.size, policy, &image_data);
  const uint8_t* joined = nullptr;
  uint8_t* block = nullptr;
  if (state->last_error == code::ok) state->last_error = policy.join(image_data, &joined, &block);

  const uint64_t expected = expected_inflated_size(state->image_info, *width, *height);
  if (state->last_error == code::ok)
    state->last_error = inflate_image_data(*state, joined, image_data.size, expected, policy, scratch);
  std::free(block);
  byte_buffer_release(&image_data.copied);
}

}  // namespace velapng
