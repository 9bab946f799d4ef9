// Host memory as the viewer hands it to a load: an image record over canary-filled pixels
// (with guard bytes after them, or none where the sanitizers are to see an overrun) and a
// canary-filled header, nStride at a value no load writes; so a check can tell exactly what
// a call wrote. Shared by the plug-in suites, the plug-in fuzz target and the real-world
// checker.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "plugin/plugin.h"

namespace testpng {

inline constexpr uint8_t kCanary = 0xCD;

struct HostCanvas {
  static constexpr int32_t kStrideMark = -12345;
  static constexpr size_t kGuardBytes = 64;

  explicit HostCanvas(size_t bytes, size_t guard_bytes = kGuardBytes)
      : pixel_bytes(bytes), memory(bytes + guard_bytes, kCanary), header{}, image{} {
    std::memset(&header, kCanary, sizeof header);
    std::memset(&image, kCanary, sizeof image);
    image.nStride = kStrideMark;
    image.pBits = memory.data();
    image.pInfoHeader = &header;
  }
  HostCanvas(const HostCanvas&) = delete;
  HostCanvas& operator=(const HostCanvas&) = delete;

  // Pixels, guard bytes, header and nStride.
  bool untouched() const {
    return all_canary(memory.data(), memory.size()) && all_canary(&header, sizeof header) &&
           image.nStride == kStrideMark;
  }
  bool guard_untouched() const { return all_canary(memory.data() + pixel_bytes, memory.size() - pixel_bytes); }
  std::vector<uint8_t> pixels() const { return {memory.begin(), memory.begin() + std::ptrdiff_t(pixel_bytes)}; }

  static bool all_canary(const void* block, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(block);
    return std::all_of(bytes, bytes + size, [](uint8_t byte) { return byte == kCanary; });
  }

  size_t pixel_bytes;
  std::vector<uint8_t> memory;
  BITMAPINFOHEADER header;
  HostImage image;
};

}  // namespace testpng
