// Reading the real-world corpus's index.
#include "tests/real_world/corpus_index.h"

#include <fstream>
#include <sstream>

namespace realworld {

bool read_index(const std::string& corpus_dir, std::vector<CorpusFile>* files, std::string* error) {
  const std::string index = corpus_dir + "/index.tsv";
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
    file.path = corpus_dir + "/" + file.hash + ".png";
    files->push_back(std::move(file));
  }
  return true;
}

}  // namespace realworld
