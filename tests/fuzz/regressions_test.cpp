// Every file kept under fuzz/regressions/<target>/ goes through the whole decode and must
// keep the outcome its name starts with. The code in a name is worked out from the file's
// bytes when it is kept, not copied from a decoder's answer; the replay binaries run the
// same files from blocks of exactly their size under the sanitizers.
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/corpus.h"
#include "tests/support/png_builder.h"
#include "tests/support/whole_decode.h"

namespace {

using testpng::Bytes;

TEST(FuzzRegressions, EveryKeptFileKeepsItsOutcome) {
  const std::vector<testpng::KeptFinding> files = testpng::fuzz_regressions();
  ASSERT_FALSE(files.empty());
  for (const testpng::KeptFinding& regression : files) {
    EXPECT_EQ(testpng::decode_whole(testpng::read_file(regression.path)).code, regression.code) << regression.path;
  }
}

}  // namespace
