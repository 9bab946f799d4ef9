// The chunks that depend on the palette or the colour type: PLTE, tRNS and bKGD.
#include <cstdlib>

#include "decoder/chunk.h"
#include "decoder/readers.h"
#include "decoder/result_codes.h"
#include "pixels/pixel_format.h"

namespace velapng {

namespace {

uint32_t read_palette_alpha(VelaPNGPixelFormat* format, const uint8_t* data, uint64_t length) {
  if (length > format->palette_size) return code::trns_exceeds_palette;
  for (uint64_t i = 0; i < length; ++i) format->palette[4 * i + 3] = data[i];
  return code::ok;
}

void set_colour_key(VelaPNGPixelFormat* format, uint32_t red, uint32_t green, uint32_t blue) {
  format->colour_key_defined = 1;
  format->colour_key_red = red;
  format->colour_key_green = green;
  format->colour_key_blue = blue;
}

void set_background(VelaPNGImageInfo* info, uint32_t red, uint32_t green, uint32_t blue) {
  info->background_defined = 1;
  info->background_red = red;
  info->background_green = green;
  info->background_blue = blue;
}

uint32_t read_palette_background(VelaPNGImageInfo* info, const uint8_t* data, uint64_t length) {
  if (length != 1) return code::bkgd_palette_size;
  if (data[0] >= info->pixel_format.palette_size) return code::bkgd_index;
  set_background(info, data[0], data[0], data[0]);
  return code::ok;
}

}  // namespace

// The block is allocated before the entry limit is tested, so an oversized palette stays
// in the record with its size until the state is released; the decode stops at the 38.
uint32_t read_plte(VelaPNGPixelFormat* format, const uint8_t* data, uint64_t length) {
  pixel_format_release(format);
  const uint64_t count = length / 3;
  format->palette_size = static_cast<uint32_t>(count);
  if (count == 0) return code::ok;
  format->palette = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(count) * 4));
  if (format->palette == nullptr) {
    format->palette_size = 0;
    return code::out_of_memory;
  }
  if (count > 256) return code::palette_too_big;
  for (uint64_t i = 0; i < count; ++i) {
    uint8_t* entry = format->palette + 4 * i;
    entry[0] = data[3 * i];
    entry[1] = data[3 * i + 1];
    entry[2] = data[3 * i + 2];
    entry[3] = 255;
  }
  return code::ok;
}

uint32_t read_trns(VelaPNGPixelFormat* format, const uint8_t* data, uint64_t length) {
  switch (format->colour_type) {
    case 3: return read_palette_alpha(format, data, length);
    case 0:
      if (length != 2) return code::chunk_truncated;
      set_colour_key(format, read_u16_be(data), read_u16_be(data), read_u16_be(data));
      return code::ok;
    case 2:
      if (length != 6) return code::trns_rgb_size;
      set_colour_key(format, read_u16_be(data), read_u16_be(data + 2), read_u16_be(data + 4));
      return code::ok;
    default: return code::trns_colour_type;
  }
}

// A colour type no header admits stores nothing and is not an error: the header check has
// already refused such files, and a background is never worth failing a decode over.
uint32_t read_bkgd(VelaPNGImageInfo* info, const uint8_t* data, uint64_t length) {
  switch (info->pixel_format.colour_type) {
    case 3: return read_palette_background(info, data, length);
    case 0:
    case 4:
      if (length != 2) return code::bkgd_grey_size;
      set_background(info, read_u16_be(data), read_u16_be(data), read_u16_be(data));
      return code::ok;
    case 2:
    case 6:
      if (length != 6) return code::bkgd_rgb_size;
      set_background(info, read_u16_be(data), read_u16_be(data + 2), read_u16_be(data + 4));
      return code::ok;
    default: return code::ok;
  }
}

}  // namespace velapng
