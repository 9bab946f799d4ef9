// What the plug-in tests share: the plug-in loaded as the host loads it, the companion
// directories to point the base directory at, the log file, host image records and test
// images. The same tests build for Linux and for Windows (run under wine); what differs
// between the two (paths, the environment) stays in this harness.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/companions.h"
#include "tests/support/host_canvas.h"
#include "tests/support/png_builder.h"

namespace plugintest {

using testpng::Bytes;
using WString = std::basic_string<WCHAR>;
using Lines = std::vector<std::string>;

#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

// The plug-in loaded with LoadLibraryW from the bin directory (once per process) and the PNG
// entry of its table; the tests call the exports through the entry.
HMODULE plugin_handle();
const DecoderPluginEntry& png_entry();

// Directories: the real companions (bin), the argument-echoing rotate double, the hollow
// doubles (they load but lack every function looked up), an empty one.
std::string bin_dir();
std::string echo_dir();
std::string hollow_dir();
std::string empty_dir();
// A fresh path inside the tests' temporary directory.
std::string temp_path(const std::string& name);
void write_file(const std::string& path, const Bytes& bytes);
// `directory` (which must hold a separator) spelt with exactly `length` characters: "."
// segments name it again, and a doubled separator takes up an odd count.
std::string padded_directory(const std::string& directory, size_t length);

// Narrow text in the ANSI code page (UTF-8 on Linux) to the platform's UTF-16.
WString wide(const std::string& text);
// A fresh path in the temporary directory whose file name is `name`, and a file written
// there through the UTF-16 name itself.
WString temp_path_wide(const WString& name);
void write_file(const WString& path, const Bytes& bytes);

// Points the companions' base directory elsewhere for one scope (the bin directory by default).
class ScopedBaseDirectory {
 public:
  explicit ScopedBaseDirectory(const std::string& directory);
  ~ScopedBaseDirectory();
  ScopedBaseDirectory(const ScopedBaseDirectory&) = delete;
  ScopedBaseDirectory& operator=(const ScopedBaseDirectory&) = delete;
};

// What the log says when the plug-in has made a temporary image.
inline const std::string kImageMade = "IMAGE calloc success ";

// The log lines written since construction.
class LogWatch {
 public:
  LogWatch();
  Lines lines() const;

 private:
  uint64_t start_;
};

using testpng::HostCanvas;
using testpng::kCanary;

// Where a load takes the PNG from: a fresh file (Image32LoadFile) or memory.
enum class Source { file, memory };
inline constexpr Source kSources[] = {Source::file, Source::memory};
const char* source_name(Source source);
int32_t load(Source source, HostImage* image, const Bytes& png, int32_t angle);

// An 8-bit RGBA image whose pixels all differ: R = 0x10 + x, G = 0x40 + y, B = 0x80 + x + y,
// A = 0xC0 ^ (x * 3 + y).
struct TestImage {
  uint32_t width;
  uint32_t height;
  Bytes png;
  size_t bytes() const { return size_t{width} * height * 4; }
  // The pixels as BGRA, turned clockwise by `angle` by forward mapping: (x, y) goes to
  // (h-1-y, x) for 90, (w-1-x, h-1-y) for 180, (y, w-1-x) for 270.
  Bytes bgra(int32_t angle) const;
};
TestImage distinct_rgba_image(uint32_t width, uint32_t height, const std::vector<Bytes>& extra_chunks = {});

// An eXIf chunk whose TIFF structure holds an unrelated entry and then the orientation.
Bytes exif_chunk(uint16_t orientation, bool little_endian);

}  // namespace plugintest
