// velapng_soak: the plug-in under a long mixed load from several threads, as a viewer that
// browses a folder would call it, checking every answer against the first and the process's
// resident set against its own level after a warm-up.
//
//   velapng_soak [--plugin LIBRARY] [--seconds N] [--threads N] [--interval S] PATH...
//
// PATHs are PNG files or directories of them (read once, flat). Each file is first decoded
// once per call kind; then the threads pick files and call kinds at random until the time is
// up: memory and file loads at 0, 90, 180 and 270 degrees and both information calls. Every
// result, size and pixel must equal the first answer (kept as a hash of the pixels, so the
// answers themselves hold little memory). Every interval the threads finish the call they
// are in and wait while the C library hands its free pages back to the system and the
// resident set is read: what is left then is what the process keeps, leaks and
// fragmentation included, not which images eight threads happened to hold nor how much free
// memory the allocator happened to keep. (Blocks of 256 KiB and more are mapped and unmapped
// one by one, and the free tops of the threads' heaps are trimmed from 256 KiB, which
// malloc_trim alone does not do.) After a warm-up of a third of the run (at least one
// interval) every sample must stay within 5% of the level the warm-up ended at, which a
// leak of a few bytes per call cannot do over a million calls. Prints the curve; exit code 0
// when both hold.
#include <malloc.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "loader/plugin_loader.h"
#include "tests/support/host_canvas.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr double kAllowedDrift = 0.05;
// Images larger than this are left out: they would make each call take long, and the run
// make few of them.
constexpr uint64_t kMaxPixels = 4u << 20;
constexpr int32_t kAngles[] = {0, 90, 180, 270};

enum class Call : uint8_t { memory_load, file_load, memory_info, file_info };
constexpr Call kCalls[] = {Call::memory_load, Call::file_load, Call::memory_info, Call::file_info};

struct Options {
  std::string plugin = "libVelaPNG.so";
  double seconds = 30;
  int threads = 8;
  double interval = 2;
  std::vector<std::string> paths;
};

// One kind of call with its arguments, and what it answered the first time.
struct Answer {
  int32_t result = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  int32_t orientation = 0;
  uint64_t pixels = 0;  // hash of the host's pixel memory and the guard bytes after it, after a load
  bool operator==(const Answer&) const = default;
};

struct Image {
  std::string path;
  std::basic_string<WCHAR> wide_path;
  Bytes bytes;
  uint32_t width = 0;  // from the information call; 0 when it refused the header
  uint32_t height = 0;
};

struct Task {
  const Image* image;
  Call call;
  int32_t angle;
  Answer first;
};

Answer run(const DecoderPluginEntry& png, const Task& task) {
  const Image& image = *task.image;
  const auto size = static_cast<int32_t>(image.bytes.size());
  Answer answer;
  if (task.call == Call::memory_info || task.call == Call::file_info) {
    answer.result =
        task.call == Call::memory_info
            ? png.pfnImageGetInfoFromMemData(image.bytes.data(), size, &answer.width, &answer.height,
                                             &answer.orientation)
            : png.pfnImageGetInfo(image.wide_path.c_str(), &answer.width, &answer.height, &answer.orientation);
    return answer;
  }
  testpng::HostCanvas host(uint64_t{image.width} * image.height * 4);
  answer.result = task.call == Call::memory_load
                      ? png.pfnImage32LoadFromMemData(&host.image, image.bytes.data(), size, task.angle)
                      : png.pfnImage32LoadFile(&host.image, image.wide_path.c_str(), task.angle);
  answer.width = static_cast<uint32_t>(host.header.biWidth);
  answer.height = static_cast<uint32_t>(host.header.biHeight);
  const std::string_view memory(reinterpret_cast<const char*>(host.memory.data()), host.memory.size());
  answer.pixels = std::hash<std::string_view>{}(memory);
  return answer;
}

// The files named and the .png files directly inside the directories named, each with the
// size the information call gives it; images of more than kMaxPixels pixels are left out.
std::vector<Image> read_images(const DecoderPluginEntry& png, const std::vector<std::string>& paths) {
  std::vector<std::string> files;
  for (const std::string& path : paths) {
    if (!std::filesystem::is_directory(path)) files.push_back(path);
    else
      for (const auto& entry : std::filesystem::directory_iterator(path))
        if (entry.path().extension() == ".png") files.push_back(entry.path().string());
  }
  std::vector<Image> images;
  for (const std::string& path : files) {
    std::ifstream file(path, std::ios::binary);
    if (!file) continue;
    Image image{path, loader::to_wide(path), {std::istreambuf_iterator<char>(file), {}}, 0, 0};
    if (image.bytes.size() > INT32_MAX) continue;
    int32_t orientation = 0;
    png.pfnImageGetInfoFromMemData(image.bytes.data(), static_cast<int32_t>(image.bytes.size()), &image.width,
                                   &image.height, &orientation);
    if (uint64_t{image.width} * image.height <= kMaxPixels) images.push_back(std::move(image));
  }
  return images;
}

std::vector<Task> first_answers(const DecoderPluginEntry& png, const std::vector<Image>& images) {
  std::vector<Task> tasks;
  for (const Image& image : images) {
    for (const Call call : kCalls) {
      const bool load = call == Call::memory_load || call == Call::file_load;
      for (const int32_t angle : kAngles) {
        if (!load && angle != 0) break;
        Task task{&image, call, angle, {}};
        task.first = run(png, task);
        tasks.push_back(std::move(task));
      }
    }
  }
  return tasks;
}

