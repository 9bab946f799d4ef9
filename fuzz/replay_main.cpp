// Runs a fuzz target without libFuzzer: REPLAY FILE_OR_DIRECTORY...
// Every regular file named, and every regular file directly inside a directory named, goes
// through LLVMFuzzerTestOneInput once, in name order within a directory, from a heap block of
// exactly its size. A finding shows as it does under the fuzzer (a sanitizer report or an
// abort). Exit status 1 when a path cannot be read or nothing was run at all, so an empty or
// misnamed directory never passes for a clean run.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    std::error_code error;
    const size_t first = files.size();
    if (!fs::is_directory(argv[i], error)) {
      files.emplace_back(argv[i]);
      continue;
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(argv[i], error))
      if (entry.is_regular_file()) files.push_back(entry.path());
    if (error) {
      std::fprintf(stderr, "replay: cannot list %s: %s\n", argv[i], error.message().c_str());
      return 1;
    }
    std::sort(files.begin() + static_cast<std::ptrdiff_t>(first), files.end());
  }
  for (const fs::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "replay: cannot read %s\n", file.string().c_str());
      return 1;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::vector<uint8_t> block(bytes.begin(), bytes.end());  // allocated at exactly the size
    LLVMFuzzerTestOneInput(block.data(), block.size());
  }
  std::printf("replay: %llu inputs\n", static_cast<unsigned long long>(files.size()));
  return files.empty() ? 1 : 0;
}
