// velapng_bench: decodes a corpus from memory with ours, the plug-in export, wuffs, libpng,
// libspng and stb_image, and bounds everything by libdeflate's inflate alone. Prints a table
// per image set, the targets met or missed, every output that differs from ours, the per-call
// set-up of ours, the peak memory of each backend on the largest image and of the plug-in's
// file and memory loads on every photograph of the adaptive set; writes a CSV and an SVG
// chart of the sets.
//
//   velapng_bench [--corpus DIR] [--csv FILE] [--chart FILE] [--plugin LIBRARY]
//                 [--clock cpu|wall] [--budget SECONDS] [--sets adaptive,photo,colour,adam7,icons]
//                 [--only SUBSTRING] [--backends plugin,wuffs,libpng,libspng,stb_image,floor]
//                 [--no-memory]
// --only keeps the files whose names contain SUBSTRING; --backends leaves out the others
// (ours always runs), which is how a profile of one decoder is taken.
#include <libdeflate.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "bench/backend.h"
#include "bench/chart.h"
#include "bench/load_memory.h"
#include "bench/measure.h"
#include "bench/peak_memory.h"
#include "bench/report.h"
#include "decoder/decoder.h"

namespace velabench {

namespace {

namespace fs = std::filesystem;

struct Options {
  std::string corpus = "build/bench/bench-corpus";
  std::string csv = "build/bench/bench-results.csv";
  std::string chart = "build/bench/bench-chart.svg";
  std::string plugin;
  std::vector<std::string> sets = {"adaptive", "photo", "colour", "adam7", "icons"};
  std::string only;
  std::vector<std::string> backends;  // empty: all
  bool memory = true;
  TimingOptions timing;
};

std::string default_plugin_path() {
#ifdef VELAPNG_BENCH_PLUGIN
  return VELAPNG_BENCH_PLUGIN;
#else
  return (fs::path(own_executable()).parent_path().parent_path() / "bin" / "libVelaPNG.so").string();
#endif
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  for (std::string part; std::getline(stream, part, separator);) {
    if (!part.empty()) parts.push_back(part);
  }
  return parts;
}

[[noreturn]] void usage(const char* why) {
  std::fprintf(stderr,
               "velapng_bench: %s\nusage: velapng_bench [--corpus DIR] [--csv FILE] [--chart FILE] [--plugin LIBRARY] "
               "[--clock cpu|wall] [--budget SECONDS] [--sets a,b] [--only SUBSTRING] [--backends a,b] "
               "[--no-memory]\n",
               why);
  std::exit(2);
}

Options parse(int argc, char** argv) {
  Options options;
  options.plugin = default_plugin_path();
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&]() -> std::string {
      if (i + 1 >= argc) usage(("missing value after " + arg).c_str());
      return argv[++i];
    };
    if (arg == "--corpus") options.corpus = value();
    else if (arg == "--csv") options.csv = value();
    else if (arg == "--chart") options.chart = value();
    else if (arg == "--plugin") options.plugin = value();
    else if (arg == "--sets") options.sets = split(value(), ',');
    else if (arg == "--only") options.only = value();
    else if (arg == "--backends") options.backends = split(value(), ',');
    else if (arg == "--no-memory") options.memory = false;
    else if (arg == "--budget") options.timing.rule.budget_seconds = std::atof(value().c_str());
    else if (arg == "--clock") {
      const std::string clock = value();
      if (clock != "cpu" && clock != "wall") usage("--clock takes cpu or wall");
      options.timing.clock = clock == "cpu" ? Clock::cpu : Clock::wall;
    } else {
      usage(("unknown argument " + arg).c_str());
    }
  }
  return options;
}

bool load_image(const std::string& set, const fs::path& path, BenchImage* image, bool join_image_data = true) {
  image->set = set;
  image->name = path.filename().string();
  image->path = path.string();
  std::string error;
  if (!read_file(image->path, &image->bytes)) error = "cannot be read";
  else read_png_layout(image->bytes.data(), image->bytes.size(), &image->layout, &error, join_image_data);
  if (error.empty()) return true;
  std::fprintf(stderr, "velapng_bench: skipping %s: %s\n", image->path.c_str(), error.c_str());
  return false;
}

// One list per set, files sorted by name.
std::vector<std::vector<BenchImage>> load_corpus(const Options& options) {
  std::vector<std::vector<BenchImage>> sets;
  for (const std::string& set : options.sets) {
    const fs::path dir = fs::path(options.corpus) / set;
    if (!fs::is_directory(dir)) {
      std::fprintf(stderr, "velapng_bench: no %s set in %s (run bench/make-corpus.sh)\n", set.c_str(),
                   options.corpus.c_str());
      continue;
    }
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir)) {
      const std::string name = entry.path().filename().string();
      if (entry.path().extension() == ".png" && name.find(options.only) != std::string::npos)
        files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    std::vector<BenchImage> images;
    for (const fs::path& file : files) {
      BenchImage image;
      if (load_image(set, file, &image)) images.push_back(std::move(image));
    }
    if (!images.empty()) sets.push_back(std::move(images));
  }
  return sets;
}

