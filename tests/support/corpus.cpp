#include "tests/support/corpus.h"

#include <algorithm>
#include <filesystem>

namespace testpng {

std::string pngsuite_dir() { return VELAPNG_PNGSUITE_DIR; }
std::string crashers_dir() { return VELAPNG_CRASHERS_DIR; }

std::vector<std::string> png_files(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() == ".png") names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace testpng
