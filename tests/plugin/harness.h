// What the plug-in tests share: the plug-in loaded as the host loads it, the companion
// directories to point the base directory at, the log file, and host-side image records.
// The same tests build for Linux and for Windows (run under wine); what differs between the
// two (paths, the environment, the heap) stays in this harness.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/plugin.h"
#include "tests/plugin/fakes/recording.h"
#include "tests/support/png_builder.h"

namespace plugintest {

using testpng::Bytes;
using WString = std::basic_string<WCHAR>;

// The platform's directory separator; the paths below use it throughout.
#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

// The plug-in loaded with LoadLibraryW from the bin directory (once per process).
HMODULE plugin_handle();
// The table through GetImageDecoderPluginArray, and its PNG entry.
const DecoderPluginEntry* plugin_table();
const DecoderPluginEntry& png_entry();
// A function of a loaded library looked up by name (GetProcAddress), cast to its type.
template <typename Function>
Function library_symbol(HMODULE library, const char* name) {
  const FARPROC found = GetProcAddress(library, name);
  Function function = nullptr;
  static_assert(sizeof function == sizeof found);
  std::memcpy(&function, &found, sizeof function);
  return function;
}
template <typename Function>
Function plugin_symbol(const char* name) {
  return library_symbol<Function>(plugin_handle(), name);
}

// Directories: the real companions (bin), the recording doubles, the hollow ones, an empty one.
std::string bin_dir();
std::string fakes_dir();
std::string hollow_dir();
std::string empty_dir();
// `name` inside `directory`.
std::string in_dir(const std::string& directory, const std::string& name);
// A fresh path inside the tests' temporary directory.
std::string temp_path(const std::string& name);
void write_file(const std::string& path, const Bytes& bytes);
// `directory` (which must hold a separator) spelt with exactly `length` characters: "."
// segments name it again, and a doubled separator takes up an odd count. No directory is
// made, so the library inside stays the same file, loaded once.
std::string padded_directory(const std::string& directory, size_t length);

// Narrow text in the ANSI code page (UTF-8 on Linux) to the platform's UTF-16.
WString wide(const std::string& text);
// The code page that file names are converted to: CP_UTF8 (65001) on Linux, the process's
// ANSI code page on Windows (932 under scripts/wine-run.sh, which sets a Japanese locale).
uint32_t ansi_code_page();
// A fresh path in the temporary directory whose file name is `name`, whatever its
// characters, and a file written there through the UTF-16 name itself.
WString temp_path_wide(const WString& name);
void write_file(const WString& path, const Bytes& bytes);

// Bytes the heap really gave a block (at least what was asked for).
size_t allocated_size(void* block);

// Points the companions' base directory elsewhere for one scope (the bin directory by default).
class ScopedBaseDirectory {
 public:
  explicit ScopedBaseDirectory(const std::string& directory);
  ~ScopedBaseDirectory();
  ScopedBaseDirectory(const ScopedBaseDirectory&) = delete;
  ScopedBaseDirectory& operator=(const ScopedBaseDirectory&) = delete;
};

// The log lines written since construction.
class LogWatch {
 public:
  LogWatch();
  std::vector<std::string> lines() const;

 private:
  uint64_t start_;
};

// The recording doubles, reached in the library the plug-in loaded from fakes_dir().
struct RotateRecorder {
  static void reset(int32_t result);
  static int32_t count();
  static fakes::RotateCall call(int32_t index);
};
struct MetaRecorder {
  static void reset(int32_t result);
  static int32_t count();
  static fakes::MetaCall call(int32_t index);
};

inline constexpr uint8_t kCanary = 0xCD;
inline constexpr size_t kGuardBytes = 64;

// A host image record over canary-filled pixel memory (with guard bytes after it) and a
// canary-filled header; nStride starts at a value no load would write.
struct HostCanvas {
  explicit HostCanvas(size_t pixel_bytes);
  HostCanvas(const HostCanvas&) = delete;
  HostCanvas& operator=(const HostCanvas&) = delete;

  bool pixels_untouched() const;
  bool guard_untouched() const;
  bool header_untouched() const;
  std::vector<uint8_t> pixels() const;  // the first pixel_bytes

  static constexpr int32_t kStrideMark = -12345;
  size_t pixel_bytes;
  std::vector<uint8_t> memory;
  BITMAPINFOHEADER header;
  HostImage image;
};

// An 8-bit RGBA image whose pixels all differ: R = 0x10 + x, G = 0x40 + y, B = 0x80 + x + y,
// A = 0xC0 ^ (x * 3 + y). Returned as the PNG and as the straight RGBA the decode must give.
struct TestImage {
  uint32_t width;
  uint32_t height;
  Bytes png;
  Bytes rgba;
};
TestImage distinct_rgba_image(uint32_t width, uint32_t height, const std::vector<Bytes>& extra_chunks = {});

// RGBA rows as BGRA, turned clockwise by `angle` by forward mapping: the source pixel (x, y)
// goes to (h-1-y, x) for 90, (w-1-x, h-1-y) for 180, (y, w-1-x) for 270.
Bytes expected_bgra(const Bytes& rgba, uint32_t width, uint32_t height, int32_t angle);

// An eXIf chunk whose TIFF structure holds one orientation entry.
Bytes exif_chunk(uint16_t orientation, bool little_endian);
Bytes tiff_with_orientation(uint16_t orientation, bool little_endian, uint16_t type = 3);

}  // namespace plugintest

