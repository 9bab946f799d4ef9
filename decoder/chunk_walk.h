// The chunk walk (chunk_walk.cpp), the first half of the inflate stage: every chunk after the
// header, each known one handed to its reader, the IDAT payloads to the route's policy.
#pragma once

#include <cstdint>

#include "decoder/inflate_stage.h"
#include "decoder/records.h"

namespace velapng {

// Walks the chunks of data->in from the first one after the header up to IEND, counting the
// image data in data->size and leaving data->end where it stopped. Returns the code that
// ended the walk (0 for a clean end, or for running out of input when that is allowed).
uint32_t walk_chunks(VelaPNGState* state, uint64_t in_size, const InflatePolicy& policy, ImageData* data);

}  // namespace velapng
