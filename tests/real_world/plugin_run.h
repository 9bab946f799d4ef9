// One file through the plug-in's exports as the host makes the calls: the size from
// ImageGetInfoFromMemData, host memory of exactly that many BGRA pixels, the memory and the
// file load at angle 0, and on request the three quarter turns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/plugin.h"

namespace realworld {

enum class HostView : uint8_t {
  loaded,     // the memory load gave pixels
  refused,    // the information call gave no size, or the load returned 0
  too_large,  // more than 2^31 - 1 bytes of BGRA: refused, as the host cannot describe it
  skipped,    // more pixels than the run takes time for; nothing loaded
};

struct PluginRun {
  HostView view = HostView::refused;
  uint32_t width = 0;  // as the information call reported them
  uint32_t height = 0;
  std::vector<uint8_t> rgba;        // the memory load's BGRA, reordered to RGBA
  std::vector<std::string> faults;  // the plug-in disagreeing with itself or writing where it must not
};

struct RunOptions {
  bool turns = false;       // also load at 90, 180 and 270 and hold them to the upright pixels
  uint64_t max_pixels = 0;  // larger images are skipped after the information call
};

PluginRun run_plugin(const DecoderPluginEntry& png, const std::string& path, const std::vector<uint8_t>& bytes,
                     const RunOptions& options);

}  // namespace realworld
