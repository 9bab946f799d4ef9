// The plug-in's decode: the pixels and result codes of decode_rgba, in one pass from the
// inflated rows to the caller's memory.
//
// Why it is faster than decoding a packed image and converting it:
// - No packed image: rows are un-filtered in place in the inflated block, a band of a few
//   rows at a time, and each band is converted while it is still in the cache, straight
//   into the output in the byte order the caller wants (so the plug-in's red/blue exchange
//   is no separate pass either). The block of the packed image is never allocated, zeroed,
//   faulted in and read again.
// - A file with one IDAT chunk is inflated where it lies. Several are moved together inside
//   an owned input (kCompactingInflate, inflate_policies.cpp), the plug-in's file loads, so
//   they too are inflated from the file's own block; from borrowed bytes they are copied once,
//   after the walk, into a block of exactly their size (kDirectInflate). The inflated data
//   gets a block of its own size (plus one byte), not ten times that: the allocator can hand
//   the same memory to the next decode instead of fresh pages, which cost a fifth of a
//   photograph's decode in page faults.
// - Adam7 takes the same road pass by pass; a pass row is converted into a small row block
//   and its pixels are placed at their columns (adam7_place_row, as the reference route's
//   merge places them).
//
// The output is written only once nothing can fail any more: every filter-type byte is
// checked before the first row is reconstructed, and the conversion to 8-bit RGBA cannot
// fail for a format that header inspection let through. So a refused file leaves the
// caller's memory as it was, as decode_rgba does.
#include <cstdlib>

#include "decoder/decoder.h"
#include "decoder/inflate_stage.h"
#include "pixels/pixels.h"

namespace velapng {

namespace {

// Rows un-filtered before they are converted: enough bytes to keep the un-filtering's
// chains of consecutive rows busy, few enough that the band is still in the cache when the
// conversion reads it.
constexpr uint64_t kBandBytes = uint64_t{64} * 1024;

// One block of filtered rows (the image, or one Adam7 pass) in the inflated data.
struct RowBlock {
  uint8_t* data;  // the first row's filter-type byte
  uint32_t width;
  uint32_t height;
  uint64_t stride;  // filter-type byte and packed row
};

RowBlock row_block(uint8_t* data, uint32_t width, uint32_t height, uint32_t bpp) {
  return {data, width, height, packed_size(width, bpp) + 1};
}

bool filter_types_valid(const RowBlock& block) {
  for (uint64_t r = 0; r < block.height; ++r) {
    if (block.data[r * block.stride] > 4) return false;
  }
  return true;
}

// Un-filters the block a band at a time and hands every finished row to `take(y, row)`.
template <typename Take>
void reconstruct_rows(const RowBlock& block, uint32_t bpp, Take take) {
  const uint32_t bytes_per_pixel = (bpp + 7) / 8;
  const uint64_t band = kBandBytes / block.stride < 2 ? 2 : kBandBytes / block.stride;
  for (uint64_t y = 0; y < block.height; y += band) {
    const auto rows = static_cast<uint32_t>(block.height - y < band ? block.height - y : band);
    uint8_t* first = block.data + y * block.stride;
    // Filter types are checked beforehand, so this cannot fail.
    unfilter_band(first, rows, bytes_per_pixel, block.stride, y == 0 ? nullptr : first - block.stride + 1);
    for (uint32_t r = 0; r < rows; ++r) take(y + r, first + r * block.stride + 1);
  }
}

uint32_t convert_progressive(uint8_t* out, uint8_t* inflated, uint32_t width, uint32_t height, uint32_t bpp,
                             const RgbaRows& rgba) {
  const RowBlock block = row_block(inflated, width, height, bpp);
  if (!filter_types_valid(block)) return code::bad_filter_type;
  const uint64_t out_stride = uint64_t{width} * 4;
  reconstruct_rows(block, bpp,
                   [&](uint64_t y, const uint8_t* row) { rgba_rows_convert(rgba, out + y * out_stride, row, width); });
  return code::ok;
}

uint32_t convert_adam7(uint8_t* out, uint8_t* inflated, uint32_t width, uint32_t height, uint32_t bpp,
                       const RgbaRows& rgba) {
  const PassLayout layout = compute_pass_layout(width, height, bpp);
  RowBlock passes[7];
  for (int p = 0; p < 7; ++p) {
    passes[p] = row_block(inflated + layout.filtered_start[p], layout.pass_width[p], layout.pass_height[p], bpp);
    if (!filter_types_valid(passes[p])) return code::bad_filter_type;
  }
  // Pass rows are at most the image's width, and narrower for every pass but the last.
  auto* row = static_cast<uint8_t*>(std::malloc(size_t{width} * 4));
  if (row == nullptr) return code::out_of_memory;
  const uint64_t out_stride = uint64_t{width} * 4;
  for (int p = 0; p < 7; ++p) {
    reconstruct_rows(passes[p], bpp, [&](uint64_t y, const uint8_t* filtered) {
      rgba_rows_convert(rgba, row, filtered, passes[p].width);
      adam7_place_row<4>(out + adam7_row(p, y) * out_stride, row, passes[p].width, p);
    });
  }
  std::free(row);
  return code::ok;
}

}  // namespace

uint32_t decode_direct(uint8_t* out, uint32_t* width, uint32_t* height, const VelaPNGInput& in, ChannelOrder order) {
  VelaPNGState state;
  state_init_without_codecs(&state);
  uint32_t result = inspect_header(width, height, &state, in.bytes, in.size);
  if (result == code::ok) result = decode_inspected(out, *width, *height, &state, in, order);
  state_release(&state);
  return result;
}

uint32_t decode_inspected(uint8_t* out, uint32_t width, uint32_t height, VelaPNGState* state, const VelaPNGInput& in,
                          ChannelOrder order) {
  // Only the decompressor: the compressor of a full state_init is used by nothing.
  if (state->decoder.inflate.decompressor == nullptr) inflate_options_init(&state->decoder.inflate);
  ByteBuffer inflated;
  const InflatePolicy& policy = in.movable != nullptr ? kCompactingInflate : kDirectInflate;
  inflate_chunk_stream(&inflated, &width, &height, state, in, policy);
  uint32_t result = state->last_error;
  if (result == code::ok) {
    const VelaPNGPixelFormat& format = state->image_info.pixel_format;
    const uint32_t bpp = bits_per_pixel(format.colour_type, format.bit_depth);
    RgbaRows rgba;
    rgba_rows_prepare(&rgba, &format, order);
    result = state->image_info.interlace_method == 0 ? convert_progressive(out, inflated.data, width, height, bpp, rgba)
                                                     : convert_adam7(out, inflated.data, width, height, bpp, rgba);
  }
  byte_buffer_release(&inflated);
  return result;
}

}  // namespace velapng
