// expand_run_to_8bit: every decode of a file that is not itself 8-bit RGBA passes through
// here on its way into the host's memory, so this is the product's hot loop.
//
// - The source format is decided once; each kernel then loops over the whole image with no
//   per-pixel calls and no per-pixel format tests. The alpha switch is a template argument.
// - Indexed sources (palette at any depth, grey below 16 bits) are one table lookup per
//   pixel: the table of at most 256 RGBA entries already holds the replicated grey, the
//   colour key and the opaque black of indices past the palette.
// - Sub-byte sources are walked a whole source byte at a time; rows carry no padding, so this
//   is one bit position running across the image.
// - Colour keys are compared on whole samples (16 bits where the source has them) before
//   the high byte is taken.
#include <cstring>

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

// The key's values, or none: samples never exceed 16 bits, so a key that cannot match is
// encoded as a value out of their range.
struct Key {
  uint32_t red, green, blue;
};

Key key_of(const VelaPNGPixelFormat* f) {
  if (!f->colour_key_defined) return {~0u, ~0u, ~0u};
  return {f->colour_key_red, f->colour_key_green, f->colour_key_blue};
}

uint32_t u16_at(const uint8_t* p) { return uint32_t{p[0]} << 8 | p[1]; }

// ---------------------------------------------------------------------------------------
// Indexed sources
// ---------------------------------------------------------------------------------------

struct ColourTable {
  uint8_t rgba[256][4];
};

void build_palette_table(ColourTable* table, const VelaPNGPixelFormat* f) {
  const uint32_t size = f->palette_size < 256 ? f->palette_size : 256;
  if (size != 0) std::memcpy(table->rgba, f->palette, size_t{size} * 4);
  for (uint32_t v = size; v < 256; ++v) {
    const uint8_t opaque_black[4] = {0, 0, 0, 255};
    std::memcpy(table->rgba[v], opaque_black, 4);
  }
}

void build_grey_table(ColourTable* table, const VelaPNGPixelFormat* f) {
  const uint32_t max = (1u << f->bit_depth) - 1;
  const Key key = key_of(f);
  for (uint32_t v = 0; v <= max; ++v) {
    const auto grey = static_cast<uint8_t>(v * 255 / max);
    const uint8_t entry[4] = {grey, grey, grey, static_cast<uint8_t>(v == key.red ? 0 : 255)};
    std::memcpy(table->rgba[v], entry, 4);
  }
}

template <bool kAlpha>
inline void put_entry(uint8_t* out, const ColourTable& table, uint32_t v) {
  std::memcpy(out, table.rgba[v], kOutBytes<kAlpha>);
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

template <bool kAlpha>
void expand_table(uint8_t* out, uint64_t pixels, const uint8_t* in, uint32_t bits, const ColourTable& table) {
  switch (bits) {
    case 1: expand_indexed<1, kAlpha>(out, pixels, in, table); break;
    case 2: expand_indexed<2, kAlpha>(out, pixels, in, table); break;
    case 4: expand_indexed<4, kAlpha>(out, pixels, in, table); break;
    case 8: expand_indexed<8, kAlpha>(out, pixels, in, table); break;
    default: break;
  }
}

// ---------------------------------------------------------------------------------------
// Direct sources
// ---------------------------------------------------------------------------------------

template <bool kAlpha>
void expand_grey_16(uint8_t* out, uint64_t pixels, const uint8_t* in, Key key) {
  for (uint64_t i = 0; i < pixels; ++i, in += 2, out += kOutBytes<kAlpha>)
    put<kAlpha>(out, in[0], in[0], in[0], u16_at(in) == key.red ? 0 : 255);
}

template <bool kAlpha>
void expand_rgb_8(uint8_t* out, uint64_t pixels, const uint8_t* in, Key key) {
  for (uint64_t i = 0; i < pixels; ++i, in += 3, out += kOutBytes<kAlpha>) {
    const bool hit = in[0] == key.red && in[1] == key.green && in[2] == key.blue;
    put<kAlpha>(out, in[0], in[1], in[2], hit ? 0 : 255);
  }
}

template <bool kAlpha>
void expand_rgb_16(uint8_t* out, uint64_t pixels, const uint8_t* in, Key key) {
  for (uint64_t i = 0; i < pixels; ++i, in += 6, out += kOutBytes<kAlpha>) {
    const bool hit = u16_at(in) == key.red && u16_at(in + 2) == key.green && u16_at(in + 4) == key.blue;
    put<kAlpha>(out, in[0], in[2], in[4], hit ? 0 : 255);
  }
}

// Grey+alpha at 8 (kStep 1) or 16 bits (kStep 2): the high bytes of grey and alpha.
template <uint32_t kStep, bool kAlpha>
void expand_grey_alpha(uint8_t* out, uint64_t pixels, const uint8_t* in) {
  for (uint64_t i = 0; i < pixels; ++i, in += 2 * kStep, out += kOutBytes<kAlpha>)
    put<kAlpha>(out, in[0], in[0], in[0], in[kStep]);
}

template <uint32_t kStep, bool kAlpha>
void expand_rgba(uint8_t* out, uint64_t pixels, const uint8_t* in) {
  for (uint64_t i = 0; i < pixels; ++i, in += 4 * kStep, out += kOutBytes<kAlpha>)
    put<kAlpha>(out, in[0], in[kStep], in[2 * kStep], in[3 * kStep]);
}

template <bool kAlpha>
void expand_run(uint8_t* out, uint64_t pixels, const uint8_t* in, const VelaPNGPixelFormat* f) {
  const uint32_t depth = f->bit_depth;
  ColourTable table;
  switch (f->colour_type) {
    case 0:
      if (depth == 16) return expand_grey_16<kAlpha>(out, pixels, in, key_of(f));
      if (depth > 8) return;
      build_grey_table(&table, f);
      return expand_table<kAlpha>(out, pixels, in, depth, table);
    case 3:
      build_palette_table(&table, f);
      return expand_table<kAlpha>(out, pixels, in, depth, table);
    case 2:
      if (depth == 8) return expand_rgb_8<kAlpha>(out, pixels, in, key_of(f));
      if (depth == 16) return expand_rgb_16<kAlpha>(out, pixels, in, key_of(f));
      return;
    case 4:
      if (depth == 8) return expand_grey_alpha<1, kAlpha>(out, pixels, in);
      if (depth == 16) return expand_grey_alpha<2, kAlpha>(out, pixels, in);
      return;
    case 6:
      if (depth == 8) return expand_rgba<1, kAlpha>(out, pixels, in);
      if (depth == 16) return expand_rgba<2, kAlpha>(out, pixels, in);
      return;
    default: return;
  }
}

}  // namespace

void expand_run_to_8bit(uint8_t* out, uint64_t pixels, bool with_alpha, const uint8_t* in,
                        const VelaPNGPixelFormat* format) {
  if (with_alpha)
    expand_run<true>(out, pixels, in, format);
  else
    expand_run<false>(out, pixels, in, format);
}

}  // namespace velapng
