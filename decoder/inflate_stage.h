// The stage both decode routes share: header, size check, chunk walk and the image data
// inflated and held against the size the header predicts.
#pragma once

#include <cstdint>

#include "decoder/decoder.h"

namespace velapng {

// The two ways through the stage; both give the same code for every input.
// reference: the IDAT payloads are appended as the walk meets them, and inflated into a
//   block of ten times the expected size.
// direct: the payloads are joined once the walk has found every chunk whole (a single one
//   is inflated where it lies, several are copied once into a block of exactly their size),
//   and inflated into a block of the expected size plus one byte (a stream too long for it
//   is inflated again into the tenfold block, to tell 91 from 52).
enum class InflateRoute { reference, direct };

// Leaves the code in state->last_error; on success *scratch holds exactly the inflated
// size the header predicts. The caller releases *scratch on every path.
void inflate_chunk_stream(ByteBuffer* scratch, uint32_t* width, uint32_t* height, VelaPNGState* state,
                          const uint8_t* in, uint64_t in_size, InflateRoute route);

}  // namespace velapng
