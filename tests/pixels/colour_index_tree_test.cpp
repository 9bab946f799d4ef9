#include <gtest/gtest.h>

#include <map>
#include <random>

#include "pixels/pixels.h"
#include "tests/pixels/pixel_model.h"

namespace {

using namespace velapng;

uint32_t word(const testpng::Rgba8& c) {
  return uint32_t{c[0]} << 24 | uint32_t{c[1]} << 16 | uint32_t{c[2]} << 8 | c[3];
}

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

}  // namespace
