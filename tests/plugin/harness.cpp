#include "tests/plugin/harness.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

namespace plugintest {

namespace {

constexpr size_t kGuardBytes = 64;

std::string& temp_root() {
  static std::string root;
  return root;
}

std::string log_file() { return in_dir(temp_root(), "QZ_Log.txt"); }

// The log stand-in reads the process environment: on Windows its own copy, not the C
// runtime's, so the variables are set where both see them. A null value removes one.
void set_environment(const char* name, const char* value) {
#ifdef _WIN32
  SetEnvironmentVariableA(name, value);
#else
  if (value != nullptr) setenv(name, value, 1);
  else unsetenv(name);
#endif
}

// The build's paths are written with '/' (and a drive under wine); the platform's own
// separator makes them compare equal to what the system reports.
std::string platform_path(std::string path) {
  std::replace(path.begin(), path.end(), '/', kSeparator);
  return path;
}

bool all_bytes(const void* block, size_t size, uint8_t value) {
  const auto* bytes = static_cast<const uint8_t*>(block);
  return std::all_of(bytes, bytes + size, [value](uint8_t byte) { return byte == value; });
}

// Every test starts with the real companions beside the plug-in and a log of its own.
class PluginEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    const auto root =
        std::filesystem::temp_directory_path() / ("velapng-plugin-tests-" + std::to_string(std::random_device{}()));
    if (!std::filesystem::create_directory(root)) throw std::runtime_error("no temporary directory");
    temp_root() = root.string();
    std::filesystem::create_directory(empty_dir());
    set_environment("QZ_LOG_FILE", log_file().c_str());
    set_environment("QZ_BASE_DIRECTORY", nullptr);
  }
  void TearDown() override {
    std::error_code ignored;  // a library still holding a file open must not fail the run
    std::filesystem::remove_all(temp_root(), ignored);
  }
};

[[maybe_unused]] testing::Environment* const environment = testing::AddGlobalTestEnvironment(new PluginEnvironment);

}  // namespace

HMODULE plugin_handle() {
  static const HMODULE handle = LoadLibraryW(wide(platform_path(VELAPNG_PLUGIN_FILE)).c_str());
  if (handle == nullptr) throw std::runtime_error("cannot load the plug-in");
  return handle;
}

const DecoderPluginEntry* plugin_table() {
  return library_symbol<const DecoderPluginEntry* (*)()>(plugin_handle(), "GetImageDecoderPluginArray")();
}

const DecoderPluginEntry& png_entry() { return plugin_table()[0]; }

std::string bin_dir() { return platform_path(VELAPNG_BIN_DIR); }
std::string fakes_dir() { return platform_path(VELAPNG_FAKES_DIR); }
std::string hollow_dir() { return platform_path(VELAPNG_HOLLOW_DIR); }
std::string empty_dir() { return in_dir(temp_root(), "empty"); }

std::string in_dir(const std::string& directory, const std::string& name) { return directory + kSeparator + name; }

std::string temp_path(const std::string& name) {
  static int serial = 0;
  return in_dir(temp_root(), std::to_string(++serial) + "-" + name);
}

void write_file(const std::string& path, const Bytes& bytes) { write_file(wide(path), bytes); }

std::string padded_directory(const std::string& directory, size_t length) {
  const size_t last = directory.rfind(kSeparator);
  if (last == std::string::npos || length < directory.size()) throw std::invalid_argument("cannot pad " + directory);
  std::string path = directory;
  if ((length - path.size()) % 2 == 1) path.insert(last, 1, kSeparator);
  while (path.size() < length) path += std::string(1, kSeparator) + ".";
  return path;
}

WString wide(const std::string& text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  if (units <= 0) throw std::invalid_argument("not in the ANSI code page: " + text);
  WString out(static_cast<size_t>(units), WCHAR{0});
  MultiByteToWideChar(CP_ACP, 0, text.data(), length, out.data(), units);
  return out;
}

uint32_t ansi_code_page() {
#ifdef _WIN32
  return GetACP();
#else
  return CP_UTF8;
#endif
}

WString temp_path_wide(const WString& name) { return wide(temp_path("")) + name; }

// mingw's streams open narrow names only, which would pass through the code page under test.
void write_file(const WString& path, const Bytes& bytes) {
#ifdef _WIN32
  std::FILE* file = _wfopen(path.c_str(), L"wb");
#else
  std::FILE* file = std::fopen(std::filesystem::path(path).string().c_str(), "wb");
#endif
  if (file == nullptr) throw std::runtime_error("cannot create a file");
  const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (std::fclose(file) != 0 || !written) throw std::runtime_error("cannot write a file");
}

ScopedBaseDirectory::ScopedBaseDirectory(const std::string& directory) {
  set_environment("QZ_BASE_DIRECTORY", directory.c_str());
}
ScopedBaseDirectory::~ScopedBaseDirectory() { set_environment("QZ_BASE_DIRECTORY", nullptr); }

