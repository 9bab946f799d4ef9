// The plug-in's peak memory per photograph, file and memory loads, image data as saved and
// in one IDAT chunk: the parent spawns every child, the children read, rewrite and load.
#include "bench/load_memory.h"

#include <libdeflate.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "bench/peak_memory.h"
#include "bench/png_layout.h"
#include "loader/plugin_loader.h"

namespace velabench {

namespace {

namespace fs = std::filesystem;

constexpr const char* kModes[2] = {"file", "memory"};

uint32_t be32(const uint8_t* bytes) {
  return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
}

// The header's fields and the inflated size, from the first 33 bytes.
bool read_header(const std::string& path, PngLayout* layout) {
  std::vector<uint8_t> head(33);
  std::ifstream file(path, std::ios::binary);
  if (!file.read(reinterpret_cast<char*>(head.data()), 33)) return false;
  std::string error;
  read_png_layout(head.data(), head.size(), layout, &error, false);  // fails at the chunks; the header is read
  return layout->inflated_size != 0;
}

// IDAT chunks of a whole, well-formed file.
uint32_t count_idat_chunks(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  file.seekg(8);
  uint32_t count = 0;
  uint8_t head[8];
  while (file.read(reinterpret_cast<char*>(head), 8)) {
    if (std::memcmp(head + 4, "IDAT", 4) == 0) ++count;
    file.seekg(std::streamoff{be32(head)} + 4, std::ios::cur);
  }
  return count;
}

// Beyond the baseline and the host's pixels, as a multiple of the inflated size.
std::optional<double> held_multiple(const PeakMemory& baseline, const PeakMemory& load, const PngLayout& layout) {
  if (!baseline.ok || !load.ok) return std::nullopt;
  const double held =
      double(load.max_rss_kib - baseline.max_rss_kib) * 1024 - double(uint64_t{layout.width} * layout.height * 4);
  return held / double(layout.inflated_size);
}

}  // namespace

std::vector<LoadMemoryRow> measure_load_memory(const std::vector<std::string>& paths, const std::string& plugin,
                                               const std::string& scratch) {
  std::vector<LoadMemoryRow> rows;
  const std::string self = own_executable();
  std::error_code error;
  fs::create_directories(scratch, error);
  for (const std::string& path : paths) {
    PngLayout layout;
    if (!read_header(path, &layout)) continue;
    LoadMemoryRow row;
    row.image = (fs::path(path).parent_path().filename() / fs::path(path).filename()).string();
    row.inflated = layout.inflated_size;
    row.file_bytes = fs::file_size(path, error);
    row.idat_chunks = count_idat_chunks(path);
    const std::string one = (fs::path(scratch) / fs::path(path).filename()).string();
    const bool rewritten = run_child(self, {"--one-idat", path, one}).ok;
    for (const IdatLayout at : {kAsSaved, kOneIdat}) {
      if (at == kOneIdat && !rewritten) continue;
      const std::string& file = at == kAsSaved ? path : one;
      const PeakMemory baseline = run_child(self, {"--load-child", "baseline", file, plugin});
      for (const LoadKind load : {kFileLoad, kMemoryLoad})
        row.multiple[at][load] =
            held_multiple(baseline, run_child(self, {"--load-child", kModes[load], file, plugin}), layout);
    }
    fs::remove(one, error);
    rows.push_back(row);
  }
  fs::remove(scratch, error);
  return rows;
}

void print_load_memory(FILE* out, const std::vector<LoadMemoryRow>& rows) {
  if (rows.empty()) return;
  std::fprintf(out,
               "\n== the plug-in's peak memory per photograph, unrotated loads: what a load holds beyond the host's "
               "pixels and the file, times the inflated size (one process per load; baseline = the program with the "
               "file read in)\n");
  std::fprintf(out, "%-42s %9s %9s %6s %12s %12s %12s %12s\n", "image", "inflated", "file", "IDATs", "file load",
               "memory load", "file load", "memory load");
  std::fprintf(out, "%-42s %9s %9s %6s %25s %25s\n", "", "MiB", "MiB", "", "as saved", "one IDAT");
  const double mib = 1 << 20;
  for (const LoadMemoryRow& row : rows) {
    std::fprintf(out, "%-42s %9.1f %9.1f %6u", row.image.c_str(), double(row.inflated) / mib,
                 double(row.file_bytes) / mib, row.idat_chunks);
    for (const auto& by_load : row.multiple) {
      for (const std::optional<double>& multiple : by_load) {
        if (!multiple) std::fprintf(out, " %12s", "failed");
        else std::fprintf(out, " %12.2f", *multiple);
      }
    }
    std::fprintf(out, "\n");
  }
}

MemoryFigure worst_file_load(const std::vector<LoadMemoryRow>& rows) {
  MemoryFigure worst;
  for (const LoadMemoryRow& row : rows) {
    for (const IdatLayout at : {kAsSaved, kOneIdat}) {
      const std::optional<double>& multiple = row.multiple[at][kFileLoad];
      const char* layout = at == kAsSaved ? " (as saved)" : " (one IDAT)";
      // A failed child counts as the worst: 0 tells the goal there is no measurement.
      if (!multiple) return {row.image + layout, 0};
      if (worst.image.empty() || *multiple > worst.multiple) worst = {row.image + layout, *multiple};
    }
  }
  return worst;
}

int load_child(const std::string& mode, const std::string& path, const std::string& plugin) {
  PngLayout layout;
  if (!read_header(path, &layout)) return 1;
  // The baseline and the memory load hold the file as the host read it; a file load leaves
  // the reading to the plug-in.
  std::vector<uint8_t> bytes;
  if (mode != "file" && !read_file(path, &bytes)) return 1;
  if (mode == "baseline") return 0;
  if (bytes.size() > INT32_MAX) return 1;
  std::string error;
  const DecoderPluginEntry* png = loader::find_decoder(loader::to_wide(plugin).c_str(), "PNG ", &error);
  if (png == nullptr) return 1;
  // Written beforehand, so the peak holds all of the host's pixels whenever the load writes them.
  std::vector<uint8_t> pixels(uint64_t{layout.width} * layout.height * 4, 1);
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  HostImage record{};
  record.pBits = pixels.data();
  record.pInfoHeader = &header;
  const int32_t loaded =
      mode == "file" ? png->pfnImage32LoadFile(&record, loader::to_wide(path).c_str(), 0)
                     : png->pfnImage32LoadFromMemData(&record, bytes.data(), static_cast<int32_t>(bytes.size()), 0);
  return loaded == 1 ? 0 : 1;
}

int one_idat_child(const std::string& in, const std::string& out) {
  std::vector<uint8_t> bytes;
  if (!read_file(in, &bytes)) return 1;
  PngLayout layout;
  std::string error;
  if (!read_png_layout(bytes.data(), bytes.size(), &layout, &error)) return 1;
  std::ofstream file(out, std::ios::binary);
  const auto write = [&file](const uint8_t* data, size_t size) {
    file.write(reinterpret_cast<const char*>(data), std::streamsize(size));
  };
  write(bytes.data(), 8);
  bool joined = false;
  for (size_t at = 8; at + 12 <= bytes.size();) {
    const size_t length = be32(bytes.data() + at);
    if (std::memcmp(bytes.data() + at + 4, "IDAT", 4) != 0) {
      write(bytes.data() + at, length + 12);
    } else if (!joined) {
      const std::vector<uint8_t>& data = layout.image_data;
      uint8_t head[8] = {uint8_t(data.size() >> 24),
                         uint8_t(data.size() >> 16),
                         uint8_t(data.size() >> 8),
                         uint8_t(data.size()),
                         'I',
                         'D',
                         'A',
                         'T'};
      const uint32_t crc = libdeflate_crc32(libdeflate_crc32(0, head + 4, 4), data.data(), data.size());
      const uint8_t tail[4] = {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)};
      write(head, 8);
      write(data.data(), data.size());
      write(tail, 4);
      joined = true;
    }
    at += length + 12;
  }
  return file.good() ? 0 : 1;
}

}  // namespace velabench
