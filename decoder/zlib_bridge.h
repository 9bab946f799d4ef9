// The zlib hooks the options records carry: libdeflate's one-shot inflate (zlib_bridge.cpp),
// which every zlib stream of a file goes through, and its compress (encoder_side.cpp), which
// only the encoder side holds.
#pragma once

#include <cstdint>

#include "decoder/records.h"

namespace velapng {

// 0, 20 (bad data) or 52 (does not fit / short); 83 when the options' decompressor could
// not be allocated.
uint32_t inflate_hook(uint8_t** out, uint64_t* out_size, const uint8_t* in, uint64_t in_size,
                      const VelaPNGInflateOptions* options, uint64_t capacity);
// Nothing in the decoder calls it.
uint32_t deflate_hook(uint8_t** out, uint64_t* out_size, const uint8_t* in, uint64_t in_size,
                      const VelaPNGDeflateOptions* options, uint64_t capacity);

}  // namespace velapng
