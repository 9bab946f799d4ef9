#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <random>

#include "pixels/convert_parts.h"
#include "pixels/pixels.h"
#include "tests/pixels/pixel_model.h"

namespace {

// While set, how many more colour index tree nodes may be allocated; every later one fails.
std::optional<uint64_t> nodes_left;

}  // namespace

// Replaces the pixels library's definition (this object file is linked first), so that node
// allocations can fail.
void* velapng::colour_index_node_malloc(std::size_t bytes) {
  if (nodes_left) {
    if (*nodes_left == 0) return nullptr;
    --*nodes_left;
  }
  return std::malloc(bytes);
}

namespace {

using namespace velapng;
using testpng::Format;
using testpng::Samples;
using Bytes = std::vector<uint8_t>;

// Every source format PNG allows; where keys apply, also with a key inside the sample range
// and with one beyond it (which no pixel can match, although its low bits can).
std::vector<Format> all_sources(std::mt19937& random) {
  const uint32_t kinds[][2] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                               {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};
  const uint32_t palette_entries[] = {0, 1, 3, 0, 16, 0, 0, 0, 200};  // by depth
  std::vector<Format> formats;
  for (const auto& kind : kinds) {
    Format f{kind[0], kind[1]};
    if (f.colour_type == 3) f.palette = testpng::random_palette(palette_entries[f.bit_depth], random);
    formats.push_back(f);
    if (f.colour_type != 0 && f.colour_type != 2) continue;
    f.keyed = true;
    for (uint32_t& k : f.key) k = testpng::draw(random) & ((1u << f.bit_depth) - 1);
    if (f.colour_type == 0) f.key[1] = f.key[2] = f.key[0];
    formats.push_back(f);
    for (uint32_t c = f.colour_type == 0 ? 0 : 1; c < (f.colour_type == 0 ? 3 : 2); ++c) f.key[c] += 1u << f.bit_depth;
    formats.push_back(f);
  }
  return formats;
}

Bytes expected_8bit(const Format& source, const std::vector<Samples>& pixels, bool with_alpha) {
  Bytes out;
  for (const Samples& s : pixels) {
    const testpng::Rgba8 c = testpng::expected_rgba8(source, s);
    out.insert(out.end(), c.begin(), c.begin() + (with_alpha ? 4 : 3));
  }
  return out;
}

// Blocks are vectors of exactly the data's size (after `offset` spare bytes), so the
// sanitizer build reports any access past the end.
Bytes placed(const Bytes& bytes, size_t offset) {
  Bytes block(offset + bytes.size());
  std::copy(bytes.begin(), bytes.end(), block.begin() + static_cast<long>(offset));
  return block;
}

Bytes expand(const Format& source, const Bytes& packed, uint64_t n, bool with_alpha, size_t in_offset,
             size_t out_offset) {
  const Bytes in = placed(packed, in_offset);
  Bytes out = placed(Bytes(n * (with_alpha ? 4 : 3), 0xCC), out_offset);
  const VelaPNGPixelFormat record = source.record();
  expand_run_to_8bit(out.data() + out_offset, n, with_alpha, in.data() + in_offset, &record);
  return Bytes(out.begin() + static_cast<long>(out_offset), out.end());
}

struct Converted {
  uint32_t code;
  Bytes out;
};

// Converts into a block of exactly `out_size` bytes filled with `fill`.
Converted convert(const Format& target, const Format& source, const Bytes& packed, uint32_t w, uint32_t h,
                  size_t out_size, uint8_t fill = 0xEE) {
  const Bytes in = packed;
  Bytes out(out_size, fill);
  const VelaPNGPixelFormat t = target.record(), s = source.record();
  return {convert_pixels(out.data(), in.data(), &t, &s, w, h), out};
}

// Every source format at every length up to a few blocks, with the source at each offset 0-3
// from a heap block's start (the target at 3-0), so each block loop meets each tail length
// with the buffers' ends exactly where the data ends; convert_pixels to the same targets agrees.
TEST(ExpandRun, EverySourceLengthAndAlignmentFollowsTheRule) {
  std::mt19937 random(12);
  for (const Format& source : all_sources(random)) {
    for (uint64_t n = 0; n <= 70; ++n) {
      const std::vector<Samples> pixels = testpng::random_pixels(source, n, random);
      const Bytes packed = testpng::pack(source, pixels);
      for (bool with_alpha : {true, false}) {
        const std::string where =
            source.name() + ", " + std::to_string(n) + (with_alpha ? " pixels to RGBA" : " pixels to RGB");
        const Bytes expected = expected_8bit(source, pixels, with_alpha);
        for (size_t in_offset = 0; in_offset < 4; ++in_offset)
          ASSERT_EQ(expand(source, packed, n, with_alpha, in_offset, 3 - in_offset), expected)
              << where << ", offset " << in_offset;
        const Converted c =
            convert(Format{with_alpha ? 6u : 2u, 8}, source, packed, static_cast<uint32_t>(n), 1, expected.size());
        ASSERT_EQ(c.code, 0u) << where;
        ASSERT_EQ(c.out, expected) << where << ", convert_pixels";
      }
    }
  }
}

// Targets served pixel by pixel: grey at every depth, grey+alpha, and 16-bit colour, which
// from a 16-bit source keeps full precision and from anything else repeats the byte.
TEST(ConvertPixels, PerPixelTargetsFollowTheRule) {
  const uint32_t targets[][2] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {4, 8}, {4, 16}, {2, 16}, {6, 16}};
  std::mt19937 random(13);
  for (const Format& source : all_sources(random)) {
    const std::vector<Samples> pixels = testpng::random_pixels(source, 37, random);
    const Bytes packed = testpng::pack(source, pixels);
    for (const auto& kind : targets) {
      const Format target{kind[0], kind[1]};
      std::vector<Samples> written;
      for (const Samples& s : pixels) {
        const testpng::Rgba8 c = testpng::expected_rgba8(source, s);
        written.push_back(source.bit_depth == 16 && target.bit_depth == 16
                              ? testpng::target_samples(target, testpng::expected_rgba16(source, s), 16)
                              : testpng::target_samples(target, {c[0], c[1], c[2], c[3]}, 8));
      }
      const Bytes expected = testpng::pack(target, written);
      const Converted c = convert(target, source, packed, 37, 1, expected.size(), 0xA5);
      EXPECT_EQ(c.code, 0u) << source.name() << " to " << target.name();
      EXPECT_EQ(c.out, expected) << source.name() << " to " << target.name();
    }
  }
}

