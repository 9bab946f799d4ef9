// The shared conformance corpus: PngSuite and the crasher files, found through the
// directories the build was configured with.
#pragma once

#include <string>
#include <vector>

namespace testpng {

std::string pngsuite_dir();
std::string crashers_dir();
// Sorted file names (not paths) ending in .png in `dir`.
std::vector<std::string> png_files(const std::string& dir);

// What a PngSuite file name encodes: "basn0g01" = colour type 0, depth 1, not interlaced.
struct SuiteName {
  bool interlaced;
  unsigned colour_type;
  unsigned bit_depth;
};
// False for names that do not follow the pattern (the x* files, for example).
bool parse_suite_name(const std::string& name, SuiteName* parsed);

}  // namespace testpng
