// The corpus the real-world script makes: <hash>.png files and index.tsv, one line a file
// with its hash, category, package and path in the package.
#pragma once

#include <string>
#include <vector>

namespace realworld {

struct CorpusFile {
  std::string hash;
  std::string category;
  std::string package;
  std::string origin;  // the path inside the package
  std::string path;    // where the checker reads it: <corpus>/<hash>.png
};

// The index's files in its order; false with `error` set when it cannot be read or a line
// lacks a field.
bool read_index(const std::string& corpus_dir, std::vector<CorpusFile>* files, std::string* error);

}  // namespace realworld
