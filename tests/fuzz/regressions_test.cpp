// Every file kept under fuzz/regressions/<target>/ goes through the whole decode and must
// keep the outcome its name starts with: "052-..." is refused with 52, "000-..." decodes
// (the native conformance suite then holds its pixels against libpng). The code in a name is
// worked out from the file's bytes when it is kept, not copied from a decoder's answer.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "tests/support/png_builder.h"

namespace {

namespace fs = std::filesystem;
using testpng::Bytes;

struct Regression {
  std::string path;
  uint32_t code;
};

std::vector<Regression> regressions() {
  std::vector<Regression> found;
  for (const fs::directory_entry& target : fs::directory_iterator(VELAPNG_FUZZ_REGRESSIONS_DIR)) {
    if (!target.is_directory()) continue;
    for (const fs::directory_entry& file : fs::directory_iterator(target.path())) {
      const std::string name = file.path().filename().string();
      if (name.size() < 4 || name[3] != '-') continue;
      found.push_back({file.path().string(), static_cast<uint32_t>(std::stoul(name.substr(0, 3)))});
    }
  }
  return found;
}

// Into a block of the image's size; the replay binaries run the same files from blocks of
// exactly their size under the sanitizers.
uint32_t decode(const Bytes& file) {
  velapng::VelaPNGState probe;
  velapng::state_init(&probe);
  uint32_t width = 0, height = 0;
  const uint32_t inspected = velapng::inspect_header(&width, &height, &probe, file.data(), file.size());
  velapng::state_release(&probe);
  if (uint64_t{width} * height > (uint64_t{1} << 26)) return 0xFFFFFFFF;  // kept files are small images
  Bytes rgba(inspected == 0 ? size_t{width} * height * 4 : 4);
  uint8_t* out = rgba.data();
  return velapng::decode_rgba(&out, &width, &height, file.data(), file.size());
}

TEST(FuzzRegressions, EveryKeptFileKeepsItsOutcome) {
  const std::vector<Regression> files = regressions();
  ASSERT_FALSE(files.empty());
  for (const Regression& regression : files) {
    EXPECT_EQ(decode(testpng::read_file(regression.path)), regression.code) << regression.path;
  }
}

}  // namespace
