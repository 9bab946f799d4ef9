// Colour index tree of palette targets: 8 levels of 16-way nodes, one level per bit
// position of the four channels, least significant bits first. A lookup is a fixed walk of
// 8 links, and a palette of k colours needs at most 8k nodes.
#include <cstdlib>

#include "decoder/result_codes.h"
#include "pixels/convert_parts.h"

namespace velapng {

namespace {

constexpr int kLevels = 8;

// The link taken at `level`: bit `level` of red, green, blue and alpha, red the highest.
unsigned child_slot(uint8_t r, uint8_t g, uint8_t b, uint8_t a, int level) {
  return ((r >> level) & 1u) << 3 | ((g >> level) & 1u) << 2 | ((b >> level) & 1u) << 1 | ((a >> level) & 1u);
}

void node_init(ColourIndexNode* node) {
  for (ColourIndexNode*& child : node->children) child = nullptr;
  node->index = -1;
}

// Depth is bounded by the 8 levels, so recursion stays shallow.
void release_children(ColourIndexNode* node) {
  for (ColourIndexNode*& child : node->children) {
    if (child == nullptr) continue;
    release_children(child);
    std::free(child);
    child = nullptr;
  }
}

}  // namespace

void colour_index_tree_init(ColourIndexTree* tree) { node_init(&tree->root); }

// A failed allocation leaves the path built so far linked into the tree, so one release
// still frees everything.
uint32_t colour_index_tree_insert(ColourIndexTree* tree, uint8_t r, uint8_t g, uint8_t b, uint8_t a, int32_t index) {
  ColourIndexNode* node = &tree->root;
  for (int level = 0; level < kLevels; ++level) {
    ColourIndexNode*& child = node->children[child_slot(r, g, b, a, level)];
    if (child == nullptr) {
      child = static_cast<ColourIndexNode*>(colour_index_node_malloc(sizeof(ColourIndexNode)));
      if (child == nullptr) return code::out_of_memory;
      node_init(child);
    }
    node = child;
  }
  node->index = index;  // a repeated colour keeps the later index
  return code::ok;
}

int32_t colour_index_tree_find(const ColourIndexTree* tree, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  const ColourIndexNode* node = &tree->root;
  for (int level = 0; level < kLevels; ++level) {
    node = node->children[child_slot(r, g, b, a, level)];
    if (node == nullptr) return -1;
  }
  return node->index;
}

void colour_index_tree_release(ColourIndexTree* tree) { release_children(&tree->root); }

}  // namespace velapng