// Palette targets at every depth, from 8-bit RGBA and from a palette image whose own
// palette lists the same colours in another order. The target palette repeats one colour,
// so the later index must win.
TEST(ConvertPixels, PaletteTargetsFindTheLastMatchingEntry) {
  std::mt19937 random(14);
  for (uint32_t depth : {1u, 2u, 4u, 8u}) {
    Format target{3, depth, testpng::random_palette(std::min(1u << depth, 40u), random)};
    const uint32_t entries = target.entries();
    if (entries > 1) std::copy_n(&target.palette[0], 4, &target.palette[4 * (entries - 1)]);
    Format by_palette{3, 8, target.palette};
    std::shuffle(by_palette.palette.begin(), by_palette.palette.end(), random);  // whole bytes, new colours
    by_palette.palette.insert(by_palette.palette.end(), target.palette.begin(), target.palette.end());
    std::vector<Samples> rgba, indices;
    std::vector<Samples> expected;
    for (int i = 0; i < 45; ++i) {
      const uint32_t pick = testpng::draw(random) % entries;
      const uint8_t* e = &target.palette[4 * pick];
      rgba.push_back({e[0], e[1], e[2], e[3]});
      indices.push_back({pick + entries, 0, 0, 0});  // the copy appended after the shuffled entries
      uint32_t last = pick;
      for (uint32_t j = 0; j < entries; ++j)
        if (std::equal(e, e + 4, &target.palette[4 * j])) last = j;
      expected.push_back({last, 0, 0, 0});
    }
    const Bytes want = testpng::pack(target, expected);
    const Format rgba_source{6, 8};
    for (const auto& [source, pixels] : {std::pair{rgba_source, rgba}, std::pair{by_palette, indices}}) {
      const Converted c = convert(target, source, testpng::pack(source, pixels), 9, 5, want.size(), 0x5A);
      EXPECT_EQ(c.code, 0u) << source.name() << " to " << target.name();
      EXPECT_EQ(c.out, want) << source.name() << " to " << target.name();
    }
  }
}

Format with_palette(Format f, Bytes palette) {
  f.palette = std::move(palette);
  return f;
}

// Twenty distinct colours, then entry 5's colour again as entry 20.
Bytes twenty_one_entries() {
  Bytes p;
  for (uint8_t i = 0; i < 20; ++i) p.insert(p.end(), {i, uint8_t(2 * i), uint8_t(3 * i), 255});
  p.insert(p.end(), {5, 10, 15, 255});
  return p;
}

struct Edge {
  const char* what;
  Format source;
  Bytes in;
  Format target;
  uint32_t w, h;
  uint32_t code;
  Bytes out;  // the whole target block, filled with 0xEE beforehand
};