LogWatch::LogWatch() {
  std::error_code error;
  const auto size = std::filesystem::file_size(log_file(), error);
  start_ = error ? 0 : size;
}

Lines LogWatch::lines() const {
  std::ifstream file(log_file(), std::ios::binary);
  Lines out;
  file.seekg(static_cast<std::streamoff>(start_));
  for (std::string line; std::getline(file, line);) out.push_back(line);
  return out;
}

Recorder<fakes::RotateCall> rotate_recorder() { return {in_dir(fakes_dir(), "QZ_Image.dll")}; }
Recorder<fakes::MetaCall> meta_recorder() { return {in_dir(in_dir(fakes_dir(), "ImagePlugins"), "PicFacts.dll")}; }

HostCanvas::HostCanvas(size_t bytes) : pixel_bytes(bytes), memory(bytes + kGuardBytes, kCanary), header{}, image{} {
  std::memset(&header, kCanary, sizeof header);
  std::memset(&image, kCanary, sizeof image);
  image.nStride = kStrideMark;
  image.pBits = memory.data();
  image.pInfoHeader = &header;
}

bool HostCanvas::pixels_untouched() const { return all_bytes(memory.data(), memory.size(), kCanary); }
bool HostCanvas::guard_untouched() const { return all_bytes(&memory[pixel_bytes], kGuardBytes, kCanary); }
bool HostCanvas::header_untouched() const {
  return all_bytes(&header, sizeof header, kCanary) && image.nStride == kStrideMark;
}
Bytes HostCanvas::pixels() const {
  return Bytes(memory.begin(), memory.begin() + static_cast<std::ptrdiff_t>(pixel_bytes));
}

const char* source_name(Source source) { return source == Source::file ? "file" : "memory"; }

int32_t load(Source source, HostImage* image, const Bytes& png, int32_t angle) {
  if (source == Source::memory)
    return png_entry().pfnImage32LoadFromMemData(image, png.data(), static_cast<int32_t>(png.size()), angle);
  const std::string path = temp_path("load.png");
  write_file(path, png);
  return png_entry().pfnImage32LoadFile(image, wide(path).c_str(), angle);
}

TestImage distinct_rgba_image(uint32_t width, uint32_t height, const std::vector<Bytes>& extra_chunks) {
  TestImage image{width, height, {}, {}};
  std::vector<Bytes> rows(height);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x)
      rows[y].insert(rows[y].end(), {static_cast<uint8_t>(0x10 + x), static_cast<uint8_t>(0x40 + y),
                                     static_cast<uint8_t>(0x80 + x + y), static_cast<uint8_t>(0xC0 ^ (x * 3 + y))});
    image.rgba.insert(image.rgba.end(), rows[y].begin(), rows[y].end());
  }
  image.png = testpng::png(width, height, 8, 6, testpng::filter_none(rows), extra_chunks);
  return image;
}

Bytes turned(const Bytes& image, uint32_t width, uint32_t height, int32_t angle) {
  const uint32_t out_width = angle == 90 || angle == 270 ? height : width;
  Bytes out(image.size());
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      uint32_t ox = x, oy = y;
      if (angle == 90) ox = height - 1 - y, oy = x;
      if (angle == 180) ox = width - 1 - x, oy = height - 1 - y;
      if (angle == 270) ox = y, oy = width - 1 - x;
      std::memcpy(&out[(size_t{oy} * out_width + ox) * 4], &image[(size_t{y} * width + x) * 4], 4);
    }
  }
  return out;
}

Bytes expected_bgra(const Bytes& rgba, uint32_t width, uint32_t height, int32_t angle) {
  Bytes out = turned(rgba, width, height, angle);
  for (size_t i = 0; i < out.size(); i += 4) std::swap(out[i], out[i + 2]);
  return out;
}

Bytes tiff_with_orientation(uint16_t orientation, bool little_endian, uint16_t type) {
  Bytes tiff = little_endian ? Bytes{'I', 'I'} : Bytes{'M', 'M'};
  const auto put = [&](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
      tiff.push_back(static_cast<uint8_t>(value >> 8 * (little_endian ? i : bytes - 1 - i)));
  };
  put(42, 2);
  put(8, 4);       // first directory right after the header
  put(2, 2);       // two entries: an unrelated one first, then the orientation
  put(0x010F, 2);  // Make, ASCII, 4 bytes inline
  put(2, 2);
  put(4, 4);
  tiff.insert(tiff.end(), {'V', 'e', 'l', 0});
  put(0x0112, 2);
  put(type, 2);
  put(1, 4);
  put(orientation, 2);
  put(0, 2);
  put(0, 4);  // no next directory
  return tiff;
}

Bytes exif_chunk(uint16_t orientation, bool little_endian) {
  return testpng::chunk("eXIf", tiff_with_orientation(orientation, little_endian));
}

}  // namespace plugintest
