// What the benchmark needs to know about a PNG before timing it: its header, the image data
// of all IDAT chunks joined (the input of the libdeflate floor) and the size that data
// inflates to. Read by a walker of its own, so the floor does not lean on the decoder it
// bounds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velabench {

struct PngLayout {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bit_depth = 0;
  uint32_t colour_type = 0;
  uint32_t interlace = 0;
  std::vector<uint8_t> image_data;  // the IDAT payloads, in order, joined
  uint64_t inflated_size = 0;       // filter bytes included, every Adam7 pass
};

// Fills `layout` from a whole PNG in memory; false with a reason for anything that is not a
// PNG whose chunks lead to IEND, though a valid header still gives the size fields and the
// inflated size. CRCs are not checked (the decoders under test do that).
// Without `join_image_data` the IDAT payloads are not copied (image_data stays empty).
bool read_png_layout(const uint8_t* data, size_t size, PngLayout* layout, std::string* error,
                     bool join_image_data = true);

// Bytes of the filtered scanlines the header promises: for each row (of each non-empty
// Adam7 pass) one filter byte plus ceil(width * bits per pixel / 8).
uint64_t filtered_size(uint32_t width, uint32_t height, uint32_t bits_per_pixel, bool adam7);

// Rows per filter type (None, Sub, Up, Average, Paeth, then any type byte above 4) in the
// inflated image data of `layout`, which holds at least `layout.inflated_size` bytes.
std::array<uint64_t, 6> filter_histogram(const PngLayout& layout, const uint8_t* inflated);

// "rgb8", "grey-alpha16", "palette4" and so on.
std::string format_name(uint32_t colour_type, uint32_t bit_depth);

}  // namespace velabench
