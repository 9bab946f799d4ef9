#include "tests/plugin/harness.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace plugintest {

namespace {

std::string& temp_root() {
  static std::string root;
  return root;
}

std::string log_file() { return temp_root() + "/QZ_Log.txt"; }

// Every test starts with the real companions beside the plug-in and a log of its own.
class PluginEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    char pattern[] = "/tmp/velapng-plugin-tests-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    temp_root() = pattern;
    std::filesystem::create_directory(empty_dir());
    setenv("QZ_LOG_FILE", log_file().c_str(), 1);
    unsetenv("QZ_BASE_DIRECTORY");
  }
  void TearDown() override { std::filesystem::remove_all(temp_root()); }
};

[[maybe_unused]] testing::Environment* const environment = testing::AddGlobalTestEnvironment(new PluginEnvironment);

template <typename Function>
Function fake_symbol(const std::string& library, const char* name) {
  // Opening the same file again returns the handle the plug-in got, so the records are shared.
  void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) throw std::runtime_error(dlerror());
  void* symbol = dlsym(handle, name);
  if (symbol == nullptr) throw std::runtime_error(std::string("missing ") + name);
  Function function = nullptr;
  std::memcpy(&function, &symbol, sizeof function);
  return function;
}

std::string rotate_fake() { return fakes_dir() + "/QZ_Image.dll"; }
std::string meta_fake() { return fakes_dir() + "/ImagePlugins/PicFacts.dll"; }

}  // namespace

void* plugin_handle() {
  static void* handle = [] {
    void* loaded = dlopen(VELAPNG_PLUGIN_FILE, RTLD_NOW | RTLD_LOCAL);
    if (loaded == nullptr) throw std::runtime_error(dlerror());
    return loaded;
  }();
  return handle;
}

const DecoderPluginEntry* plugin_table() {
  return plugin_symbol<const DecoderPluginEntry* (*)()>("GetImageDecoderPluginArray")();
}

const DecoderPluginEntry& png_entry() { return plugin_table()[0]; }

std::string bin_dir() { return VELAPNG_BIN_DIR; }
std::string fakes_dir() { return VELAPNG_FAKES_DIR; }
std::string hollow_dir() { return VELAPNG_HOLLOW_DIR; }
std::string empty_dir() { return temp_root() + "/empty"; }

std::string temp_path(const std::string& name) {
  static int serial = 0;
  return temp_root() + "/" + std::to_string(++serial) + "-" + name;
}

void write_file(const std::string& path, const Bytes& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!file) throw std::runtime_error("cannot write " + path);
}

std::string directory_of_length(size_t length) {
  std::string path = temp_path("long");
  if (length < path.size() + 2) throw std::invalid_argument("directory length too short");
  while (path.size() < length) {
    const size_t left = length - path.size();  // each component costs its length plus a '/'
    size_t component = left > 201 ? 200 : left - 1;
    if (left > 201 && left - 201 < 2) component = 198;
    path += "/" + std::string(component, 'x');
  }
  std::filesystem::create_directories(path);
  return path;
}

WString wide(const std::string& text) {
  WString out;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      out.push_back(lead);
      i += 1;
    } else if ((lead & 0xE0) == 0xC0) {
      out.push_back(static_cast<WCHAR>(((lead & 0x1F) << 6) | (text[i + 1] & 0x3F)));
      i += 2;
    } else {
      out.push_back(static_cast<WCHAR>(((lead & 0x0F) << 12) | ((text[i + 1] & 0x3F) << 6) | (text[i + 2] & 0x3F)));
      i += 3;
    }
  }
  return out;
}

ScopedBaseDirectory::ScopedBaseDirectory(const std::string& directory) {
  setenv("QZ_BASE_DIRECTORY", directory.c_str(), 1);
}
ScopedBaseDirectory::~ScopedBaseDirectory() { unsetenv("QZ_BASE_DIRECTORY"); }

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
