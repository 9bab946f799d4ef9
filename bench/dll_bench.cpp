// velapng_dll_bench: the Windows DLL's own speed. Loads VelaPNG.dll as the viewer does
// (LoadLibraryW, then the export by name) and times unrotated loads from memory of each PNG
// named, best of N after one untimed load, in wall time. scripts/bench.sh runs it under wine
// beside the native plug-in's figures for the same files, so a Windows build that lost its
// optimisation or its vector paths shows as a ratio.
//
//   velapng_dll_bench [--dll PATH] [--runs N] FILE.png...
// The DLL defaults to VelaPNG.dll beside this program, where the Windows build puts both.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/plugin.h"

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

// Best wall time of `runs` loads into the same host memory, in nanoseconds; 0 when a load fails.
double best_load_ns(PfnImage32LoadFromMemData load, const std::vector<uint8_t>& bytes, std::vector<uint8_t>* pixels,
                    int runs) {
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  HostImage image{};
  image.pBits = pixels->data();
  image.pInfoHeader = &header;
  const int32_t size = int32_t(bytes.size());
  if (load(&image, bytes.data(), size, 0) != 1) return 0;
  double best = 0;
  for (int run = 0; run < runs; ++run) {
    const auto start = std::chrono::steady_clock::now();
    const int32_t result = load(&image, bytes.data(), size, 0);
    const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    if (result != 1) return 0;
    if (run == 0 || ns < best) best = ns;
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  std::wstring dll = default_dll();
  int runs = 15, first = 1;
  for (; first + 1 < argc && std::strncmp(argv[first], "--", 2) == 0; first += 2) {
    if (std::strcmp(argv[first], "--runs") == 0) runs = std::atoi(argv[first + 1]);
    else if (std::strcmp(argv[first], "--dll") == 0)
      dll.assign(argv[first + 1], argv[first + 1] + std::strlen(argv[first + 1]));
    else break;
  }
  if (first >= argc || runs < 1) {
    std::fprintf(stderr, "usage: velapng_dll_bench [--dll PATH] [--runs N] FILE.png...\n");
    return 2;
  }
  const HMODULE module = LoadLibraryW(dll.c_str());
  const FARPROC found = module != nullptr ? GetProcAddress(module, "Image32LoadFromMemData") : nullptr;
  PfnImage32LoadFromMemData load = nullptr;
  std::memcpy(&load, &found, sizeof load);  // a cast between function types would be flagged
  if (load == nullptr) {
    std::fprintf(stderr, "velapng_dll_bench: cannot load %ls or find Image32LoadFromMemData (error %lu)\n", dll.c_str(),
                 GetLastError());
    return 1;
  }
  std::printf("%-36s %11s %10s %8s   (VelaPNG.dll, best of %d unrotated loads, wall time)\n", "file", "size", "best ms",
              "Mpx/s", runs);
  int status = 0;
  for (int i = first; i < argc; ++i) {
    std::vector<uint8_t> bytes;
    uint32_t width = 0, height = 0;
    const std::string path = argv[i];
    const std::string name = path.substr(path.find_last_of("/\\") + 1);
    double best = 0;
    if (read_file(argv[i], &bytes) && png_size(bytes, &width, &height) && bytes.size() <= INT32_MAX &&
        uint64_t{width} * height * 4 <= INT32_MAX) {
      std::vector<uint8_t> pixels(size_t{width} * height * 4);
      best = best_load_ns(load, bytes, &pixels, runs);
    }
    if (best <= 0) {
      std::fprintf(stderr, "velapng_dll_bench: %s: not loaded\n", argv[i]);
      status = 1;
      continue;
    }
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    std::printf("%-36s %11s %10.2f %8.1f\n", name.c_str(), size.c_str(), best / 1e6,
                double(width) * height / best * 1e3);
  }
  return status;
}
