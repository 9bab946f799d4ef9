// Several threads decoding at once: decodes share nothing, so each thread must get exactly
// what the same decode gives alone. Runs under ThreadSanitizer in its own build.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/corpus.h"
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
  std::atomic<int> mismatches{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (size_t t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      while (!go.load()) std::this_thread::yield();
      for (size_t k = 0; k < 2 * files.size(); ++k) {
        const size_t i = (k + t * files.size() / 4) % files.size();
        const testpng::WholeDecode ours = testpng::decode_whole(files[i]);
        if (ours.code != alone[i].code || ours.rgba != alone[i].rgba) ++mismatches;
      }
    });
  }
  go = true;
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
