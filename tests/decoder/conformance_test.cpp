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
