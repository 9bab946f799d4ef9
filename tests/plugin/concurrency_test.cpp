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
  bool from_file;
  Bytes expected;  // from a serial load
};

int32_t run(const Job& job, HostCanvas& canvas) {
  if (job.from_file)
    return plugin_symbol<PfnImage32LoadFile>("Image32LoadFile")(&canvas.image, wide(job.path).c_str(), job.angle);
  return plugin_symbol<PfnImage32LoadFromMemData>("Image32LoadFromMemData")(
      &canvas.image, job.image.png.data(), static_cast<int32_t>(job.image.png.size()), job.angle);
}

TEST(Concurrency, ParallelLoadsMatchSerialLoads) {
  std::vector<Job> jobs;
  const int32_t angles[] = {0, 90, 180, 270};
  for (uint32_t i = 0; i < 16; ++i) {
    const uint32_t w = 3 + i * 2, h = 2 + (i * 5) % 11;
    TestImage image = distinct_rgba_image(w, h, {exif_chunk(uint16_t(1 + i % 8), i % 2 == 0)});
    const std::string path = temp_path("parallel.png");
    write_file(path, image.png);
    jobs.push_back({image, path, angles[i % 4], i % 3 == 0, {}});
  }
  for (Job& job : jobs) {
    HostCanvas canvas(job.image.rgba.size());
    ASSERT_EQ(run(job, canvas), 1);
    job.expected = canvas.pixels();
    ASSERT_EQ(job.expected, expected_bgra(job.image.rgba, job.image.width, job.image.height, job.angle));
  }

  constexpr int kThreads = 8;
  constexpr int kRounds = 6;
  std::atomic<int> mismatches{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      while (!go.load()) std::this_thread::yield();
      for (int round = 0; round < kRounds; ++round) {
        for (size_t k = 0; k < jobs.size(); ++k) {
          const Job& job = jobs[(k + size_t(t) * 3 + size_t(round)) % jobs.size()];
          HostCanvas canvas(job.image.rgba.size());
          if (run(job, canvas) != 1 || canvas.pixels() != job.expected || !canvas.guard_untouched()) ++mismatches;
          uint32_t width = 0, height = 0;
          int32_t orientation = 0;
          const int32_t answer = plugin_symbol<PfnImageGetInfo>("ImageGetInfo")(wide(job.path).c_str(), &width,
                                                                                &height, &orientation);
          if (width != job.image.width || height != job.image.height || answer != orientation) ++mismatches;
        }
      }
    });
  }
  go = true;
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
}

TEST(Concurrency, ParallelMetadataCallsReachTheLibraryEachTime) {
  ScopedBaseDirectory base(fakes_dir());
  MetaRecorder::reset(4);
  const Bytes png = distinct_rgba_image(2, 2).png;
  constexpr int kThreads = 6;
  constexpr int kCalls = 10;  // 6 * 10 = 60 calls, within what the double records
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kCalls; ++i) {
        const int32_t answer = i % 2 == 0
                                   ? plugin_symbol<PfnGetImageMetaValueFromMemData>("GetImageMetaValueFromMemData")(
                                         png.data(), static_cast<int32_t>(png.size()), "Orientation", nullptr, nullptr)
                                   : plugin_symbol<PfnGetImageMetaValue>("GetImageMetaValue")(VELAPNG_W("a.png"),
                                                                                              "Orientation", nullptr, nullptr);
        if (answer != 4) ++wrong;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(MetaRecorder::count(), kThreads * kCalls);
}

}  // namespace
