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

}  // namespace testpng
