// Pixel reconstruction: scanline un-filtering, padding removal and Adam7 merging, and
// colour conversion between packed images.
//
// A packed image holds w * h pixels in row order as one continuous bit stream, most
// significant bit first, rows not padded to whole bytes, 16-bit samples high byte first.
// Bits per pixel and packed sizes are the decoder's shared helpers (decoder.h).
// Nothing in this subsystem allocates except the colour index tree of palette targets;
// un-filtering and de-interlacing work in place in the inflated buffer.
#pragma once

#include <cstdint>

#include "decoder/decoder.h"

namespace velapng {

// ---------------------------------------------------------------------------------------
// Scanline un-filtering (unfilter.cpp, unfilter_rows.cpp; paths in unfilter_scalar.h, unfilter_sse2.h)
// ---------------------------------------------------------------------------------------

// Reconstructs `height` rows of one filter byte plus ceil(width * bpp / 8) bytes from `in`
// and stores them back to back at `out`, which may equal `in` or lie before it.
// 0, or code::bad_filter_type for a filter-type byte above 4 (then `out` is not written).
// A height or width of 0 touches neither buffer.
uint32_t unfilter_image(uint8_t* out, uint8_t* in, uint32_t width, uint32_t height, uint32_t bpp);
// Reconstructs every row of the block in place (row r at block + r * stride, its filter
// byte first); filter-type bytes stay where they are. 0, code::bad_filter_type, or
// code::bad_colour_type for a pixel width no PNG format has (not 1, 2, 3, 4, 6 or 8 bytes).
uint32_t unfilter_rows(uint8_t* block, uint32_t rows, uint32_t bytes_per_pixel, uint64_t stride);
// The same for a band that continues a block: `above` is the reconstructed data of the row
// before the band's first row, or null when the band is the start of an image or a pass.
uint32_t unfilter_band(uint8_t* block, uint32_t rows, uint32_t bytes_per_pixel, uint64_t stride, const uint8_t* above);

// ---------------------------------------------------------------------------------------
// Interlace and padding (interlace.cpp, row_padding.cpp)
// ---------------------------------------------------------------------------------------

// The Adam7 pattern, passes 1 to 7: the first column and row of each pass, and the steps
// between its columns and its rows.
inline constexpr uint32_t kAdam7StartColumn[7] = {0, 4, 0, 2, 0, 1, 0};
inline constexpr uint32_t kAdam7StartRow[7] = {0, 0, 4, 0, 2, 0, 1};
inline constexpr uint32_t kAdam7ColumnStep[7] = {8, 8, 4, 4, 2, 2, 1};
inline constexpr uint32_t kAdam7RowStep[7] = {8, 8, 8, 4, 4, 2, 2};

// Where each Adam7 pass lies at each stage of reconstruction inside the inflated buffer.
struct PassLayout {
  uint32_t pass_width[7];
  uint32_t pass_height[7];
  uint64_t filtered_start[8];  // with filter-type bytes; [7] is the whole inflated size
  uint64_t padded_start[8];    // filter bytes gone, rows still padded to whole bytes
  uint64_t packed_start[8];    // rows packed bit to bit
};

PassLayout compute_pass_layout(uint32_t width, uint32_t height, uint32_t bpp);

// Un-filters, strips row padding and merges Adam7 passes of the inflated data `in`
// (overwritten as work space) into the packed image `out`, which must be all zero.
uint32_t reconstruct_image(uint8_t* out, uint8_t* in, uint32_t width, uint32_t height, const VelaPNGState* state);
// Copies `rows` rows of `out_row_bits` bits, spaced `in_row_bits` apart in `in`, to `out`
// without gaps; `out` may equal `in` or lie before it.
void strip_row_padding(uint8_t* out, const uint8_t* in, uint64_t out_row_bits, uint64_t in_row_bits, uint32_t rows);
// Scatters the packed passes of `in` into the packed image `out` (all zero on entry).
void merge_passes(uint8_t* out, const uint8_t* in, uint32_t width, uint32_t height, uint32_t bpp);

// ---------------------------------------------------------------------------------------
// Colour conversion (convert.cpp, convert_run.cpp, convert_run_sse2.cpp, convert_pixel.cpp,
// colour_index_tree.cpp, colour_index_node_alloc.cpp)
// ---------------------------------------------------------------------------------------

// Converts w * h pixels from the packed image `in` in `source` format to `out` in `target`
// format; `out` holds packed_size(w * h, target bpp) bytes and does not overlap `in`. Sub-byte
// targets need no clearing. Results:
//   0   success;
//   56  either format is not a colour type and depth PNG allows (nothing is written);
//   82  a colour is missing from the target palette (the pixels before it are written);
//   83  a colour index tree node could not be allocated (nothing is written).
// Allocates nothing but tree nodes of palette targets, all freed before it returns.
uint32_t convert_pixels(uint8_t* out, const uint8_t* in, const VelaPNGPixelFormat* target,
                        const VelaPNGPixelFormat* source, uint32_t width, uint32_t height);

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
// values are those of load_pixel_8. The hot path of every decode (convert_run.cpp).
void expand_run_to_8bit(uint8_t* out, uint64_t pixels, bool with_alpha, const uint8_t* in,
                        const VelaPNGPixelFormat* format);
// Rows of one source format to 8-bit RGBA or BGRA, with the values of load_pixel_8: prepared
// once per image (an indexed source's table is built then, already in the output order),
// then applied to each row, so a row costs only its pixels. `format` must outlive it.
struct RgbaRows {
  const VelaPNGPixelFormat* format;
  ChannelOrder order;
  uint8_t table[256][4];  // palettes and grey below 8 bits
};
void rgba_rows_prepare(RgbaRows* rows, const VelaPNGPixelFormat* format, ChannelOrder order);
// `pixels` pixels from `in`, a sub-byte row starting at the top bits of its first byte.
void rgba_rows_convert(const RgbaRows& rows, uint8_t* out, const uint8_t* in, uint64_t pixels);
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
