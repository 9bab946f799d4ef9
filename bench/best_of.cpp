#include "bench/best_of.h"

#include <time.h>

namespace velabench {

namespace {

double now_ns(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return double(t.tv_sec) * 1e9 + double(t.tv_nsec);
}

}  // namespace

Stopwatch::Stopwatch() : wall0_(now_ns(CLOCK_MONOTONIC)), cpu0_(now_ns(CLOCK_THREAD_CPUTIME_ID)) {}

Sample Stopwatch::per_call(uint32_t calls, double* spent_seconds) const {
  const double cpu = now_ns(CLOCK_THREAD_CPUTIME_ID) - cpu0_;
  const double wall = now_ns(CLOCK_MONOTONIC) - wall0_;
  *spent_seconds = wall / 1e9;
  return {wall / calls, cpu / calls};
}

double Stopwatch::wall_ns() const { return now_ns(CLOCK_MONOTONIC) - wall0_; }

// Small improvements keep arriving for a long time (caches, branch predictors, frequency),
// so only an improvement beyond the tolerance restarts the quiet count; the best is still
// kept exactly.
void BestOf::add(Sample sample, double spent_seconds) {
  const double value = clock_ == Clock::cpu ? sample.cpu_ns : sample.wall_ns;
  if (samples_ == 0) {
    best_wall_ns_ = sample.wall_ns;
    best_cpu_ns_ = sample.cpu_ns;
    last_marked_ns_ = value;
  } else {
    if (sample.wall_ns < best_wall_ns_) best_wall_ns_ = sample.wall_ns;
    if (sample.cpu_ns < best_cpu_ns_) best_cpu_ns_ = sample.cpu_ns;
    if (value < last_marked_ns_ * (1.0 - rule_.tolerance)) {
      last_marked_ns_ = best_ns();
      quiet_ = 0;
    } else {
      ++quiet_;
    }
  }
  ++samples_;
  spent_seconds_ += spent_seconds;
}

bool BestOf::done() const {
  if (samples_ >= rule_.max_samples) return true;
  if (samples_ < rule_.min_samples) return false;
  return quiet_ >= rule_.quiet_samples || spent_seconds_ >= rule_.budget_seconds;
}

}  // namespace velabench
