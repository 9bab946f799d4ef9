// real_world_check: every file of a real-world corpus (scripts/real-world.sh) through the
// plug-in's exports as the host calls them, against libpng. Prints per category how many
// files agree, are refused by both, by us only, decoded by us only or decoded differently,
// then every disagreement with its reason: our decoder's result code and the chunk it came
// from, libpng's error or warnings, and the documented choice that explains it. Exits 1
// when a disagreement has no documented explanation or the plug-in fails a check of its own.
//
//   real_world_check --plugin-dir DIR [--turn-every N] [--max-pixels N] CORPUS_DIR
//
// The corpus is a directory of <hash>.png files and index.tsv, one line a file with its
// hash, category, package and path in the package.
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "loader/plugin_loader.h"
#include "tests/real_world/checker.h"
#include "tests/support/whole_decode.h"

namespace {

using realworld::HostView;
using realworld::kOutcomes;
using Counts = std::array<int, kOutcomes>;

struct Options {
  std::string plugin_dir;
  std::string corpus;
  uint64_t turn_every = 10;
  uint64_t max_pixels = testpng::kMaxTriedPixels;
};

bool parse(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--plugin-dir" && has_value) options->plugin_dir = argv[++i];
    else if (arg == "--turn-every" && has_value) options->turn_every = std::strtoull(argv[++i], nullptr, 10);
    else if (arg == "--max-pixels" && has_value) options->max_pixels = std::strtoull(argv[++i], nullptr, 10);
    else if (!arg.empty() && arg[0] != '-' && options->corpus.empty()) options->corpus = arg;
    else return false;
  }
  return !options->plugin_dir.empty() && !options->corpus.empty() && options->turn_every > 0;
}

struct CorpusFile {
  std::string hash, category, package, origin;  // origin: the path inside the package
};

// The index's files in its order; false with `error` set when it cannot be read or a line
// lacks a field.
bool read_index(const std::string& index, std::vector<CorpusFile>* files, std::string* error) {
  std::ifstream in(index);
  if (!in.is_open()) {
    *error = "cannot read " + index;
    return false;
  }
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    std::istringstream fields(line);
    CorpusFile file;
    if (!std::getline(fields, file.hash, '\t') || !std::getline(fields, file.category, '\t') ||
        !std::getline(fields, file.package, '\t') || !std::getline(fields, file.origin) || file.hash.empty()) {
      *error = index + ":" + std::to_string(number) + ": not hash, category, package and path";
      return false;
    }
    files->push_back(std::move(file));
  }
  return true;
}

struct Report {
  std::vector<std::string> categories;  // in the corpus's order
  std::map<std::string, Counts> counts;
  std::vector<std::string> disagreements;  // each with its reason and verdict
  std::vector<std::string> faults;
  int failures = 0;  // disagreements no documented choice explains, and files the plug-in failed a check on
};

// Our side and libpng's of one disagreement, in words.
std::string describe(const realworld::Evidence& e) {
  std::string ours = e.code == 0 ? "decoded" : "refused, " + std::to_string(e.code) + " at " + e.site;
  std::string theirs = e.libpng->ok ? "decoded" : "refused, \"" + e.libpng->error + "\"";
  for (size_t i = 0; i < e.libpng->warnings.size(); ++i)
    theirs += (i == 0 ? ", warned \"" : ", \"") + e.libpng->warnings[i] + "\"";
  return "ours: " + ours + "; libpng: " + theirs;
}

