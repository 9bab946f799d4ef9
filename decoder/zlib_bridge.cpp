// The zlib bridge: every zlib stream of a file goes through libdeflate's one-shot inflate.
// libdeflate checks the zlib header and always verifies the Adler-32 trailer.
#include "decoder/zlib_bridge.h"

#include <libdeflate.h>

#include "decoder/result_codes.h"

namespace velapng {

// Without a decompressor (its allocation failed) the hook must not reach libdeflate;
// that failure is a failed allocation, so it reports 83.
uint32_t inflate_hook(uint8_t** out, uint64_t* out_size, const uint8_t* in, uint64_t in_size,
                      const VelaPNGInflateOptions* options, uint64_t capacity) {
  if (options->decompressor == nullptr) return code::out_of_memory;
  size_t produced = 0;
  const libdeflate_result result = libdeflate_zlib_decompress_ex(
      options->decompressor, in, static_cast<size_t>(in_size), *out, static_cast<size_t>(capacity), nullptr, &produced);
  *out_size = produced;
  switch (result) {
    case LIBDEFLATE_SUCCESS: return code::ok;
    case LIBDEFLATE_SHORT_OUTPUT:
    case LIBDEFLATE_INSUFFICIENT_SPACE: return code::zlib_output_too_big;
    case LIBDEFLATE_BAD_DATA:
    default: return code::zlib_bad_data;
  }
}

}  // namespace velapng
