// The shared conformance corpus (PngSuite and the crasher files) and the fuzz findings kept
// in fuzz/regressions/, found through the directories the build was configured with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testpng {

std::string pngsuite_dir();
std::string crashers_dir();
// Sorted file names (not paths) ending in .png in `dir`.
std::vector<std::string> png_files(const std::string& dir);

// A file kept under fuzz/regressions/<target>/ and the result code its name starts with:
// "052-..." must be refused with 52, "000-..." must decode.
struct KeptFinding {
  std::string path;
  uint32_t code;
};
std::vector<KeptFinding> fuzz_regressions();

}  // namespace testpng
