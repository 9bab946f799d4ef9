// The benchmark's core, as far as its figures rest on it: the floor inflates what the layout
// predicts, no output that differs from ours is timed unflagged, sampling stops on the
// settled minimum, and the ratios and verdicts are taken the right way round.
#include <gtest/gtest.h>
#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "bench/measure.h"
#include "bench/png_layout.h"
#include "bench/report.h"
#include "tests/support/corpus.h"
#include "tests/support/png_builder.h"

namespace {

using testpng::Bytes;
using velabench::BenchImage;
using velabench::ImageOutcome;
using velabench::Match;
using velabench::Outcome;
using velabench::PixelOrder;
using velabench::Role;

// The inflated size is predicted from the header alone; libdeflate on the joined IDAT data
// says what it really is, for every interlaced and plain size and format in PngSuite.
TEST(ReadPngLayout, PredictsTheInflatedSizeOfEveryPngSuiteFile) {
  libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
  size_t checked = 0;
  for (const std::string& name : testpng::png_files(testpng::pngsuite_dir())) {
    if (name[0] == 'x') continue;  // broken on purpose
    const Bytes file = testpng::read_file(testpng::pngsuite_dir() + "/" + name);
    velabench::PngLayout layout;
    std::string error;
    ASSERT_TRUE(velabench::read_png_layout(file.data(), file.size(), &layout, &error)) << name << ": " << error;
    std::vector<uint8_t> inflated(layout.inflated_size + 64);
    size_t produced = 0;
    EXPECT_EQ(libdeflate_zlib_decompress(decompressor, layout.image_data.data(), layout.image_data.size(),
                                         inflated.data(), inflated.size(), &produced),
              LIBDEFLATE_SUCCESS)
        << name;
    EXPECT_EQ(produced, layout.inflated_size) << name;
    ++checked;
  }
  libdeflate_free_decompressor(decompressor);
  EXPECT_GT(checked, 100u);
  // A walk that would run off the data stops with a reason instead.
  const Bytes good = testpng::png(2, 2, 8, 2, Bytes(14, 0));
  Bytes long_chunk = good;
  long_chunk[33] = 0x7F;  // the IDAT's length now runs far past the end
  for (const Bytes& bad : {Bytes(good.begin(), good.end() - 12), long_chunk}) {
    velabench::PngLayout layout;
    std::string error;
    EXPECT_FALSE(velabench::read_png_layout(bad.data(), bad.size(), &layout, &error));
    EXPECT_NE(error, "");
  }
}

// RGBA pixel i of the fake decoders' image: distinct in every byte for the first 63 pixels.
void expected_pixel(uint64_t i, uint8_t* rgba) {
  for (int k = 0; k < 4; ++k) rgba[k] = static_cast<uint8_t>(4 * i + k + 1);
}

class FakeBackend : public velabench::Backend {
 public:
  FakeBackend(std::string name, Role role, PixelOrder order = PixelOrder::rgba)
      : name_(std::move(name)), role_(role), order_(order) {}
  const char* name() const override { return name_.c_str(); }
  Role role() const override { return role_; }
  PixelOrder order() const override { return order_; }
  bool decode(const BenchImage& image, uint8_t* out, bool) override {
    if (++calls >= fail_from_call) return false;
    for (uint64_t i = 0; order_ != PixelOrder::none && i < image.pixels(); ++i) {
      expected_pixel(i, out + 4 * i);
      if (i == wrong_pixel) out[4 * i + 2] ^= 0x40;
      if (order_ == PixelOrder::bgra && !forget_swap) std::swap(out[4 * i], out[4 * i + 2]);
    }
    return true;
  }
  uint32_t fail_from_call = UINT32_MAX;  // 1: every call fails; 2: the first succeeds
  uint64_t wrong_pixel = UINT64_MAX;
  bool forget_swap = false;
  uint32_t calls = 0;

