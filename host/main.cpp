// velapng-host: loads the plug-in as the image viewer does (table, information, load), turns
// the image as its orientation asks, and writes the result as a 32-bit BMP.
//
//   velapng-host [--memory] [--angle 0|90|180|270]... [--out FILE.bmp | --out-dir DIR] [FILE.png...]
//   velapng-host --version
//
// Without a file it decodes the sample image built beside it. One line is printed per load:
// file, size, orientation, angle, time. Several files or angles need --out-dir, which takes
// DIR/<name>-<angle>.bmp for each load (so one process, and under wine one start, serves a
// whole corpus); a file that fails is reported and the others go on. The exit code is 0
// when every load succeeded, 1 otherwise, 2 for bad usage.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/bmp.h"
#include "loader/plugin_loader.h"

namespace {

struct Options {
  std::vector<std::string> inputs;
  std::string output;
  std::string output_directory;
  bool memory = false;
  std::vector<int> angles;  // empty: as the orientation asks
};

bool parse(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--memory") {
      options->memory = true;
    } else if (arg == "--angle" && i + 1 < argc) {
      options->angles.push_back(std::atoi(argv[++i]));
    } else if (arg == "--out" && i + 1 < argc) {
      options->output = argv[++i];
    } else if (arg == "--out-dir" && i + 1 < argc) {
      options->output_directory = argv[++i];
    } else if (!arg.empty() && arg[0] != '-') {
      options->inputs.push_back(arg);
    } else {
      return false;
    }
  }
  if (options->inputs.empty()) {
    // The sample lies beside the host; argv[0] has no directory when run through PATH.
    const std::filesystem::path self(argv[0]);
    options->inputs.push_back((self.has_parent_path() ? self.parent_path() / "sample.png" : "sample.png").string());
  }
  const bool several = options->inputs.size() > 1 || options->angles.size() > 1;
  if (!options->output.empty() && (several || !options->output_directory.empty())) return false;
  return !several || !options->output_directory.empty();
}

// EXIF orientation to the clockwise turn that sets the image upright. A mirrored
// orientation (2, 4, 5, 7) gets the turn that gives the upright proportions; the host does
// not mirror.
int angle_for(int32_t orientation) {
  switch (orientation) {
    case 3:
    case 4: return 180;
    case 5:
    case 6: return 90;
    case 7:
    case 8: return 270;
    default: return 0;
  }
}

struct Image {
  std::string input;
  std::basic_string<WCHAR> name;
  std::vector<uint8_t> bytes;  // --memory only
  uint32_t width = 0;
  uint32_t height = 0;
  int32_t orientation = 0;
};

// Reads the size (and, with --memory, the bytes). False, with a message, when there is
// nothing the plug-in can load.
bool open_image(const DecoderPluginEntry& png, const Options& options, Image* image) {
  image->name = loader::to_wide(image->input);
  if (options.memory) {
    std::ifstream file(image->input, std::ios::binary);
    if (file.is_open()) image->bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (!file.is_open() || file.bad() || image->bytes.size() > 0x7FFFFFFF) {
      std::fprintf(stderr, "%s: cannot read\n", image->input.c_str());
      return false;
    }
    png.pfnImageGetInfoFromMemData(image->bytes.data(), static_cast<int32_t>(image->bytes.size()), &image->width,
                                   &image->height, &image->orientation);
  } else {
    png.pfnImageGetInfo(image->name.c_str(), &image->width, &image->height, &image->orientation);
  }
  if (image->width == 0 || image->height == 0 || uint64_t{image->width} * image->height * 4 > 0x7FFFFFFF) {
    std::fprintf(stderr, "%s: not a PNG image the plug-in can load\n", image->input.c_str());
    return false;
  }
  return true;
}

std::string output_path(const Options& options, const std::string& input, int angle) {
  const std::string stem = std::filesystem::path(input).stem().string();
  if (!options.output_directory.empty())
    return (std::filesystem::path(options.output_directory) / (stem + "-" + std::to_string(angle) + ".bmp")).string();
  return options.output.empty() ? stem + ".bmp" : options.output;
}

bool load_and_write(const DecoderPluginEntry& png, const Options& options, const Image& image, int angle) {
  std::vector<uint8_t> pixels(size_t{image.width} * image.height * 4);
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  HostImage host_image{};
  host_image.pBits = pixels.data();
  host_image.pInfoHeader = &header;
  const auto size = static_cast<int32_t>(image.bytes.size());
  const auto start = std::chrono::steady_clock::now();
  const int32_t loaded = options.memory ? png.pfnImage32LoadFromMemData(&host_image, image.bytes.data(), size, angle)
                                        : png.pfnImage32LoadFile(&host_image, image.name.c_str(), angle);
  const double milliseconds =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  if (loaded != 1) {
    std::fprintf(stderr, "%s: the plug-in could not load it at angle %d\n", image.input.c_str(), angle);
    return false;
  }

  const bool sideways = angle == 90 || angle == 270;
  const uint32_t out_width = sideways ? image.height : image.width;
  const uint32_t out_height = sideways ? image.width : image.height;
  const std::string output = output_path(options, image.input, angle);
  if (!host::write_bmp(output, pixels.data(), out_width, out_height)) {
    std::fprintf(stderr, "%s: cannot write\n", output.c_str());
    return false;
  }
  std::printf("%s: %u x %u, orientation %d, angle %d, %.2f ms%s -> %s (%u x %u)\n", image.input.c_str(), image.width,
              image.height, image.orientation, angle, milliseconds, options.memory ? " from memory" : "",
              output.c_str(), out_width, out_height);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--version") {
    std::printf("velapng-host %s\n", VELAPNG_VERSION);
    return 0;
  }
  Options options;
  if (!parse(argc, argv, &options)) {
    std::fprintf(stderr,
                 "usage: %s [--memory] [--angle 0|90|180|270]... [--out FILE.bmp | --out-dir DIR] [FILE.png...]\n"
                 "       %s --version\n"
                 "       (several files or angles need --out-dir)\n",
                 argv[0], argv[0]);
    return 2;
  }
  std::string error;
  const DecoderPluginEntry* png =
      loader::find_decoder(loader::to_wide(VELAPNG_PLUGIN_FILE_NAME).c_str(), "PNG ", &error);
  if (png == nullptr) {
    std::fprintf(stderr, "velapng-host: %s\n", error.c_str());
    return 1;
  }

  bool all_loaded = true;
  for (const std::string& input : options.inputs) {
    Image image;
    image.input = input;
    if (!open_image(*png, options, &image)) {
      all_loaded = false;
      continue;
    }
    const std::vector<int> angles =
        options.angles.empty() ? std::vector<int>{angle_for(image.orientation)} : options.angles;
    for (int angle : angles) all_loaded = load_and_write(*png, options, image, angle) && all_loaded;
  }
  std::fflush(stdout);
  return all_loaded ? 0 : 1;
}