uint64_t resident_bytes() {
  std::ifstream statm("/proc/self/statm");
  uint64_t pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * uint64_t(sysconf(_SC_PAGESIZE));
}

// The threads' count and verdict, and the gate at which they wait while a sample is read.
struct Tally {
  std::atomic<uint64_t> calls{0};
  std::atomic<uint64_t> mismatches{0};
  std::atomic<bool> stop{false};
  std::atomic<bool> hold{false};
  std::mutex mutex;
  std::condition_variable changed;
  int waiting = 0;

  // Between two calls: waits while a sample is being read.
  void gate() {
    if (!hold.load()) return;
    std::unique_lock lock(mutex);
    ++waiting;
    changed.notify_all();
    changed.wait(lock, [&] { return !hold.load(); });
    --waiting;
  }
  // Holds every one of `threads` at the gate and runs `read` while they wait.
  template <typename Read>
  void with_threads_held(int threads, Read read) {
    std::unique_lock lock(mutex);
    hold = true;
    changed.wait(lock, [&] { return waiting == threads; });
    read();
    hold = false;
    changed.notify_all();
  }
};

void worker(const DecoderPluginEntry& png, const std::vector<Task>& tasks, unsigned seed, Tally* tally) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<size_t> pick(0, tasks.size() - 1);
  while (!tally->stop.load(std::memory_order_relaxed)) {
    tally->gate();
    const Task& task = tasks[pick(random)];
    if (run(png, task) != task.first) {
      if (tally->mismatches.fetch_add(1) < 10)
        std::fprintf(stderr, "velapng_soak: %s, call %d, angle %d: a different answer\n", task.image->path.c_str(),
                     static_cast<int>(task.call), task.angle);
    }
    tally->calls.fetch_add(1, std::memory_order_relaxed);
  }
}

bool parse(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--plugin" && has_value) options->plugin = argv[++i];
    else if (arg == "--seconds" && has_value) options->seconds = std::atof(argv[++i]);
    else if (arg == "--threads" && has_value) options->threads = std::atoi(argv[++i]);
    else if (arg == "--interval" && has_value) options->interval = std::atof(argv[++i]);
    else if (!arg.empty() && arg[0] != '-') options->paths.push_back(arg);
    else return false;
  }
  return !options->paths.empty() && options->seconds > 0 && options->threads > 0 && options->interval > 0;
}

// Samples the resident set until the run is over; returns the samples (seconds, bytes).
std::vector<std::pair<double, uint64_t>> sample_until(const Options& options, Tally& tally) {
  std::vector<std::pair<double, uint64_t>> curve;
  const Clock::time_point start = Clock::now();
  const auto interval = std::chrono::duration<double>(options.interval);
  for (int n = 1;; ++n) {
    std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(interval * n));
    const double at = std::chrono::duration<double>(Clock::now() - start).count();
    tally.with_threads_held(options.threads, [&] {
      malloc_trim(0);
      curve.emplace_back(at, resident_bytes());
    });
    std::printf("%8.1f s %10.1f MiB %12llu calls\n", at, double(curve.back().second) / (1 << 20),
                static_cast<unsigned long long>(tally.calls.load()));
    std::fflush(stdout);
    if (at >= options.seconds) return curve;
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse(argc, argv, &options)) {
    std::fprintf(stderr, "usage: velapng_soak [--plugin LIBRARY] [--seconds N] [--threads N] [--interval S] PATH...\n");
    return 2;
  }
  std::string error;
  const DecoderPluginEntry* png = loader::find_decoder(loader::to_wide(options.plugin).c_str(), "PNG ", &error);
  if (png == nullptr) {
    std::fprintf(stderr, "velapng_soak: %s: %s\n", options.plugin.c_str(), error.c_str());
    return 1;
  }
  const std::vector<Image> images = read_images(*png, options.paths);
  const std::vector<Task> tasks = first_answers(*png, images);
  if (tasks.empty()) {
    std::fprintf(stderr, "velapng_soak: no PNG files\n");
    return 1;
  }
  std::printf("velapng_soak: %zu files, %zu kinds of call, %d threads, %.0f s\n", images.size(), tasks.size(),
              options.threads, options.seconds);

  mallopt(M_MMAP_THRESHOLD, 256 << 10);
  mallopt(M_TRIM_THRESHOLD, 256 << 10);
  Tally tally;
  std::vector<std::thread> threads;
  for (int t = 0; t < options.threads; ++t) threads.emplace_back(worker, std::cref(*png), std::cref(tasks), t, &tally);
  const auto curve = sample_until(options, tally);
  tally.stop = true;
  for (std::thread& thread : threads) thread.join();

  const size_t warm = std::max<size_t>(1, curve.size() / 3);
  const uint64_t level = curve[warm - 1].second;
  uint64_t highest = level;
  for (size_t i = warm; i < curve.size(); ++i) highest = std::max(highest, curve[i].second);
  const double drift = double(highest) / double(level) - 1;
  std::printf(
      "velapng_soak: %llu calls, %llu mismatches; after the warm-up (%.1f s, %.1f MiB) the resident set "
      "peaked %.1f%% above it\n",
      static_cast<unsigned long long>(tally.calls.load()), static_cast<unsigned long long>(tally.mismatches.load()),
      curve[warm - 1].first, double(level) / (1 << 20), drift * 100);
  return tally.mismatches == 0 && drift <= kAllowedDrift ? 0 : 1;
}
