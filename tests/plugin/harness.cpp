#include "tests/plugin/harness.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "loader/plugin_loader.h"

namespace plugintest {

namespace {

std::string in_dir(const std::string& directory, const std::string& name) { return directory + kSeparator + name; }

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

namespace {

struct LoadedPlugin {
  HMODULE module = nullptr;
  const DecoderPluginEntry* png = nullptr;
};

const LoadedPlugin& loaded_plugin() {
  static const LoadedPlugin plugin = [] {
    LoadedPlugin loaded;
    std::string error;
    loaded.png = loader::find_decoder(wide(platform_path(VELAPNG_PLUGIN_FILE)).c_str(), "PNG ", &error, &loaded.module);
    if (loaded.png == nullptr) throw std::runtime_error("cannot load the plug-in: " + error);
    return loaded;
  }();
  return plugin;
}

}  // namespace

HMODULE plugin_handle() { return loaded_plugin().module; }
const DecoderPluginEntry& png_entry() { return *loaded_plugin().png; }

std::string bin_dir() { return platform_path(VELAPNG_BIN_DIR); }
std::string echo_dir() { return platform_path(VELAPNG_ECHO_DIR); }
std::string hollow_dir() { return platform_path(VELAPNG_HOLLOW_DIR); }
std::string empty_dir() { return in_dir(temp_root(), "empty"); }

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

WString wide(const std::string& text) { return loader::to_wide(text); }

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

const char* source_name(Source source) { return source == Source::file ? "file" : "memory"; }

int32_t load(Source source, HostImage* image, const Bytes& png, int32_t angle) {
  if (source == Source::memory)
    return png_entry().pfnImage32LoadFromMemData(image, png.data(), static_cast<int32_t>(png.size()), angle);
  const std::string path = temp_path("load.png");
  write_file(path, png);
  return png_entry().pfnImage32LoadFile(image, wide(path).c_str(), angle);
}

namespace {
Bytes rgba_pixel(uint32_t x, uint32_t y) {
  return {static_cast<uint8_t>(0x10 + x), static_cast<uint8_t>(0x40 + y), static_cast<uint8_t>(0x80 + x + y),
          static_cast<uint8_t>(0xC0 ^ (x * 3 + y))};
}
}  // namespace

TestImage distinct_rgba_image(uint32_t width, uint32_t height, const std::vector<Bytes>& extra_chunks) {
  std::vector<Bytes> rows(height);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const Bytes pixel = rgba_pixel(x, y);
      rows[y].insert(rows[y].end(), pixel.begin(), pixel.end());
    }
  }
  return {width, height, testpng::png(width, height, 8, 6, testpng::filter_none(rows), extra_chunks)};
}

Bytes TestImage::bgra(int32_t angle) const {
  const uint32_t w = width, h = height, out_width = angle == 90 || angle == 270 ? h : w;
  Bytes out(bytes());
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      uint32_t ox = x, oy = y;
      if (angle == 90) ox = h - 1 - y, oy = x;
      if (angle == 180) ox = w - 1 - x, oy = h - 1 - y;
      if (angle == 270) ox = y, oy = w - 1 - x;
      const Bytes pixel = rgba_pixel(x, y);
      const uint8_t bgra[] = {pixel[2], pixel[1], pixel[0], pixel[3]};
      std::memcpy(&out[(size_t{oy} * out_width + ox) * 4], bgra, 4);
    }
  }
  return out;
}

Bytes exif_chunk(uint16_t orientation, bool little_endian) {
  // Byte order, 42, the first directory right after the header; two entries, Make (ASCII, 4
  // bytes inline) and the orientation (SHORT, one); no next directory.
  const uint32_t fields[] = {
      little_endian ? 0x4949u : 0x4D4Du, 42, 8, 2, 0x010F, 2, 4, 0x56656C00, 0x0112, 3, 1, orientation, 0, 0};
  const int widths[] = {2, 2, 4, 2, 2, 2, 4, 4, 2, 2, 4, 2, 2, 4};
  Bytes tiff;
  for (size_t f = 0; f < std::size(fields); ++f) {
    for (int i = 0; i < widths[f]; ++i)
      tiff.push_back(static_cast<uint8_t>(fields[f] >> 8 * (little_endian ? i : widths[f] - 1 - i)));
  }
  return testpng::chunk("eXIf", tiff);
}

}  // namespace plugintest
