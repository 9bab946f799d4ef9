// Decoding into the host's image: the shared body of the two load exports and the rotated
// path.
#pragma once

#include <cstdint>

#include "decoder/decoder.h"
#include "plugin/plugin.h"

namespace velapng {

// Whether the host also learns the layout (nStride and its header): only an unrotated
// load from a file reports it.
enum class LayoutReport { skip, write };

// 0, 90, 180 and 270 are the quarter turns the loads know.
bool is_supported_angle(int32_t nAngle);

// Inspects `png` with `state` (from state_init_without_codecs), then decodes it with the
// same state, inspected once, into the host's image as stored or turned. A file load hands
// over the block it read the file into (owned_input), a memory load lends the host's bytes.
// 1 on success, 0 on any failure.
int32_t load_into_host(HostImage* pImage, const VelaPNGInput& png, int32_t nAngle, VelaPNGState* state,
                       LayoutReport layout);

// Decodes `png`, whose header `state` has inspected as width x height, into a temporary
// bitmap and lets the companion rotate function write the turned image into the host's
// memory. Touches nothing else of the host's. 1 or 0.
int32_t load_rotated(HostImage* pImage, const VelaPNGInput& png, uint32_t width, uint32_t height, int32_t nAngle,
                     VelaPNGState* state);

}  // namespace velapng
