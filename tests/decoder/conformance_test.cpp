// Whole-file decoding against libpng as the oracle, and every malformed file of the corpus.
#include <gtest/gtest.h>

#include "tests/support/corpus.h"
#include "tests/support/libpng_oracle.h"
#include "tests/support/png_builder.h"
#include "tests/support/whole_decode.h"

namespace {

using testpng::Bytes;

// Every image of the suite decodes as libpng decodes it; every corrupt one ("x...") is refused.
TEST(Conformance, EverySuiteImageMatchesTheOracleAndEveryCorruptOneIsRefused) {
  int compared = 0, refused = 0;
  for (const std::string& name : testpng::png_files(testpng::pngsuite_dir())) {
    const Bytes file = testpng::read_file(testpng::pngsuite_dir() + "/" + name);
    const testpng::WholeDecode ours = testpng::decode_whole(file);
    if (name[0] == 'x') {
      EXPECT_NE(ours.code, 0u) << name;
      ++refused;
      continue;
    }
    const testpng::OracleImage expected = testpng::libpng_decode_rgba(file);
    ASSERT_TRUE(expected.ok) << name << ": " << expected.error;
    ASSERT_EQ(ours.code, 0u) << name;
    EXPECT_EQ(ours.width, expected.width) << name;
    EXPECT_EQ(ours.height, expected.height) << name;
    EXPECT_TRUE(ours.rgba == expected.rgba) << name << " differs from the oracle";
    ++compared;
  }
  EXPECT_GT(compared, 150);
  EXPECT_GE(refused, 14);
}

// The crasher files are malformed or carry absurd chunk lengths. Each is refused, except the
// ones that are valid images with odd ancillary chunks, which must decode like the oracle.
// A palette image without a palette is not an error here (every index is beyond the empty
// palette, so every pixel is opaque black), while libpng refuses it.
TEST(Conformance, CrasherFilesAreRefusedOrDecodeLikeTheOracle) {
  int files = 0;
  for (const std::string& name : testpng::png_files(testpng::crashers_dir())) {
    const Bytes file = testpng::read_file(testpng::crashers_dir() + "/" + name);
    const testpng::WholeDecode ours = testpng::decode_whole(file);
    if (name == "missing_plte.png") {
      ASSERT_EQ(ours.code, 0u);
      Bytes black;
      for (uint32_t i = 0; i < ours.width * ours.height; ++i) black.insert(black.end(), {0, 0, 0, 255});
      EXPECT_EQ(ours.rgba, black);
    } else if (ours.code == 0) {
      const testpng::OracleImage expected = testpng::libpng_decode_rgba(file);
      ASSERT_TRUE(expected.ok) << name << " decodes here but libpng refuses it: " << expected.error;
      EXPECT_TRUE(ours.rgba == expected.rgba) << name;
    }
    ++files;
  }
  EXPECT_GT(files, 20);
}

// A colour key stored wider than the image's samples names the colour of its low bits, as
// libpng reads it: a writer of real files put 255 in the key of a 1-bit grey image for white.
// One row holds every sample value, so each key hits exactly where libpng's does.
TEST(Conformance, KeysWiderThanTheSamplesMatchByTheirLowBits) {
  struct Case {
    uint8_t depth, colour_type;
    Bytes key;
  } cases[] = {
      {1, 0, {0x00, 0xFF}}, {1, 0, {0x00, 0x02}}, {2, 0, {0x01, 0x06}},
      {4, 0, {0x00, 0x3A}}, {8, 0, {0x12, 0x34}}, {8, 2, {0x01, 0x00, 0x02, 0x01, 0x03, 0x02}},
  };
  for (const Case& c : cases) {
    const uint32_t width = c.colour_type == 0 ? 1u << c.depth : 4;
    Bytes row;  // grey: 0, 1, ... 2^depth - 1 packed; RGB: four pixels around the key's low bytes
    if (c.colour_type == 0) {
      row.assign((width * c.depth + 7) / 8, 0);
      for (uint32_t v = 0; v < width; ++v) row[v * c.depth / 8] |= uint8_t(v << (8 - c.depth - v * c.depth % 8));
    } else {
      row = {0, 1, 2, 1, 2, 3, 0, 0, 0, 255, 255, 255};
    }
    const Bytes file =
        testpng::png(width, 1, c.depth, c.colour_type, testpng::filter_none({row}), {testpng::chunk("tRNS", c.key)});
    const testpng::OracleImage expected = testpng::libpng_decode_rgba(file);
    ASSERT_TRUE(expected.ok) << expected.error;
    const testpng::WholeDecode ours = testpng::decode_whole(file);
    ASSERT_EQ(ours.code, 0u);
    EXPECT_EQ(ours.rgba, expected.rgba) << "depth " << int(c.depth) << " type " << int(c.colour_type);
    bool some_transparent = false;  // the case tests a key that hits
    for (size_t i = 3; i < expected.rgba.size(); i += 4) some_transparent = some_transparent || expected.rgba[i] == 0;
    EXPECT_TRUE(some_transparent);
  }
}

// Every proper prefix of a valid file is refused: plain, Adam7, palette and 16-bit.
TEST(Conformance, EveryTruncationIsRefused) {
  for (const char* name : {"basn2c08.png", "basi0g04.png", "basn3p04.png", "basn6a16.png", "tbrn2c08.png"}) {
    const Bytes file = testpng::read_file(testpng::pngsuite_dir() + "/" + name);
    for (size_t size = 0; size < file.size(); ++size) {
      const Bytes prefix(file.begin(), file.begin() + static_cast<long>(size));
      ASSERT_NE(testpng::decode_whole(prefix).code, 0u) << name << " cut to " << size << " bytes";
    }
  }
}

}  // namespace
