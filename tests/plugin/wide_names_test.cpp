// File names beyond ASCII, as the host hands them over in UTF-16. The plug-in turns a name
// into the ANSI code page and opens that, so a name loads exactly when the code page holds
// it. On Linux that page is UTF-8, which holds everything. Under wine the tests run with a
// Japanese locale (scripts/wine-run.sh): its code page 932 holds Cyrillic as well as CJK, so
// both kinds of name take a real double-byte conversion, while Devanagari stays outside it.
#include <gtest/gtest.h>

#include "tests/plugin/harness.h"

namespace {

using namespace plugintest;

struct NameCase {
  const char* script;
  WString name;
};

const NameCase kHeldNames[] = {
    {"Cyrillic", VELAPNG_W("\u041f\u0440\u0438\u0432\u0435\u0442.png")},
    {"CJK", VELAPNG_W("\u65e5\u672c\u8a9e\u306e\u753b\u50cf.png")},
};

// Whether the conversion the plug-in makes keeps every character of `name`.
bool ansi_code_page_holds(const WString& name) {
  BOOL used_default = 0;
  const int bytes = WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, nullptr, 0, nullptr, &used_default);
  return bytes > 0 && used_default == 0;
}

TEST(WideNames, CyrillicAndCjkNamesLoadAtEveryAngleAndAnswerInformation) {
  const TestImage image = distinct_rgba_image(5, 3, {exif_chunk(6, true)});
  for (const NameCase& c : kHeldNames) {
    SCOPED_TRACE(c.script);
    ASSERT_TRUE(ansi_code_page_holds(c.name)) << "code page " << ansi_code_page() << " lacks these characters";
    const WString path = temp_path_wide(c.name);
    write_file(path, image.png);
    for (int32_t angle : {0, 90, 180, 270}) {
      HostCanvas canvas(image.rgba.size());
      ASSERT_EQ(png_entry().pfnImage32LoadFile(&canvas.image, path.c_str(), angle), 1) << angle;
      EXPECT_EQ(canvas.pixels(), expected_bgra(image.rgba, 5, 3, angle)) << angle;
    }
    // The metadata stand-in opens the same name and finds the orientation in it.
    uint32_t width = 0, height = 0;
    int32_t orientation = 0;
    EXPECT_EQ(png_entry().pfnImageGetInfo(path.c_str(), &width, &height, &orientation), 6);
    EXPECT_EQ(width, 5u);
    EXPECT_EQ(height, 3u);
    EXPECT_EQ(orientation, 6);
  }
}

// A character the code page lacks becomes a default character, so the converted name is
// another (here invalid) name: the load fails without touching the host's memory. Where the
// code page holds it (UTF-8) the same file loads.
TEST(WideNames, NameOutsideTheCodePageFailsCleanly) {
  const WString name = VELAPNG_W("\u091a\u093f\u0924\u094d\u0930.png");
  const bool held = ansi_code_page_holds(name);
  EXPECT_EQ(held, ansi_code_page() == CP_UTF8);
  const TestImage image = distinct_rgba_image(4, 2);
  const WString path = temp_path_wide(name);
  write_file(path, image.png);
  HostCanvas canvas(image.rgba.size());
  EXPECT_EQ(png_entry().pfnImage32LoadFile(&canvas.image, path.c_str(), 0), held ? 1 : 0);
  if (held) {
    EXPECT_EQ(canvas.pixels(), expected_bgra(image.rgba, 4, 2, 0));
  } else {
    EXPECT_TRUE(canvas.pixels_untouched());
    EXPECT_TRUE(canvas.header_untouched());
  }
  uint32_t width = 0;
  EXPECT_EQ(png_entry().pfnImageGetInfo(path.c_str(), &width, nullptr, nullptr), 0);  // no eXIf: no orientation
  EXPECT_EQ(width, held ? 4u : 0u);
}

}  // namespace
