// File names beyond ASCII, as the host hands them over in UTF-16. The plug-in turns a name
// into the ANSI code page and opens that, so a name loads exactly when the code page holds
// it. On Linux that page is UTF-8, which holds everything. Under wine the tests run with a
// Japanese locale (scripts/wine-run.sh): its code page 932 holds Cyrillic as well as CJK, so
// both kinds of name take a real double-byte conversion, while Devanagari stays outside it.
// A character the code page lacks becomes a default character, so the converted name is
// another (here invalid) name: the load fails without touching the host's memory.
#include <gtest/gtest.h>

#include "tests/plugin/harness.h"

namespace {

using namespace plugintest;

// Whether the conversion the plug-in makes keeps every character of `name`.
bool ansi_code_page_holds(const WString& name) {
  BOOL used_default = 0;
  const int bytes = WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, nullptr, 0, nullptr, &used_default);
  return bytes > 0 && used_default == 0;
}

TEST(WideNames, NamesLoadAtEveryAngleAndAnswerInformationWhereTheCodePageHoldsThem) {
  struct NameCase {
    WString name;
    bool held_everywhere;
  };
  const NameCase cases[] = {
      {VELAPNG_W("\u041f\u0440\u0438\u0432\u0435\u0442.png"), true},  // Cyrillic
      {VELAPNG_W("\u65e5\u672c\u8a9e\u306e\u753b\u50cf.png"), true},  // CJK
      {VELAPNG_W("\u091a\u093f\u0924\u094d\u0930.png"), false},       // Devanagari
  };
  const TestImage image = distinct_rgba_image(5, 3, {exif_chunk(6, true)});
  for (const NameCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "name " << &c - cases);
    const bool held = ansi_code_page_holds(c.name);
    ASSERT_EQ(held, c.held_everywhere || ansi_code_page() == CP_UTF8) << "code page " << ansi_code_page();
    const WString path = temp_path_wide(c.name);
    write_file(path, image.png);
    for (int32_t angle : {0, 90, 180, 270}) {
      HostCanvas canvas(image.rgba.size());
      ASSERT_EQ(png_entry().pfnImage32LoadFile(&canvas.image, path.c_str(), angle), held ? 1 : 0) << angle;
      if (held) {
        EXPECT_EQ(canvas.pixels(), expected_bgra(image.rgba, 5, 3, angle)) << angle;
      } else {
        EXPECT_TRUE(canvas.pixels_untouched() && canvas.header_untouched()) << angle;
      }
    }
    // The metadata stand-in opens the same name and finds the orientation in it.
    uint32_t width = 0, height = 0;
    int32_t orientation = 0;
    EXPECT_EQ(png_entry().pfnImageGetInfo(path.c_str(), &width, &height, &orientation), held ? 6 : 0);
    EXPECT_EQ(width, held ? 5u : 0u);
    EXPECT_EQ(height, held ? 3u : 0u);
    EXPECT_EQ(orientation, held ? 6 : 0);
  }
}

}  // namespace