// Hand-made images for the cases no generated image reaches (the libpng oracle anchors the
// model's RGBA rules over the whole conformance suite).
TEST(ConvertPixels, EdgeCases) {
  const Bytes rgbw = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
  const Format rgba8{6, 8}, rgw = with_palette({3, 8}, {255, 0, 0, 255, 0, 255, 0, 255, 255, 255, 255, 255});
  const Format twenty_one_8 = with_palette({3, 8}, twenty_one_entries());
  const Format twenty_one_2 = with_palette({3, 2}, twenty_one_entries()), one_4 = with_palette({3, 4}, {1, 2, 3, 4});
  const Edge cases[] = {
      {"equal formats copy bytes, padding bits too", {0, 1}, {0xBF}, {0, 1}, 3, 1, 0, {0xBF}},
      {"missing colour stops after the pixels before it", rgba8, rgbw, rgw, 4, 1, 82, {0, 1, 0xEE, 0xEE}},
      {"2-bit target uses only entries 0 to 3", rgba8, {3, 6, 9, 255, 7, 14, 21, 255}, twenty_one_2, 2, 1, 82, {0xC0}},
      {"empty target palette, same depth: indices pass through", one_4, {0x3F, 0xA7}, {3, 4}, 3, 1, 0, {0x3F, 0xA7}},
      {"empty target palette: source palette's first 16", twenty_one_8, {20, 2, 17}, {3, 4}, 3, 1, 82, {0x52, 0xEE}},
      {"target RGB at 4 bits", {0, 8}, {7}, {2, 4}, 1, 1, 56, {0xEE, 0xEE}},
      {"target grey at 3 bits", {0, 8}, {7}, {0, 3}, 1, 1, 56, {0xEE}},
      {"target palette at 16 bits", {0, 8}, {7}, with_palette({3, 16}, {7, 7, 7, 255}), 1, 1, 56, {0xEE, 0xEE}},
      {"target colour type 5", {0, 8}, {7}, {5, 8}, 1, 1, 56, {0xEE}},
      {"source grey+alpha at 4 bits", {4, 4}, {7}, rgba8, 1, 1, 56, {0xEE, 0xEE, 0xEE, 0xEE}},
      {"source colour type 1", {1, 8}, {7}, rgba8, 1, 1, 56, {0xEE, 0xEE, 0xEE, 0xEE}},
  };
  for (const Edge& c : cases) {
    const Converted r = convert(c.target, c.source, c.in, c.w, c.h, c.out.size());
    EXPECT_EQ(r.code, c.code) << c.what;
    EXPECT_EQ(r.out, c.out) << c.what;
  }
}

// An empty image reads and writes nothing, whichever path it would take: null buffers
// must not be touched (the sanitizer build also rejects a copy from null).
TEST(ConvertPixels, EmptyImagesTouchNoBuffer) {
  const Format formats[] = {{6, 8}, {2, 8}, {0, 4}, {6, 16}, {3, 8, {1, 2, 3, 4}}};
  for (const Format& target : formats)
    for (const Format& source : formats)
      for (const auto& size : {std::pair{0u, 7u}, std::pair{7u, 0u}}) {
        const VelaPNGPixelFormat t = target.record(), s = source.record();
        EXPECT_EQ(convert_pixels(nullptr, nullptr, &t, &s, size.first, size.second), 0u)
            << source.name() << " to " << target.name();
      }
}

// A tree node that cannot be allocated ends the conversion with 83 before any pixel is
// written, at whichever node it happens; the tree is released (leaks are sanitizer reports).
// A node is allocated only for a new path: the first entry takes 8 (one per level), the
// second differs in the top bit of red (the last level) and adds 1, the third differs in
// the low bit of alpha (the first level) and adds 8.
TEST(ConvertPixels, FailedTreeNodeStopsBeforeWriting) {
  const Format target = with_palette({3, 8}, {10, 20, 30, 255, 138, 20, 30, 255, 10, 20, 30, 254});
  const Bytes in = {138, 20, 30, 255, 10, 20, 30, 254};
  for (uint64_t allowed : {0u, 1u, 8u, 9u, 16u, 17u}) {
    nodes_left = allowed;
    const Converted r = convert(target, Format{6, 8}, in, 2, 1, 2);
    nodes_left.reset();
    EXPECT_EQ(r.code, allowed < 17 ? 83u : 0u) << allowed;
    EXPECT_EQ(r.out, (allowed < 17 ? Bytes{0xEE, 0xEE} : Bytes{1, 2})) << allowed;
  }
}

}  // namespace
