#include "bench/chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "bench/report.h"

namespace velabench {

namespace {

constexpr double kWidth = 960, kHeight = 440;
constexpr double kLeft = 70, kRight = 20, kTop = 78, kBottom = 44;
// Ours through the plug-in in the strongest colour, ours direct beside it in a lighter one.
constexpr const char* kColours[] = {"#1f4e9c", "#7ba7dd", "#e08a1e", "#5b9a45", "#8e6fc0", "#8c8c8c", "#c0504d"};

std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else if (c == '"') out += "&quot;";
    else out += c;
  }
  return out;
}

std::string format(const char* pattern, double a, double b = 0, double c = 0, double d = 0) {
  char text[160];
  std::snprintf(text, sizeof text, pattern, a, b, c, d);
  return text;
}

// A step of 1, 2 or 5 times a power of ten that gives four to eight grid lines.
double axis_step(double top) {
  const double magnitude = std::pow(10.0, std::floor(std::log10(top / 5)));
  for (double factor : {1.0, 2.0, 5.0, 10.0}) {
    if (top / (factor * magnitude) <= 8) return factor * magnitude;
  }
  return 10 * magnitude;
}

std::string value_label(double value) { return format(value < 10 ? "%.1f" : "%.0f", value); }

std::string display_name(const std::string& backend) {
  if (backend == "plugin") return "VelaPNG plug-in";
  if (backend == "velapng") return "VelaPNG decode_rgba";
  return backend;
}

}  // namespace

std::string bar_chart_svg(const std::string& title, const std::string& subtitle, const std::string& axis,
                          const std::vector<std::string>& groups, const std::vector<ChartSeries>& series) {
  double highest = 0;
  for (const ChartSeries& s : series) {
    for (double v : s.values) highest = std::max(highest, v);
  }
  const double step = axis_step(highest > 0 ? highest : 1);
  const double top = step * std::ceil((highest > 0 ? highest : 1) / step);
  const double plot_width = kWidth - kLeft - kRight, plot_height = kHeight - kTop - kBottom;
  const double bottom = kTop + plot_height;
  const auto y_of = [&](double value) { return bottom - value / top * plot_height; };

  std::string svg = format(
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" viewBox=\"0 0 %.0f %.0f\" "
      "font-family=\"sans-serif\">\n",
      kWidth, kHeight, kWidth, kHeight);
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  svg += format("<text x=\"%.0f\" y=\"22\" font-size=\"16\" font-weight=\"bold\" text-anchor=\"middle\">", kWidth / 2) +
         escaped(title) + "</text>\n";
  svg += format("<text x=\"%.0f\" y=\"40\" font-size=\"11\" fill=\"#555\" text-anchor=\"middle\">", kWidth / 2) +
         escaped(subtitle) + "</text>\n";

  // Legend: one swatch and name per series, in a row.
  double x = kLeft;
  for (size_t s = 0; s < series.size(); ++s) {
    svg += format("<rect x=\"%.1f\" y=\"52\" width=\"12\" height=\"12\" fill=\"", x) +
           kColours[s % std::size(kColours)] + "\"/>";
    svg += format("<text x=\"%.1f\" y=\"62\" font-size=\"12\">", x + 16) + escaped(series[s].name) + "</text>\n";
    x += 16 + 8.0 * double(series[s].name.size()) + 18;
  }

  // Grid and axis.
  for (double v = 0; v <= top + step / 2; v += step) {
    svg += format("<line x1=\"%.0f\" y1=\"%.1f\" x2=\"%.0f\" y2=\"%.1f\" stroke=\"#ddd\"/>", kLeft, y_of(v),
                  kWidth - kRight, y_of(v));
    svg += format("<text x=\"%.0f\" y=\"%.1f\" font-size=\"11\" text-anchor=\"end\">", kLeft - 6, y_of(v) + 4) +
           format(step < 1 ? "%.1f" : "%.0f", v) + "</text>\n";
  }
  svg +=
      format("<line x1=\"%.0f\" y1=\"%.0f\" x2=\"%.0f\" y2=\"%.0f\" stroke=\"#333\"/>\n", kLeft, kTop, kLeft, bottom);
  svg += format("<text transform=\"translate(18 %.0f) rotate(-90)\" font-size=\"12\" text-anchor=\"middle\">",
                kTop + plot_height / 2) +
         escaped(axis) + "</text>\n";

  // Bars: each group's bars fill the middle 80% of its width.
  const double group_width = plot_width / double(std::max<size_t>(groups.size(), 1));
  const double bar_width = group_width * 0.8 / double(std::max<size_t>(series.size(), 1));
  for (size_t g = 0; g < groups.size(); ++g) {
    const double left = kLeft + group_width * double(g) + group_width * 0.1;
    for (size_t s = 0; s < series.size(); ++s) {
      const double value = g < series[s].values.size() ? series[s].values[g] : 0;
      if (value <= 0) continue;
      const double bar_x = left + bar_width * double(s);
      svg += format("<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"", bar_x + 1, y_of(value),
                    bar_width - 2, bottom - y_of(value)) +
             kColours[s % std::size(kColours)] + "\"/>";
      svg += format("<text x=\"%.1f\" y=\"%.1f\" font-size=\"9\" text-anchor=\"middle\">", bar_x + bar_width / 2,
                    y_of(value) - 3) +
             value_label(value) + "</text>\n";
    }
    svg += format("<text x=\"%.1f\" y=\"%.0f\" font-size=\"13\" text-anchor=\"middle\">", left + group_width * 0.4,
                  bottom + 20) +
           escaped(groups[g]) + "</text>\n";
  }
  svg += format("<line x1=\"%.0f\" y1=\"%.0f\" x2=\"%.0f\" y2=\"%.0f\" stroke=\"#333\"/>\n", kLeft, bottom,
                kWidth - kRight, bottom);
  return svg + "</svg>\n";
}

bool write_chart(const std::string& path, const std::vector<std::vector<ImageOutcome>>& sets,
                 const std::string& subtitle) {
  std::vector<std::string> groups;
  std::vector<ChartSeries> series;
  for (const auto& set : sets) {
    if (set.empty()) continue;
    groups.push_back(set.front().image->set + " (" + std::to_string(set.size()) + ")");
    for (size_t b = 0; b < set.front().outcomes.size(); ++b) {
      const Outcome& first = set.front().outcomes[b];
      if (first.role == Role::floor) continue;
      auto found = std::find_if(series.begin(), series.end(),
                                [&](const ChartSeries& s) { return s.name == display_name(first.backend); });
      if (found == series.end()) found = series.insert(series.end(), {display_name(first.backend), {}});
      std::vector<double> rates;
      for (const ImageOutcome& image : set) rates.push_back(rate(*image.image, image.outcomes[b], false));
      found->values.resize(groups.size() - 1);
      found->values.push_back(geometric_mean(rates));
    }
  }
  // The plug-in first: it is what the chart is about.
  std::stable_partition(series.begin(), series.end(),
                        [](const ChartSeries& s) { return s.name == display_name("plugin"); });
  const std::string svg = bar_chart_svg("VelaPNG and the PNG decoders people use, per image set", subtitle,
                                        "megapixels per second (geometric mean over the set)", groups, series);
  FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(svg.data(), 1, svg.size(), file) == svg.size();
  return std::fclose(file) == 0 && ok;
}

}  // namespace velabench
