// The parts convert_pixels is built from (convert.cpp): per-pixel loads and stores for the
// formats no run routine takes, the run routine of the 8-bit RGB and RGBA targets, packed
// sub-byte values, and the colour index tree of palette targets.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoder/records.h"

namespace velapng {

// Pixel i of a packed image as 8-bit RGBA: 16-bit samples give their high byte, lower depths
// are replicated (v * 255 / (2^d - 1)), a colour key matches at full sample precision, and a
// palette index past the palette is opaque black. Unknown formats leave r, g, b, a alone.
void load_pixel_8(uint8_t* r, uint8_t* g, uint8_t* b, uint8_t* a, const uint8_t* in, uint64_t i,
                  const VelaPNGPixelFormat* format);
// Pixel i of a 16-bit grey, RGB, grey+alpha or RGBA image as 16-bit RGBA.
void load_pixel_16(uint16_t* r, uint16_t* g, uint16_t* b, uint16_t* a, const uint8_t* in, uint64_t i,
                   const VelaPNGPixelFormat* format);

struct ColourIndexTree;
// Writes an 8-bit RGBA colour as pixel i: grey targets take red, 16-bit targets repeat the
// byte, sub-byte grey keeps the top bits, palette targets look the colour up in `tree`.
// 0, or 82 when the palette does not hold the colour.
uint32_t store_pixel_8(uint8_t* out, uint64_t i, const VelaPNGPixelFormat* format, const ColourIndexTree* tree,
                       uint8_t r, uint8_t g, uint8_t b, uint8_t a);
void store_pixel_16(uint8_t* out, uint64_t i, const VelaPNGPixelFormat* format, uint16_t r, uint16_t g, uint16_t b,
                    uint16_t a);
// All pixels to 8-bit RGBA (with_alpha) or RGB, deciding on the source format once; the
// values are those of load_pixel_8 (convert_run.cpp, which the direct route's RgbaRows share).
void expand_run_to_8bit(uint8_t* out, uint64_t pixels, bool with_alpha, const uint8_t* in,
                        const VelaPNGPixelFormat* format);
// Writes `value` (masked to `bits` bits) as pixel i of a `bits`-bit packed image (bits 1, 2
// or 4). The first pixel of a byte overwrites it and later ones are ORed in, so writing
// pixels in increasing order needs no cleared buffer.
void store_packed_value(uint8_t* out, uint64_t i, uint32_t bits, uint32_t value);

// Maps an 8-bit RGBA colour to a palette index through 8 levels of 16-way nodes,
// least significant bits first. The root lives inside its owner; nodes are malloc'ed.
struct ColourIndexNode {
  ColourIndexNode* children[16];
  int32_t index;
};

struct ColourIndexTree {
  ColourIndexNode root;
};

void colour_index_tree_init(ColourIndexTree* tree);
// 0, or 83 when a node cannot be allocated (the tree stays releasable).
uint32_t colour_index_tree_insert(ColourIndexTree* tree, uint8_t r, uint8_t g, uint8_t b, uint8_t a, int32_t index);
// The index stored for the colour, or -1.
int32_t colour_index_tree_find(const ColourIndexTree* tree, uint8_t r, uint8_t g, uint8_t b, uint8_t a);
void colour_index_tree_release(ColourIndexTree* tree);
// malloc for tree nodes, alone in colour_index_node_alloc.cpp so tests can replace it.
void* colour_index_node_malloc(std::size_t bytes);

}  // namespace velapng
