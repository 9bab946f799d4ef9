// Measuring one image with every backend: one checked decode each (the output compared
// with ours), then timed samples taken round-robin, one backend after the other, so a
// burst of load from elsewhere falls on all of them alike.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bench/backend.h"
#include "bench/best_of.h"

namespace velabench {

enum class Match { same, differs, failed, not_compared };

struct Outcome {
  std::string backend;
  Role role = Role::peer;
  bool decoded = false;
  Match match = Match::not_compared;
  std::string note;  // the first difference from ours, or why the decode failed
  double best_ns = 0;
  double best_wall_ns = 0;
  double best_cpu_ns = 0;
  uint32_t samples = 0;
  uint32_t calls_per_sample = 1;
  bool budget_limited = false;
};

struct ImageOutcome {
  const BenchImage* image = nullptr;
  std::vector<Outcome> outcomes;  // in the order of the backends; ours first
};

struct TimingOptions {
  StopRule rule;
  Clock clock = Clock::cpu;
  double min_sample_seconds = 0.001;  // small images are timed in batches at least this long
};

// `backends` starts with ours, whose output is the reference for the others.
ImageOutcome measure_image(const BenchImage& image, const std::vector<Backend*>& backends,
                           const TimingOptions& options);

// Compares `theirs` (in `order`) with our RGBA pixels; empty when equal, else where the
// first difference is, with `differing` set to the number of pixels that differ.
std::string first_difference(const uint8_t* ours, const uint8_t* theirs, PixelOrder order, uint32_t width,
                             uint64_t pixels, uint64_t* differing);

}  // namespace velabench
