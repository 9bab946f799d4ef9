#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bench/measure.h"
#include "tests/bench/bench_fakes.h"

namespace {

using benchtest::FakeBackend;
using velabench::Match;
using velabench::PixelOrder;
using velabench::Role;

velabench::TimingOptions quick() {
  velabench::TimingOptions options;
  options.rule.min_samples = 3;
  options.rule.quiet_samples = 2;
  options.rule.budget_seconds = 0.05;
  options.min_sample_seconds = 0;  // one call per sample
  return options;
}

TEST(FirstDifference, LocatesTheFirstDifferingPixelInEitherOrder) {
  // Ours: pixels 0..5 of a 2-wide image as RGBA.
  std::vector<uint8_t> ours(24);
  for (uint64_t i = 0; i < 6; ++i) benchtest::expected_pixel(i, &ours[4 * i]);
  const auto as_bgra = [](std::vector<uint8_t> pixels) {
    for (size_t i = 0; i < pixels.size(); i += 4) std::swap(pixels[i], pixels[i + 2]);
    return pixels;
  };
  std::vector<uint8_t> green_off = ours;
  green_off[4 * 3 + 1] ^= 1;   // pixel 3 = (1, 1)
  green_off[4 * 5 + 3] ^= 1;   // pixel 5 alpha
  const struct {
    const char* what;
    std::vector<uint8_t> theirs;
    PixelOrder order;
    uint64_t differing;
    std::string note;
  } cases[] = {
      {"same RGBA", ours, PixelOrder::rgba, 0, ""},
      {"same, as BGRA", as_bgra(ours), PixelOrder::bgra, 0, ""},
      {"BGRA read as RGBA", as_bgra(ours), PixelOrder::rgba, 6,
       "6 pixels differ, first at (0,0): ours 01020304, theirs 03020104 (RGBA)"},
      {"RGBA claimed to be BGRA", ours, PixelOrder::bgra, 6,
       "6 pixels differ, first at (0,0): ours 01020304, theirs 03020104 (RGBA)"},
      {"two pixels off", green_off, PixelOrder::rgba, 2,
       "2 pixels differ, first at (1,1): ours 0d0e0f10, theirs 0d0f0f10 (RGBA)"},
      {"two pixels off, as BGRA", as_bgra(green_off), PixelOrder::bgra, 2,
       "2 pixels differ, first at (1,1): ours 0d0e0f10, theirs 0d0f0f10 (RGBA)"},
  };
  for (const auto& c : cases) {
    uint64_t differing = 99;
    EXPECT_EQ(velabench::first_difference(ours.data(), c.theirs.data(), c.order, 2, 6, &differing), c.note) << c.what;
    EXPECT_EQ(differing, c.differing) << c.what;
  }
}

TEST(MeasureImage, ChecksEveryOutputAgainstOursAndTimesWhatDecodes) {
  const velabench::BenchImage image = benchtest::test_image(3, 2);
  FakeBackend ours("ours", Role::ours);
  FakeBackend plugin("plugin", Role::plugin, PixelOrder::bgra);
  FakeBackend same("same", Role::peer);
  FakeBackend off("off", Role::peer);
  off.wrong_pixel = 4;
  off.wrong_channel = 2;
  FakeBackend unswapped("unswapped", Role::plugin, PixelOrder::bgra);
  unswapped.forget_swap = true;
  FakeBackend refuses("refuses", Role::peer);
  refuses.fail_from_call = 1;
  FakeBackend unprepared("unprepared", Role::peer);
  unprepared.fail_prepare = true;
  FakeBackend flaky("flaky", Role::peer);
  flaky.fail_from_call = 2;
  FakeBackend floor("floor", Role::floor, PixelOrder::none);

  const std::vector<velabench::Backend*> backends = {&ours, &plugin, &same, &off, &unswapped, &refuses, &unprepared, &flaky, &floor};
  const velabench::ImageOutcome result = velabench::measure_image(image, backends, quick());
  ASSERT_EQ(result.image, &image);
  ASSERT_EQ(result.outcomes.size(), backends.size());

  const struct {
    Match match;
    bool decoded;
    const char* note;  // a prefix; empty: the note must be empty
  } expected[] = {
      {Match::not_compared, true, ""},  // ours: the reference itself
      {Match::same, true, ""},
      {Match::same, true, ""},
      {Match::differs, true, "1 pixels differ, first at (1,1)"},
      {Match::differs, true, "6 pixels differ, first at (0,0)"},
      {Match::failed, false, "decode failed"},
      {Match::failed, false, "decode failed"},
      {Match::same, false, "a timed decode failed"},
      {Match::not_compared, true, ""},
  };
  for (size_t b = 0; b < backends.size(); ++b) {
    const velabench::Outcome& o = result.outcomes[b];
    const std::string what = o.backend;
    EXPECT_EQ(o.backend, backends[b]->name());
    EXPECT_EQ(o.role, backends[b]->role()) << what;
    EXPECT_EQ(o.match, expected[b].match) << what;
    EXPECT_EQ(o.decoded, expected[b].decoded) << what;
    EXPECT_EQ(o.note.rfind(expected[b].note, 0), 0u) << what << ": " << o.note;
    if (expected[b].note[0] == '\0') {
      EXPECT_EQ(o.note, "") << what;
    }
    if (o.decoded) {
      EXPECT_GE(o.samples, 3u) << what;
      EXPECT_GT(o.best_ns, 0) << what;
      EXPECT_EQ(o.best_ns, o.best_cpu_ns) << what;  // the CPU clock is the default
    } else {
      EXPECT_EQ(o.best_ns, 0) << what;
    }
  }
  EXPECT_EQ(refuses.calls, 1u);  // a backend that fails its check is never timed
}

TEST(MeasureImage, WithoutOursNothingIsComparedButEverythingIsTimed) {
  const velabench::BenchImage image = benchtest::test_image(4, 4);
  FakeBackend ours("ours", Role::ours);
  ours.fail_from_call = 1;
  FakeBackend peer("peer", Role::peer);
  const velabench::ImageOutcome result = velabench::measure_image(image, {&ours, &peer}, quick());
  EXPECT_FALSE(result.outcomes[0].decoded);
  EXPECT_EQ(result.outcomes[1].match, Match::not_compared);
  EXPECT_TRUE(result.outcomes[1].decoded);
  EXPECT_GE(result.outcomes[1].samples, 3u);
}

TEST(MeasureImage, BatchesCallsSoEachSampleLastsLongEnough) {
  const velabench::BenchImage image = benchtest::test_image(1, 1);
  FakeBackend ours("ours", Role::ours);
  velabench::TimingOptions options = quick();
  options.min_sample_seconds = 0.0005;
  const velabench::ImageOutcome result = velabench::measure_image(image, {&ours}, options);
  const velabench::Outcome& o = result.outcomes[0];
  EXPECT_GT(o.calls_per_sample, 10u);  // a 1-pixel fake decode takes far less than 50 us
  // check + reference + calibration + the timed batches
  EXPECT_EQ(ours.calls, 3 + o.samples * o.calls_per_sample);
}

}  // namespace
