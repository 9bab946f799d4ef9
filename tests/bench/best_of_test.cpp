#include <gtest/gtest.h>

#include <vector>

#include "bench/best_of.h"

namespace {

using velabench::BestOf;
using velabench::Clock;
using velabench::StopRule;

StopRule rule(uint32_t min_samples, uint32_t quiet, double tolerance, double budget) {
  StopRule r;
  r.min_samples = min_samples;
  r.quiet_samples = quiet;
  r.tolerance = tolerance;
  r.budget_seconds = budget;
  return r;
}

// Feeds samples (each taking 1 ms of wall time) until done; returns how many it took.
uint32_t samples_until_done(BestOf* best, const std::vector<double>& values) {
  for (double v : values) {
    best->add({v, v}, 0.001);
    if (best->done()) return best->samples();
  }
  return 0;  // not done
}

TEST(BestOf, StopsOnceTheMinimumHasSettled) {
  const struct {
    const char* what;
    StopRule rule;
    std::vector<double> samples;
    uint32_t done_after;  // 0: still sampling at the end
    double best;
    bool budget_ran_out;
  } cases[] = {
      {"settled at once: min samples bound", rule(5, 3, 0.01, 10), {100, 100, 100, 100, 100, 100}, 5, 100, false},
      {"quiet count bound", rule(2, 4, 0.01, 10), {100, 100, 100, 100, 100, 100}, 5, 100, false},
      {"a real improvement restarts the count", rule(2, 3, 0.01, 10), {100, 100, 90, 100, 100, 100, 100}, 6, 90, false},
      {"an improvement within tolerance does not", rule(2, 3, 0.05, 10), {100, 100, 97, 100, 100, 100}, 4, 97, false},
      {"small steps restart it once they add up", rule(2, 3, 0.05, 10), {100, 97, 94, 91, 91, 91, 91}, 6, 91, false},
      {"budget ends a noisy run", rule(2, 100, 0.01, 0.0045), {100, 80, 60, 40, 20, 10}, 5, 20, true},
      {"never before min samples", rule(8, 1, 0.01, 0.001), {5, 5, 5, 5, 5, 5, 5}, 0, 5, false},
  };
  for (const auto& c : cases) {
    BestOf best(c.rule, Clock::wall);
    EXPECT_EQ(samples_until_done(&best, c.samples), c.done_after) << c.what;
    EXPECT_EQ(best.best_ns(), c.best) << c.what;
    EXPECT_EQ(best.budget_ran_out(), c.budget_ran_out) << c.what;
  }
}

TEST(BestOf, KeepsEachClocksMinimumAndRanksByTheChosenOne) {
  const std::vector<velabench::Sample> samples = {{100, 80}, {90, 85}, {95, 70}};
  for (Clock clock : {Clock::wall, Clock::cpu}) {
    BestOf best(rule(1, 10, 0.01, 10), clock);
    for (const auto& s : samples) best.add(s, 0.001);
    EXPECT_EQ(best.best_wall_ns(), 90);
    EXPECT_EQ(best.best_cpu_ns(), 70);
    EXPECT_EQ(best.best_ns(), clock == Clock::wall ? 90 : 70);
    EXPECT_EQ(best.samples(), 3u);
  }
}

TEST(BestOf, MaxSamplesEndsEvenAnImprovingRun) {
  StopRule r = rule(1, 100, 0.01, 100);
  r.max_samples = 4;
  BestOf best(r, Clock::cpu);
  EXPECT_EQ(samples_until_done(&best, {50, 40, 30, 20, 10}), 4u);
  EXPECT_EQ(best.best_ns(), 20);
}

TEST(Stopwatch, MeasuresWorkPerCall) {
  const velabench::Stopwatch watch;
  volatile uint64_t sink = 0;
  for (uint64_t i = 0; i < 2000000; ++i) sink = sink + i;
  double spent = 0;
  const velabench::Sample per_call = watch.per_call(4, &spent);
  EXPECT_GT(spent, 0);
  EXPECT_NEAR(per_call.wall_ns * 4, spent * 1e9, 1);  // per call is the whole over the calls
  EXPECT_GT(per_call.cpu_ns, 0);
  EXPECT_LE(per_call.cpu_ns, per_call.wall_ns * 1.05);  // one thread: CPU time within wall time
}

}  // namespace
