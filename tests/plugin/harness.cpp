#include "tests/plugin/harness.h"

#include <gtest/gtest.h>

#include <malloc.h>  // _msize on Windows, malloc_usable_size on Linux
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

namespace plugintest {

namespace {

std::string& temp_root() {
  static std::string root;
  return root;
}

std::string log_file() { return in_dir(temp_root(), "QZ_Log.txt"); }

// The log stand-in reads the process environment: on Windows its own copy, not the C
// runtime's, so the variables are set where both see them.
void set_environment(const char* name, const std::string& value) {
#ifdef _WIN32
  SetEnvironmentVariableA(name, value.c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}

void clear_environment(const char* name) {
#ifdef _WIN32
  SetEnvironmentVariableA(name, nullptr);
#else
  unsetenv(name);
#endif
}

// The build's paths are written with '/' (and a drive under wine); the platform's own
// separator makes them compare equal to what the system reports.
std::string platform_path(std::string path) {
  for (char& c : path)
    if (c == '/') c = kSeparator;
  return path;
}

std::string fresh_temp_root() {
  std::random_device entropy;
  const std::filesystem::path system_temp = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path candidate = system_temp / ("velapng-plugin-tests-" + std::to_string(entropy()));
    if (std::filesystem::create_directory(candidate)) return candidate.string();
  }
  throw std::runtime_error("no temporary directory");
}

// Every test starts with the real companions beside the plug-in and a log of its own.
class PluginEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    temp_root() = fresh_temp_root();
    std::filesystem::create_directory(empty_dir());
    set_environment("QZ_LOG_FILE", log_file());
    clear_environment("QZ_BASE_DIRECTORY");
  }
  void TearDown() override {
    std::error_code ignored;  // a library still holding a file open must not fail the run
    std::filesystem::remove_all(temp_root(), ignored);
  }
};

[[maybe_unused]] testing::Environment* const environment = testing::AddGlobalTestEnvironment(new PluginEnvironment);

HMODULE load_library(const std::string& path) {
  HMODULE library = LoadLibraryW(wide(path).c_str());
  if (library == nullptr) throw std::runtime_error("cannot load " + path);
  return library;
}

template <typename Function>
Function fake_symbol(const std::string& library, const char* name) {
  // Loading the same file again gives the module the plug-in got, so the records are shared.
  const auto function = library_symbol<Function>(load_library(library), name);
  if (function == nullptr) throw std::runtime_error(std::string("missing ") + name);
  return function;
}

std::string rotate_fake() { return in_dir(fakes_dir(), "QZ_Image.dll"); }
std::string meta_fake() { return in_dir(in_dir(fakes_dir(), "ImagePlugins"), "PicFacts.dll"); }

}  // namespace

HMODULE plugin_handle() {
  static const HMODULE handle = load_library(platform_path(VELAPNG_PLUGIN_FILE));
  return handle;
}

const DecoderPluginEntry* plugin_table() {
  return plugin_symbol<const DecoderPluginEntry* (*)()>("GetImageDecoderPluginArray")();
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

void write_file(const std::string& path, const Bytes& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!file) throw std::runtime_error("cannot write " + path);
}

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
  if (file == nullptr) throw std::runtime_error("cannot create a file of a wide name");
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (std::fclose(file) != 0 || !written) throw std::runtime_error("cannot write a file of a wide name");
}

size_t allocated_size(void* block) {
#ifdef _WIN32
  return _msize(block);
#else
  return malloc_usable_size(block);
#endif
}

ScopedBaseDirectory::ScopedBaseDirectory(const std::string& directory) {
  set_environment("QZ_BASE_DIRECTORY", directory);
}
ScopedBaseDirectory::~ScopedBaseDirectory() { clear_environment("QZ_BASE_DIRECTORY"); }

LogWatch::LogWatch() {
  std::error_code error;
  const auto size = std::filesystem::file_size(log_file(), error);
  start_ = error ? 0 : size;
}

std::vector<std::string> LogWatch::lines() const {
  std::ifstream file(log_file(), std::ios::binary);
  std::vector<std::string> out;
  if (!file) return out;
  file.seekg(static_cast<std::streamoff>(start_));
  std::string line;
  while (std::getline(file, line)) out.push_back(line);
  return out;
}

void RotateRecorder::reset(int32_t result) {
  fake_symbol<fakes::ResetFn>(rotate_fake(), "fake_rotate_reset")(result);
}
int32_t RotateRecorder::count() { return fake_symbol<fakes::CountFn>(rotate_fake(), "fake_rotate_count")(); }
fakes::RotateCall RotateRecorder::call(int32_t index) {
  fakes::RotateCall call{};
  if (!fake_symbol<fakes::RotateCallFn>(rotate_fake(), "fake_rotate_call")(index, &call))
    ADD_FAILURE() << "no rotate call " << index;
  return call;
}

