// The pixel subsystem: from inflated scanlines to pixels in the caller's format. It reads the
// decoder's records (decoder/records.h) and answers in its result codes, and calls nothing of
// the decoder's.
//
// A packed image holds w * h pixels in row order as one continuous bit stream, most
// significant bit first, rows not padded to whole bytes, 16-bit samples high byte first.
// Nothing here allocates except the colour index tree of palette targets; un-filtering
// works in place in the inflated buffer.
#pragma once

#include <cstdint>

#include "decoder/records.h"
#include "decoder/result_codes.h"
#include "pixels/adam7.h"         // the Adam7 pattern, pass layout and pixel placement, for both routes
#include "pixels/pixel_format.h"  // bits per pixel, packed sizes, the colour-type/depth rule, format records

namespace velapng {

// ---------------------------------------------------------------------------------------
// Both routes: un-filtering in place (unfilter_rows.cpp; paths in unfilter_scalar.h,
// unfilter_sse2.h)
// ---------------------------------------------------------------------------------------

// Reconstructs every row of the block in place (row r at block + r * stride, its filter
// byte first); filter-type bytes stay where they are. 0, code::bad_filter_type, or
// code::bad_colour_type for a pixel width no PNG format has (not 1, 2, 3, 4, 6 or 8 bytes).
uint32_t unfilter_rows(uint8_t* block, uint32_t rows, uint32_t bytes_per_pixel, uint64_t stride);
// The same for a band that continues a block: `above` is the reconstructed data of the row
// before the band's first row, or null when the band is the start of an image or a pass.
uint32_t unfilter_band(uint8_t* block, uint32_t rows, uint32_t bytes_per_pixel, uint64_t stride, const uint8_t* above);

// ---------------------------------------------------------------------------------------
// The reference route (decode_rgba, decode_with_state): the whole image un-filtered into a
// packed image in the file's format, then converted into any format a caller asks for. It
// is the plain statement of every rule, the one the conformance suite holds to libpng.
// (unfilter.cpp, row_padding.cpp, reconstruct.cpp, convert.cpp; convert_parts.h)
// ---------------------------------------------------------------------------------------

// Reconstructs `height` rows of one filter byte plus ceil(width * bpp / 8) bytes from `in`
// and stores them back to back at `out`, which may equal `in` or lie before it.
// 0, or code::bad_filter_type for a filter-type byte above 4 (then `out` is not written).
// A height or width of 0 touches neither buffer.
uint32_t unfilter_image(uint8_t* out, uint8_t* in, uint32_t width, uint32_t height, uint32_t bpp);
// Copies `rows` rows of `out_row_bits` bits, spaced `in_row_bits` apart in `in`, to `out`
// without gaps; `out` may equal `in` or lie before it.
void strip_row_padding(uint8_t* out, const uint8_t* in, uint64_t out_row_bits, uint64_t in_row_bits, uint32_t rows);
// Scatters the packed passes of `in` into the packed image `out` (all zero on entry).
void merge_passes(uint8_t* out, const uint8_t* in, uint32_t width, uint32_t height, uint32_t bpp);
// Un-filters, strips row padding and merges Adam7 passes of the inflated data `in`
// (overwritten as work space) into the packed image `out`, which must be all zero.
uint32_t reconstruct_image(uint8_t* out, uint8_t* in, uint32_t width, uint32_t height, const VelaPNGState* state);

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

// ---------------------------------------------------------------------------------------
// The direct route (decode_direct, the plug-in's loads): bands of rows un-filtered with
// unfilter_band and converted while still in the cache, straight into the caller's 8-bit
// RGBA or BGRA, with no packed image between. It exists for speed and memory; the fuzz
// target holds it to the reference route byte for byte. (convert_run.cpp)
// ---------------------------------------------------------------------------------------

// Rows of one source format to 8-bit RGBA or BGRA, with the values the reference route's
// conversion gives: prepared once per image (an indexed source's table is built then,
// already in the output order), then applied to each row, so a row costs only its pixels.
// `format` must outlive it.
struct RgbaRows {
  const VelaPNGPixelFormat* format;
  ChannelOrder order;
  uint8_t table[256][4];  // palettes and grey below 8 bits
};
void rgba_rows_prepare(RgbaRows* rows, const VelaPNGPixelFormat* format, ChannelOrder order);
// `pixels` pixels from `in`, a sub-byte row starting at the top bits of its first byte.
void rgba_rows_convert(const RgbaRows& rows, uint8_t* out, const uint8_t* in, uint64_t pixels);

}  // namespace velapng
