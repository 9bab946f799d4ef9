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

bool parse_suite_name(const std::string& name, SuiteName* parsed) {
  // Four letters of case, then colour type digit, a letter, two depth digits.
  if (name.size() < 8 || name[0] == 'x') return false;
  const char type = name[4];
  if (type < '0' || type > '6' || !std::isdigit(static_cast<unsigned char>(name[6])) ||
      !std::isdigit(static_cast<unsigned char>(name[7])))
    return false;
  parsed->interlaced = name[3] == 'i';
  parsed->colour_type = static_cast<unsigned>(type - '0');
  parsed->bit_depth = static_cast<unsigned>((name[6] - '0') * 10 + (name[7] - '0'));
  return true;
}

}  // namespace testpng
