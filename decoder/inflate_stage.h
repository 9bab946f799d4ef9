// The stage both decode routes share: header, size check, chunk walk and the image data
// inflated and held against the size the header predicts.
#pragma once

#include <cstdint>

#include "decoder/decoder.h"

namespace velapng {

// When the IDAT payloads are joined for the inflater: as the walk meets them (each appended
// to a growing buffer), or once the walk has found every chunk whole, when a single payload
// needs no copy and several are copied once into a block of exactly their size.
enum class ImageDataGathering { while_walking, after_walk };

// Leaves the code in state->last_error; on success *scratch holds exactly the inflated
// size the header predicts (in a block of ten times that capacity), to be released by the
// caller on every path.
void inflate_chunk_stream(ByteBuffer* scratch, uint32_t* width, uint32_t* height, VelaPNGState* state,
                          const uint8_t* in, uint64_t in_size, ImageDataGathering gathering);

}  // namespace velapng
