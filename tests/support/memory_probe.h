// Runs a piece of work in a child process, to measure what it costs in memory and to hold
// it to an address-space limit without the test process paying for either.
//
// Only the native Linux build measures: there is no fork under Windows, and the sanitizers
// keep shadow memory and quarantines of their own that neither a limit nor the resident
// set would describe. Elsewhere the probe reports itself unavailable and the caller skips.
#pragma once

#include <cstdint>
#include <functional>

namespace testpng {

struct ChildOutcome {
  bool completed = false;    // the work returned (no signal, no early exit)
  uint32_t result = 0;       // what it returned
  uint64_t peak_growth = 0;  // bytes by which the peak resident set grew during the work
};

bool memory_probe_available();

// Runs `work` in a forked child whose address space may grow by at most
// `address_space_budget` bytes beyond what it has at the start. Large allocations come
// straight from the system there (no reuse of memory the test process freed earlier), so
// the growth counts every block the work touches.
ChildOutcome run_in_child(uint64_t address_space_budget, const std::function<uint32_t()>& work);

}  // namespace testpng
