#include "bench/report.h"

#include <cmath>

namespace velabench {

namespace {

const Outcome* find_role(const ImageOutcome& image, Role role) {
  for (const Outcome& o : image.outcomes) {
    if (o.role == role && o.decoded) return &o;
  }
  return nullptr;
}

bool has_role(const ImageOutcome& image, Role role) {
  for (const Outcome& o : image.outcomes) {
    if (o.role == role) return true;
  }
  return false;
}

std::string image_size(const BenchImage& image) {
  return std::to_string(image.layout.width) + "x" + std::to_string(image.layout.height);
}

std::string format_of(const BenchImage& image) {
  return format_name(image.layout.colour_type, image.layout.bit_depth) + (image.layout.interlace ? "i" : "");
}

// The figure in a table cell, marked when the output differed from ours.
std::string cell(double value, const Outcome& o, const char* format) {
  if (!o.decoded) return "-";
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return std::string(text) + (o.match == Match::differs ? "*" : "");
}

std::string fixed(double value, const char* format) {
  if (value <= 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// Backends with a ratio column: all but the reference and the floor.
bool has_ratio_column(const ImageOutcome& image, const Outcome& o) {
  return o.role != Role::floor && o.role != (has_role(image, Role::plugin) ? Role::plugin : Role::ours);
}

// time(peer) / time(plug-in) for the goals, which are the plug-in's alone; 0 when either is missing.
double plugin_ratio(const ImageOutcome& image, const std::string& peer) {
  const Outcome* plugin = find_role(image, Role::plugin);
  if (plugin == nullptr || plugin->best_ns <= 0) return 0;
  for (const Outcome& o : image.outcomes) {
    if (o.backend == peer && o.decoded) return o.best_ns / plugin->best_ns;
  }
  return 0;
}

// A speed goal over one set: the geometric mean of the plug-in's ratios to `peer` at least
// `goal` (beyond it with `strictly`); the detail names the set's slowest image too.
Target speed_target(const std::vector<ImageOutcome>& set, const std::string& peer, double goal, bool strictly) {
  const std::string name = set.front().image->set;
  std::vector<double> ratios;
  double lowest = 0;
  std::string lowest_image;
  for (const ImageOutcome& image : set) {
    const double ratio = plugin_ratio(image, peer);
    ratios.push_back(ratio);
    if (ratio > 0 && (lowest == 0 || ratio < lowest)) {
      lowest = ratio;
      lowest_image = name + "/" + image.image->name;
    }
  }
  const double mean = geometric_mean(ratios);
  char what[96], detail[160];
  if (strictly) std::snprintf(what, sizeof what, "%s: plug-in faster than %s", name.c_str(), peer.c_str());
  else std::snprintf(what, sizeof what, "%s: plug-in >= %.2fx %s", name.c_str(), goal, peer.c_str());
  if (mean <= 0) return {what, false, "no measurement"};
  std::snprintf(detail, sizeof detail, "geometric mean %.2fx, lowest %.2fx on %s", mean, lowest, lowest_image.c_str());
  return {what, strictly ? mean > goal : mean >= goal, detail};
}

}  // namespace

const Outcome* reference_outcome(const ImageOutcome& image) {
  for (const Outcome& o : image.outcomes) {
    if (o.role == Role::plugin) return &o;
  }
  return find_role(image, Role::ours);
}

double ratio_to_reference(const ImageOutcome& image, size_t backend) {
  const Outcome* reference = reference_outcome(image);
  const Outcome& other = image.outcomes[backend];
  if (reference == nullptr || !reference->decoded || !other.decoded || reference->best_ns <= 0) return 0;
  return other.best_ns / reference->best_ns;
}

double ratio_to_reference(const ImageOutcome& image, const std::string& backend) {
  for (size_t b = 0; b < image.outcomes.size(); ++b) {
    if (image.outcomes[b].backend == backend) return ratio_to_reference(image, b);
  }
  return 0;
}

double fastest_peer_ratio(const ImageOutcome& image) {
  double best = 0;
  for (size_t b = 0; b < image.outcomes.size(); ++b) {
    if (image.outcomes[b].role != Role::peer) continue;
    const double ratio = ratio_to_reference(image, b);
    if (ratio > 0 && (best == 0 || ratio < best)) best = ratio;
  }
  return best;
}

double floor_ratio(const ImageOutcome& image) {
  const Outcome* ours = find_role(image, Role::ours);
  const Outcome* floor = find_role(image, Role::floor);
  if (ours == nullptr || floor == nullptr || floor->best_ns <= 0) return 0;
  return ours->best_ns / floor->best_ns;
}

double geometric_mean(const std::vector<double>& values) {
  double log_sum = 0;
  size_t count = 0;
  for (double v : values) {
    if (v <= 0) continue;
    log_sum += std::log(v);
    ++count;
  }
  return count == 0 ? 0 : std::exp(log_sum / double(count));
}

double rate(const BenchImage& image, const Outcome& o, bool per_call) {
  if (!o.decoded || o.best_ns <= 0) return 0;
  return per_call ? 1e9 / o.best_ns : double(image.pixels()) / o.best_ns * 1e3;  // calls/s or MP/s
}

std::vector<Target> evaluate_targets(const std::vector<std::vector<ImageOutcome>>& sets, const MemoryFigure& memory,
                                     const Goals& goals) {
  std::vector<Target> targets;
  for (const auto& set : sets) {
    if (set.empty()) continue;
    const std::string& name = set.front().image->set;
    if (name == goals.main_set) {
      targets.push_back(speed_target(set, "wuffs", goals.main_vs_wuffs, false));
      targets.push_back(speed_target(set, "libpng", goals.main_vs_libpng, false));
    }
    if (name == "icons") targets.push_back(speed_target(set, "stb_image", goals.icons_vs_stb_image, true));
    targets.push_back(speed_target(set, "wuffs", goals.every_set_vs_wuffs, false));
  }
  char what[96], detail[160];
  std::snprintf(what, sizeof what, "memory: plug-in's file load <= %.2fx inflated size beyond pixels and file",
                goals.max_memory_multiple);
  if (memory.image.empty()) return targets;  // not asked for
  if (memory.multiple <= 0) {
    targets.push_back({what, false, "no measurement"});
  } else {
    std::snprintf(detail, sizeof detail, "%.2fx on %s", memory.multiple, memory.image.c_str());
    targets.push_back({what, memory.multiple <= goals.max_memory_multiple, detail});
  }
  return targets;
}

void print_set_table(FILE* out, const std::vector<ImageOutcome>& set, bool per_call) {
  if (set.empty()) return;
  const ImageOutcome& first = set.front();
  const Outcome* reference = reference_outcome(first);
  std::fprintf(out, "\n== %s: %zu images, %s (higher is faster); ratios = time(backend) / time(%s)\n",
               first.image->set.c_str(), set.size(), per_call ? "calls per second" : "megapixels per second",
               reference != nullptr ? reference->backend.c_str() : "-");
  std::fprintf(out, "%-30s %-10s %-8s %7s", "image", "size", "format", "file KB");
  for (const Outcome& o : first.outcomes) std::fprintf(out, " %9s", o.backend.c_str());
  std::fprintf(out, " |");
  for (const Outcome& o : first.outcomes) {
    if (has_ratio_column(first, o)) std::fprintf(out, " %9s", o.backend.c_str());
  }
  std::fprintf(out, " %9s %8s\n", "peer best", "ours/flr");

  const char* rate_format = per_call ? "%.0f" : "%.1f";
  std::vector<std::vector<double>> rates(first.outcomes.size()), ratios(first.outcomes.size());
  std::vector<double> peer_ratios, floor_ratios;
  for (const ImageOutcome& image : set) {
    const BenchImage& im = *image.image;
    std::fprintf(out, "%-30.30s %-10s %-8s %7.0f", im.name.c_str(), image_size(im).c_str(), format_of(im).c_str(),
                 double(im.bytes.size()) / 1024);
    for (size_t b = 0; b < image.outcomes.size(); ++b) {
      const Outcome& o = image.outcomes[b];
      rates[b].push_back(rate(im, o, per_call));
      std::fprintf(out, " %9s", cell(rates[b].back(), o, rate_format).c_str());
    }
    std::fprintf(out, " |");
    for (size_t b = 0; b < image.outcomes.size(); ++b) {
      const Outcome& o = image.outcomes[b];
      if (!has_ratio_column(image, o)) continue;
      ratios[b].push_back(ratio_to_reference(image, b));
      std::fprintf(out, " %9s", ratios[b].back() > 0 ? cell(ratios[b].back(), o, "%.2f").c_str() : "-");
    }
    peer_ratios.push_back(fastest_peer_ratio(image));
    floor_ratios.push_back(floor_ratio(image));
    std::fprintf(out, " %9s %8s\n", fixed(peer_ratios.back(), "%.2f").c_str(),
                 fixed(floor_ratios.back(), "%.2f").c_str());
  }
  std::fprintf(out, "%-30s %-10s %-8s %7s", "geometric mean", "", "", "");
  for (size_t b = 0; b < first.outcomes.size(); ++b)
    std::fprintf(out, " %9s", fixed(geometric_mean(rates[b]), rate_format).c_str());
  std::fprintf(out, " |");
  for (size_t b = 0; b < first.outcomes.size(); ++b) {
    if (has_ratio_column(first, first.outcomes[b]))
      std::fprintf(out, " %9s", fixed(geometric_mean(ratios[b]), "%.2f").c_str());
  }
  std::fprintf(out, " %9s %8s\n", fixed(geometric_mean(peer_ratios), "%.2f").c_str(),
               fixed(geometric_mean(floor_ratios), "%.2f").c_str());
}

void print_targets(FILE* out, const std::vector<Target>& targets) {
  std::fprintf(out, "\n== targets\n");
  for (const Target& t : targets)
    std::fprintf(out, "%-4s %-66s %s\n", t.met ? "MET" : "MISS", t.what.c_str(), t.detail.c_str());
}

void print_mismatches(FILE* out, const std::vector<std::vector<ImageOutcome>>& sets) {
  size_t count = 0;
  for (const auto& set : sets) {
    for (const ImageOutcome& image : set) {
      for (const Outcome& o : image.outcomes) {
        if (o.match != Match::differs && o.match != Match::failed && o.note.empty()) continue;
        if (count++ == 0) std::fprintf(out, "\n== outputs that differ from ours (marked * above) or failed (-)\n");
        std::fprintf(out, "%s/%s %s: %s\n", image.image->set.c_str(), image.image->name.c_str(), o.backend.c_str(),
                     o.note.c_str());
      }
    }
  }
  if (count == 0) std::fprintf(out, "\nEvery backend's output equals ours on every image.\n");
}

void write_csv_header(FILE* out) {
  std::fprintf(out,
               "set,image,width,height,format,interlace,file_bytes,backend,role,decoded,matches_ours,best_ns,"
               "best_wall_ns,best_cpu_ns,samples,calls_per_sample,budget_limited,megapixels_per_s,calls_per_s,"
               "time_ratio_to_reference,ours_over_floor\n");
}

void write_csv_rows(FILE* out, const std::vector<ImageOutcome>& set) {
  static const char* roles[] = {"ours", "plugin", "peer", "floor"};
  static const char* matches[] = {"yes", "no", "failed", "n/a"};
  for (const ImageOutcome& image : set) {
    const BenchImage& im = *image.image;
    for (size_t b = 0; b < image.outcomes.size(); ++b) {
      const Outcome& o = image.outcomes[b];
      std::fprintf(out, "%s,%s,%u,%u,%s,%u,%zu,%s,%s,%d,%s,%.0f,%.0f,%.0f,%u,%u,%d,%.3f,%.1f,%.4f,%.4f\n",
                   im.set.c_str(), im.name.c_str(), im.layout.width, im.layout.height,
                   format_name(im.layout.colour_type, im.layout.bit_depth).c_str(), im.layout.interlace,
                   im.bytes.size(), o.backend.c_str(), roles[int(o.role)], o.decoded ? 1 : 0, matches[int(o.match)],
                   o.best_ns, o.best_wall_ns, o.best_cpu_ns, o.samples, o.calls_per_sample, o.budget_limited ? 1 : 0,
                   rate(im, o, false), rate(im, o, true), ratio_to_reference(image, b),
                   o.role == Role::floor ? floor_ratio(image) : 0.0);
    }
  }
}

}  // namespace velabench
