#include "plugin/file_access.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "tests/plugin/harness.h"

namespace {

using namespace velapng;
using plugintest::Bytes;
using plugintest::WString;

struct PathCase {
  const char* name;
  WString input;
  std::string utf8;   // from the compiler's own UTF-8 literals
  std::string cp932;  // Shift_JIS codes from the JIS X 0208 table
};

std::string from_u8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

// Each UTF-16 unit gets two bytes of room. Shift_JIS spends at most two on any character it
// holds; UTF-8 spends three on CJK, so a name of CJK alone does not fit there.
TEST(WidePathToMultiByte, ConvertsToTheAnsiCodePageWithinTwoBytesPerUnit) {
  const uint32_t code_page = plugintest::ansi_code_page();
  ASSERT_TRUE(code_page == CP_UTF8 || code_page == 932)
      << "expectations are written for UTF-8 and code page 932, not " << code_page;
  const PathCase cases[] = {
      {"ascii", VELAPNG_W("/tmp/a.png"), "/tmp/a.png", "/tmp/a.png"},
      {"cyrillic", VELAPNG_W("/\u0416\u0451.png"), from_u8(u8"/\u0416\u0451.png"), "/\x84\x47\x84\x76.png"},
      // Three UTF-8 bytes per unit don't fit in two: the name does not survive and stays empty.
      {"cjk only", VELAPNG_W("\u65e5\u672c"), "", "\x93\xFA\x96\x7B"},
      // Enough ASCII around it leaves room for the longer encoding.
      {"cjk in ascii", VELAPNG_W("/tmp/\u65e5.png"), from_u8(u8"/tmp/\u65e5.png"), "/tmp/\x93\xFA.png"},
  };
  for (const PathCase& c : cases) {
    SCOPED_TRACE(c.name);
    char out[kPathBufferBytes] = {};
    const char* result = WidePathToMultiByte(out, c.input.c_str());
    EXPECT_EQ(result, out);
    EXPECT_EQ(std::string(result), code_page == CP_UTF8 ? c.utf8 : c.cp932);
  }
}

// An empty file is no failure, whatever malloc(0) gives; a missing one leaves the outputs.
TEST(LoadFileBytes, EmptyFileGivesNoBytesMissingFileLeavesOutputsAlone) {
  const std::string path = plugintest::temp_path("empty.bin");
  plugintest::write_file(path, {});
  uint8_t* buffer = nullptr;
  uint64_t size = 99;
  EXPECT_EQ(LoadFileBytes(&buffer, &size, path.c_str()), 0u);
  EXPECT_EQ(size, 0u);
  std::free(buffer);
  uint8_t marker = 0;
  buffer = &marker;
  size = 1234;
  EXPECT_EQ(LoadFileBytes(&buffer, &size, "/nonexistent/velapng/file.png"), 78u);
  EXPECT_EQ(buffer, &marker);
  EXPECT_EQ(size, 1234u);
}

TEST(ReadFileBytes, ShortFileOrMissingFileGives78) {
  const std::string path = plugintest::temp_path("short.bin");
  plugintest::write_file(path, Bytes(10, 1));
  uint8_t buffer[20];
  EXPECT_EQ(ReadFileBytes(buffer, 10, path.c_str()), 0u);
  EXPECT_EQ(ReadFileBytes(buffer, 11, path.c_str()), 78u);
  EXPECT_EQ(ReadFileBytes(buffer, 1, "/nonexistent/velapng/file.png"), 78u);
}

// Sparse files give the sizes without the disk space. Past 4 GiB, a runtime whose ftell is
// 32-bit would see the last case as 16 bytes.
TEST(QueryFileSize, SizesFromTheSigned32BitLimitOnAreRefused) {
  struct SizeCase {
    uint64_t size;
    int32_t expected;
  };
  for (const SizeCase& c : {SizeCase{0x7FFFFFFE, 0x7FFFFFFE}, {0x7FFFFFFF, -1}, {0x100000010, -1}}) {
    SCOPED_TRACE(c.size);
    const std::string path = plugintest::temp_path("sparse.bin");
    plugintest::write_file(path, {});
    std::filesystem::resize_file(path, c.size);
    EXPECT_EQ(QueryFileSize(path.c_str()), c.expected);
    if (c.expected < 0) {
      uint8_t* buffer = nullptr;
      uint64_t size = 7;
      EXPECT_EQ(LoadFileBytes(&buffer, &size, path.c_str()), 78u);
      EXPECT_EQ(size, 7u);
    }
    std::remove(path.c_str());
  }
}

}  // namespace
