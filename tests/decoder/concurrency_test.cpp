// Several threads decoding at once: decodes share nothing, so each thread must get exactly
// what the same decode gives alone. Runs under ThreadSanitizer in its own build.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/corpus.h"
#include "tests/support/parallel.h"
#include "tests/support/png_builder.h"
#include "tests/support/whole_decode.h"

namespace {

// Every file of both corpus directories, valid or not, so failing paths run in parallel too.
// Each thread starts at another quarter of the list, so different files overlap.
TEST(Concurrency, ParallelDecodesMatchSerialDecodes) {
  std::vector<testpng::Bytes> files;
  std::vector<testpng::WholeDecode> alone;
  for (const std::string& dir : {testpng::pngsuite_dir(), testpng::crashers_dir()}) {
    for (const std::string& name : testpng::png_files(dir)) {
      files.push_back(testpng::read_file(dir + "/" + name));
      alone.push_back(testpng::decode_whole(files.back()));
    }
  }
  ASSERT_GT(files.size(), 150u);
  const int mismatches = testpng::sum_over_threads(4, [&](size_t t) {
    int wrong = 0;
    for (size_t k = 0; k < 2 * files.size(); ++k) {
      const size_t i = (k + t * files.size() / 4) % files.size();
      const testpng::WholeDecode ours = testpng::decode_whole(files[i]);
      if (ours.code != alone[i].code || ours.rgba != alone[i].rgba) ++wrong;
    }
    return wrong;
  });
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
