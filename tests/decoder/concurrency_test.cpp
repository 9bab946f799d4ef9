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

using testpng::Bytes;

struct Job {
  Bytes file;
  testpng::WholeDecode alone;
};

// Every file of both corpus directories, valid or not, so failing paths run in parallel too.
std::vector<Job> corpus_jobs() {
  std::vector<Job> jobs;
  for (const std::string& dir : {testpng::pngsuite_dir(), testpng::crashers_dir()}) {
    for (const std::string& name : testpng::png_files(dir)) {
      Bytes file = testpng::read_file(dir + "/" + name);
      testpng::WholeDecode alone = testpng::decode_whole(file);
      jobs.push_back({std::move(file), std::move(alone)});
    }
  }
  return jobs;
}

TEST(Concurrency, ParallelDecodesMatchSerialDecodes) {
  const std::vector<Job> jobs = corpus_jobs();
  ASSERT_GT(jobs.size(), 150u);
  constexpr size_t kThreads = 4;
  constexpr size_t kRounds = 2;
  std::atomic<int> mismatches{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (size_t t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      while (!go.load()) std::this_thread::yield();
      // Each thread starts at another quarter of the list, so different files overlap.
      for (size_t k = 0; k < kRounds * jobs.size(); ++k) {
        const Job& job = jobs[(k + t * jobs.size() / kThreads) % jobs.size()];
        const testpng::WholeDecode ours = testpng::decode_whole(job.file);
        if (ours.code != job.alone.code || ours.rgba != job.alone.rgba) ++mismatches;
      }
    });
  }
  go = true;
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
