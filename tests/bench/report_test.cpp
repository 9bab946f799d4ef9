#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "bench/report.h"
#include "tests/bench/bench_fakes.h"

namespace {

using velabench::ImageOutcome;
using velabench::Match;
using velabench::Outcome;
using velabench::Role;

Outcome timed(const char* name, Role role, double ns, bool decoded = true) {
  Outcome o;
  o.backend = name;
  o.role = role;
  o.decoded = decoded;
  o.match = Match::same;
  o.best_ns = o.best_cpu_ns = o.best_wall_ns = decoded ? ns : 0;
  return o;
}

// ours, the plug-in, three peers and the floor, with the given times (0: did not decode).
ImageOutcome image_with(const velabench::BenchImage* image, double ours, double plugin, double a, double b, double c,
                        double floor) {
  ImageOutcome result{image, {}};
  result.outcomes = {timed("ours", Role::ours, ours, ours > 0),   timed("plugin", Role::plugin, plugin, plugin > 0),
                     timed("a", Role::peer, a, a > 0),            timed("b", Role::peer, b, b > 0),
                     timed("c", Role::peer, c, c > 0),            timed("floor", Role::floor, floor, floor > 0)};
  return result;
}

TEST(Ratios, AreTimesOverOursAndOursOverTheFloor) {
  const velabench::BenchImage im = benchtest::test_image(10, 10);
  const struct {
    const char* what;
    ImageOutcome image;
    double plugin, fastest_peer, floor;
  } cases[] = {
      {"all decode", image_with(&im, 100, 110, 250, 180, 300, 40), 1.1, 1.8, 2.5},
      // The plug-in and the floor are never the fastest peer, however fast.
      {"fast plug-in and floor", image_with(&im, 100, 50, 250, 400, 300, 10), 0.5, 2.5, 10},
      {"a peer that failed is no peer", image_with(&im, 100, 110, 0, 180, 0, 50), 1.1, 1.8, 2},
      {"no peer at all", image_with(&im, 100, 0, 0, 0, 0, 0), 0, 0, 0},
      {"ours failed", image_with(&im, 0, 110, 250, 180, 300, 40), 0, 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(velabench::ratio_to_ours(c.image, 1), c.plugin) << c.what;
    EXPECT_DOUBLE_EQ(velabench::fastest_peer_ratio(c.image), c.fastest_peer) << c.what;
    EXPECT_DOUBLE_EQ(velabench::floor_ratio(c.image), c.floor) << c.what;
  }
}

TEST(GeometricMean, SkipsWhatWasNotMeasured) {
  const struct {
    std::vector<double> values;
    double mean;
  } cases[] = {{{1, 4}, 2}, {{2, 8, 0}, 4}, {{0.5, 2, 1}, 1}, {{}, 0}, {{0, 0}, 0}, {{3}, 3}};
  for (const auto& c : cases) EXPECT_NEAR(velabench::geometric_mean(c.values), c.mean, 1e-12);
}

TEST(EvaluateTargets, NamesTheWorstImageOfEachSet) {
  const velabench::BenchImage p1 = benchtest::test_image(10, 10, "photo", "p1.png");
  const velabench::BenchImage p2 = benchtest::test_image(10, 10, "photo", "p2.png");
  const velabench::BenchImage i1 = benchtest::test_image(4, 4, "icons", "i1.png");
  const velabench::BenchImage i2 = benchtest::test_image(4, 4, "icons", "i2.png");
  const struct {
    const char* what;
    std::vector<std::vector<ImageOutcome>> sets;
    std::vector<bool> met;
    std::vector<std::string> detail;
  } cases[] = {
      {"photo misses both, icons fine",
       {{image_with(&p1, 100, 0, 150, 200, 0, 60), image_with(&p2, 100, 0, 120, 0, 0, 70)},
        {image_with(&i1, 10, 0, 10, 0, 0, 1), image_with(&i2, 10, 0, 12, 0, 0, 1)}},
       {false, false, true, true},
       {"lowest 1.20 on photo/p2.png", "highest 1.67 on photo/p1.png", "lowest 1.20 on photo/p2.png",
        "lowest 1.00 on icons/i1.png"}},
      {"photo meets both at the limits, icons slower than a peer",
       {{image_with(&p1, 100, 0, 130, 0, 0, 100.0 / 1.5)}, {image_with(&i1, 10, 0, 9, 0, 0, 1)}},
       {true, true, true, false},
       {"lowest 1.30 on photo/p1.png", "highest 1.50 on photo/p1.png", "lowest 1.30 on photo/p1.png",
        "lowest 0.90 on icons/i1.png"}},
      {"nothing measured",
       {{image_with(&p1, 0, 0, 0, 0, 0, 0)}},
       {false, false, false},
       {"no measurement", "no measurement", "no measurement"}},
  };
  for (const auto& c : cases) {
    const std::vector<velabench::Target> targets = velabench::evaluate_targets(c.sets);
    ASSERT_EQ(targets.size(), c.met.size()) << c.what;
    for (size_t t = 0; t < targets.size(); ++t) {
      EXPECT_EQ(targets[t].met, c.met[t]) << c.what << ": " << targets[t].what;
      EXPECT_EQ(targets[t].detail, c.detail[t]) << c.what << ": " << targets[t].what;
    }
  }
}

std::string captured(void (*write)(FILE*, const std::vector<ImageOutcome>&), const std::vector<ImageOutcome>& set) {
  char* text = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&text, &size);
  write(out, set);
  std::fclose(out);
  std::string result(text, size);
  std::free(text);
  return result;
}

std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> parts;
  std::stringstream stream(line);
  for (std::string part; std::getline(stream, part, ',');) parts.push_back(part);
  return parts;
}

TEST(Csv, EveryRowFillsEveryColumn) {
  const velabench::BenchImage im = benchtest::test_image(1000, 1000);
  ImageOutcome image = image_with(&im, 1e6, 2e6, 3e6, 0, 4e6, 5e5);
  image.outcomes[4].match = Match::differs;
  char* text = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&text, &size);
  velabench::write_csv_header(out);
  std::fclose(out);
  const std::vector<std::string> header = fields(std::string(text, size - 1));
  std::free(text);
  const auto column = [&](const char* name) { return size_t(std::find(header.begin(), header.end(), name) - header.begin()); };

  std::stringstream rows(captured(velabench::write_csv_rows, {image}));
  std::vector<std::vector<std::string>> table;
  for (std::string line; std::getline(rows, line);) table.push_back(fields(line));
  ASSERT_EQ(table.size(), 6u);
  for (const auto& row : table) ASSERT_EQ(row.size(), header.size()) << row[7];
  // One megapixel in one millisecond is 1000 MP/s; the plug-in took twice ours.
  EXPECT_EQ(table[0][column("megapixels_per_s")], "1000.000");
  EXPECT_EQ(table[1][column("time_ratio_to_ours")], "2.0000");
  EXPECT_EQ(table[3][column("decoded")], "0");
  EXPECT_EQ(table[4][column("matches_ours")], "no");
  EXPECT_EQ(table[5][column("ours_over_floor")], "2.0000");
  EXPECT_EQ(table[5][column("role")], "floor");
}

}  // namespace
