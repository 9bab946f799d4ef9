#include "tests/pixels/pixel_model.h"

namespace testpng {

namespace {

// v at depth d as 8 bits: low depths replicate (v * 255 / (2^d - 1)), 16 bits keep the high byte.
uint8_t to_8(uint32_t v, uint32_t depth) {
  if (depth == 16) return static_cast<uint8_t>(v >> 8);
  return static_cast<uint8_t>(v * 255 / ((1u << depth) - 1));
}

bool key_hit(const Format& f, const Samples& s) {
  if (!f.keyed) return false;
  if (f.colour_type == 0) return s[0] == f.key[0];
  return s[0] == f.key[0] && s[1] == f.key[1] && s[2] == f.key[2];
}

}  // namespace

uint32_t Format::channels() const {
  static const uint32_t by_type[7] = {1, 0, 3, 1, 2, 0, 4};
  return colour_type < 7 ? by_type[colour_type] : 0;
}

velapng::VelaPNGPixelFormat Format::record() const {
  velapng::VelaPNGPixelFormat r;
  r.colour_type = colour_type;
  r.bit_depth = bit_depth;
  r.palette = palette.empty() ? nullptr : const_cast<uint8_t*>(palette.data());
  r.palette_size = entries();
  r.colour_key_defined = keyed ? 1 : 0;
  r.colour_key_red = key[0];
  r.colour_key_green = key[1];
  r.colour_key_blue = key[2];
  return r;
}

std::string Format::name() const {
  return "type " + std::to_string(colour_type) + " depth " + std::to_string(bit_depth) + (keyed ? " keyed" : "") +
         (palette.empty() ? "" : " palette " + std::to_string(entries()));
}

std::vector<uint8_t> pack(const Format& format, const std::vector<Samples>& pixels) {
  std::vector<uint8_t> out;
  const uint32_t channels = format.channels();
  if (format.bit_depth % 8 == 0) {  // whole bytes, high byte first
    for (const Samples& s : pixels)
      for (uint32_t c = 0; c < channels; ++c)
        for (uint32_t k = format.bit_depth; k >= 8; k -= 8) out.push_back(static_cast<uint8_t>(s[c] >> (k - 8)));
    return out;
  }
  uint64_t bit = 0;
  for (const Samples& s : pixels)
    for (uint32_t c = 0; c < channels; ++c)
      for (uint32_t k = format.bit_depth; k-- > 0; ++bit) {
        if (bit % 8 == 0) out.push_back(0);
        if ((s[c] >> k) & 1) out.back() |= static_cast<uint8_t>(0x80u >> (bit % 8));
      }
  return out;
}

Rgba8 expected_rgba8(const Format& f, const Samples& s) {
  const uint32_t d = f.bit_depth;
  switch (f.colour_type) {
    case 0: return {to_8(s[0], d), to_8(s[0], d), to_8(s[0], d), uint8_t(key_hit(f, s) ? 0 : 255)};
    case 2: return {to_8(s[0], d), to_8(s[1], d), to_8(s[2], d), uint8_t(key_hit(f, s) ? 0 : 255)};
    case 3:
      if (s[0] >= f.entries()) return {0, 0, 0, 255};
      return {f.palette[4 * s[0]], f.palette[4 * s[0] + 1], f.palette[4 * s[0] + 2], f.palette[4 * s[0] + 3]};
    case 4: return {to_8(s[0], d), to_8(s[0], d), to_8(s[0], d), to_8(s[1], d)};
    default: return {to_8(s[0], d), to_8(s[1], d), to_8(s[2], d), to_8(s[3], d)};
  }
}

Samples expected_rgba16(const Format& f, const Samples& s) {
  const uint32_t keyed_alpha = key_hit(f, s) ? 0 : 65535;
  switch (f.colour_type) {
    case 0: return {s[0], s[0], s[0], keyed_alpha};
    case 2: return {s[0], s[1], s[2], keyed_alpha};
    case 4: return {s[0], s[0], s[0], s[1]};
    default: return s;
  }
}

// Grey takes red; 8 bits widen by repeating the byte and narrow by keeping the top bits.
Samples target_samples(const Format& t, const Samples& c, uint32_t bits) {
  const auto at = [&](uint32_t v) -> uint32_t {
    if (bits == 16) return v;
    if (t.bit_depth == 16) return v * 257u;
    return v >> (8 - t.bit_depth);
  };
  switch (t.colour_type) {
    case 0: return {at(c[0]), 0, 0, 0};
    case 2: return {at(c[0]), at(c[1]), at(c[2]), 0};
    case 4: return {at(c[0]), at(c[3]), 0, 0};
    default: return {at(c[0]), at(c[1]), at(c[2]), at(c[3])};
  }
}

std::vector<Samples> random_pixels(const Format& f, uint64_t count, std::mt19937& random) {
  const uint32_t max = (1u << f.bit_depth) - 1;
  const uint32_t index_max = f.entries() + 2 < max ? f.entries() + 2 : max;
  std::vector<Samples> pixels(count);
  for (Samples& s : pixels) {
    for (uint32_t c = 0; c < f.channels(); ++c) s[c] = draw(random) & (f.colour_type == 3 ? 0xFF : max);
    if (f.colour_type == 3) s[0] = s[0] % (index_max + 1);
    const uint32_t mode = draw(random) % 3;
    if (!f.keyed || mode == 0) continue;
    for (uint32_t c = 0; c < f.channels(); ++c) s[c] = f.key[c] & max;
    if (mode == 2) s[draw(random) % f.channels()] ^= 1;
  }
  return pixels;
}

std::vector<uint8_t> random_palette(uint32_t entries, std::mt19937& random) {
  std::vector<uint8_t> palette(size_t{entries} * 4);
  for (uint8_t& byte : palette) byte = static_cast<uint8_t>(draw(random));
  return palette;
}

}  // namespace testpng
