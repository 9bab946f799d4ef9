#include "tests/support/corpus.h"

#include <algorithm>
#include <filesystem>

namespace testpng {

std::string pngsuite_dir() { return VELAPNG_PNGSUITE_DIR; }
std::string crashers_dir() { return VELAPNG_CRASHERS_DIR; }

std::vector<std::string> png_files(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().extension() == ".png") names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<KeptFinding> fuzz_regressions() {
  std::vector<KeptFinding> found;
  for (const auto& target : std::filesystem::directory_iterator(VELAPNG_FUZZ_REGRESSIONS_DIR)) {
    if (!target.is_directory()) continue;
    for (const std::string& name : png_files(target.path().string())) {
      if (name.size() < 4 || name[3] != '-') continue;
      found.push_back({(target.path() / name).string(), static_cast<uint32_t>(std::stoul(name.substr(0, 3)))});
    }
  }
  std::sort(found.begin(), found.end(), [](const KeptFinding& a, const KeptFinding& b) { return a.path < b.path; });
  return found;
}

}  // namespace testpng
