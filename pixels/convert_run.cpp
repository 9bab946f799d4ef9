// expand_run_to_8bit: every decode of a file that is not itself 8-bit RGBA passes through
// here on its way into the host's memory, so this is the product's hot loop.
//
// - The source format is decided once; each kernel then loops over the whole run with no
//   per-pixel calls and no per-pixel format tests. The alpha switch is a template argument.
// - RGBA targets run SSE2 block loops (convert_run_sse2.cpp) and finish the run with the
//   scalar loop here, which is also the whole implementation elsewhere. RGB targets are
//   scalar: nothing in the plug-in asks for them. 8-bit RGBA and RGB sources that only need
//   copying are copied.
// - BGRA, the plug-in's order, costs nothing extra where the photographs are: indexed
//   sources swap their table once, 8-bit RGB and RGBA swap in the same pass that moves the
//   pixels, grey sources have nothing to swap. Only 16-bit colour swaps the row it has just
//   written, while it is still in the cache.
// - Indexed sources (palette at any depth, grey below 8 bits) are one table lookup per
//   pixel: a table of at most 256 RGBA entries already holds the replicated grey, the colour
//   key and the opaque black of indices past the palette.
// - Sub-byte sources are walked a whole source byte at a time; rows carry no padding, so this
//   is one bit position running across the image.
// - Colour keys are compared on whole samples (16 bits where the source has them) before the
//   high byte is taken.
//
// Measured (x86-64, GCC 12 -O2, runs of 64K pixels in cache, ns per pixel to RGBA, scalar
// loop alone -> with the block loops): RGB8 4.1 -> 0.30, grey8 0.36 -> 0.10, grey+alpha8
// 0.68 -> 0.21, palette8 0.36 -> 0.25, palette4 0.34 -> 0.32, grey1 0.68 -> 0.30, RGBA16
// 0.76 -> 0.18, RGB16 2.5 -> 0.43, grey16 1.1 -> 0.21. Copying the same output takes 0.10.
#include <cstring>
#include <utility>

#include "pixels/convert_parts.h"
#include "pixels/convert_run_sse2.h"
#include "pixels/pixels.h"

