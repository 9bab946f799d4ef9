// What the plug-in tests share: the plug-in loaded as the host loads it, the companion
// directories to point the base directory at, the log file, the recording doubles and
// host-side image records. The same tests build for Linux and for Windows (run under wine);
// what differs between the two (paths, the environment, the heap) stays in this harness.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "plugin/companions.h"
#include "tests/plugin/fakes/recording.h"
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

// The plug-in loaded with LoadLibraryW from the bin directory (once per process), its table
// through GetImageDecoderPluginArray and the table's PNG entry. The tests call the entry
// points through the entry; table_test holds its pointers to the exported names.
HMODULE plugin_handle();
const DecoderPluginEntry* plugin_table();
const DecoderPluginEntry& png_entry();

template <typename Function>
Function library_symbol(HMODULE library, const char* name) {
  return velapng::find_function<Function>(library, name);
}

// Directories: the real companions (bin), the recording doubles, the hollow ones, an empty one.
std::string bin_dir();
std::string fakes_dir();
std::string hollow_dir();
std::string empty_dir();
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
// The code page file names are converted to: CP_UTF8 (65001) on Linux, the process's ANSI
// code page on Windows (932 under scripts/wine-run.sh, which sets a Japanese locale).
uint32_t ansi_code_page();
// A fresh path in the temporary directory whose file name is `name`, whatever its
// characters, and a file written there through the UTF-16 name itself.
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

// The log lines written since construction.
class LogWatch {
 public:
  LogWatch();
  Lines lines() const;

 private:
  uint64_t start_;
};

// A recording double, reached in the library the plug-in loaded from fakes_dir() (loading
// the same file again gives the same module): forget the calls and set the result, count
// the calls, copy one.
template <typename Call>
struct Recorder {
  std::string library;

  template <typename Function>
  Function function(const char* name) const {
    const auto found = library_symbol<Function>(LoadLibraryW(wide(library).c_str()), name);
    if (found == nullptr) throw std::runtime_error(library + " lacks " + name);
    return found;
  }
  void reset(int32_t result) const { function<fakes::ResetFn>("fake_reset")(result); }
  int32_t count() const { return function<fakes::CountFn>("fake_count")(); }
  Call call(int32_t index) const {
    Call call{};
    if (!function<bool (*)(int32_t, Call*)>("fake_call")(index, &call)) ADD_FAILURE() << "no call " << index;
    return call;
  }
};
Recorder<fakes::RotateCall> rotate_recorder();
Recorder<fakes::MetaCall> meta_recorder();

// A recorded metadata call as values that compare and print, the key by its text.
inline auto as_tuple(const fakes::MetaCall& c) {
  return std::make_tuple(c.function, c.file_name, std::string(c.key != nullptr ? c.key : "(null)"), c.data, c.size,
                         c.value_data, c.value, c.kind, c.release_pointer);
}

inline constexpr uint8_t kCanary = 0xCD;

// A host image record over canary-filled pixel memory (with guard bytes after it) and a
// canary-filled header; nStride starts at a value no load would write.
struct HostCanvas {
  explicit HostCanvas(size_t pixel_bytes);
  HostCanvas(const HostCanvas&) = delete;
  HostCanvas& operator=(const HostCanvas&) = delete;

  bool pixels_untouched() const;  // the guard bytes included
  bool guard_untouched() const;
  bool header_untouched() const;  // nStride included
  Bytes pixels() const;           // the first pixel_bytes

  static constexpr int32_t kStrideMark = -12345;
  size_t pixel_bytes;
  Bytes memory;
  BITMAPINFOHEADER header;
  HostImage image;
};

// Where a load takes the PNG from: a fresh file (Image32LoadFile) or memory
// (Image32LoadFromMemData).
enum class Source { file, memory };
inline constexpr Source kSources[] = {Source::file, Source::memory};
const char* source_name(Source source);
int32_t load(Source source, HostImage* image, const Bytes& png, int32_t angle);

// An 8-bit RGBA image whose pixels all differ: R = 0x10 + x, G = 0x40 + y, B = 0x80 + x + y,
// A = 0xC0 ^ (x * 3 + y). Returned as the PNG and as the straight RGBA the decode must give.
struct TestImage {
  uint32_t width;
  uint32_t height;
  Bytes png;
  Bytes rgba;
};
TestImage distinct_rgba_image(uint32_t width, uint32_t height, const std::vector<Bytes>& extra_chunks = {});

// A width x height image of four-byte pixels turned clockwise by `angle` by forward mapping:
// the pixel (x, y) goes to (h-1-y, x) for 90, (w-1-x, h-1-y) for 180, (y, w-1-x) for 270.
Bytes turned(const Bytes& image, uint32_t width, uint32_t height, int32_t angle);
// RGBA rows as BGRA, turned.
Bytes expected_bgra(const Bytes& rgba, uint32_t width, uint32_t height, int32_t angle);

// An eXIf chunk whose TIFF structure holds one orientation entry.
Bytes exif_chunk(uint16_t orientation, bool little_endian);
Bytes tiff_with_orientation(uint16_t orientation, bool little_endian, uint16_t type = 3);

}  // namespace plugintest
