#include "bench/measure.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace velabench {

namespace {

constexpr uint8_t kCanary = 0xA5;
constexpr uint32_t kMaxBatch = 100000;

std::string hex_pixel(const uint8_t* p) {
  char text[16];
  std::snprintf(text, sizeof text, "%02x%02x%02x%02x", p[0], p[1], p[2], p[3]);
  return text;
}

struct Runner {
  Backend* backend;
  Outcome outcome;
  BestOf best;
};

// One timed sample of `calls` decodes; false when a decode failed.
bool take_sample(Runner* runner, const BenchImage& image, uint8_t* out, uint32_t calls) {
  const Stopwatch watch;
  bool ok = true;
  for (uint32_t k = 0; k < calls; ++k) ok = runner->backend->decode(image, out, false) && ok;
  double spent = 0;
  const Sample sample = watch.per_call(calls, &spent);
  if (!ok) return false;
  runner->best.add(sample, spent);
  return true;
}

// The untimed first decode: warms caches and checks the output against ours.
void check_output(Runner* runner, const BenchImage& image, const std::vector<uint8_t>& reference) {
  Outcome& outcome = runner->outcome;
  std::vector<uint8_t> out(image.rgba_bytes(), kCanary);
  if (!runner->backend->prepare(image) || !runner->backend->decode(image, out.data(), true)) {
    outcome.match = Match::failed;
    outcome.note = "decode failed";
    return;
  }
  outcome.decoded = true;
  const PixelOrder order = runner->backend->order();
  if (order == PixelOrder::none || reference.empty()) return;
  uint64_t differing = 0;
  outcome.note = first_difference(reference.data(), out.data(), order, image.layout.width, image.pixels(), &differing);
  outcome.match = outcome.note.empty() ? Match::same : Match::differs;
}

uint32_t batch_size(Runner* runner, const BenchImage& image, uint8_t* out, double min_sample_seconds) {
  const Stopwatch watch;
  runner->backend->decode(image, out, false);
  const double one = std::max(watch.wall_ns(), 1.0);
  return static_cast<uint32_t>(std::clamp(std::ceil(min_sample_seconds * 1e9 / one), 1.0, double(kMaxBatch)));
}

}  // namespace

std::string first_difference(const uint8_t* ours, const uint8_t* theirs, PixelOrder order, uint32_t width,
                             uint64_t pixels, uint64_t* differing) {
  *differing = 0;
  uint64_t first = pixels;
  for (uint64_t i = 0; i < pixels; ++i) {
    const uint8_t* p = theirs + 4 * i;
    const uint8_t as_rgba[4] = {order == PixelOrder::bgra ? p[2] : p[0], p[1], order == PixelOrder::bgra ? p[0] : p[2],
                                p[3]};
    if (std::memcmp(as_rgba, ours + 4 * i, 4) == 0) continue;
    if (*differing == 0) first = i;
    ++*differing;
  }
  if (*differing == 0) return {};
  uint8_t first_theirs[4];
  const uint8_t* p = theirs + 4 * first;
  const bool swap = order == PixelOrder::bgra;
  first_theirs[0] = swap ? p[2] : p[0];
  first_theirs[1] = p[1];
  first_theirs[2] = swap ? p[0] : p[2];
  first_theirs[3] = p[3];
  const uint64_t x = width == 0 ? 0 : first % width, y = width == 0 ? 0 : first / width;
  return std::to_string(*differing) + " pixels differ, first at (" + std::to_string(x) + "," + std::to_string(y) +
         "): ours " + hex_pixel(ours + 4 * first) + ", theirs " + hex_pixel(first_theirs) + " (RGBA)";
}

ImageOutcome measure_image(const BenchImage& image, const std::vector<Backend*>& backends,
                           const TimingOptions& options) {
  std::vector<Runner> runners;
  for (Backend* backend : backends) {
    Outcome outcome;
    outcome.backend = backend->name();
    outcome.role = backend->role();
    runners.push_back({backend, outcome, BestOf(options.rule, options.clock)});
  }

  // Ours first, into a buffer of its own: its pixels are what the others are held to.
  std::vector<uint8_t> reference;
  check_output(&runners[0], image, reference);
  if (runners[0].outcome.decoded) {
    reference.assign(image.rgba_bytes(), kCanary);
    runners[0].backend->decode(image, reference.data(), true);
  }
  for (size_t b = 1; b < runners.size(); ++b) check_output(&runners[b], image, reference);

  std::vector<uint8_t> out(image.rgba_bytes(), 0);  // the host's memory, resident like a reused bitmap
  std::vector<Runner*> active;
  for (Runner& runner : runners) {
    if (!runner.outcome.decoded) continue;
    runner.outcome.calls_per_sample = batch_size(&runner, image, out.data(), options.min_sample_seconds);
    active.push_back(&runner);
  }
  while (!active.empty()) {
    for (Runner* runner : active) {
      if (!take_sample(runner, image, out.data(), runner->outcome.calls_per_sample)) {
        runner->outcome.decoded = false;
        runner->outcome.note = "a timed decode failed";
      }
    }
    std::erase_if(active, [](Runner* r) { return !r->outcome.decoded || r->best.done(); });
  }

  ImageOutcome result{&image, {}};
  for (Runner& runner : runners) {
    Outcome& o = runner.outcome;
    if (o.decoded) {
      o.best_ns = runner.best.best_ns();
      o.best_wall_ns = runner.best.best_wall_ns();
      o.best_cpu_ns = runner.best.best_cpu_ns();
      o.samples = runner.best.samples();
      o.budget_limited = runner.best.budget_ran_out();
    }
    result.outcomes.push_back(o);
  }
  return result;
}

}  // namespace velabench
