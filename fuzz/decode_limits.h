// Size limits of the decode targets, shared by the targets and the decode mutator.
#pragma once

#include <cstdint>

namespace velapng_fuzz {

// Images of more pixels than this are skipped after the header inspection, before the
// decode allocates anything. The decode's largest block is the inflate stage's scratch, ten
// times the inflated size: at 16-bit RGBA that is 8 bytes a pixel plus a filter byte a row,
// so 2^18 pixels cost at most 21 MiB of scratch, 2 MiB of packed image and 2 MiB of output.
// Under ASan one such decode stays in the low milliseconds, and far below the runs'
// -malloc_limit_mb.
inline constexpr uint64_t kMaxPixels = uint64_t{1} << 18;

// What the mutator inflates at most when it repairs or rewrites image data: the scratch
// room the decode itself offers for the largest image above (ten times 2^18 * 8 + 2^18).
inline constexpr uint64_t kMaxInflated = 10 * (kMaxPixels * 8 + kMaxPixels);

}  // namespace velapng_fuzz
