// The one place colour index tree nodes come from. It sits alone in its translation unit
// on purpose: a test binary that defines colour_index_node_malloc itself is linked without
// this archive member, and so can make node allocations fail (a link-time seam that costs
// the product nothing). Keep anything else out of this file, or that link breaks.
#include <cstdlib>

#include "pixels/convert_parts.h"

namespace velapng {

void* colour_index_node_malloc(size_t bytes) { return std::malloc(bytes); }

}  // namespace velapng
