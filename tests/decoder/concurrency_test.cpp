// Several threads decoding at once: decodes share nothing, so each thread must get exactly
// what the same decode gives alone. Runs under ThreadSanitizer in its own build.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "decoder/decoder.h"
#include "tests/support/corpus.h"
#include "tests/support/png_builder.h"

namespace {

using testpng::Bytes;

struct Job {
  std::string name;
  Bytes file;
  uint32_t code = 0;
  Bytes rgba;  // from a decode made alone
};

// A refused header leaves nothing to hold; every corpus image is small.
uint32_t decode(const Bytes& file, Bytes* rgba) {
  velapng::VelaPNGState probe;
  velapng::state_init(&probe);
  uint32_t width = 0, height = 0;
  const uint32_t inspected = velapng::inspect_header(&width, &height, &probe, file.data(), file.size());
  velapng::state_release(&probe);
  rgba->assign(inspected == 0 ? uint64_t{width} * height * 4 : 4, 0);
  uint8_t* out = rgba->data();
  return velapng::decode_rgba(&out, &width, &height, file.data(), file.size());
}

// Every file of both corpus directories, valid or not, so failing paths run in parallel too.
std::vector<Job> corpus_jobs() {
  std::vector<Job> jobs;
  for (const std::string& dir : {testpng::pngsuite_dir(), testpng::crashers_dir()}) {
    for (const std::string& name : testpng::png_files(dir)) {
      Job job{name, testpng::read_file(dir + "/" + name), 0, {}};
      job.code = decode(job.file, &job.rgba);
      jobs.push_back(std::move(job));
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
        Bytes rgba;
        if (decode(job.file, &rgba) != job.code || (job.code == 0 && rgba != job.rgba)) ++mismatches;
      }
    });
  }
  go = true;
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
