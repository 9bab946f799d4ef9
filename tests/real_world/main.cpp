// real_world_check: every file of a real-world corpus (scripts/real-world.sh) through the
// plug-in's exports as the host calls them, against libpng. Prints per category how many
// files agree, are refused by both, by us only, decoded by us only or decoded differently,
// then every disagreement with its reason: our decoder's result code and the chunk it came
// from, libpng's error or warnings, and the documented choice that explains it. Exits 1
// when a disagreement has no documented explanation or the plug-in fails a check of its own.
//
//   real_world_check --plugin-dir DIR [--turn-every N] [--max-pixels N] CORPUS_DIR
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "loader/plugin_loader.h"
#include "tests/real_world/corpus_index.h"
#include "tests/real_world/failure_site.h"
#include "tests/real_world/report.h"
#include "tests/real_world/verdict.h"
#include "tests/support/whole_decode.h"

namespace {

using realworld::Outcome;

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
    if (arg == "--plugin-dir" && has_value) {
      options->plugin_dir = argv[++i];
    } else if (arg == "--turn-every" && has_value) {
      options->turn_every = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--max-pixels" && has_value) {
      options->max_pixels = std::strtoull(argv[++i], nullptr, 10);
    } else if (!arg.empty() && arg[0] != '-' && options->corpus.empty()) {
      options->corpus = arg;
    } else {
      return false;
    }
  }
  return !options->plugin_dir.empty() && !options->corpus.empty() && options->turn_every > 0;
}

std::vector<uint8_t> read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string quoted_list(const std::vector<std::string>& texts) {
  std::string out;
  for (const std::string& text : texts) out += (out.empty() ? "\"" : ", \"") + text + "\"";
  return out;
}

// Our side and libpng's of one disagreement, in words.
std::string describe(const realworld::Evidence& e) {
  std::string ours = e.code == 0
                         ? "decoded"
                         : "refused, " + std::to_string(e.code) + " " + realworld::code_name(e.code) + " at " + e.site;
  std::string theirs = e.libpng->ok ? "decoded" : "refused, \"" + e.libpng->error + "\"";
  if (!e.libpng->warnings.empty()) theirs += ", warned " + quoted_list(e.libpng->warnings);
  return "ours: " + ours + "; libpng: " + theirs;
}

// One file: the plug-in's run, libpng's, and the verdict, added to the report.
void check_file(const DecoderPluginEntry& png, const realworld::CorpusFile& file, bool turns, const Options& options,
                realworld::Report* report) {
  const std::vector<uint8_t> bytes = read_bytes(file.path);
  const realworld::PluginRun ours = realworld::run_plugin(png, file.path, bytes, {turns, options.max_pixels});
  testpng::OracleImage libpng;
  const bool compared = ours.view == realworld::HostView::loaded || ours.view == realworld::HostView::refused;
  if (compared) libpng = testpng::libpng_decode_rgba(bytes);
  const Outcome outcome = realworld::compare(ours, libpng);
  std::vector<std::string> faults = ours.faults;

  realworld::Evidence evidence{&bytes, &ours, &libpng, 0, {}};
  if (ours.view == realworld::HostView::refused) {
    evidence.code = testpng::decode_whole(bytes).code;
    if (evidence.code == 0) faults.emplace_back("the plug-in refused a file that decode_rgba decodes");
    evidence.site = realworld::failure_site(bytes, evidence.code);
  }
  const bool disagrees = realworld::is_disagreement(outcome);
  const char* choice = disagrees ? realworld::explain(outcome, evidence) : nullptr;
  report->add(file, outcome, disagrees ? describe(evidence) : std::string(), choice, faults);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse(argc, argv, &options)) {
    std::fprintf(stderr, "usage: %s --plugin-dir DIR [--turn-every N] [--max-pixels N] CORPUS_DIR\n", argv[0]);
    return 2;
  }
  std::vector<realworld::CorpusFile> files;
  std::string error;
  if (!realworld::read_index(options.corpus, &files, &error)) {
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
  realworld::Report report;
  for (size_t i = 0; i < files.size(); ++i) check_file(*png, files[i], i % options.turn_every == 0, options, &report);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  report.print(stdout);
  std::printf("%zu files in %.1f s; file 1 and every %llu after it also at 90, 180 and 270\n", files.size(), seconds,
              static_cast<unsigned long long>(options.turn_every));
  return report.failures() == 0 ? 0 : 1;
}
