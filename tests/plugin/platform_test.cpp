// The Linux stand-in for the Windows calls. The end-to-end tests already send it valid
// names through the base directory, file names of three scripts and the '\' separators of
// the companions' paths; what they don't reach is text that is not valid UTF-16 or UTF-8,
// characters beyond the basic plane, a text passed with its length, and a failed load.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/plugin/harness.h"

namespace {

using plugintest::WString;

std::string utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

// Both ways, with the size asked first and a buffer one short refused without a write.
// UTF-8 that is not valid decodes with replacements; UTF-16 with an unpaired surrogate
// converts to nothing, since a name holding one must open no file.
TEST(PlatformText, Utf8BothWaysReplacingWhatIsNotValid) {
  const struct {
    WString wide;
    std::string narrow;  // the compiler's UTF-8 for the same text, or the bytes decoded
    bool encodes, decodes;
  } cases[] = {
      {VELAPNG_W("\u00e9\u20ac\u65e5"), utf8(u8"\u00e9\u20ac\u65e5"), true, true},
      {VELAPNG_W("\U0001F600\U00100000"), utf8(u8"\U0001F600\U00100000"), true, true},  // planes 1 and 16
      {VELAPNG_W("a\uFFFDb"), "a\x80\x62", false, true},                                // a continuation byte alone
      {VELAPNG_W("\uFFFD\uFFFD"), "\xC0\xAF", false, true},                             // overlong
      {VELAPNG_W("\uFFFD\uFFFD\uFFFD"), "\xED\xA0\x80", false, true},                   // an encoded surrogate
      {VELAPNG_W("\uFFFD\uFFFD\uFFFD\uFFFD"), "\xF4\x90\x80\x80", false, true},         // beyond U+10FFFF
      {VELAPNG_W("x\uFFFD\uFFFD"), "x\xE6\x97", false, true},                           // cut short
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.narrow);
    if (c.encodes) {
      const int needed = static_cast<int>(c.narrow.size() + 1);
      EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, c.wide.c_str(), -1, nullptr, 0, nullptr, nullptr), needed);
      char out[16] = {};
      EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, c.wide.c_str(), -1, out, needed - 1, nullptr, nullptr), 0);
      EXPECT_EQ(out[0], 0);
      ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, c.wide.c_str(), -1, out, needed, nullptr, nullptr), needed);
      EXPECT_EQ(std::string(out), c.narrow);
    }
    if (c.decodes) {
      const int needed = static_cast<int>(c.wide.size() + 1);
      EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, c.narrow.c_str(), -1, nullptr, 0), needed);
      WCHAR out[16] = {};
      EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, c.narrow.c_str(), -1, out, needed - 1), 0);
      EXPECT_EQ(out[0], 0);
      ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, c.narrow.c_str(), -1, out, needed), needed);
      EXPECT_EQ(WString(out), c.wide);
    }
  }
  WCHAR one[2] = {};  // an explicit count, as the host and the log stand-in pass a text's length
  EXPECT_TRUE(MultiByteToWideChar(CP_UTF8, 0, "ab", 1, one, 2) == 1 && one[0] == 'a' && one[1] == 0);

  const WCHAR lone_high[] = {'a', 0xD800, 'b', 0}, lone_low[] = {'a', 0xDC00, 0}, reversed[] = {0xDC00, 0xD800, 0},
              pair[] = {0xD83D, 0xDE00, 0};
  const std::pair<const WCHAR*, int> unpaired[] = {{lone_high, -1}, {lone_low, -1}, {reversed, -1}, {pair, 1}};
  for (size_t i = 0; i < std::size(unpaired); ++i) {
    SCOPED_TRACE(i);
    const auto [text, count] = unpaired[i];
    char out[16] = {};
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, count, nullptr, 0, nullptr, nullptr), 0);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, count, out, 16, nullptr, nullptr), 0);
    EXPECT_EQ(out[0], 0);
  }
}

TEST(PlatformLibraries, FailedLoadsAndLookupsFindNothing) {
  EXPECT_EQ(LoadLibraryW(VELAPNG_W("/nonexistent/QZ_Image.dll")), nullptr);
  EXPECT_EQ(GetProcAddress(nullptr, "malloc"), nullptr);  // dlsym would search the whole process
  HMODULE library = LoadLibraryW(plugintest::wide(plugintest::bin_dir() + "/QZ_Image.dll").c_str());
  ASSERT_NE(library, nullptr);
  EXPECT_EQ(GetProcAddress(library, "NoSuchFunction"), nullptr);
}

}  // namespace
