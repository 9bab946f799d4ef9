// velapng_dll_bench: the Windows DLL's own speed. Loads VelaPNG.dll as the viewer does
// (the shared plug-in loader: LoadLibraryW, then the table's PNG entry) and times unrotated loads from memory of each
// PNG named: best of N samples after one untimed load, in thread CPU time (and wall time beside it). scripts/bench.sh
// runs it under wine beside the native plug-in's figures for the same files, so a Windows build that lost its
// optimisation or its vector paths shows as a ratio.
//
//   velapng_dll_bench [--dll PATH] [--samples N] FILE.png...
// The DLL defaults to VelaPNG.dll beside this program, where the Windows build puts both.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "loader/plugin_loader.h"

namespace {

std::wstring default_dll() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dll(path, length < MAX_PATH ? length : 0);
  dll.erase(dll.find_last_of(L"\\/") + 1);
  return dll + L"VelaPNG.dll";
}

bool read_file(const char* path, std::vector<uint8_t>* bytes) {
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  bool ok = std::fseek(file, 0, SEEK_END) == 0;
  const long size = ok ? std::ftell(file) : -1;
  ok = size >= 0 && std::fseek(file, 0, SEEK_SET) == 0;
  if (ok) {
    bytes->resize(size_t(size));
    ok = std::fread(bytes->data(), 1, bytes->size(), file) == bytes->size();
  }
  std::fclose(file);
  return ok;
}

// The width and height from the header chunk, or false for anything that is not a PNG.
bool png_size(const std::vector<uint8_t>& bytes, uint32_t* width, uint32_t* height) {
  static const uint8_t kStart[16] = {137, 80, 78, 71, 13, 10, 26, 10, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  if (bytes.size() < 24 || std::memcmp(bytes.data(), kStart, 16) != 0) return false;
  const auto be32 = [&](size_t at) {
    return uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 | uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
  };
  *width = be32(16);
  *height = be32(20);
  return true;
}

// Thread CPU time: like the native benchmark's clock, it leaves out the time other processes
// hold the core. Wine counts it in 10 ms ticks, so a sample lasts at least kSampleNs, which
// keeps a tick within 2% of it.
constexpr double kSampleNs = 0.5e9;

double thread_cpu_ns() {
  FILETIME created, exited, kernel, user;
  if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
  const auto ticks = [](const FILETIME& t) { return double(uint64_t{t.dwHighDateTime} << 32 | t.dwLowDateTime); };
  return (ticks(kernel) + ticks(user)) * 100;
}

double wall_ns() {
  return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Timing {
  double cpu_ns = 0;  // the best sample's CPU time per load; 0 when a load failed
  double wall_ns = 0;
};

// Best of `samples` samples of unrotated loads into the same host memory, after one untimed
// load. A sample runs batches of loads until kSampleNs of CPU time have passed; a batch is
// about a tenth of that, so reading the clock costs next to nothing even for an icon.
Timing best_loads(PfnImage32LoadFromMemData load, const std::vector<uint8_t>& bytes, std::vector<uint8_t>* pixels,
                  int samples) {
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  HostImage image{};
  image.pBits = pixels->data();
  image.pInfoHeader = &header;
  const int32_t size = int32_t(bytes.size());
  const double start = wall_ns();
  if (load(&image, bytes.data(), size, 0) != 1) return {};
  const int batch = int(std::max(1.0, kSampleNs / 10 / std::max(wall_ns() - start, 1e3)));
  Timing best;
  for (int sample = 0; sample < samples; ++sample) {
    const double cpu0 = thread_cpu_ns(), wall0 = wall_ns();
    double loads = 0, cpu = 0;
    do {
      for (int k = 0; k < batch; ++k) {
        if (load(&image, bytes.data(), size, 0) != 1) return {};
      }
      loads += batch;
      cpu = thread_cpu_ns() - cpu0;
    } while (cpu < kSampleNs);
    const double wall = wall_ns() - wall0;
    if (sample == 0 || cpu / loads < best.cpu_ns) best.cpu_ns = cpu / loads;
    if (sample == 0 || wall / loads < best.wall_ns) best.wall_ns = wall / loads;
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  std::wstring dll = default_dll();
  int samples = 5, first = 1;
  for (; first + 1 < argc && std::strncmp(argv[first], "--", 2) == 0; first += 2) {
    if (std::strcmp(argv[first], "--samples") == 0) samples = std::atoi(argv[first + 1]);
    else if (std::strcmp(argv[first], "--dll") == 0)
      dll.assign(argv[first + 1], argv[first + 1] + std::strlen(argv[first + 1]));
    else break;
  }
  if (first >= argc || samples < 1) {
    std::fprintf(stderr, "usage: velapng_dll_bench [--dll PATH] [--samples N] FILE.png...\n");
    return 2;
  }
  std::string error;
  const DecoderPluginEntry* png = loader::find_decoder(dll.c_str(), "PNG ", &error);
  if (png == nullptr) {
    std::fprintf(stderr, "velapng_dll_bench: %ls: %s (error %lu)\n", dll.c_str(), error.c_str(), GetLastError());
    return 1;
  }
  const PfnImage32LoadFromMemData load = png->pfnImage32LoadFromMemData;
  std::printf("%-28s %11s %10s %10s %10s   (VelaPNG.dll, unrotated loads, best of %d samples)\n", "file", "size",
              "CPU Mpx/s", "CPU ms", "wall ms", samples);
  int status = 0;
  for (int i = first; i < argc; ++i) {
    std::vector<uint8_t> bytes;
    uint32_t width = 0, height = 0;
    const std::string path = argv[i];
    const std::string name = path.substr(path.find_last_of("/\\") + 1);
    Timing best;
    if (read_file(argv[i], &bytes) && png_size(bytes, &width, &height) && bytes.size() <= INT32_MAX &&
        uint64_t{width} * height * 4 <= INT32_MAX) {
      std::vector<uint8_t> pixels(size_t{width} * height * 4);
      best = best_loads(load, bytes, &pixels, samples);
    }
    if (best.cpu_ns <= 0) {
      std::fprintf(stderr, "velapng_dll_bench: %s: not loaded\n", argv[i]);
      status = 1;
      continue;
    }
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    std::printf("%-28s %11s %10.1f %10.3f %10.3f\n", name.c_str(), size.c_str(),
                double(width) * height / best.cpu_ns * 1e3, best.cpu_ns / 1e6, best.wall_ns / 1e6);
  }
  return status;
}