 private:
  std::string name_;
  Role role_;
  PixelOrder order_;
};

TEST(MeasureImage, FlagsEveryOutputThatDiffersFromOursAndTimesOnlyWhatDecodes) {
  BenchImage image;
  image.layout.width = 3;
  image.layout.height = 2;
  FakeBackend ours("ours", Role::ours), same("same", Role::peer), plugin("plugin", Role::plugin, PixelOrder::bgra),
      off("off", Role::peer), unswapped("unswapped", Role::plugin, PixelOrder::bgra), refuses("refuses", Role::peer),
      flaky("flaky", Role::peer), floor("floor", Role::floor, PixelOrder::none);
  off.wrong_pixel = 4;
  unswapped.forget_swap = true;
  refuses.fail_from_call = 1;
  flaky.fail_from_call = 2;
  const std::vector<velabench::Backend*> backends = {&ours, &same, &plugin, &off, &unswapped, &refuses, &flaky, &floor};
  velabench::TimingOptions options;
  options.rule.min_samples = 3;
  options.rule.quiet_samples = 2;
  options.rule.budget_seconds = 0.05;
  options.min_sample_seconds = 0;  // one call per sample
  const ImageOutcome result = velabench::measure_image(image, backends, options);
  const struct {
    Match match;
    bool decoded;
    std::string note;
  } expected[] = {
      {Match::not_compared, true, ""},  // ours: the reference itself
      {Match::same, true, ""},
      {Match::same, true, ""},
      // Pixel 4 is (1,1): 0x11 0x12 0x13 0x14, its blue flipped by 0x40.
      {Match::differs, true, "1 pixels differ, first at (1,1): ours 11121314, theirs 11125314 (RGBA)"},
      {Match::differs, true, "6 pixels differ, first at (0,0): ours 01020304, theirs 03020104 (RGBA)"},
      {Match::failed, false, "decode failed"},
      {Match::same, false, "a timed decode failed"},
      {Match::not_compared, true, ""},
  };
  ASSERT_EQ(result.outcomes.size(), backends.size());
  for (size_t b = 0; b < backends.size(); ++b) {
    const Outcome& o = result.outcomes[b];
    SCOPED_TRACE(o.backend);
    EXPECT_EQ(o.backend, backends[b]->name());
    EXPECT_EQ(o.match, expected[b].match);
    EXPECT_EQ(o.decoded, expected[b].decoded);
    EXPECT_EQ(o.note, expected[b].note);
    EXPECT_EQ(o.samples >= 3 && o.best_ns > 0, o.decoded);
  }
  EXPECT_EQ(refuses.calls, 1u);  // a backend that fails its check is never timed
}

velabench::StopRule rule(uint32_t min_samples, uint32_t quiet, double tolerance, double budget) {
  velabench::StopRule r;
  r.min_samples = min_samples;
  r.quiet_samples = quiet;
  r.tolerance = tolerance;
  r.budget_seconds = budget;
  return r;
}

TEST(BestOf, StopsOnceTheMinimumHasSettled) {
  const struct {
    const char* what;
    velabench::StopRule rule;
    std::vector<double> samples;  // each takes 1 ms of wall time
    uint32_t done_after;          // 0: still sampling at the end
    double best;
  } cases[] = {
      {"min samples bound", rule(5, 3, 0.01, 10), {100, 100, 100, 100, 100, 100}, 5, 100},
      {"quiet count bound", rule(2, 4, 0.01, 10), {100, 100, 100, 100, 100, 100}, 5, 100},
      {"a real improvement restarts the count", rule(2, 3, 0.01, 10), {100, 100, 90, 100, 100, 100, 100}, 6, 90},
      {"one within tolerance does not", rule(2, 3, 0.05, 10), {100, 100, 97, 100, 100, 100}, 4, 97},
      {"budget ends a noisy run", rule(2, 100, 0.01, 0.0045), {100, 80, 60, 40, 20, 10}, 5, 20},
      {"never before min samples", rule(8, 1, 0.01, 0.001), {5, 5, 5, 5, 5, 5, 5}, 0, 5},
  };
  // The CPU times run the other way, so a rule that read them would stop elsewhere.
  for (const auto& c : cases) {
    velabench::BestOf best(c.rule, velabench::Clock::wall);
    uint32_t done_after = 0;
    double slowest = 0;
    for (size_t i = 0; i < c.samples.size() && done_after == 0; ++i) {
      best.add({c.samples[i], 300 - c.samples[i]}, 0.001);
      slowest = std::max(slowest, c.samples[i]);
      if (best.done()) done_after = best.samples();
    }
    EXPECT_EQ(done_after, c.done_after) << c.what;
    EXPECT_EQ(best.best_ns(), c.best) << c.what;
    EXPECT_EQ(best.best_cpu_ns(), 300 - slowest) << c.what;
  }
}

Outcome timed(const char* name, Role role, double ns) {
  Outcome o;
  o.backend = name;
  o.role = role;
  o.decoded = ns > 0;
  o.best_ns = ns;
  return o;
}

// ours, the plug-in, two peers and the floor, with the given times (0: did not decode).
ImageOutcome image_with(const BenchImage* image, double ours, double plugin, double a, double b, double floor) {
  return {image,
          {timed("ours", Role::ours, ours), timed("plugin", Role::plugin, plugin), timed("a", Role::peer, a),
           timed("b", Role::peer, b), timed("floor", Role::floor, floor)}};
}

TEST(Report, RatiosAndTargetsAreTakenAgainstOurs) {
  BenchImage p1, p2, i1;
  p1.set = p2.set = "photo";
  i1.set = "icons";
  p1.name = "p1.png";
  p2.name = "p2.png";
  i1.name = "i1.png";
  // The plug-in and the floor are never the fastest peer, however fast; a failed peer is none.
  const ImageOutcome image = image_with(&p1, 100, 50, 0, 180, 10);
  EXPECT_DOUBLE_EQ(velabench::ratio_to_ours(image, 1), 0.5);
  EXPECT_DOUBLE_EQ(velabench::fastest_peer_ratio(image), 1.8);
  EXPECT_DOUBLE_EQ(velabench::floor_ratio(image), 10);
  EXPECT_DOUBLE_EQ(velabench::fastest_peer_ratio(image_with(&p1, 0, 50, 120, 180, 10)), 0);  // ours failed
  EXPECT_NEAR(velabench::geometric_mean({2, 8, 0}), 4, 1e-12);  // what was not measured is skipped

  // Photo: peers 1.5 and 1.3 times ours (the second at the limit, which meets it), the floor
  // 1.67 and 1.5 times faster (the first misses); icons: a peer faster than ours.
  const std::vector<velabench::Target> targets = velabench::evaluate_targets(
      {{image_with(&p1, 100, 0, 150, 200, 60), image_with(&p2, 100, 0, 130, 0, 100.0 / 1.5)},
       {image_with(&i1, 10, 0, 9, 0, 1)}});
  const std::pair<bool, std::string> expected[] = {{true, "lowest 1.30 on photo/p2.png"},
                                                   {false, "highest 1.67 on photo/p1.png"},
                                                   {true, "lowest 1.30 on photo/p2.png"},
                                                   {false, "lowest 0.90 on icons/i1.png"}};
  ASSERT_EQ(targets.size(), 4u);
  for (size_t t = 0; t < targets.size(); ++t) {
    EXPECT_EQ(targets[t].met, expected[t].first) << targets[t].what;
    EXPECT_EQ(targets[t].detail, expected[t].second) << targets[t].what;
  }
  EXPECT_TRUE(velabench::evaluate_targets({{image_with(&p2, 100, 0, 130, 0, 100.0 / 1.5)}})[1].met);  // at the limit
}

}  // namespace
