// File names as the host hands them over in UTF-16, and whole-file reading. The plug-in turns
// a name into the ANSI code page and opens that, so a name loads exactly when the code page
// holds it. On Linux that page is UTF-8, which holds everything. Under wine the tests run
// with a Japanese locale (scripts/wine-run.sh): its code page 932 holds Cyrillic as well as
// CJK, both taking a real double-byte conversion, while Devanagari stays outside it and
// becomes another (invalid) name.
#include "plugin/file_access.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <thread>

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

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

// A name with an unpaired surrogate is held by no code page. The file is written under the
// name the conversion would make of it if it replaced the surrogate (U+FFFD), and asking
// with the unpaired name must not open that file.
TEST(WideNames, NamesLoadAndAnswerInformationWhereTheCodePageHoldsThem) {
  const struct {
    WString name, on_disk;
    bool in_utf8, in_932;
  } cases[] = {
      {VELAPNG_W("\u041f\u0440\u0438\u0432\u0435\u0442.png"), {}, true, true},       // Cyrillic
      {VELAPNG_W("\u65e5\u672c\u8a9e\u306e\u753b\u50cf.png"), {}, true, true},       // CJK
      {VELAPNG_W("\u091a\u093f\u0924\u094d\u0930.png"), {}, true, false},            // Devanagari
      {VELAPNG_W("\U0001F600.png"), {}, true, false},                                // a surrogate pair
      {VELAPNG_W("a\xD800.png"), VELAPNG_W("a\uFFFD.png"), false, false},            // lone high surrogate
      {VELAPNG_W("a\xDC00.png"), VELAPNG_W("a\uFFFD.png"), false, false},            // lone low surrogate
      {VELAPNG_W("\xDC00\xD800.png"), VELAPNG_W("\uFFFD\uFFFD.png"), false, false},  // a pair reversed
  };
  const TestImage image = distinct_rgba_image(5, 3, {exif_chunk(6, true)});
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    const bool held = ansi_code_page_holds(c.name);
    ASSERT_EQ(held, kCodePage == CP_UTF8 ? c.in_utf8 : c.in_932) << "code page " << kCodePage;
    const WString directory = wide(temp_path(""));
    const WString path = directory + c.name;
    write_file(directory + (c.on_disk.empty() ? c.name : c.on_disk), image.png);
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

// Runs `call` on a thread of its own; nothing when it has not returned within five seconds.
// A call that hangs stays behind, blocked, until the process ends, so it gets only what it
// owns.
std::optional<int32_t> within_deadline(std::function<int32_t()> call) {
  auto result = std::make_shared<std::promise<int32_t>>();
  std::future<int32_t> answer = result->get_future();
  std::thread([call = std::move(call), result] { result->set_value(call()); }).detach();
  if (answer.wait_for(std::chrono::seconds(5)) != std::future_status::ready) return std::nullopt;
  return answer.get();
}

// Names of things that are no regular file: opening a FIFO without a writer blocks until one
// comes, a device's reads may wait for input. Each is refused at once by the sizing and by
// both file exports, with nothing written.
TEST(FileNames, WhatIsNoRegularFileIsRefusedWithoutWaiting) {
  std::vector<std::string> paths = {empty_dir()};
#ifdef _WIN32
  const std::string pipe = "\\\\.\\pipe\\velapng-test-" + std::to_string(GetCurrentProcessId());
  // A pipe instance waiting for its client: opening the name connects, and a read would wait.
  const HANDLE server =
      CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  paths.insert(paths.end(), {pipe, "CON", "NUL", "CONIN$"});
#else
  const std::string fifo = temp_path("fifo.png"), link = temp_path("link.png"), socket_path = temp_path("socket.png");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_symlink(fifo, link);
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socket_path.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, socket_path.c_str(), socket_path.size());
  ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  paths.insert(paths.end(), {fifo, link, socket_path, "/dev/null", "/dev/zero"});
#endif
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    const WString name = wide(path);
    EXPECT_EQ(within_deadline([path] { return QueryFileSize(path.c_str()); }), -1);
    auto canvas = std::make_shared<HostCanvas>(16);
    EXPECT_EQ(
        within_deadline([name, canvas] { return png_entry().pfnImage32LoadFile(&canvas->image, name.c_str(), 0); }), 0);
    EXPECT_TRUE(canvas->untouched());
    auto width = std::make_shared<uint32_t>(kCanary);
    EXPECT_EQ(within_deadline(
                  [name, width] { return png_entry().pfnImageGetInfo(name.c_str(), width.get(), nullptr, nullptr); }),
              0);
    EXPECT_EQ(*width, kCanary);
  }
#ifdef _WIN32
  CloseHandle(server);
#else
  close(listener);
#endif
}

}  // namespace
