// An independent model of packed images for the conversion tests: pixels held as plain
// sample values, a bit packer of their own, and the expected conversions written straight
// from the format's rules (replication of low depths, high byte of 16-bit samples, colour
// keys on whole samples, opaque black past the palette). Nothing here calls the decoder.
#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "decoder/records.h"

namespace testpng {

using Samples = std::array<uint32_t, 4>;  // the first `channels` are used
using Rgba8 = std::array<uint8_t, 4>;

struct Format {
  Format(uint32_t type = 6, uint32_t depth = 8, std::vector<uint8_t> entries = {})
      : colour_type(type), bit_depth(depth), palette(std::move(entries)) {}

  uint32_t colour_type;
  uint32_t bit_depth;
  std::vector<uint8_t> palette;  // 4 bytes per entry
  bool keyed = false;
  uint32_t key[3] = {0, 0, 0};

  uint32_t channels() const;
  uint32_t entries() const { return static_cast<uint32_t>(palette.size() / 4); }
  // A non-owning record for the code under test (never released).
  velapng::VelaPNGPixelFormat record() const;
  std::string name() const;
};

// Samples packed most significant bit first, rows unpadded, 16-bit samples high byte
// first, the last byte zero-padded.
std::vector<uint8_t> pack(const Format& format, const std::vector<Samples>& pixels);

Rgba8 expected_rgba8(const Format& format, const Samples& pixel);
Samples expected_rgba16(const Format& format, const Samples& pixel);  // 16-bit sources, full precision
// The samples an RGBA colour of `bits`-bit values (8, or 16 for a 16-bit target) becomes in
// a grey, grey+alpha, RGB or RGBA target.
Samples target_samples(const Format& target, const Samples& rgba, uint32_t bits);

// std::mt19937's result type is wider than 32 bits on some targets.
inline uint32_t draw(std::mt19937& random) { return static_cast<uint32_t>(random()); }

// Random pixels. With a key, a third of them equal the key and a third miss it by the
// lowest bit of one sample (keys beyond the sample range contribute their low bits);
// palette indices run a little past the palette.
std::vector<Samples> random_pixels(const Format& format, uint64_t count, std::mt19937& random);
std::vector<uint8_t> random_palette(uint32_t entries, std::mt19937& random);

}  // namespace testpng
