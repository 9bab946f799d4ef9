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

double rate(const BenchImage& image, const Outcome& o, bool per_call) {
  if (!o.decoded || o.best_ns <= 0) return 0;
  return per_call ? 1e9 / o.best_ns : double(image.pixels()) / o.best_ns * 1e3;  // calls/s or MP/s
}

struct Worst {
  double value = 0;
  std::string image;
  bool seen = false;
};

void keep_worst(Worst* worst, double value, const BenchImage& image, bool lower_is_worse) {
  if (value <= 0) return;
  if (!worst->seen || (lower_is_worse ? value < worst->value : value > worst->value)) {
    *worst = {value, image.set + "/" + image.name, true};
  }
}

std::string describe(const Worst& worst, const char* label) {
  if (!worst.seen) return "no measurement";
  char text[64];
  std::snprintf(text, sizeof text, "%s %.2f on ", label, worst.value);
  return text + worst.image;
}

}  // namespace

double ratio_to_ours(const ImageOutcome& image, size_t backend) {
  const Outcome* ours = find_role(image, Role::ours);
  const Outcome& other = image.outcomes[backend];
  if (ours == nullptr || !other.decoded || ours->best_ns <= 0) return 0;
  return other.best_ns / ours->best_ns;
}

double fastest_peer_ratio(const ImageOutcome& image) {
  double best = 0;
  for (size_t b = 0; b < image.outcomes.size(); ++b) {
    if (image.outcomes[b].role != Role::peer) continue;
    const double ratio = ratio_to_ours(image, b);
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

std::vector<Target> evaluate_targets(const std::vector<std::vector<ImageOutcome>>& sets, double min_peer_speedup,
                                     double max_floor_ratio) {
  std::vector<Target> targets;
  for (const auto& set : sets) {
    if (set.empty()) continue;
    const std::string name = set.front().image->set;
    Worst peer, floor;
    for (const ImageOutcome& image : set) {
      keep_worst(&peer, fastest_peer_ratio(image), *image.image, true);
      keep_worst(&floor, floor_ratio(image), *image.image, false);
    }
    char what[160];
    if (name == "photo") {
      std::snprintf(what, sizeof what, "photo: ours >= %.2fx the fastest peer on every image", min_peer_speedup);
      targets.push_back({what, peer.seen && peer.value >= min_peer_speedup, describe(peer, "lowest")});
      std::snprintf(what, sizeof what, "photo: ours <= %.2fx the libdeflate floor on every image", max_floor_ratio);
      targets.push_back({what, floor.seen && floor.value <= max_floor_ratio, describe(floor, "highest")});
    }
    targets.push_back({name + ": ours no slower than the fastest peer on every image", peer.seen && peer.value >= 1.0,
                       describe(peer, "lowest")});
  }
  return targets;
}

void print_set_table(FILE* out, const std::vector<ImageOutcome>& set, bool per_call) {
  if (set.empty()) return;
  const ImageOutcome& first = set.front();
  std::fprintf(out, "\n== %s: %zu images, %s (higher is faster); ratios = time(backend) / time(ours)\n",
               first.image->set.c_str(), set.size(), per_call ? "calls per second" : "megapixels per second");
  std::fprintf(out, "%-34s %-10s %-14s %8s", "image", "size", "format", "file KB");
  for (const Outcome& o : first.outcomes) std::fprintf(out, " %10s", o.backend.c_str());
  std::fprintf(out, " |");
  for (const Outcome& o : first.outcomes) {
    if (o.role == Role::plugin || o.role == Role::peer) std::fprintf(out, " %9s", o.backend.c_str());
  }
  std::fprintf(out, " %9s %9s\n", "peer best", "ours/flr");

  const char* rate_format = per_call ? "%.0f" : "%.1f";
  std::vector<std::vector<double>> ratios(first.outcomes.size());
  std::vector<double> peer_ratios, floor_ratios;
  for (const ImageOutcome& image : set) {
    const BenchImage& im = *image.image;
    std::fprintf(out, "%-34.34s %-10s %-14s %8.0f", im.name.c_str(), image_size(im).c_str(), format_of(im).c_str(),
                 double(im.bytes.size()) / 1024);
    for (const Outcome& o : image.outcomes)
      std::fprintf(out, " %10s", cell(rate(im, o, per_call), o, rate_format).c_str());
    std::fprintf(out, " |");
    for (size_t b = 0; b < image.outcomes.size(); ++b) {
      const Outcome& o = image.outcomes[b];
      if (o.role != Role::plugin && o.role != Role::peer) continue;
      const double ratio = ratio_to_ours(image, b);
      ratios[b].push_back(ratio);
      std::fprintf(out, " %9s", ratio > 0 ? cell(ratio, o, "%.2f").c_str() : "-");
    }
    peer_ratios.push_back(fastest_peer_ratio(image));
    floor_ratios.push_back(floor_ratio(image));
    std::fprintf(out, " %9s %9s\n", fixed(peer_ratios.back(), "%.2f").c_str(),
                 fixed(floor_ratios.back(), "%.2f").c_str());
  }
  std::fprintf(out, "%-34s %-10s %-14s %8s", "geometric mean", "", "", "");
  for (size_t b = 0; b < first.outcomes.size(); ++b) std::fprintf(out, " %10s", "");
  std::fprintf(out, " |");
  for (size_t b = 0; b < first.outcomes.size(); ++b) {
    const Role role = first.outcomes[b].role;
    if (role == Role::plugin || role == Role::peer)
      std::fprintf(out, " %9s", fixed(geometric_mean(ratios[b]), "%.2f").c_str());
  }
  std::fprintf(out, " %9s %9s\n", fixed(geometric_mean(peer_ratios), "%.2f").c_str(),
               fixed(geometric_mean(floor_ratios), "%.2f").c_str());
}

void print_targets(FILE* out, const std::vector<Target>& targets) {
  std::fprintf(out, "\n== targets\n");
  for (const Target& t : targets)
    std::fprintf(out, "%-4s %-62s %s\n", t.met ? "MET" : "MISS", t.what.c_str(), t.detail.c_str());
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
               "time_ratio_to_ours,ours_over_floor\n");
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
                   rate(im, o, false), rate(im, o, true), ratio_to_ours(image, b),
                   o.role == Role::floor ? floor_ratio(image) : 0.0);
    }
  }
}

}  // namespace velabench