std::vector<std::unique_ptr<Backend>> make_backends(const std::string& plugin_path) {
  std::vector<std::unique_ptr<Backend>> backends;
  backends.push_back(make_ours());
  backends.push_back(make_plugin(plugin_path));
  backends.push_back(make_wuffs());
  backends.push_back(make_libpng());
  backends.push_back(make_libspng());
  backends.push_back(make_stb_image());
  backends.push_back(make_floor());
  return backends;
}

// ---------------------------------------------------------------------------------------
// Per-call set-up of ours: what every decode pays before it reads a byte of the file.
// ---------------------------------------------------------------------------------------

template <typename Work>
double best_ns_per_call(const TimingOptions& options, Work work) {
  constexpr uint32_t kCalls = 100;
  BestOf best(options.rule, options.clock);
  while (!best.done()) {
    const Stopwatch watch;
    for (uint32_t k = 0; k < kCalls; ++k) work();
    double spent = 0;
    const Sample sample = watch.per_call(kCalls, &spent);
    best.add(sample, spent);
  }
  return best.best_ns();
}

void print_setup_costs(FILE* out, const Options& options, const std::vector<std::vector<ImageOutcome>>& results) {
  const double decompressor =
      best_ns_per_call(options.timing, [] { libdeflate_free_decompressor(libdeflate_alloc_decompressor()); });
  const double compressor =
      best_ns_per_call(options.timing, [] { libdeflate_free_compressor(libdeflate_alloc_compressor(6)); });
  const double state = best_ns_per_call(options.timing, [] {
    velapng::VelaPNGState s;
    velapng::state_init(&s);
    velapng::state_release(&s);
  });
  std::fprintf(out, "\n== per-call set-up of ours (every decode_rgba makes one state; the plug-in's load makes two)\n");
  std::fprintf(out, "%-44s %8.2f us\n", "libdeflate decompressor, allocate and free", decompressor / 1e3);
  std::fprintf(out, "%-44s %8.2f us\n", "libdeflate level-6 compressor, allocate and free", compressor / 1e3);
  std::fprintf(out, "%-44s %8.2f us\n", "state_init + state_release", state / 1e3);
  for (const auto& set : results) {
    if (set.front().image->set != "icons") continue;
    for (const ImageOutcome& image : set) {
      const Outcome& ours = image.outcomes.front();
      if (!ours.decoded) continue;
      std::fprintf(out, "  ours on %-28s %8.2f us, of which one state's set-up is %3.0f%%\n", image.image->name.c_str(),
                   ours.best_ns / 1e3, 100 * state / ours.best_ns);
    }
  }
}

// ---------------------------------------------------------------------------------------
// Peak memory: one child process per backend on the largest image.
// ---------------------------------------------------------------------------------------

struct MemoryReport {
  BenchImage image;  // header and path only
  uint64_t file_bytes = 0;
  PeakMemory baseline;
  std::vector<std::pair<std::string, PeakMemory>> peaks;
  long parent_rss_kib = 0;
  std::vector<LoadMemoryRow> loads;  // the plug-in's loads per photograph
};

// The largest image of the chosen sets by pixel count, then by file size; its bytes are not
// read beyond the header.
bool find_largest_image(const Options& options, BenchImage* largest, uint64_t* file_bytes) {
  bool found = false;
  for (const std::string& set : options.sets) {
    const fs::path dir = fs::path(options.corpus) / set;
    if (!fs::is_directory(dir)) continue;
    for (const auto& entry : fs::directory_iterator(dir)) {
      if (entry.path().extension() != ".png") continue;
      std::vector<uint8_t> head(33);
      std::ifstream file(entry.path(), std::ios::binary);
      if (!file.read(reinterpret_cast<char*>(head.data()), 33)) continue;
      BenchImage image;
      std::string error;
      read_png_layout(head.data(), head.size(), &image.layout, &error);  // fails at the chunks; the header is read
      const uint64_t pixels = image.pixels(), size = entry.file_size();
      if (pixels == 0) continue;
      if (found && (pixels < largest->pixels() || (pixels == largest->pixels() && size <= *file_bytes))) continue;
      image.set = set;
      image.name = entry.path().filename().string();
      image.path = entry.path().string();
      *largest = std::move(image);
      *file_bytes = size;
      found = true;
    }
  }
  return found;
}

long own_rss_kib() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

