// What the plug-in tests share: the plug-in loaded as the host loads it, the companion
// directories to point the base directory at, the log file, and host-side image records.
#pragma once

#include <dlfcn.h>

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

// libVelaPNG loaded with dlopen from the bin directory (once per process).
void* plugin_handle();
// The table through GetImageDecoderPluginArray, and its PNG entry.
const DecoderPluginEntry* plugin_table();
const DecoderPluginEntry& png_entry();
// A symbol of the plug-in looked up by name (dlsym), cast to its type.
template <typename Function>
Function plugin_symbol(const char* name) {
  void* symbol = dlsym(plugin_handle(), name);
  Function function = nullptr;
  std::memcpy(&function, &symbol, sizeof function);
  return function;
}

// Directories: the real companions (bin), the recording doubles, the hollow ones, an empty one.
std::string bin_dir();
std::string fakes_dir();
std::string hollow_dir();
std::string empty_dir();
// A fresh path inside the tests' temporary directory.
std::string temp_path(const std::string& name);
void write_file(const std::string& path, const Bytes& bytes);
// Creates a fresh directory whose path is exactly `length` characters long (at least 60).
std::string directory_of_length(size_t length);

// ASCII/UTF-8 path to the platform's UTF-16 (BMP only, enough for test paths).
WString wide(const std::string& text);

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

