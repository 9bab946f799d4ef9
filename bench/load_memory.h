// The plug-in's peak memory per photograph, by both ways the host loads one: from a file
// (Image32LoadFile, which reads the file into a block of its own) and from memory
// (Image32LoadFromMemData of the bytes the host read), each on the file as saved, its image
// data in many IDAT chunks, and on a copy rewritten with all of it in one. Every figure
// comes from child processes (peak_memory.h): a baseline that only reads the file, and one
// load each; what a load holds beyond the baseline and the host's pixels is given as a
// multiple of the image's inflated size.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "bench/report.h"

namespace velabench {

enum LoadKind : uint8_t { kFileLoad, kMemoryLoad };
enum IdatLayout : uint8_t { kAsSaved, kOneIdat };

struct LoadMemoryRow {
  std::string image;  // set/name
  uint64_t inflated = 0;
  uint64_t file_bytes = 0;
  uint32_t idat_chunks = 0;  // in the file as saved
  // Held beyond the baseline and the host's pixels, times the inflated size, by layout and
  // load; none when a child failed. Tiny images may come out below 0: the baseline's
  // allocator pages are noise there.
  std::optional<double> multiple[2][2];
};

// Measures every file of `paths` through the plug-in `plugin`; the one-IDAT copies are
// written under `scratch` by a child and removed afterwards. Called before the parent reads
// any image: a child starts with at least its parent's peak.
std::vector<LoadMemoryRow> measure_load_memory(const std::vector<std::string>& paths, const std::string& plugin,
                                               const std::string& scratch);
void print_load_memory(FILE* out, const std::vector<LoadMemoryRow>& rows);
// The file load's largest multiple over both layouts and every image, as the memory goal
// counts it.
MemoryFigure worst_file_load(const std::vector<LoadMemoryRow>& rows);

// The children's side, reached through main()'s argument list:
//   --load-child baseline|file|memory PATH PLUGIN   one load at angle 0 (or only the reading)
//   --one-idat IN OUT                               IN rewritten with its image data in one chunk
int load_child(const std::string& mode, const std::string& path, const std::string& plugin);
int one_idat_child(const std::string& in, const std::string& out);

}  // namespace velabench
