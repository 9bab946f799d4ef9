// Turning measurements into the tables, the target verdicts, the chart's figures and the CSV.
//
// Ratios are of times measured in the same run, so they carry between machines where the
// absolute figures do not. Every ratio is taken against the reference, the plug-in's load
// (what users decode through) where it ran, else ours: time(backend) / time(reference), above
// 1 when the reference is faster. The floor ratio is time(ours) / time(floor), 1 at best.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "bench/measure.h"

namespace velabench {

// The plug-in's outcome when the image has one, else ours'.
const Outcome* reference_outcome(const ImageOutcome& image);
// time(backend) / time(reference); 0 when either did not decode.
double ratio_to_reference(const ImageOutcome& image, size_t backend);
// The same for the backend of that name; 0 when there is none.
double ratio_to_reference(const ImageOutcome& image, const std::string& backend);
// The fastest of the peers that decoded, over the reference; 0 when there is none.
double fastest_peer_ratio(const ImageOutcome& image);
// time(ours) / time(floor); 0 when either is missing.
double floor_ratio(const ImageOutcome& image);
// Geometric mean of the positive values; 0 when there are none.
double geometric_mean(const std::vector<double>& values);
// Megapixels per second of a decoded outcome (calls per second with `per_call`); 0 otherwise.
double rate(const BenchImage& image, const Outcome& outcome, bool per_call);

// What the decoder is held to. Speed goals are geometric means over a set of
// time(peer) / time(plug-in); the memory goal is the peak of the plug-in's unrotated file load
// above the program with the file read in, less the host's RGBA pixels, as a multiple of the
// image's inflated size, on its worst photograph (load_memory.h).
struct Goals {
  std::string main_set = "adaptive";  // photographs saved the way users' files are
  double main_vs_wuffs = 1.25;
  double main_vs_libpng = 2.0;
  double every_set_vs_wuffs = 1.0;
  double icons_vs_stb_image = 1.0;  // to be exceeded: the plug-in keeps its lead
  double max_memory_multiple = 1.1;
};

// The plug-in's peak memory on its worst image as the goal counts it; no image: not asked for (no
// target), multiple 0: the measurement failed.
struct MemoryFigure {
  std::string image;
  double multiple = 0;
};

struct Target {
  std::string what;
  bool met = false;
  std::string detail;  // the set's figure and its worst image
};

std::vector<Target> evaluate_targets(const std::vector<std::vector<ImageOutcome>>& sets, const MemoryFigure& memory,
                                     const Goals& goals = {});

// Megapixels per second for each backend (calls per second with `per_call`), each
// backend's ratio to the reference and ours to the floor, and a geometric-mean line.
void print_set_table(FILE* out, const std::vector<ImageOutcome>& set, bool per_call);
void print_targets(FILE* out, const std::vector<Target>& targets);
// Every difference and failure, so no mismatch is timed silently.
void print_mismatches(FILE* out, const std::vector<std::vector<ImageOutcome>>& sets);

void write_csv_header(FILE* out);
void write_csv_rows(FILE* out, const std::vector<ImageOutcome>& set);

}  // namespace velabench
