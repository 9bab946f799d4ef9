#include "tests/pixels/node_allocation_seam.h"

#include <cstdlib>

#include "pixels/pixels.h"

namespace {

bool limited = false;
uint64_t remaining = 0;

}  // namespace

// Replaces the product's definition: this object file is linked before the pixels library,
// whose own member then stays out of the binary.
void* velapng::colour_index_node_malloc(std::size_t bytes) {
  if (limited) {
    if (remaining == 0) return nullptr;
    --remaining;
  }
  return std::malloc(bytes);
}

namespace testpng {

NodeAllocationLimit::NodeAllocationLimit(uint64_t allowed) {
  limited = true;
  remaining = allowed;
}

NodeAllocationLimit::~NodeAllocationLimit() { limited = false; }

}  // namespace testpng
