// Many host threads at once: the plug-in shares nothing between calls, so every result must
// be byte-identical to the same call made alone. Runs under ThreadSanitizer in its own build.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/plugin/harness.h"

namespace {

using namespace plugintest;

struct Job {
  TestImage image;
  std::string path;
  int32_t angle;
  Source source;
  Bytes expected;
};

// Loads, and information calls that reach the metadata library, from eight threads.
TEST(Concurrency, ParallelCallsMatchSerialResults) {
  std::vector<Job> jobs;
  for (uint32_t i = 0; i < 16; ++i) {
    const uint32_t w = 3 + i * 2, h = 2 + (i * 5) % 11;
    Job job{distinct_rgba_image(w, h, {exif_chunk(uint16_t(1 + i % 8), i % 2 == 0)}),
            temp_path("parallel.png"),
            int32_t(i % 4) * 90,
            i % 3 == 0 ? Source::file : Source::memory,
            {}};
    write_file(job.path, job.image.png);
    job.expected = expected_bgra(job.image.rgba, w, h, job.angle);
    jobs.push_back(job);
  }
  std::atomic<int> mismatches{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (size_t t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      while (!go.load()) std::this_thread::yield();
      for (size_t round = 0; round < 6; ++round) {
        for (size_t k = 0; k < jobs.size(); ++k) {
          const Job& job = jobs[(k + t * 3 + round) % jobs.size()];
          HostCanvas canvas(job.image.rgba.size());
          const int32_t loaded = job.source == Source::file
                                     ? png_entry().pfnImage32LoadFile(&canvas.image, wide(job.path).c_str(), job.angle)
                                     : load(Source::memory, &canvas.image, job.image.png, job.angle);
          if (loaded != 1 || canvas.pixels() != job.expected || !canvas.guard_untouched()) ++mismatches;
          uint32_t width = 0, height = 0;
          int32_t orientation = 0;
          const int32_t answer = png_entry().pfnImageGetInfo(wide(job.path).c_str(), &width, &height, &orientation);
          if (width != job.image.width || height != job.image.height || answer != orientation || answer == 0)
            ++mismatches;
        }
      }
    });
  }
  go = true;
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
