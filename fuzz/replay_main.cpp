// Runs a fuzz target without libFuzzer: REPLAY FILE_OR_DIRECTORY...
// Every regular file named, and every regular file directly inside a directory named, goes
// through LLVMFuzzerTestOneInput once, in name order, from a heap block of exactly its size.
// A finding shows as it does under the fuzzer (a sanitizer report or an abort). Exit status
// 1 when a path cannot be read or nothing was run at all, so an empty or misnamed directory
// never passes for a clean run.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

bool run_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto* copy = static_cast<uint8_t*>(std::malloc(bytes.empty() ? 1 : bytes.size()));
  if (copy == nullptr) return false;
  if (!bytes.empty()) std::memcpy(copy, bytes.data(), bytes.size());
  LLVMFuzzerTestOneInput(copy, bytes.size());
  std::free(copy);
  return true;
}

std::vector<fs::path> files_of(const fs::path& path, std::error_code& error) {
  std::vector<fs::path> files;
  if (!fs::is_directory(path, error)) {
    files.push_back(path);
    return files;
  }
  for (const fs::directory_entry& entry : fs::directory_iterator(path, error)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  size_t runs = 0;
  for (int i = 1; i < argc; ++i) {
    std::error_code error;
    for (const fs::path& file : files_of(argv[i], error)) {
      if (!run_file(file)) {
        std::fprintf(stderr, "replay: cannot read %s\n", file.string().c_str());
        return 1;
      }
      ++runs;
    }
    if (error) {
      std::fprintf(stderr, "replay: cannot list %s: %s\n", argv[i], error.message().c_str());
      return 1;
    }
  }
  std::printf("replay: %llu inputs\n", static_cast<unsigned long long>(runs));
  return runs == 0 ? 1 : 0;
}
