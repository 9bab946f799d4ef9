// The fuzz findings go through the plug-in as the host would hand them over, from memory and
// from a file, at every angle, with the real companions answering: in the Windows build
// that is the DLL under wine, where the fuzzers themselves never run.
#include <gtest/gtest.h>

#include "tests/plugin/harness.h"
#include "tests/support/corpus.h"

namespace {

using namespace plugintest;

constexpr uint32_t kUnwritten = 0xA5A5A5A5;

TEST(FuzzFindings, EveryKeptFileKeepsItsOutcomeThroughThePlugin) {
  const std::vector<testpng::KeptFinding> findings = testpng::fuzz_regressions();
  ASSERT_FALSE(findings.empty());
  for (const testpng::KeptFinding& finding : findings) {
    SCOPED_TRACE(finding.path);
    const Bytes png = testpng::read_file(finding.path);
    // The information calls run the metadata companion over the file; what they answer
    // depends on it, only that they come back matters here.
    uint32_t width = kUnwritten, height = kUnwritten;
    int32_t orientation = 0;
    png_entry().pfnImageGetInfoFromMemData(png.data(), static_cast<int32_t>(png.size()), &width, &height, &orientation);
    const std::string path = temp_path("finding.png");
    write_file(path, png);
    png_entry().pfnImageGetInfo(wide(path).c_str(), &width, &height, &orientation);

    const bool decodes = finding.code == 0;
    if (decodes) {
      ASSERT_NE(width, kUnwritten);
    }
    const size_t pixel_bytes = decodes ? size_t{width} * height * 4 : 64;
    for (Source source : kSources) {
      for (int32_t angle : {0, 90, 180, 270}) {
        SCOPED_TRACE(std::string(source_name(source)) + " " + std::to_string(angle));
        HostCanvas canvas(pixel_bytes);
        EXPECT_EQ(load(source, &canvas.image, png, angle), decodes ? 1 : 0);
        EXPECT_TRUE(canvas.guard_untouched());
        if (!decodes) {
          EXPECT_TRUE(canvas.pixels_untouched());
          EXPECT_TRUE(canvas.header_untouched());
        }
      }
    }
  }
}

}  // namespace