namespace velapng {

namespace {

template <bool kAlpha>
constexpr uint64_t kOutBytes = kAlpha ? 4 : 3;

template <bool kAlpha>
inline void put(uint8_t* out, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  out[0] = r;
  out[1] = g;
  out[2] = b;
  if constexpr (kAlpha) out[3] = a;
}

// The key's values for the scalar loops. Samples never exceed 16 bits, so "no key" is a
// value no sample can equal.
struct Key {
  uint32_t red, green, blue;
};

Key scalar_key(const VelaPNGPixelFormat* f) {
  if (!f->colour_key_defined) return {~0u, ~0u, ~0u};
  return {f->colour_key_red, f->colour_key_green, f->colour_key_blue};
}

// The block loops compare in sample-sized lanes, so a key beyond the sample range, which can
// never match, is passed as no key at all. Grey keys compare red only.
sse2::BlockKey block_key(const VelaPNGPixelFormat* f, uint32_t max_sample) {
  bool fits = f->colour_key_red <= max_sample;
  if (f->colour_type == 2) fits = fits && f->colour_key_green <= max_sample && f->colour_key_blue <= max_sample;
  return {f->colour_key_defined != 0 && fits, f->colour_key_red, f->colour_key_green, f->colour_key_blue};
}

uint32_t u16_at(const uint8_t* p) { return uint32_t{p[0]} << 8 | p[1]; }

// ---------------------------------------------------------------------------------------
// Indexed sources
// ---------------------------------------------------------------------------------------

using ColourTable = uint8_t[256][4];

// Only the 2^depth entries a sample can address are filled: a 16x16 icon's whole decode
// costs a few hundred 256-entry table fills.
void build_palette_table(ColourTable& table, const VelaPNGPixelFormat* f, ChannelOrder order) {
  const uint32_t entries = f->bit_depth < 8 ? 1u << f->bit_depth : 256;
  const uint32_t size = f->palette_size < entries ? f->palette_size : entries;
  if (size != 0) std::memcpy(table, f->palette, size_t{size} * 4);
  if (order == ChannelOrder::bgra) {
    for (uint32_t v = 0; v < size; ++v) std::swap(table[v][0], table[v][2]);
  }
  const uint8_t opaque_black[4] = {0, 0, 0, 255};
  for (uint32_t v = size; v < entries; ++v) std::memcpy(table[v], opaque_black, 4);
}

void build_grey_table(ColourTable& table, const VelaPNGPixelFormat* f) {
  const uint32_t max = (1u << f->bit_depth) - 1;
  const Key key = scalar_key(f);
  for (uint32_t v = 0; v <= max; ++v) {
    const auto grey = static_cast<uint8_t>(v * 255 / max);
    const uint8_t entry[4] = {grey, grey, grey, static_cast<uint8_t>(v == key.red ? 0 : 255)};
    std::memcpy(table[v], entry, 4);
  }
}

// True for the sources that go through a table: palettes, and grey below 8 bits.
bool is_indexed(const VelaPNGPixelFormat* f) {
  return f->colour_type == 3 || (f->colour_type == 0 && f->bit_depth < 8);
}

template <bool kAlpha>
inline void put_entry(uint8_t* out, const ColourTable& table, uint32_t v) {
  std::memcpy(out, table[v], kOutBytes<kAlpha>);
}

// Pixels of kBits bits (1, 2, 4 or 8), most significant first, through the table.
template <uint32_t kBits, bool kAlpha>
void expand_indexed(uint8_t* out, uint64_t pixels, const uint8_t* in, const ColourTable& table) {
  constexpr uint32_t kPerByte = 8 / kBits;
  constexpr uint32_t kMask = (1u << kBits) - 1;
  const uint64_t whole_bytes = pixels / kPerByte;
  for (uint64_t byte = 0; byte < whole_bytes; ++byte) {
    const uint32_t bits = in[byte];
    for (uint32_t k = 0; k < kPerByte; ++k) {
      put_entry<kAlpha>(out, table, (bits >> (8 - kBits * (k + 1))) & kMask);
      out += kOutBytes<kAlpha>;
    }
  }
  const uint32_t rest = static_cast<uint32_t>(pixels % kPerByte);
  for (uint32_t k = 0; k < rest; ++k) {
    put_entry<kAlpha>(out, table, (uint32_t{in[whole_bytes]} >> (8 - kBits * (k + 1))) & kMask);
    out += kOutBytes<kAlpha>;
  }
}

// The block loop stops on a source byte boundary, where the scalar loop takes over.
template <bool kAlpha>
void expand_table(uint8_t* out, uint64_t pixels, const uint8_t* in, uint32_t bits, const ColourTable& table) {
  uint64_t i = 0;
  if constexpr (kAlpha) i = sse2::indexed_to_rgba8(out, in, pixels, bits, table);
  out += i * kOutBytes<kAlpha>;
  in += i * bits / 8;
  pixels -= i;
  switch (bits) {
    case 1: expand_indexed<1, kAlpha>(out, pixels, in, table); break;
    case 2: expand_indexed<2, kAlpha>(out, pixels, in, table); break;
    case 4: expand_indexed<4, kAlpha>(out, pixels, in, table); break;
    case 8: expand_indexed<8, kAlpha>(out, pixels, in, table); break;
    default: break;
  }
}

// ---------------------------------------------------------------------------------------
// Direct sources: the block loop first (RGBA targets), then the scalar loop from pixel i.
// ---------------------------------------------------------------------------------------

template <bool kAlpha>
void expand_grey_8(uint8_t* out, uint64_t pixels, const uint8_t* in, const VelaPNGPixelFormat* f) {
  uint64_t i = 0;
  if constexpr (kAlpha) i = sse2::grey8_to_rgba8(out, in, pixels, block_key(f, 255));
  const Key key = scalar_key(f);
  for (; i < pixels; ++i) put<kAlpha>(out + i * kOutBytes<kAlpha>, in[i], in[i], in[i], in[i] == key.red ? 0 : 255);
}

template <bool kAlpha>
void expand_grey_16(uint8_t* out, uint64_t pixels, const uint8_t* in, const VelaPNGPixelFormat* f) {
  uint64_t i = 0;
  if constexpr (kAlpha) i = sse2::grey16_to_rgba8(out, in, pixels, block_key(f, 65535));
  const Key key = scalar_key(f);
  for (; i < pixels; ++i) {
    const uint8_t* p = in + 2 * i;
    put<kAlpha>(out + i * kOutBytes<kAlpha>, p[0], p[0], p[0], u16_at(p) == key.red ? 0 : 255);
  }
}

// Without alpha the key changes nothing, and RGB to RGB is a copy. kBgra writes blue first.
template <bool kAlpha, bool kBgra = false>
void expand_rgb_8(uint8_t* out, uint64_t pixels, const uint8_t* in, const VelaPNGPixelFormat* f) {
  if constexpr (!kAlpha) {
    std::memcpy(out, in, pixels * 3);
    return;
  }
  uint64_t i = sse2::rgb8_to_rgba8(out, in, pixels, block_key(f, 255), kBgra);
  const Key key = scalar_key(f);
  for (; i < pixels; ++i) {
    const uint8_t* p = in + 3 * i;
    const bool hit = p[0] == key.red && p[1] == key.green && p[2] == key.blue;
    put<kAlpha>(out + i * kOutBytes<kAlpha>, p[kBgra ? 2 : 0], p[1], p[kBgra ? 0 : 2], hit ? 0 : 255);
  }
}

template <bool kAlpha>
void expand_rgb_16(uint8_t* out, uint64_t pixels, const uint8_t* in, const VelaPNGPixelFormat* f) {
  uint64_t i = 0;
  if constexpr (kAlpha) i = sse2::rgb16_to_rgba8(out, in, pixels, block_key(f, 65535));
  const Key key = scalar_key(f);
  for (; i < pixels; ++i) {
    const uint8_t* p = in + 6 * i;
    const bool hit = u16_at(p) == key.red && u16_at(p + 2) == key.green && u16_at(p + 4) == key.blue;
    put<kAlpha>(out + i * kOutBytes<kAlpha>, p[0], p[2], p[4], hit ? 0 : 255);
  }
}

// Grey+alpha at 8 (kStep 1) or 16 bits (kStep 2): the high bytes of grey and alpha.
template <uint32_t kStep, bool kAlpha>
void expand_grey_alpha(uint8_t* out, uint64_t pixels, const uint8_t* in) {
  uint64_t i = 0;
  if constexpr (kAlpha && kStep == 1) i = sse2::grey_alpha8_to_rgba8(out, in, pixels);
  if constexpr (kAlpha && kStep == 2) i = sse2::grey_alpha16_to_rgba8(out, in, pixels);
  for (; i < pixels; ++i) {
    const uint8_t* p = in + i * 2 * kStep;
    put<kAlpha>(out + i * kOutBytes<kAlpha>, p[0], p[0], p[0], p[kStep]);
  }
}

// 8-bit RGBA to RGBA (a source whose record differs only by a suggested palette) is a copy.
template <uint32_t kStep, bool kAlpha>
void expand_rgba(uint8_t* out, uint64_t pixels, const uint8_t* in) {
  if constexpr (kAlpha && kStep == 1) {
    std::memcpy(out, in, pixels * 4);
    return;
  }
  uint64_t i = 0;
  if constexpr (kAlpha && kStep == 2) i = sse2::rgba16_to_rgba8(out, in, pixels);
  for (; i < pixels; ++i) {
    const uint8_t* p = in + i * 4 * kStep;
    put<kAlpha>(out + i * kOutBytes<kAlpha>, p[0], p[kStep], p[size_t{2} * kStep], p[size_t{3} * kStep]);
  }
}

// RGBA to BGRA: bytes 0 and 2 of every pixel exchanged; `out` may be `in`.
void swap_red_blue(uint8_t* out, const uint8_t* in, uint64_t pixels) {
  for (uint64_t i = sse2::swap_red_blue(out, in, pixels); i < pixels; ++i) {
    const uint8_t* p = in + 4 * i;
    put<true>(out + 4 * i, p[2], p[1], p[0], p[3]);
  }
}

// RGB targets: nothing in the plug-in asks for them, so they run the scalar loops alone.
void expand_run_to_rgb(uint8_t* out, uint64_t pixels, const uint8_t* in, const VelaPNGPixelFormat* f) {
  const uint32_t depth = f->bit_depth;
  ColourTable table;
  if (is_indexed(f)) {
    if (f->colour_type == 3) build_palette_table(table, f, ChannelOrder::rgba);
    else build_grey_table(table, f);
    return expand_table<false>(out, pixels, in, depth, table);
  }
  switch (f->colour_type * 100 + depth) {
    case 8: return expand_grey_8<false>(out, pixels, in, f);
    case 16: return expand_grey_16<false>(out, pixels, in, f);
    case 208: return expand_rgb_8<false>(out, pixels, in, f);
    case 216: return expand_rgb_16<false>(out, pixels, in, f);
    case 408: return expand_grey_alpha<1, false>(out, pixels, in);
    case 416: return expand_grey_alpha<2, false>(out, pixels, in);
    case 608: return expand_rgba<1, false>(out, pixels, in);
    case 616: return expand_rgba<2, false>(out, pixels, in);
    default: return;
  }
}

// Runs the RGBA kernel of the source; true when the source's red and blue must still be
// exchanged for BGRA (grey sources, whose three colour bytes are equal, never need it).
bool expand_rgba_kernel(const RgbaRows& rows, uint8_t* out, const uint8_t* in, uint64_t pixels) {
  const VelaPNGPixelFormat* f = rows.format;
  const bool bgra = rows.order == ChannelOrder::bgra;
  if (is_indexed(f)) {
    expand_table<true>(out, pixels, in, f->bit_depth, rows.table);  // the table is in output order
    return false;
  }
  switch (f->colour_type * 100 + f->bit_depth) {
    case 8: expand_grey_8<true>(out, pixels, in, f); return false;
    case 16: expand_grey_16<true>(out, pixels, in, f); return false;
    case 208:
      if (bgra) expand_rgb_8<true, true>(out, pixels, in, f);
      else expand_rgb_8<true>(out, pixels, in, f);
      return false;
    case 216: expand_rgb_16<true>(out, pixels, in, f); return bgra;
    case 408: expand_grey_alpha<1, true>(out, pixels, in); return false;
    case 416: expand_grey_alpha<2, true>(out, pixels, in); return false;
    case 608:
      if (bgra) swap_red_blue(out, in, pixels);
      else std::memcpy(out, in, pixels * 4);
      return false;
    case 616: expand_rgba<2, true>(out, pixels, in); return bgra;
    default: return false;
  }
}

}  // namespace

void rgba_rows_prepare(RgbaRows* rows, const VelaPNGPixelFormat* format, ChannelOrder order) {
  rows->format = format;
  rows->order = order;
  if (!is_indexed(format)) return;
  // Grey entries read the same in either order.
  if (format->colour_type == 3) build_palette_table(rows->table, format, order);
  else build_grey_table(rows->table, format);
}

void rgba_rows_convert(const RgbaRows& rows, uint8_t* out, const uint8_t* in, uint64_t pixels) {
  if (pixels == 0) return;  // the buffers may then be null
  if (expand_rgba_kernel(rows, out, in, pixels)) swap_red_blue(out, out, pixels);
}

void expand_run_to_8bit(uint8_t* out, uint64_t pixels, bool with_alpha, const uint8_t* in,
                        const VelaPNGPixelFormat* format) {
  if (pixels == 0) return;
  if (!with_alpha) return expand_run_to_rgb(out, pixels, in, format);
  RgbaRows rows;
  rgba_rows_prepare(&rows, format, ChannelOrder::rgba);
  rgba_rows_convert(rows, out, in, pixels);
}

}  // namespace velapng
