// velapng-host: loads the plug-in as the image viewer does (table, information, load), turns
// the image as its orientation asks, and writes the result as a 32-bit BMP.
//
//   velapng-host [--memory] [--angle 0|90|180|270] [--out FILE.bmp] [FILE.png]
//
// Without a file it decodes the sample image built beside it. One line is printed per run:
// file, size, orientation, angle, time.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/bmp.h"
#include "host/decoder_plugin.h"

namespace {

struct Options {
  std::string input;
  std::string output;
  bool memory = false;
  int angle = -1;  // -1: as the orientation asks
};

bool parse(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--memory") {
      options->memory = true;
    } else if (arg == "--angle" && i + 1 < argc) {
      options->angle = std::atoi(argv[++i]);
    } else if (arg == "--out" && i + 1 < argc) {
      options->output = argv[++i];
    } else if (!arg.empty() && arg[0] != '-' && options->input.empty()) {
      options->input = arg;
    } else {
      return false;
    }
  }
  if (options->input.empty()) {
    // The sample lies beside the host; argv[0] has no directory when run through PATH.
    const std::filesystem::path self(argv[0]);
    options->input = (self.has_parent_path() ? self.parent_path() / "sample.png" : "sample.png").string();
  }
  if (options->output.empty())
    options->output = std::filesystem::path(options->input).stem().string() + ".bmp";
  return true;
}

// EXIF orientation to the clockwise turn that sets the image upright. A mirrored
// orientation (2, 4, 5, 7) gets the turn that gives the upright proportions; the host does
// not mirror.
int angle_for(int32_t orientation) {
  switch (orientation) {
    case 3: case 4: return 180;
    case 5: case 6: return 90;
    case 7: case 8: return 270;
    default: return 0;
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse(argc, argv, &options)) {
    std::fprintf(stderr, "usage: %s [--memory] [--angle 0|90|180|270] [--out FILE.bmp] [FILE.png]\n", argv[0]);
    return 2;
  }
  std::string error;
  const DecoderPluginEntry* png = host::find_decoder(host::to_wide(VELAPNG_PLUGIN_FILE_NAME).c_str(), "PNG ", &error);
  if (png == nullptr) {
    std::fprintf(stderr, "velapng-host: %s\n", error.c_str());
    return 1;
  }

  const std::basic_string<WCHAR> name = host::to_wide(options.input);
  std::vector<uint8_t> bytes;
  if (options.memory) {
    std::ifstream file(options.input, std::ios::binary);
    if (file.is_open()) bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (!file.is_open() || file.bad() || bytes.size() > 0x7FFFFFFF) {
      std::fprintf(stderr, "%s: cannot read\n", options.input.c_str());
      return 1;
    }
  }
  const auto size = static_cast<int32_t>(bytes.size());

  uint32_t width = 0, height = 0;
  int32_t orientation = 0;
  if (options.memory) png->pfnImageGetInfoFromMemData(bytes.data(), size, &width, &height, &orientation);
  else png->pfnImageGetInfo(name.c_str(), &width, &height, &orientation);
  if (width == 0 || height == 0 || uint64_t{width} * height * 4 > 0x7FFFFFFF) {
    std::fprintf(stderr, "%s: not a PNG image the plug-in can load\n", options.input.c_str());
    return 1;
  }
  const int angle = options.angle >= 0 ? options.angle : angle_for(orientation);

  std::vector<uint8_t> pixels(size_t{width} * height * 4);
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  HostImage image{};
  image.pBits = pixels.data();
  image.pInfoHeader = &header;
  const auto start = std::chrono::steady_clock::now();
  const int32_t loaded = options.memory ? png->pfnImage32LoadFromMemData(&image, bytes.data(), size, angle)
                                        : png->pfnImage32LoadFile(&image, name.c_str(), angle);
  const double milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  if (loaded != 1) {
    std::fprintf(stderr, "%s: the plug-in could not load it at angle %d\n", options.input.c_str(), angle);
    return 1;
  }

  const bool sideways = angle == 90 || angle == 270;
  const uint32_t out_width = sideways ? height : width;
  const uint32_t out_height = sideways ? width : height;
  if (!host::write_bmp(options.output, pixels.data(), out_width, out_height)) {
    std::fprintf(stderr, "%s: cannot write\n", options.output.c_str());
    return 1;
  }
  std::printf("%s: %u x %u, orientation %d, angle %d, %.2f ms%s -> %s (%u x %u)\n", options.input.c_str(), width,
              height, orientation, angle, milliseconds, options.memory ? " from memory" : "", options.output.c_str(),
              out_width, out_height);
  return 0;
}
