// The reference route's own stage (decode_reference.cpp), which its tests drive directly.
#pragma once

#include <cstdint>

#include "decoder/records.h"

namespace velapng {

// Walks the chunks after the header, inflates the image data and reconstructs the pixels
// in the file's own format into *out (allocated zero-filled when *out is null; the block
// then belongs to the caller). The result is left in state->last_error only.
void decode_chunk_stream(uint8_t** out, uint32_t* width, uint32_t* height, VelaPNGState* state, const uint8_t* in,
                         uint64_t in_size);

}  // namespace velapng
