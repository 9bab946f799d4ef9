// File names as the host hands them over in UTF-16, and whole-file reading. The plug-in turns
// a name into the ANSI code page and opens that, so a name loads exactly when the code page
// holds it. On Linux that page is UTF-8, which holds everything. Under wine the tests run
// with a Japanese locale (scripts/wine-run.sh): its code page 932 holds Cyrillic as well as
// CJK, both taking a real double-byte conversion, while Devanagari stays outside it and
// becomes another (invalid) name.
#include "plugin/file_access.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "tests/plugin/harness.h"

namespace {

using namespace plugintest;
using namespace velapng;

// The code page file names are converted to: the process's ANSI code page on Windows (932
// under scripts/wine-run.sh, which sets a Japanese locale), UTF-8 on Linux.
#ifdef _WIN32
const uint32_t kCodePage = GetACP();
#else
const uint32_t kCodePage = CP_UTF8;
#endif

std::string from_u8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

// Each UTF-16 unit gets two bytes of room. Shift_JIS spends at most two on any character it
// holds; UTF-8 spends three on CJK, so a name of CJK alone does not fit there.
TEST(WidePathToMultiByte, ConvertsToTheAnsiCodePageWithinTwoBytesPerUnit) {
  ASSERT_TRUE(kCodePage == CP_UTF8 || kCodePage == 932) << "expectations are for UTF-8 and 932, not " << kCodePage;
  struct PathCase {
    WString input;
    std::string utf8;   // from the compiler's own UTF-8 literals
    std::string cp932;  // Shift_JIS codes from the JIS X 0208 table
  };
  const PathCase cases[] = {
      {VELAPNG_W("/tmp/a.png"), "/tmp/a.png", "/tmp/a.png"},
      {VELAPNG_W("/\u0416\u0451.png"), from_u8(u8"/\u0416\u0451.png"), "/\x84\x47\x84\x76.png"},
      {VELAPNG_W("\u65e5\u672c"), "", "\x93\xFA\x96\x7B"},  // in UTF-8 it does not survive and stays empty
      {VELAPNG_W("/tmp/\u65e5.png"), from_u8(u8"/tmp/\u65e5.png"), "/tmp/\x93\xFA.png"},
  };
  for (const PathCase& c : cases) {
    char out[kPathBufferBytes] = {};
    const char* result = WidePathToMultiByte(out, c.input.c_str());
    EXPECT_EQ(result, out);
    EXPECT_EQ(std::string(result), kCodePage == CP_UTF8 ? c.utf8 : c.cp932) << &c - cases;
  }
}

// Whether the conversion the plug-in makes keeps every character of `name`.
bool ansi_code_page_holds(const WString& name) {
  BOOL used_default = 0;
  const int bytes = WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, nullptr, 0, nullptr, &used_default);
  return bytes > 0 && used_default == 0;
}

TEST(WideNames, NamesLoadAndAnswerInformationWhereTheCodePageHoldsThem) {
  const std::pair<WString, bool> cases[] = {
      {VELAPNG_W("\u041f\u0440\u0438\u0432\u0435\u0442.png"), true},  // Cyrillic
      {VELAPNG_W("\u65e5\u672c\u8a9e\u306e\u753b\u50cf.png"), true},  // CJK
      {VELAPNG_W("\u091a\u093f\u0924\u094d\u0930.png"), false},       // Devanagari
  };
  const TestImage image = distinct_rgba_image(5, 3, {exif_chunk(6, true)});
  for (const auto& [name, held_everywhere] : cases) {
    SCOPED_TRACE(testing::Message() << "held everywhere " << held_everywhere);
    const bool held = ansi_code_page_holds(name);
    ASSERT_EQ(held, held_everywhere || kCodePage == CP_UTF8) << "code page " << kCodePage;
    const WString path = temp_path_wide(name);
    write_file(path, image.png);
    for (int32_t angle : {0, 90}) {
      HostCanvas canvas(image.bytes());
      ASSERT_EQ(png_entry().pfnImage32LoadFile(&canvas.image, path.c_str(), angle), held ? 1 : 0) << angle;
      EXPECT_TRUE(held ? canvas.pixels() == image.bgra(angle) : canvas.untouched()) << angle;
    }
    // The metadata stand-in opens the same name and finds the orientation in it.
    uint32_t width = 0, height = 0;
    int32_t orientation = 0;
    EXPECT_EQ(png_entry().pfnImageGetInfo(path.c_str(), &width, &height, &orientation), held ? 6 : 0);
    EXPECT_EQ(width * height, held ? 15u : 0u);
    EXPECT_EQ(orientation, held ? 6 : 0);
  }
}

// The same file through a name padded to 4095 units loads; one more does not.
TEST(WideNames, NamesBeyondTheBufferAreRefused) {
  const std::string path = temp_path("p.png");
  write_file(path, distinct_rgba_image(2, 2).png);
  const size_t name_start = path.rfind(kSeparator);
  const std::string name = path.substr(name_start);  // with its separator
  for (size_t units : {size_t{4095}, size_t{4096}}) {
    const WString padded = wide(padded_directory(path.substr(0, name_start), units - name.size()) + name);
    ASSERT_EQ(padded.size(), units);
    HostCanvas canvas(16);
    EXPECT_EQ(png_entry().pfnImage32LoadFile(&canvas.image, padded.c_str(), 0), units <= 4095 ? 1 : 0) << units;
    char out[kPathBufferBytes] = {};  // refused by the conversion itself, not only by the system's limit
    EXPECT_EQ(WidePathToMultiByte(out, padded.c_str()) == out, units <= 4095) << units;
  }
}

// An empty file is no failure, whatever malloc(0) gives; a missing one, a short read and a
// size from the signed 32-bit limit on give 78 and leave the outputs alone. Sparse files
// give the sizes without the disk space; past 4 GiB, a runtime whose ftell is 32-bit would
// see the last one as 16 bytes.
TEST(LoadFileBytes, SizesAndFailures) {
  const std::string path = temp_path("sparse.bin");
  write_file(path, {});
  uint8_t bytes[11];
  for (const uint64_t length : {0, 10}) {
    std::filesystem::resize_file(path, length);
    uint8_t* buffer = nullptr;
    uint64_t size = 7;
    EXPECT_EQ(LoadFileBytes(&buffer, &size, path.c_str()), 0u);
    EXPECT_EQ(size, length);
    std::free(buffer);
    EXPECT_EQ(ReadFileBytes(bytes, int32_t(length) + 1, path.c_str()), 78u);
  }
  for (const uint64_t length : {uint64_t{0x7FFFFFFE}, uint64_t{0x7FFFFFFF}, uint64_t{0x100000010}}) {
    std::filesystem::resize_file(path, length);
    EXPECT_EQ(QueryFileSize(path.c_str()), length < 0x7FFFFFFF ? int32_t(length) : -1) << length;
  }
  for (const std::string& name : {path, std::string("/nonexistent/velapng/file.png")}) {
    uint8_t* buffer = bytes;
    uint64_t size = 7;
    EXPECT_EQ(LoadFileBytes(&buffer, &size, name.c_str()), 78u) << name;
    EXPECT_EQ(buffer, bytes);
    EXPECT_EQ(size, 7u);
  }
}

}  // namespace
