// The host's calls for one file, and the checks the plug-in must pass against itself: the
// file load equals the memory load, each quarter turn holds the upright pixels where a
// clockwise turn carries them, and a refused load leaves the host's memory as it was.
#include "tests/real_world/plugin_run.h"

#include <algorithm>
#include <cstring>

#include "loader/plugin_loader.h"

namespace realworld {

namespace {

constexpr uint8_t kCanary = 0xA5;
constexpr uint64_t kHostLimit = 0x7FFFFFFF;

// Host pixel memory filled with the canary, and the record that points at it.
struct HostMemory {
  std::vector<uint8_t> pixels;
  BITMAPINFOHEADER header{};
  HostImage image{};

  explicit HostMemory(uint64_t bytes) : pixels(bytes, kCanary) {
    header.biSize = sizeof header;
    image.pBits = pixels.data();
    image.pInfoHeader = &header;
  }
  bool untouched() const {
    return std::all_of(pixels.begin(), pixels.end(), [](uint8_t byte) { return byte == kCanary; });
  }
};

// Pixel (x, y) of a turned image comes from this pixel of the upright w x h one.
uint64_t source_of(int32_t angle, uint64_t x, uint64_t y, uint64_t w, uint64_t h) {
  switch (angle) {
    case 90: return (h - 1 - x) * w + y;
    case 180: return (h - 1 - y) * w + (w - 1 - x);
    default: return x * w + (w - 1 - y);  // 270
  }
}

bool turned_correctly(const std::vector<uint8_t>& upright, const std::vector<uint8_t>& turned, int32_t angle,
                      uint64_t w, uint64_t h) {
  const uint64_t turned_width = angle == 180 ? w : h;
  const uint64_t turned_height = angle == 180 ? h : w;
  for (uint64_t y = 0; y < turned_height; ++y)
    for (uint64_t x = 0; x < turned_width; ++x)
      if (std::memcmp(&turned[(y * turned_width + x) * 4], &upright[source_of(angle, x, y, w, h) * 4], 4) != 0)
        return false;
  return true;
}

void check_turns(const DecoderPluginEntry& png, const std::vector<uint8_t>& bytes, const HostMemory& upright,
                 PluginRun* run) {
  for (const int32_t angle : {90, 180, 270}) {
    HostMemory turned(upright.pixels.size());
    const int32_t loaded =
        png.pfnImage32LoadFromMemData(&turned.image, bytes.data(), static_cast<int32_t>(bytes.size()), angle);
    if (loaded != 1)
      run->faults.push_back("the load at " + std::to_string(angle) + " failed where the upright one succeeded");
    else if (!turned_correctly(upright.pixels, turned.pixels, angle, run->width, run->height))
      run->faults.push_back("the load at " + std::to_string(angle) + " is not the upright image turned clockwise");
  }
}

void check_file_load(const DecoderPluginEntry& png, const std::string& path, const HostMemory& from_memory,
                     bool memory_loaded, PluginRun* run) {
  HostMemory from_file(from_memory.pixels.size());
  const int32_t loaded = png.pfnImage32LoadFile(&from_file.image, loader::to_wide(path).c_str(), 0);
  if ((loaded == 1) != memory_loaded)
    run->faults.push_back(loaded == 1 ? "the file load succeeded where the memory load failed"
                                      : "the file load failed where the memory load succeeded");
  else if (loaded == 1 && from_file.pixels != from_memory.pixels)
    run->faults.push_back("the file load's pixels differ from the memory load's");
  else if (loaded != 1 && !from_file.untouched())
    run->faults.push_back("the refused file load wrote into the host's memory");
}

}  // namespace

PluginRun run_plugin(const DecoderPluginEntry& png, const std::string& path, const std::vector<uint8_t>& bytes,
                     const RunOptions& options) {
  PluginRun run;
  const auto size = static_cast<int32_t>(bytes.size());
  int32_t orientation = 0;
  png.pfnImageGetInfoFromMemData(bytes.data(), size, &run.width, &run.height, &orientation);
  const uint64_t pixels = uint64_t{run.width} * run.height;
  if (pixels == 0) return run;  // the host loads nothing it has no size for

  const bool too_large = pixels * 4 > kHostLimit;
  if (!too_large && pixels > options.max_pixels) {
    run.view = HostView::skipped;
    return run;
  }
  // The host could not even allocate an image too large for it; the plug-in must refuse
  // such a file before it writes, so a few canary bytes stand in for the memory.
  HostMemory memory(too_large ? 16 : pixels * 4);
  const int32_t loaded = png.pfnImage32LoadFromMemData(&memory.image, bytes.data(), size, 0);
  if (too_large) {
    run.view = HostView::too_large;
    if (loaded != 0 || !memory.untouched()) run.faults.push_back("an image too large for the host was not refused");
    return run;
  }
  if (loaded != 1 && !memory.untouched()) run.faults.push_back("the refused memory load wrote into the host's memory");
  check_file_load(png, path, memory, loaded == 1, &run);
  if (loaded != 1) return run;

  run.view = HostView::loaded;
  if (options.turns) check_turns(png, bytes, memory, &run);
  run.rgba = std::move(memory.pixels);
  for (size_t i = 0; i < run.rgba.size(); i += 4) std::swap(run.rgba[i], run.rgba[i + 2]);
  return run;
}

}  // namespace realworld
