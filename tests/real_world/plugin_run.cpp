// The host's calls for one file, and the checks the plug-in must pass against itself: the
// file load equals the memory load, each quarter turn holds the upright pixels where a
// clockwise turn carries them, and a refused load leaves the host's memory as it was.
#include "loader/plugin_loader.h"
#include "tests/real_world/checker.h"
#include "tests/support/host_canvas.h"
#include "tests/support/turns.h"

namespace realworld {

namespace {

constexpr uint64_t kHostLimit = 0x7FFFFFFF;

// Host pixel memory of exactly the image's bytes, filled with the canary.
struct HostMemory : testpng::HostCanvas {
  explicit HostMemory(uint64_t bytes) : HostCanvas(bytes, 0) {}
};

void check_turns(const DecoderPluginEntry& png, const std::vector<uint8_t>& bytes, const HostMemory& upright,
                 PluginRun* run) {
  for (const int32_t angle : {90, 180, 270}) {
    HostMemory turned(upright.pixel_bytes);
    const int32_t loaded =
        png.pfnImage32LoadFromMemData(&turned.image, bytes.data(), static_cast<int32_t>(bytes.size()), angle);
    const std::string at = "the load at " + std::to_string(angle);
    if (loaded != 1) run->faults.push_back(at + " failed where the upright one succeeded");
    else if (!testpng::turned_clockwise(upright.memory.data(), turned.memory.data(), angle, run->width, run->height))
      run->faults.push_back(at + " is not the upright image turned clockwise");
  }
}

void check_file_load(const DecoderPluginEntry& png, const std::string& path, const HostMemory& from_memory,
                     bool memory_loaded, PluginRun* run) {
  HostMemory from_file(from_memory.pixel_bytes);
  const int32_t loaded = png.pfnImage32LoadFile(&from_file.image, loader::to_wide(path).c_str(), 0);
  if ((loaded == 1) != memory_loaded)
    run->faults.push_back(loaded == 1 ? "the file load succeeded where the memory load failed"
                                      : "the file load failed where the memory load succeeded");
  else if (loaded == 1 && from_file.memory != from_memory.memory)
    run->faults.push_back("the file load's pixels differ from the memory load's");
  else if (loaded != 1 && !from_file.untouched())
    run->faults.push_back("the refused file load wrote into the host's memory");
}

}  // namespace

PluginRun run_plugin(const DecoderPluginEntry& png, const std::string& path, const std::vector<uint8_t>& bytes,
                     bool turns, uint64_t max_pixels) {
  PluginRun run;
  const auto size = static_cast<int32_t>(bytes.size());
  int32_t orientation = 0;
  png.pfnImageGetInfoFromMemData(bytes.data(), size, &run.width, &run.height, &orientation);
  const uint64_t pixels = uint64_t{run.width} * run.height;
  if (pixels == 0) return run;  // the host loads nothing it has no size for

  const bool too_large = pixels * 4 > kHostLimit;
  if (!too_large && pixels > max_pixels) {
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
  if (turns) check_turns(png, bytes, memory, &run);
  run.rgba = std::move(memory.memory);
  for (size_t i = 0; i < run.rgba.size(); i += 4) std::swap(run.rgba[i], run.rgba[i + 2]);
  return run;
}

}  // namespace realworld
