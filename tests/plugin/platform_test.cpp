#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

#include "plugin/platform/platform.h"
#include "tests/plugin/harness.h"

namespace {

using plugintest::WString;

std::string utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

struct ConversionCase {
  const char* name;
  WString input;
  std::string expected;  // the compiler's UTF-8 for the same text
};

TEST(WideCharToMultiByte, EncodesUtf8ThroughTheTerminator) {
  const WCHAR lone_high[] = {'a', 0xD800, 'b', 0};
  const WCHAR lone_low[] = {0xDC00, 0};
  const ConversionCase cases[] = {
      {"ascii", VELAPNG_W("abc"), "abc"},
      {"two bytes", VELAPNG_W("\u00e9"), utf8(u8"\u00e9")},
      {"three bytes", VELAPNG_W("\u20ac\u65e5"), utf8(u8"\u20ac\u65e5")},
      {"surrogate pair", VELAPNG_W("\U0001F600"), utf8(u8"\U0001F600")},
      {"lone high surrogate", lone_high, utf8(u8"a\uFFFDb")},
      {"lone low surrogate", lone_low, utf8(u8"\uFFFD")},
  };
  for (const ConversionCase& c : cases) {
    SCOPED_TRACE(c.name);
    const int needed = WideCharToMultiByte(CP_ACP, 0, c.input.c_str(), -1, nullptr, 0, nullptr, nullptr);
    EXPECT_EQ(needed, static_cast<int>(c.expected.size() + 1));
    char out[64];
    std::memset(out, 'X', sizeof out);
    BOOL used_default = 5;
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, c.input.c_str(), -1, out, sizeof out, nullptr, &used_default), needed);
    EXPECT_EQ(std::string(out), c.expected);
    EXPECT_EQ(used_default, 0);
  }
}

TEST(WideCharToMultiByte, TooSmallWritesNothing) {
  const WString text = VELAPNG_W("\u00e9\u00e9");  // 4 bytes and a NUL
  char out[8];
  for (int capacity : {1, 2, 4}) {
    std::memset(out, 'X', sizeof out);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out, capacity, nullptr, nullptr), 0);
    EXPECT_EQ(out[0], 'X');
  }
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out, 5, nullptr, nullptr), 5);
}

TEST(WideCharToMultiByte, ExplicitCountConvertsExactlyThoseUnits) {
  char out[8] = {};
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, VELAPNG_W("abcdef"), 3, out, sizeof out, nullptr, nullptr), 3);
  EXPECT_EQ(std::string(out), "abc");
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, VELAPNG_W("abc"), 0, out, sizeof out, nullptr, nullptr), 0);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, nullptr, -1, out, sizeof out, nullptr, nullptr), 0);
}

struct DecodeCase {
  const char* name;
  std::string input;
  WString expected;  // the compiler's UTF-16 for the same text
};

TEST(MultiByteToWideChar, DecodesUtf8ThroughTheTerminator) {
  const DecodeCase cases[] = {
      {"ascii", "abc", VELAPNG_W("abc")},
      {"two bytes", utf8(u8"\u00e9\u0416"), VELAPNG_W("\u00e9\u0416")},
      {"three bytes", utf8(u8"\u20ac\u65e5"), VELAPNG_W("\u20ac\u65e5")},
      {"surrogate pair", utf8(u8"\U0001F600"), VELAPNG_W("\U0001F600")},
      {"stray continuation byte", "a\x80" "b", VELAPNG_W("a\uFFFDb")},
      {"overlong slash", "\xC0\xAF", VELAPNG_W("\uFFFD\uFFFD")},
      {"encoded surrogate", "\xED\xA0\x80", VELAPNG_W("\uFFFD\uFFFD\uFFFD")},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", VELAPNG_W("\uFFFD\uFFFD\uFFFD\uFFFD")},
      {"sequence cut short", "x\xE6\x97", VELAPNG_W("x\uFFFD\uFFFD")},
  };
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.name);
    const int needed = MultiByteToWideChar(CP_ACP, 0, c.input.c_str(), -1, nullptr, 0);
    EXPECT_EQ(needed, static_cast<int>(c.expected.size() + 1));
    WCHAR out[16];
    std::fill(std::begin(out), std::end(out), WCHAR{'X'});
    ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, c.input.c_str(), -1, out, 16), needed);
    EXPECT_EQ(WString(out), c.expected);
  }
}

TEST(MultiByteToWideChar, ExplicitCountAndTooSmallBuffers) {
  WCHAR out[8];
  std::fill(std::begin(out), std::end(out), WCHAR{'X'});
  // Counted input carries no terminator of its own.
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcdef", 3, out, 8), 3);
  EXPECT_EQ(WString(out, 3), VELAPNG_W("abc"));
  EXPECT_EQ(out[3], WCHAR{'X'});
  std::fill(std::begin(out), std::end(out), WCHAR{'X'});
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, utf8(u8"\U0001F600").c_str(), -1, out, 2), 0);  // needs 3
  EXPECT_EQ(out[0], WCHAR{'X'});
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 0, out, 8), 0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, nullptr, -1, out, 8), 0);
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", -1, out, 8), 0);  // only UTF-8 is known
}

TEST(LoadLibraryW, BackslashesSeparateDirectoriesAndFailuresGiveNull) {
  const WString windows_style = plugintest::wide(plugintest::bin_dir()) + VELAPNG_W("\\ImagePlugins\\PicFacts.dll");
  HMODULE library = LoadLibraryW(windows_style.c_str());
  ASSERT_NE(library, nullptr);
  EXPECT_NE(GetProcAddress(library, "GetImageMetaValue"), nullptr);
  EXPECT_EQ(GetProcAddress(library, "NoSuchFunction"), nullptr);
  EXPECT_EQ(LoadLibraryW(nullptr), nullptr);
  EXPECT_EQ(LoadLibraryW(VELAPNG_W("/nonexistent/QZ_Image.dll")), nullptr);
}

TEST(GetProcAddress, NullModuleFindsNothingEvenForProcessSymbols) {
  EXPECT_EQ(GetProcAddress(nullptr, "malloc"), nullptr);
}

TEST(DeleteObject, NothingToDeleteOnLinux) {
  int object = 0;
  EXPECT_EQ(DeleteObject(&object), 1);
  EXPECT_EQ(DeleteObject(nullptr), 0);
}

}  // namespace
