// Best-of-N timing with an adaptive N: samples are taken until the fastest one has stopped
// improving, or the time budget is spent. The minimum is the figure least disturbed by
// other work on the machine (interrupts, another process on the same core, a cold cache),
// which all only ever add time.
#pragma once

#include <cstdint>

namespace velabench {

struct StopRule {
  uint32_t min_samples = 5;
  // Done once this many samples in a row have not beaten the best by more than `tolerance`.
  uint32_t quiet_samples = 10;
  double tolerance = 0.01;
  double budget_seconds = 2.0;  // wall time, per image and backend
  uint32_t max_samples = 1000000;
};

// Per-call times (a sample may time a batch of calls and report the time per call).
struct Sample {
  double wall_ns;
  double cpu_ns;
};

enum class Clock { cpu, wall };

// Wall and thread CPU time from construction on. CPU time leaves out the time the thread
// was not running, which on a shared machine is most of the noise; it still counts the
// kernel's time in page faults taken for the thread.
class Stopwatch {
 public:
  Stopwatch();
  // The times so far divided by `calls`; *spent_seconds gets the whole wall time.
  Sample per_call(uint32_t calls, double* spent_seconds) const;
  double wall_ns() const;

 private:
  double wall0_;
  double cpu0_;
};

class BestOf {
 public:
  BestOf(const StopRule& rule, Clock clock) : rule_(rule), clock_(clock) {}

  // `spent_seconds` is the wall time the sample took as a whole, batch included.
  void add(Sample sample, double spent_seconds);
  bool done() const;

  double best_ns() const { return clock_ == Clock::cpu ? best_cpu_ns_ : best_wall_ns_; }
  double best_wall_ns() const { return best_wall_ns_; }
  double best_cpu_ns() const { return best_cpu_ns_; }
  uint32_t samples() const { return samples_; }
  // True when the budget, not a settled minimum, ended the sampling.
  bool budget_ran_out() const { return spent_seconds_ >= rule_.budget_seconds && quiet_ < rule_.quiet_samples; }

 private:
  StopRule rule_;
  Clock clock_;
  double best_wall_ns_ = 0;
  double best_cpu_ns_ = 0;
  double last_marked_ns_ = 0;  // the best when the quiet count last restarted
  uint32_t samples_ = 0;
  uint32_t quiet_ = 0;
  double spent_seconds_ = 0;
};

}  // namespace velabench
