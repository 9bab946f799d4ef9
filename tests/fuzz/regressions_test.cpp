// Every file kept under fuzz/regressions/<target>/ goes through the whole decode and must
// keep the outcome its name starts with. The code in a name is worked out from the file's
// bytes when it is kept, not copied from a decoder's answer.
#include <gtest/gtest.h>

#include <vector>

#include "decoder/decoder.h"
#include "tests/support/corpus.h"
#include "tests/support/png_builder.h"

namespace {

using testpng::Bytes;

// Into a block of the image's size; the replay binaries run the same files from blocks of
// exactly their size under the sanitizers.
uint32_t decode(const Bytes& file) {
  velapng::VelaPNGState probe;
  velapng::state_init(&probe);
  uint32_t width = 0, height = 0;
  const uint32_t inspected = velapng::inspect_header(&width, &height, &probe, file.data(), file.size());
  velapng::state_release(&probe);
  if (uint64_t{width} * height > (uint64_t{1} << 26)) return 0xFFFFFFFF;  // kept files are small images
  Bytes rgba(inspected == 0 ? size_t{width} * height * 4 : 4);
  uint8_t* out = rgba.data();
  return velapng::decode_rgba(&out, &width, &height, file.data(), file.size());
}

TEST(FuzzRegressions, EveryKeptFileKeepsItsOutcome) {
  const std::vector<testpng::KeptFinding> files = testpng::fuzz_regressions();
  ASSERT_FALSE(files.empty());
  for (const testpng::KeptFinding& regression : files) {
    EXPECT_EQ(decode(testpng::read_file(regression.path)), regression.code) << regression.path;
  }
}

}  // namespace