// One file: the plug-in's run, libpng's, and the verdict, added to the report.
void check_file(const DecoderPluginEntry& png, const CorpusFile& file, const std::string& path, bool turns,
                uint64_t max_pixels, Report* report) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const realworld::PluginRun ours = realworld::run_plugin(png, path, bytes, turns, max_pixels);
  testpng::OracleImage libpng;
  if (ours.view == HostView::loaded || ours.view == HostView::refused) libpng = testpng::libpng_decode_rgba(bytes);
  const realworld::Outcome outcome = realworld::compare(ours, libpng);
  std::vector<std::string> faults = ours.faults;
  realworld::Evidence evidence{&bytes, &ours, &libpng, 0, {}};
  if (ours.view == HostView::refused) {
    evidence.code = testpng::decode_whole(bytes).code;
    if (evidence.code == 0) faults.emplace_back("the plug-in refused a file that decode_rgba decodes");
    evidence.site = realworld::failure_site(bytes, evidence.code);
  }

  if (report->counts.find(file.category) == report->counts.end()) report->categories.push_back(file.category);
  ++report->counts[file.category][static_cast<size_t>(outcome)];
  const std::string name = file.category + " " + file.package + " " + file.origin + " (" + file.hash + ")";
  if (realworld::is_disagreement(outcome)) {
    const char* choice = realworld::explain(outcome, evidence);
    report->disagreements.push_back(
        realworld::kOutcomeNames[static_cast<size_t>(outcome)] + (": " + name) + "\n    " + describe(evidence) +
        "\n    " +
        (choice != nullptr ? "documented: " + std::string(choice) : "FAILURE: no documented choice explains it"));
    if (choice == nullptr) ++report->failures;
  }
  for (const std::string& fault : faults) report->faults.push_back(name + ": " + fault);
  if (!faults.empty()) ++report->failures;
}

void print_row(const std::string& name, const Counts& counts) {
  int files = 0;
  for (const int count : counts) files += count;
  std::printf("| %s | %d |", name.c_str(), files);
  for (const int count : counts) std::printf(" %d |", count);
  std::printf("\n");
}

// A Markdown table per category and in all, then the disagreements and the faults.
void print(const Report& report) {
  std::printf("| category | files |");
  for (const char* outcome : realworld::kOutcomeNames) std::printf(" %s |", outcome);
  std::printf("\n|---|---|");
  for (size_t i = 0; i < kOutcomes; ++i) std::printf("---|");
  std::printf("\n");
  Counts all{};
  for (const std::string& category : report.categories) {
    const Counts& counts = report.counts.at(category);
    print_row(category, counts);
    for (size_t i = 0; i < kOutcomes; ++i) all[i] += counts[i];
  }
  print_row("all", all);
  std::printf("\n%zu disagreements with libpng\n", report.disagreements.size());
  for (const std::string& entry : report.disagreements) std::printf("- %s\n", entry.c_str());
  std::printf("\n%zu faults of the plug-in\n", report.faults.size());
  for (const std::string& fault : report.faults) std::printf("- FAILURE: %s\n", fault.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse(argc, argv, &options)) {
    std::fprintf(stderr, "usage: %s --plugin-dir DIR [--turn-every N] [--max-pixels N] CORPUS_DIR\n", argv[0]);
    return 2;
  }
  std::vector<CorpusFile> files;
  std::string error;
  if (!read_index(options.corpus + "/index.tsv", &files, &error)) {
    std::fprintf(stderr, "real_world_check: %s\n", error.c_str());
    return 2;
  }
  // The log stand-in would otherwise keep a line of every turned load beside the plug-in.
  setenv("QZ_LOG_FILE", "/dev/null", 0);
  const std::string library = options.plugin_dir + "/" + VELAPNG_PLUGIN_FILE_NAME;
  const DecoderPluginEntry* png = loader::find_decoder(loader::to_wide(library).c_str(), "PNG ", &error);
  if (png == nullptr) {
    std::fprintf(stderr, "real_world_check: %s: %s\n", library.c_str(), error.c_str());
    return 2;
  }

  const auto start = std::chrono::steady_clock::now();
  Report report;
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string path = options.corpus + "/" + files[i].hash + ".png";
    check_file(*png, files[i], path, i % options.turn_every == 0, options.max_pixels, &report);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  print(report);
  std::printf("%zu files in %.1f s; file 1 and every %llu after it also at 90, 180 and 270\n", files.size(), seconds,
              static_cast<unsigned long long>(options.turn_every));
  return report.failures == 0 ? 0 : 1;
}
