// The pixels test binary defines colour_index_node_malloc itself (link-time seam), so a
// test can make the colour index tree's node allocations fail.
#pragma once

#include <cstdint>

namespace testpng {

// While alive, the first `allowed` node allocations succeed and every later one fails.
class NodeAllocationLimit {
 public:
  explicit NodeAllocationLimit(uint64_t allowed);
  ~NodeAllocationLimit();
  NodeAllocationLimit(const NodeAllocationLimit&) = delete;
  NodeAllocationLimit& operator=(const NodeAllocationLimit&) = delete;
};

}  // namespace testpng
