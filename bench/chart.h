// The benchmark's summary as an SVG chart that a README can show: one group of bars per image
// set, one bar per backend, each the geometric mean of its megapixels per second over the
// set's images, the value written above it. Plain text, no dependencies.
#pragma once

#include <string>
#include <vector>

#include "bench/measure.h"

namespace velabench {

struct ChartSeries {
  std::string name;
  std::vector<double> values;  // one per group; 0: not measured, no bar
};

// Grouped bars on a linear axis from 0, with a title, a subtitle, the axis's label and a legend.
std::string bar_chart_svg(const std::string& title, const std::string& subtitle, const std::string& axis,
                          const std::vector<std::string>& groups, const std::vector<ChartSeries>& series);

// The chart of the measured sets, every backend but the floor (which decodes nothing), to `path`.
bool write_chart(const std::string& path, const std::vector<std::vector<ImageOutcome>>& sets,
                 const std::string& subtitle);

}  // namespace velabench
