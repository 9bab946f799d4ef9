// libpng asked for the output our decoder gives: 8-bit RGBA, 16-bit samples cut to their
// high byte, low-depth grey scaled up, the palette expanded, tRNS as alpha, no gamma. Header
// only, so that the test oracle and the benchmark's libpng peer share it without either
// build depending on the other.
#pragma once

#include <png.h>

#include <cstdint>
#include <cstring>

namespace testpng {

// A PNG in memory, read through libpng's read callback (png_set_read_fn with read_memory).
struct MemoryReader {
  const uint8_t* data;
  size_t size;
  size_t offset;
};

inline void read_memory(png_structp png, png_bytep out, png_size_t size) {
  auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (size > reader->size - reader->offset) png_error(png, "read past the end");
  std::memcpy(out, reader->data + reader->offset, size);
  reader->offset += size;
}

// Reads the header and sets up the transformations; afterwards every row is width * 4 bytes.
inline void start_rgba8_read(png_structp png, png_infop info, MemoryReader* reader) {
  png_set_read_fn(png, reader, read_memory);
  png_read_info(png, info);
  const png_byte colour_type = png_get_color_type(png, info);
  if (colour_type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colour_type == PNG_COLOR_TYPE_GRAY || colour_type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  png_set_expand(png);    // low-depth grey to 8 bits, tRNS to alpha
  png_set_strip_16(png);  // keeps the high byte
  png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
}

}  // namespace testpng
