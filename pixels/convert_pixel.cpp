// Per-pixel reading and writing, used where no run routine exists: 16-bit targets, grey
// and grey+alpha targets, palette targets and the 16-to-16 path. Clarity over speed; the
// common targets go through convert_run.cpp instead.
#include "decoder/result_codes.h"
#include "pixels/convert_parts.h"
#include "pixels/pixel_format.h"

namespace velapng {

namespace {

uint32_t sample_16(const uint8_t* in, uint64_t byte) { return uint32_t{in[byte]} << 8 | in[byte + 1]; }

// Sample i of a 1-, 2- or 4-bit image, most significant bits first.
uint32_t packed_sample(const uint8_t* in, uint64_t i, uint32_t bits) {
  const uint64_t bit = i * bits;
  const uint32_t shift = 8 - bits - static_cast<uint32_t>(bit % 8);
  return (uint32_t{in[bit / 8]} >> shift) & ((1u << bits) - 1);
}

bool grey_key_hit(const VelaPNGPixelFormat* f, uint32_t v) { return f->colour_key_defined && v == f->colour_key_red; }

bool rgb_key_hit(const VelaPNGPixelFormat* f, uint32_t r, uint32_t g, uint32_t b) {
  return f->colour_key_defined && r == f->colour_key_red && g == f->colour_key_green && b == f->colour_key_blue;
}

bool is_sub_byte(uint32_t bits) { return bits == 1 || bits == 2 || bits == 4; }

void load_palette_entry(uint8_t* r, uint8_t* g, uint8_t* b, uint8_t* a, const VelaPNGPixelFormat* f, uint32_t index) {
  if (index >= f->palette_size) {
    *r = *g = *b = 0;
    *a = 255;
    return;
  }
  const uint8_t* entry = f->palette + size_t{index} * 4;
  *r = entry[0];
  *g = entry[1];
  *b = entry[2];
  *a = entry[3];
}

void load_grey_8(uint8_t* r, uint8_t* g, uint8_t* b, uint8_t* a, const uint8_t* in, uint64_t i,
                 const VelaPNGPixelFormat* f) {
  uint32_t v = 0;
  uint32_t grey = 0;
  if (f->bit_depth == 8) {
    grey = v = in[i];
  } else if (f->bit_depth == 16) {
    v = sample_16(in, 2 * i);
    grey = v >> 8;
  } else if (is_sub_byte(f->bit_depth)) {
    v = packed_sample(in, i, f->bit_depth);
    grey = v * 255 / ((1u << f->bit_depth) - 1);
  } else {
    return;
  }
  *r = *g = *b = static_cast<uint8_t>(grey);
  *a = grey_key_hit(f, v) ? 0 : 255;
}

void load_rgb_8(uint8_t* r, uint8_t* g, uint8_t* b, uint8_t* a, const uint8_t* in, uint64_t i,
                const VelaPNGPixelFormat* f) {
  uint32_t s[3];
  if (f->bit_depth == 8) {
    for (int c = 0; c < 3; ++c) s[c] = in[3 * i + c];
  } else if (f->bit_depth == 16) {
    for (int c = 0; c < 3; ++c) s[c] = sample_16(in, 2 * (3 * i + c));
  } else {
    return;
  }
  const uint32_t shift = f->bit_depth - 8;  // keep the high byte of 16-bit samples
  *r = static_cast<uint8_t>(s[0] >> shift);
  *g = static_cast<uint8_t>(s[1] >> shift);
  *b = static_cast<uint8_t>(s[2] >> shift);
  *a = rgb_key_hit(f, s[0], s[1], s[2]) ? 0 : 255;
}

void load_palette_8(uint8_t* r, uint8_t* g, uint8_t* b, uint8_t* a, const uint8_t* in, uint64_t i,
                    const VelaPNGPixelFormat* f) {
  if (f->bit_depth == 8) {
    load_palette_entry(r, g, b, a, f, in[i]);
  } else if (is_sub_byte(f->bit_depth)) {
    load_palette_entry(r, g, b, a, f, packed_sample(in, i, f->bit_depth));
  }
}

// Grey+alpha and RGBA: `channels` samples of 1 or 2 bytes, of which the high byte counts.
void load_with_alpha_8(uint8_t* r, uint8_t* g, uint8_t* b, uint8_t* a, const uint8_t* in, uint64_t i,
                       const VelaPNGPixelFormat* f, uint32_t channels) {
  if (f->bit_depth != 8 && f->bit_depth != 16) return;
  const uint64_t step = f->bit_depth / 8;
  const uint8_t* p = in + i * channels * step;
  *r = p[0];
  *g = channels == 4 ? p[step] : p[0];
  *b = channels == 4 ? p[2 * step] : p[0];
  *a = p[(channels - 1) * step];
}

void put_16(uint8_t* out, uint64_t byte, uint16_t value) {
  out[byte] = static_cast<uint8_t>(value >> 8);
  out[byte + 1] = static_cast<uint8_t>(value);
}

uint32_t store_palette_8(uint8_t* out, uint64_t i, const VelaPNGPixelFormat* f, const ColourIndexTree* tree, uint8_t r,
                         uint8_t g, uint8_t b, uint8_t a) {
  const int32_t index = colour_index_tree_find(tree, r, g, b, a);
  if (index < 0) return code::colour_not_in_palette;
  if (f->bit_depth == 8) {
    out[i] = static_cast<uint8_t>(index);
  } else if (is_sub_byte(f->bit_depth)) {
    store_packed_value(out, i, f->bit_depth, static_cast<uint32_t>(index));
  }
  return code::ok;
}

// The 8-bit channels written for one target pixel, each repeated `repeat` times: the byte
// itself at depth 8, v * 257 at depth 16.
void store_channels_8(uint8_t* out, uint64_t i, const uint8_t* channels, uint32_t count, uint32_t repeat) {
  uint8_t* p = out + i * count * repeat;
  for (uint32_t c = 0; c < count; ++c)
    for (uint32_t k = 0; k < repeat; ++k) *p++ = channels[c];
}

}  // namespace

void store_packed_value(uint8_t* out, uint64_t i, uint32_t bits, uint32_t value) {
  const uint32_t last = 8 / bits - 1;  // pixels per byte minus one: 7, 3 or 1
  const uint32_t position = static_cast<uint32_t>(i & last);
  const auto shifted = static_cast<uint8_t>((value & ((1u << bits) - 1)) << ((last - position) * bits));
  uint8_t& byte = out[i * bits / 8];
  byte = position == 0 ? shifted : static_cast<uint8_t>(byte | shifted);
}

void load_pixel_8(uint8_t* r, uint8_t* g, uint8_t* b, uint8_t* a, const uint8_t* in, uint64_t i,
                  const VelaPNGPixelFormat* format) {
  switch (format->colour_type) {
    case 0: load_grey_8(r, g, b, a, in, i, format); break;
    case 2: load_rgb_8(r, g, b, a, in, i, format); break;
    case 3: load_palette_8(r, g, b, a, in, i, format); break;
    case 4: load_with_alpha_8(r, g, b, a, in, i, format, 2); break;
    case 6: load_with_alpha_8(r, g, b, a, in, i, format, 4); break;
    default: break;
  }
}

void load_pixel_16(uint16_t* r, uint16_t* g, uint16_t* b, uint16_t* a, const uint8_t* in, uint64_t i,
                   const VelaPNGPixelFormat* format) {
  const uint32_t channels = channels_of(format->colour_type);
  if (format->colour_type == 3 || channels == 0) return;
  uint32_t s[4];
  for (uint32_t c = 0; c < channels; ++c) s[c] = sample_16(in, (i * channels + c) * 2);
  switch (format->colour_type) {
    case 0:
      *r = *g = *b = static_cast<uint16_t>(s[0]);
      *a = grey_key_hit(format, s[0]) ? 0 : 65535;
      break;
    case 4:
      *r = *g = *b = static_cast<uint16_t>(s[0]);
      *a = static_cast<uint16_t>(s[1]);
      break;
    default:
      *r = static_cast<uint16_t>(s[0]);
      *g = static_cast<uint16_t>(s[1]);
      *b = static_cast<uint16_t>(s[2]);
      *a = channels == 4 ? static_cast<uint16_t>(s[3]) : rgb_key_hit(format, s[0], s[1], s[2]) ? 0 : 65535;
      break;
  }
}

uint32_t store_pixel_8(uint8_t* out, uint64_t i, const VelaPNGPixelFormat* format, const ColourIndexTree* tree,
                       uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  const uint32_t depth = format->bit_depth;
  if (format->colour_type == 3) return store_palette_8(out, i, format, tree, r, g, b, a);
  if (format->colour_type == 0 && is_sub_byte(depth)) {
    store_packed_value(out, i, depth, uint32_t{r} >> (8 - depth));
    return code::ok;
  }
  if (depth != 8 && depth != 16) return code::ok;
  const uint8_t rgba[4] = {r, g, b, a};
  const uint8_t grey_alpha[2] = {r, a};
  switch (format->colour_type) {
    case 0: store_channels_8(out, i, rgba, 1, depth / 8); break;
    case 2: store_channels_8(out, i, rgba, 3, depth / 8); break;
    case 4: store_channels_8(out, i, grey_alpha, 2, depth / 8); break;
    case 6: store_channels_8(out, i, rgba, 4, depth / 8); break;
    default: break;
  }
  return code::ok;
}

void store_pixel_16(uint8_t* out, uint64_t i, const VelaPNGPixelFormat* format, uint16_t r, uint16_t g, uint16_t b,
                    uint16_t a) {
  const uint16_t rgba[4] = {r, g, b, a};
  const uint16_t grey_alpha[2] = {r, a};
  const uint32_t channels = channels_of(format->colour_type);
  if (format->colour_type == 3 || channels == 0) return;
  const uint16_t* values = format->colour_type == 4 ? grey_alpha : rgba;
  for (uint32_t c = 0; c < channels; ++c) put_16(out, (i * channels + c) * 2, values[c]);
}

}  // namespace velapng
