// The comparison of one file with libpng, and the documented choices that explain a
// disagreement. A disagreement that no choice explains fails the run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/real_world/plugin_run.h"
#include "tests/support/libpng_oracle.h"

namespace realworld {

enum class Outcome : uint8_t {
  equal,
  refused_by_both,
  refused_by_us_only,
  decoded_by_us_only,
  pixels_differ,
  too_large,  // refused, as the host cannot describe it; libpng is not asked
  skipped,    // too many pixels to take the time for
};
inline constexpr int kOutcomes = 7;

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
// The documented choice behind a disagreement, or null.
const char* explain(Outcome outcome, const Evidence& evidence);
bool is_disagreement(Outcome outcome);

}  // namespace realworld
