#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "plugin/file_access.h"
#include "tests/plugin/harness.h"

namespace {

using namespace velapng;
using plugintest::Bytes;
using plugintest::WString;

struct PathCase {
  const char* name;
  WString input;
  std::string expected;  // from the compiler's own UTF-8 literals
};

TEST(WidePathToMultiByte, ConvertsToUtf8WithinTwoBytesPerUnit) {
  const PathCase cases[] = {
      {"ascii", VELAPNG_W("/tmp/a.png"), "/tmp/a.png"},
      {"empty", VELAPNG_W(""), ""},
      {"two-byte letters", VELAPNG_W("/t\u00e9\u00df.png"), reinterpret_cast<const char*>(u8"/t\u00e9\u00df.png")},
      // Three UTF-8 bytes per unit don't fit in two: the name does not survive and stays empty.
      {"cjk only", VELAPNG_W("\u65e5\u672c"), ""},
      // Enough ASCII around it leaves room for the longer encoding.
      {"cjk in ascii", VELAPNG_W("/tmp/\u65e5.png"), reinterpret_cast<const char*>(u8"/tmp/\u65e5.png")},
  };
  for (const PathCase& c : cases) {
    SCOPED_TRACE(c.name);
    char out[kPathBufferBytes] = {};
    const char* result = WidePathToMultiByte(out, c.input.c_str());
    EXPECT_EQ(result, out);
    EXPECT_EQ(std::string(result), c.expected);
  }
}

TEST(WidePathToMultiByte, NullNameGivesEmptyConstantAndLeavesBufferAlone) {
  char out[kPathBufferBytes];
  std::memset(out, 'X', sizeof out);
  const char* result = WidePathToMultiByte(out, nullptr);
  ASSERT_NE(result, nullptr);
  EXPECT_NE(result, out);
  EXPECT_STREQ(result, "");
  EXPECT_EQ(out[0], 'X');
}

TEST(WidePathToMultiByte, LongestNameFitsOneMoreIsRefused) {
  struct LengthCase {
    size_t units;
    bool accepted;
  };
  for (const LengthCase& c : {LengthCase{4094, true}, {4095, true}, {4096, false}, {20000, false}}) {
    SCOPED_TRACE(c.units);
    const WString name(c.units, VELAPNG_W('a'));
    char out[kPathBufferBytes] = {};
    const char* result = WidePathToMultiByte(out, name.c_str());
    if (c.accepted) {
      ASSERT_EQ(result, out);
      EXPECT_EQ(std::strlen(out), c.units);
    } else {
      EXPECT_EQ(result, nullptr);
      EXPECT_EQ(out[0], 0);
    }
  }
}

TEST(LoadFileBytes, ReadsWholeFile) {
  for (size_t size : {size_t{1}, size_t{33}, size_t{4096}, size_t{100001}}) {
    Bytes content(size);
    for (size_t i = 0; i < size; ++i) content[i] = static_cast<uint8_t>(i * 7 + size);
    const std::string path = plugintest::temp_path("content.bin");
    plugintest::write_file(path, content);
    uint8_t* buffer = nullptr;
    uint64_t read = 0;
    ASSERT_EQ(LoadFileBytes(&buffer, &read, path.c_str()), 0u);
    ASSERT_EQ(read, size);
    EXPECT_EQ(Bytes(buffer, buffer + read), content);
    std::free(buffer);
    EXPECT_EQ(QueryFileSize(path.c_str()), static_cast<int32_t>(size));
  }
}

TEST(LoadFileBytes, EmptyFileGivesZeroBytes) {
  const std::string path = plugintest::temp_path("empty.png");
  plugintest::write_file(path, {});
  uint8_t* buffer = nullptr;
  uint64_t size = 99;
  EXPECT_EQ(LoadFileBytes(&buffer, &size, path.c_str()), 0u);
  EXPECT_EQ(size, 0u);
  std::free(buffer);
}

TEST(LoadFileBytes, MissingFileLeavesOutputsUntouched) {
  uint8_t marker = 0;
  uint8_t* buffer = &marker;
  uint64_t size = 1234;
  EXPECT_EQ(LoadFileBytes(&buffer, &size, "/nonexistent/velapng/file.png"), 78u);
  EXPECT_EQ(buffer, &marker);
  EXPECT_EQ(size, 1234u);
  EXPECT_EQ(QueryFileSize("/nonexistent/velapng/file.png"), -1);
  EXPECT_EQ(QueryFileSize(""), -1);
}

TEST(ReadFileBytes, ShortFileOrMissingFileGives78) {
  const std::string path = plugintest::temp_path("short.bin");
  plugintest::write_file(path, Bytes(10, 1));
  uint8_t buffer[20];
  EXPECT_EQ(ReadFileBytes(buffer, 10, path.c_str()), 0u);
  EXPECT_EQ(ReadFileBytes(buffer, 11, path.c_str()), 78u);
  EXPECT_EQ(ReadFileBytes(buffer, 1, "/nonexistent/velapng/file.png"), 78u);
}

// Sparse files give the sizes without the disk space.
TEST(QueryFileSize, SizesFromTheSigned32BitLimitOnAreRefused) {
  struct SizeCase {
    off_t size;
    int32_t expected;
  };
  for (const SizeCase& c : {SizeCase{0x7FFFFFFE, 0x7FFFFFFE}, {0x7FFFFFFF, -1}, {0x80000000, -1}, {0x100000010, -1}}) {
    SCOPED_TRACE(c.size);
    const std::string path = plugintest::temp_path("sparse.bin");
    plugintest::write_file(path, {});
    ASSERT_EQ(truncate(path.c_str(), c.size), 0);
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
