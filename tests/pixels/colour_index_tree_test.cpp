#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "pixels/pixels.h"
#include "tests/pixels/node_allocation_seam.h"
#include "tests/pixels/pixel_model.h"

namespace {

using namespace velapng;

uint32_t word(const testpng::Rgba8& c) { return uint32_t{c[0]} << 24 | uint32_t{c[1]} << 16 | uint32_t{c[2]} << 8 | c[3]; }

testpng::Rgba8 random_colour(std::mt19937& random) {
  const uint32_t v = testpng::draw(random);
  return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

int32_t find(const ColourIndexTree& tree, const testpng::Rgba8& c) {
  return colour_index_tree_find(&tree, c[0], c[1], c[2], c[3]);
}

// Random colours, with repeats and one-bit neighbours (which share all but one level of
// their path), against a map in which a repeated colour keeps its later index.
TEST(ColourIndexTree, FindsWhatWasInsertedLastAndNothingElse) {
  std::mt19937 random(7);
  std::vector<testpng::Rgba8> colours;
  for (int i = 0; i < 200; ++i) colours.push_back(random_colour(random));
  for (int i = 0; i < 40; ++i) colours.push_back(colours[testpng::draw(random) % colours.size()]);
  ColourIndexTree tree;
  colour_index_tree_init(&tree);
  std::map<uint32_t, int32_t> model;
  for (size_t i = 0; i < colours.size(); ++i) {
    ASSERT_EQ(colour_index_tree_insert(&tree, colours[i][0], colours[i][1], colours[i][2], colours[i][3],
                                       static_cast<int32_t>(i)),
              0u);
    model[word(colours[i])] = static_cast<int32_t>(i);
  }
  std::vector<testpng::Rgba8> probes = colours;
  for (const testpng::Rgba8& c : colours) {
    testpng::Rgba8 neighbour = c;
    neighbour[testpng::draw(random) % 4] ^= static_cast<uint8_t>(1u << (testpng::draw(random) % 8));
    probes.push_back(neighbour);
    probes.push_back(random_colour(random));
  }
  for (const testpng::Rgba8& c : probes) {
    const auto it = model.find(word(c));
    EXPECT_EQ(find(tree, c), it == model.end() ? -1 : it->second) << std::hex << word(c);
  }
  colour_index_tree_release(&tree);
  EXPECT_EQ(find(tree, colours[0]), -1);  // release leaves an empty root
}

// The nodes a tree of these colours needs: level k holds one for every distinct
// combination of the k lowest bits of the four channels.
uint64_t distinct_prefixes(const std::vector<testpng::Rgba8>& colours) {
  std::set<uint64_t> prefixes;
  for (const testpng::Rgba8& c : colours)
    for (uint32_t k = 1; k <= 8; ++k) {
      const uint32_t mask = (1u << k) - 1;
      prefixes.insert(uint64_t{k} << 32 | (word(c) & (mask << 24 | mask << 16 | mask << 8 | mask)));
    }
  return prefixes.size();
}

TEST(ColourIndexTree, AllocatesOneNodePerDistinctPrefix) {
  const std::vector<std::vector<testpng::Rgba8>> sets = {
      {},
      {{1, 2, 3, 4}},
      {{1, 2, 3, 4}, {1, 2, 3, 4}},
      {{0, 0, 0, 0}, {128, 0, 0, 0}},  // differ only at the last level
      {{0, 0, 0, 0}, {0, 0, 0, 1}},    // differ at the first level
      {{255, 255, 255, 255}, {15, 15, 15, 15}, {16, 16, 16, 16}},
  };
  for (const auto& set : sets) {
    ColourIndexTree tree;
    colour_index_tree_init(&tree);
    const uint64_t before = testpng::node_allocations();
    for (const testpng::Rgba8& c : set) ASSERT_EQ(colour_index_tree_insert(&tree, c[0], c[1], c[2], c[3], 0), 0u);
    EXPECT_EQ(testpng::node_allocations() - before, distinct_prefixes(set)) << set.size() << " colours";
    colour_index_tree_release(&tree);
  }
}

// Whichever node fails, insert reports 83, what was inserted before stays findable, and one
// release frees every node (the sanitizer build checks for leaks).
TEST(ColourIndexTree, FailedNodeAllocationIsReportedAndReleasable) {
  const std::vector<testpng::Rgba8> colours = {{10, 20, 30, 40}, {11, 20, 30, 40}, {10, 20, 30, 41}};
  const uint64_t needed = distinct_prefixes(colours);
  for (uint64_t allowed : {0u, 1u, 7u, 8u, 9u, 15u, 16u, 23u, 24u}) {
    ColourIndexTree tree;
    colour_index_tree_init(&tree);
    const testpng::NodeAllocationLimit limit(allowed);
    size_t inserted = 0;
    uint32_t result = 0;
    for (const testpng::Rgba8& c : colours) {
      result = colour_index_tree_insert(&tree, c[0], c[1], c[2], c[3], static_cast<int32_t>(inserted));
      if (result != 0) break;
      ++inserted;
    }
    EXPECT_EQ(result, allowed < needed ? 83u : 0u) << allowed;
    for (size_t i = 0; i < inserted; ++i) EXPECT_EQ(find(tree, colours[i]), static_cast<int32_t>(i)) << allowed;
    if (inserted < colours.size()) {
      EXPECT_EQ(find(tree, colours[inserted]), -1) << allowed;
    }
    colour_index_tree_release(&tree);
  }
}

// Pixels written in increasing order give the packer's bytes, whatever the block held and
// whatever lies above the value's low bits.
TEST(StorePackedValue, IncreasingWritesNeedNoClearedBuffer) {
  std::mt19937 random(3);
  for (uint32_t bits : {1u, 2u, 4u}) {
    for (uint64_t count = 1; count <= 19; ++count) {
      for (uint8_t fill : {uint8_t{0x00}, uint8_t{0xFF}, uint8_t{0x5A}}) {
        const testpng::Format format{0, bits};
        std::vector<testpng::Samples> pixels(count);
        std::vector<uint32_t> written(count);
        for (uint64_t i = 0; i < count; ++i) {
          pixels[i][0] = testpng::draw(random) & ((1u << bits) - 1);
          written[i] = pixels[i][0] | (testpng::draw(random) << bits);
        }
        const std::vector<uint8_t> expected = testpng::pack(format, pixels);
        testpng::ExactBlock out(expected.size(), fill);
        for (uint64_t i = 0; i < count; ++i) store_packed_value(out.data(), i, bits, written[i]);
        EXPECT_EQ(out.bytes(), expected) << bits << " bits, " << count << " pixels, fill " << int{fill};
      }
    }
  }
}

}  // namespace