// The adaptive set's photographs and the largest image, for the plug-in's loads.
std::vector<std::string> load_memory_paths(const Options& options, const MemoryReport& report) {
  std::vector<std::string> paths;
  const fs::path dir = fs::path(options.corpus) / "adaptive";
  if (std::find(options.sets.begin(), options.sets.end(), "adaptive") != options.sets.end() && fs::is_directory(dir)) {
    for (const auto& entry : fs::directory_iterator(dir)) {
      const std::string name = entry.path().filename().string();
      if (entry.path().extension() == ".png" && name.find(options.only) != std::string::npos)
        paths.push_back(entry.path().string());
    }
  }
  std::sort(paths.begin(), paths.end());
  if (!report.image.path.empty() && std::find(paths.begin(), paths.end(), report.image.path) == paths.end())
    paths.push_back(report.image.path);
  return paths;
}

// Run before the corpus is read: a child started from a process carries that process's
// resident set into its own peak (Linux keeps the larger of the two across exec), so the
// parent must be small when the children start.
MemoryReport measure_peak_memory(const Options& options, const std::vector<Backend*>& backends) {
  MemoryReport report;
  if (!find_largest_image(options, &report.image, &report.file_bytes)) return report;
  report.parent_rss_kib = own_rss_kib();
  const std::string self = own_executable();
  const auto child = [&](const std::string& backend) {
    return run_child(self, {"--memory-child", backend, report.image.path, "--plugin", options.plugin});
  };
  report.baseline = child("baseline");
  for (const Backend* backend : backends) report.peaks.emplace_back(backend->name(), child(backend->name()));
  const bool plugin =
      std::any_of(backends.begin(), backends.end(), [](const Backend* b) { return b->role() == Role::plugin; });
  if (plugin) {
    const std::string scratch = (fs::path(options.csv).parent_path() / "one-idat").string();
    report.loads = measure_load_memory(load_memory_paths(options, report), options.plugin, scratch);
  }
  return report;
}

// What a backend holds beyond the program with the file read in and the host's RGBA pixels,
// as a multiple of the image's inflated size; 0 when either child failed.
double memory_multiple(const MemoryReport& report, const PeakMemory& peak) {
  if (!report.baseline.ok || !peak.ok || report.image.layout.inflated_size == 0) return 0;
  const double own = double(peak.max_rss_kib - report.baseline.max_rss_kib) * 1024 - double(report.image.rgba_bytes());
  return own / double(report.image.layout.inflated_size);
}

void print_peak_memory(FILE* out, const MemoryReport& report) {
  const BenchImage& image = report.image;
  if (image.path.empty()) return;
  const double mib = 1 << 20;
  std::fprintf(out, "\n== peak memory on %s/%s (%ux%u, %s; RGBA pixels %.1f MiB, inflated image data %.1f MiB)\n",
               image.set.c_str(), image.name.c_str(), image.layout.width, image.layout.height,
               format_name(image.layout.colour_type, image.layout.bit_depth).c_str(), double(image.rgba_bytes()) / mib,
               double(image.layout.inflated_size) / mib);
  std::fprintf(out,
               "one process per backend, peak RSS from wait4; baseline = the program with the file's %.1f MiB read "
               "in (the parent held %.1f MiB when it started them); own = above baseline less the host's RGBA pixels\n",
               double(report.file_bytes) / mib, double(report.parent_rss_kib) / 1024);
  std::fprintf(out, "%-12s %14s %18s %10s %14s\n", "backend", "peak RSS MiB", "above baseline MiB", "own MiB",
               "own x inflated");
  if (!report.baseline.ok) {
    std::fprintf(out, "baseline child failed\n");
    return;
  }
  std::fprintf(out, "%-12s %14.1f\n", "baseline", double(report.baseline.max_rss_kib) / 1024);
  for (const auto& [name, peak] : report.peaks) {
    if (!peak.ok) {
      std::fprintf(out, "%-12s %14s\n", name.c_str(), "failed");
      continue;
    }
    const double above = double(peak.max_rss_kib - report.baseline.max_rss_kib) / 1024;
    std::fprintf(out, "%-12s %14.1f %18.1f %10.1f %14.2f\n", name.c_str(), double(peak.max_rss_kib) / 1024, above,
                 above - double(image.rgba_bytes()) / mib, memory_multiple(report, peak));
  }
}

