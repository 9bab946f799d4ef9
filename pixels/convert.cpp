// convert_pixels: chooses between a plain copy, the run routine of the common 8-bit
// targets and the per-pixel paths, and owns the colour index tree of palette targets.
#include <cstring>

#include "pixels/convert_parts.h"
#include "pixels/pixels.h"

namespace velapng {

namespace {

// A palette target's colours: its own palette, or the source's when it has none. The tree
// takes at most 2^depth entries, as an index cannot address more.
struct TargetPalette {
  const uint8_t* entries;
  uint32_t size;
  bool borrowed;  // taken from the source
};

TargetPalette target_palette(const VelaPNGPixelFormat* target, const VelaPNGPixelFormat* source) {
  if (target->palette_size != 0) return {target->palette, target->palette_size, false};
  return {source->palette, source->palette_size, true};
}

uint32_t build_tree(ColourIndexTree* tree, const TargetPalette& palette, uint32_t depth) {
  const uint32_t limit = 1u << depth;
  const uint32_t count = palette.size < limit ? palette.size : limit;
  for (uint32_t index = 0; index < count; ++index) {
    const uint8_t* e = palette.entries + size_t{index} * 4;
    const uint32_t result = colour_index_tree_insert(tree, e[0], e[1], e[2], e[3], static_cast<int32_t>(index));
    if (result != code::ok) return result;
  }
  return code::ok;
}

void convert_16_to_16(uint8_t* out, const uint8_t* in, const VelaPNGPixelFormat* target,
                      const VelaPNGPixelFormat* source, uint64_t pixels) {
  for (uint64_t i = 0; i < pixels; ++i) {
    uint16_t r = 0, g = 0, b = 0, a = 0;
    load_pixel_16(&r, &g, &b, &a, in, i, source);
    store_pixel_16(out, i, target, r, g, b, a);
  }
}

uint32_t convert_per_pixel(uint8_t* out, const uint8_t* in, const VelaPNGPixelFormat* target,
                           const VelaPNGPixelFormat* source, const ColourIndexTree* tree, uint64_t pixels) {
  uint8_t r = 0, g = 0, b = 0, a = 0;
  for (uint64_t i = 0; i < pixels; ++i) {
    load_pixel_8(&r, &g, &b, &a, in, i, source);
    const uint32_t result = store_pixel_8(out, i, target, tree, r, g, b, a);
    if (result != code::ok) return result;
  }
  return code::ok;
}

uint32_t convert_by_path(uint8_t* out, const uint8_t* in, const VelaPNGPixelFormat* target,
                         const VelaPNGPixelFormat* source, const ColourIndexTree* tree, uint64_t pixels) {
  if (source->bit_depth == 16 && target->bit_depth == 16) {
    convert_16_to_16(out, in, target, source, pixels);
    return code::ok;
  }
  if (target->bit_depth == 8 && (target->colour_type == 6 || target->colour_type == 2)) {
    expand_run_to_8bit(out, pixels, target->colour_type == 6, in, source);
    return code::ok;
  }
  return convert_per_pixel(out, in, target, source, tree, pixels);
}

uint32_t convert_to_palette(uint8_t* out, const uint8_t* in, const VelaPNGPixelFormat* target,
                            const VelaPNGPixelFormat* source, uint64_t pixels) {
  const TargetPalette palette = target_palette(target, source);
  if (palette.borrowed && source->colour_type == 3 && source->bit_depth == target->bit_depth) {
    std::memcpy(out, in, packed_size(pixels, target->bit_depth));  // indices pass through
    return code::ok;
  }
  ColourIndexTree tree;
  colour_index_tree_init(&tree);
  // The tree is complete before the first pixel, so a node that cannot be allocated ends
  // the conversion with 83 (the decoder's code for any failed allocation) and nothing
  // written. The tree is released on every path.
  uint32_t result = build_tree(&tree, palette, target->bit_depth);
  if (result == code::ok) result = convert_by_path(out, in, target, source, &tree, pixels);
  colour_index_tree_release(&tree);
  return result;
}

}  // namespace

// Formats that are not PNG combinations (RGB at 4 bits, grey at 3, palette at 16, an
// unknown colour type) have no defined conversion; they are refused with 56 before anything
// is written, rather than converted by whichever path they would happen to reach.
uint32_t convert_pixels(uint8_t* out, const uint8_t* in, const VelaPNGPixelFormat* target,
                        const VelaPNGPixelFormat* source, uint32_t width, uint32_t height) {
  if (check_colour_depth(target->colour_type, target->bit_depth) != code::ok ||
      check_colour_depth(source->colour_type, source->bit_depth) != code::ok)
    return code::unsupported_conversion;
  const uint64_t pixels = uint64_t{width} * height;
  if (pixels == 0) return code::ok;
  if (pixel_format_equal(target, source)) {
    std::memcpy(out, in, packed_size(pixels, bits_per_pixel(source->colour_type, source->bit_depth)));
    return code::ok;
  }
  if (target->colour_type == 3) return convert_to_palette(out, in, target, source, pixels);
  return convert_by_path(out, in, target, source, nullptr, pixels);
}

}  // namespace velapng
