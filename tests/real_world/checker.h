// The real-world checker's core, shared by real_world_check and its suite: one file through the
// plug-in's exports as the host makes the calls, the comparison with libpng, and the documented
// choices that explain a disagreement. A disagreement that no choice explains fails the run.
#pragma once

#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "plugin/plugin.h"
#include "tests/support/libpng_oracle.h"

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

// The size from ImageGetInfoFromMemData, then the memory and the file load at angle 0 into
// canary-filled memory of exactly that many BGRA pixels: the two must agree, and a refusal
// must leave the memory as it was. With `turns`, the loads at 90, 180 and 270 must hold the
// upright pixels turned clockwise. Images of more than `max_pixels` pixels are skipped.
PluginRun run_plugin(const DecoderPluginEntry& png, const std::string& path, const std::vector<uint8_t>& bytes,
                     bool turns, uint64_t max_pixels);

enum class Outcome : uint8_t {
  equal,
  refused_by_both,
  refused_by_us_only,
  decoded_by_us_only,
  pixels_differ,
  too_large,  // refused, as the host cannot describe it; libpng is not asked
  skipped,    // too many pixels to take the time for
};
inline constexpr const char* kOutcomeNames[] = {
    "equal",         "refused by both",        "refused by us only",       "decoded by us only",
    "pixels differ", "too large for the host", "skipped (too many pixels)"};
inline constexpr size_t kOutcomes = std::size(kOutcomeNames);

// What the file says about a disagreement: our decoder's code and where it arose, and
// libpng's error or warnings.
struct Evidence {
  const std::vector<uint8_t>* file;
  const PluginRun* ours;
  const testpng::OracleImage* libpng;
  uint32_t code = 0;  // decode_rgba's result
  std::string site;   // failure_site of that code
};

Outcome compare(const PluginRun& ours, const testpng::OracleImage& libpng);
bool is_disagreement(Outcome outcome);
// The documented choice behind a disagreement, or null.
const char* explain(Outcome outcome, const Evidence& evidence);

// Where our decoder refused a file, found by walking its chunks with the decoder's own
// primitives and readers: "header", "layout" (lengths and the end chunk), the first chunk
// whose reader gives `code` ("iCCP"), or whose CRC does ("iCCP CRC"), or "image data"
// (inflate, size, filters).
std::string failure_site(const std::vector<uint8_t>& file, uint32_t code);

}  // namespace realworld
