// Turning measurements into the tables, the target verdicts and the CSV.
//
// Ratios are of times measured in the same run, so they carry between machines where the
// absolute figures do not. Conventions: a backend's ratio to ours is time(backend) /
// time(ours), above 1 when ours is faster; the floor ratio is time(ours) / time(floor),
// 1 at best.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "bench/measure.h"

namespace velabench {

// time(backend) / time(ours); 0 when either did not decode.
double ratio_to_ours(const ImageOutcome& image, size_t backend);
// The fastest of the peers that decoded, over ours; 0 when there is none.
double fastest_peer_ratio(const ImageOutcome& image);
// time(ours) / time(floor); 0 when either is missing.
double floor_ratio(const ImageOutcome& image);
// Geometric mean of the positive values; 0 when there are none.
double geometric_mean(const std::vector<double>& values);

struct Target {
  std::string what;
  bool met = false;
  std::string detail;  // the worst image and its figure
};

// The photo set's two targets (ours at least `min_peer_speedup` times the fastest peer, at
// most `max_floor_ratio` times the floor) and, for every set, no slower than the fastest peer.
std::vector<Target> evaluate_targets(const std::vector<std::vector<ImageOutcome>>& sets, double min_peer_speedup = 1.3,
                                     double max_floor_ratio = 1.5);

// Megapixels per second for each backend (calls per second with `per_call`), each
// backend's ratio to ours and ours to the floor, and a geometric-mean line.
void print_set_table(FILE* out, const std::vector<ImageOutcome>& set, bool per_call);
void print_targets(FILE* out, const std::vector<Target>& targets);
// Every difference and failure, so no mismatch is timed silently.
void print_mismatches(FILE* out, const std::vector<std::vector<ImageOutcome>>& sets);

void write_csv_header(FILE* out);
void write_csv_rows(FILE* out, const std::vector<ImageOutcome>& set);

}  // namespace velabench