void MetaRecorder::reset(int32_t result) { fake_symbol<fakes::ResetFn>(meta_fake(), "fake_meta_reset")(result); }
int32_t MetaRecorder::count() { return fake_symbol<fakes::CountFn>(meta_fake(), "fake_meta_count")(); }
fakes::MetaCall MetaRecorder::call(int32_t index) {
  fakes::MetaCall call{};
  if (!fake_symbol<fakes::MetaCallFn>(meta_fake(), "fake_meta_call")(index, &call))
    ADD_FAILURE() << "no metadata call " << index;
  return call;
}

HostCanvas::HostCanvas(size_t bytes) : pixel_bytes(bytes), memory(bytes + kGuardBytes, kCanary), header{}, image{} {
  std::memset(&header, kCanary, sizeof header);
  std::memset(&image, kCanary, sizeof image);
  image.nStride = kStrideMark;
  image.pBits = memory.data();
  image.pInfoHeader = &header;
}

bool HostCanvas::pixels_untouched() const {
  for (uint8_t byte : memory)
    if (byte != kCanary) return false;
  return true;
}

bool HostCanvas::guard_untouched() const {
  for (size_t i = pixel_bytes; i < memory.size(); ++i)
    if (memory[i] != kCanary) return false;
  return true;
}

bool HostCanvas::header_untouched() const {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&header);
  for (size_t i = 0; i < sizeof header; ++i)
    if (bytes[i] != kCanary) return false;
  return image.nStride == kStrideMark;
}

std::vector<uint8_t> HostCanvas::pixels() const {
  return std::vector<uint8_t>(memory.begin(), memory.begin() + static_cast<std::ptrdiff_t>(pixel_bytes));
}

TestImage distinct_rgba_image(uint32_t width, uint32_t height, const std::vector<Bytes>& extra_chunks) {
  TestImage image{width, height, {}, {}};
  std::vector<Bytes> rows;
  for (uint32_t y = 0; y < height; ++y) {
    Bytes row;
    for (uint32_t x = 0; x < width; ++x) {
      const Bytes pixel = {static_cast<uint8_t>(0x10 + x), static_cast<uint8_t>(0x40 + y),
                           static_cast<uint8_t>(0x80 + x + y), static_cast<uint8_t>(0xC0 ^ (x * 3 + y))};
      row.insert(row.end(), pixel.begin(), pixel.end());
    }
    image.rgba.insert(image.rgba.end(), row.begin(), row.end());
    rows.push_back(row);
  }
  image.png = testpng::png(width, height, 8, 6, testpng::filter_none(rows), extra_chunks);
  return image;
}

Bytes expected_bgra(const Bytes& rgba, uint32_t width, uint32_t height, int32_t angle) {
  const bool sideways = angle == 90 || angle == 270;
  const uint32_t out_width = sideways ? height : width;
  Bytes out(rgba.size());
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      uint32_t ox = x, oy = y;
      if (angle == 90) ox = height - 1 - y, oy = x;
      if (angle == 180) ox = width - 1 - x, oy = height - 1 - y;
      if (angle == 270) ox = y, oy = width - 1 - x;
      const uint8_t* in = &rgba[(size_t{y} * width + x) * 4];
      uint8_t* to = &out[(size_t{oy} * out_width + ox) * 4];
      to[0] = in[2];
      to[1] = in[1];
      to[2] = in[0];
      to[3] = in[3];
    }
  }
  return out;
}

Bytes tiff_with_orientation(uint16_t orientation, bool little_endian, uint16_t type) {
  auto u16 = [&](Bytes& out, uint32_t value) {
    if (little_endian) out.insert(out.end(), {uint8_t(value), uint8_t(value >> 8)});
    else out.insert(out.end(), {uint8_t(value >> 8), uint8_t(value)});
  };
  auto u32 = [&](Bytes& out, uint32_t value) {
    if (little_endian) { u16(out, value & 0xFFFF); u16(out, value >> 16); }
    else { u16(out, value >> 16); u16(out, value & 0xFFFF); }
  };
  Bytes tiff = little_endian ? Bytes{'I', 'I'} : Bytes{'M', 'M'};
  u16(tiff, 42);
  u32(tiff, 8);  // first directory right after the header
  u16(tiff, 2);  // two entries: an unrelated one first, then the orientation
  u16(tiff, 0x010F);  // Make, ASCII, 4 bytes inline
  u16(tiff, 2);
  u32(tiff, 4);
  tiff.insert(tiff.end(), {'V', 'e', 'l', 0});
  u16(tiff, 0x0112);
  u16(tiff, type);
  u32(tiff, 1);
  u16(tiff, orientation);
  u16(tiff, 0);
  u32(tiff, 0);  // no next directory
  return tiff;
}

Bytes exif_chunk(uint16_t orientation, bool little_endian) {
  return testpng::chunk("eXIf", tiff_with_orientation(orientation, little_endian));
}

}  // namespace plugintest
