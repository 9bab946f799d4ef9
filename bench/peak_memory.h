// Peak memory of one decode, measured in a process of its own: a fresh process holds none
// of the parent's pages, so the peak resident set that wait4 reports belongs to that one
// decode (plus the program and the file's bytes, which a baseline child measures alone).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velabench {

struct PeakMemory {
  bool ok = false;  // the child ran and exited with 0
  long max_rss_kib = 0;
};

// Runs `program` with `arguments` and waits for it.
PeakMemory run_child(const std::string& program, const std::vector<std::string>& arguments);

// Reads a whole file into `bytes`, sized first: growing the vector while reading would
// leave a peak of twice the file in a memory child's baseline.
bool read_file(const std::string& path, std::vector<uint8_t>* bytes);

// This program's own path, for re-running itself as a child.
std::string own_executable();

}  // namespace velabench