// The child: read the file, decode it once with one backend, exit. The host's pixel memory
// is written before the decode, so every backend's peak holds all of it, whether it decodes
// into it (and when) or into memory of its own that it then copies there.
int memory_child(const std::string& backend_name, const std::string& path, const std::string& plugin) {
  BenchImage image;
  // Only the floor reads the joined image data; the decoders get the file alone.
  if (!load_image("memory", path, &image, backend_name == "floor")) return 1;
  if (backend_name == "baseline") return 0;
  for (auto& backend : make_backends(plugin)) {
    if (backend->name() != backend_name) continue;
    if (!backend->unavailable().empty() || !backend->prepare(image)) return 1;
    std::vector<uint8_t> pixels(image.rgba_bytes(), 0);
    return backend->decode(image, pixels.data(), true) ? 0 : 1;
  }
  return 1;
}

// ---------------------------------------------------------------------------------------

std::string first_line_with(const char* path, const char* prefix) {
  std::ifstream file(path);
  for (std::string line; std::getline(file, line);) {
    if (line.rfind(prefix, 0) == 0) return line;
  }
  return {};
}

std::string cpu_name() {
  std::string cpu = first_line_with("/proc/cpuinfo", "model name");
  if (const size_t colon = cpu.find(':'); colon != std::string::npos) cpu = cpu.substr(colon + 2);
  return cpu;
}

std::string chart_subtitle(const Options& options) {
  return "best of N per image, " + std::string(options.timing.clock == Clock::cpu ? "thread CPU time" : "wall time") +
         ", one core of " + cpu_name() + "; higher is faster";
}

void print_conditions(FILE* out, const Options& options, const char* when) {
  const std::string cpu = cpu_name();
  std::fprintf(
      out, "%s: cpu %s; load average %s; clock %s, best of N (N adaptive, budget %.1f s per backend and image)\n", when,
      cpu.c_str(), first_line_with("/proc/loadavg", "").c_str(),
      options.timing.clock == Clock::cpu ? "thread CPU time" : "wall time", options.timing.rule.budget_seconds);
}

int run(const Options& options) {
  std::vector<std::unique_ptr<Backend>> owned = make_backends(options.plugin);
  std::vector<Backend*> backends;
  for (auto& backend : owned) {
    const auto& chosen = options.backends;
    // Ours stays: it is the reference every other output is checked against.
    if (backend->role() != Role::ours && !chosen.empty() &&
        std::find(chosen.begin(), chosen.end(), backend->name()) == chosen.end())
      continue;
    const std::string why = backend->unavailable();
    if (why.empty()) backends.push_back(backend.get());
    else std::printf("left out: %s (%s)\n", backend->name(), why.c_str());
  }
  print_conditions(stdout, options, "start");
  MemoryReport memory;
  if (options.memory) memory = measure_peak_memory(options, backends);

  const std::vector<std::vector<BenchImage>> corpus = load_corpus(options);
  if (corpus.empty()) {
    std::fprintf(stderr, "velapng_bench: no images in %s (run bench/make-corpus.sh)\n", options.corpus.c_str());
    return 1;
  }
  std::vector<std::vector<ImageOutcome>> results;
  for (const auto& set : corpus) {
    results.emplace_back();
    for (size_t i = 0; i < set.size(); ++i) {
      std::fprintf(stderr, "[%s %zu/%zu] %s\n", set[i].set.c_str(), i + 1, set.size(), set[i].name.c_str());
      results.back().push_back(measure_image(set[i], backends, options.timing));
    }
  }

  for (const auto& set : results) print_set_table(stdout, set, set.front().image->set == "icons");
  print_setup_costs(stdout, options, results);
  print_targets(stdout, evaluate_targets(results, worst_file_load(memory.loads)));
  print_mismatches(stdout, results);
  if (options.memory) print_peak_memory(stdout, memory);
  if (options.memory) print_load_memory(stdout, memory.loads);
  print_conditions(stdout, options, "\nend");

  if (write_chart(options.chart, results, chart_subtitle(options))) std::printf("chart: %s\n", options.chart.c_str());
  else std::fprintf(stderr, "velapng_bench: cannot write %s\n", options.chart.c_str());

  if (FILE* csv = std::fopen(options.csv.c_str(), "w")) {
    write_csv_header(csv);
    for (const auto& set : results) write_csv_rows(csv, set);
    std::fclose(csv);
    std::printf("CSV: %s\n", options.csv.c_str());
  } else {
    std::fprintf(stderr, "velapng_bench: cannot write %s\n", options.csv.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

}  // namespace velabench

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "--memory-child") == 0) {
    const std::string plugin = argc >= 6 && std::strcmp(argv[4], "--plugin") == 0 ? argv[5] : "";
    return velabench::memory_child(argv[2], argv[3], plugin);
  }
  if (argc == 5 && std::strcmp(argv[1], "--load-child") == 0) return velabench::load_child(argv[2], argv[3], argv[4]);
  if (argc == 4 && std::strcmp(argv[1], "--one-idat") == 0) return velabench::one_idat_child(argv[2], argv[3]);
  return velabench::run(velabench::parse(argc, argv));
}
