// png_filter_histogram: the share of rows of each filter type in PNG files. Which filters an
// encoder chose decides where an un-filtering decoder spends its time, so make-corpus.sh
// prints it for the photographs, and with --min-paeth-average fails when a file that should
// look like a real encoder's output does not (Paeth and Average rows together below PERCENT).
//
//   png_filter_histogram [--min-paeth-average PERCENT] FILE...
#include <libdeflate.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/png_layout.h"

namespace {

// Fills the histogram of one file; returns why there is none, or nothing.
std::string histogram_of(const char* path, libdeflate_decompressor* decompressor,
                         std::array<uint64_t, 6>* rows_of_type) {
  std::ifstream file(path, std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  if (!file.good() && !file.eof()) return "cannot be read";
  velabench::PngLayout layout;
  std::string error;
  if (!velabench::read_png_layout(bytes.data(), bytes.size(), &layout, &error)) return error;
  std::vector<uint8_t> inflated(layout.inflated_size);
  size_t produced = 0;
  if (libdeflate_zlib_decompress(decompressor, layout.image_data.data(), layout.image_data.size(), inflated.data(),
                                 inflated.size(), &produced) != LIBDEFLATE_SUCCESS ||
      produced != inflated.size())
    return "image data does not inflate to the size its header gives";
  *rows_of_type = velabench::filter_histogram(layout, inflated.data());
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  double min_paeth_average = -1;
  int first = 1;
  if (argc > 2 && std::strcmp(argv[1], "--min-paeth-average") == 0) {
    min_paeth_average = std::atof(argv[2]);
    first = 3;
  }
  if (first >= argc) {
    std::fprintf(stderr, "usage: png_filter_histogram [--min-paeth-average PERCENT] FILE...\n");
    return 2;
  }
  libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
  if (decompressor == nullptr) return 1;
  int status = 0;
  for (int i = first; i < argc; ++i) {
    std::array<uint64_t, 6> rows{};
    const char* name = std::strrchr(argv[i], '/') != nullptr ? std::strrchr(argv[i], '/') + 1 : argv[i];
    if (const std::string error = histogram_of(argv[i], decompressor, &rows); !error.empty()) {
      std::fprintf(stderr, "png_filter_histogram: %s: %s\n", argv[i], error.c_str());
      status = 1;
      continue;
    }
    uint64_t total = 0;
    for (uint64_t count : rows) total += count;
    const auto share = [&](size_t type) { return total == 0 ? 0.0 : 100.0 * double(rows[type]) / double(total); };
    std::printf("%-36s %6llu rows: none %3.0f%%  sub %3.0f%%  up %3.0f%%  average %3.0f%%  paeth %3.0f%%%s\n", name,
                static_cast<unsigned long long>(total), share(0), share(1), share(2), share(3), share(4),
                rows[5] != 0 ? "  (and rows of unknown type)" : "");
    if (min_paeth_average >= 0 && share(3) + share(4) < min_paeth_average) {
      std::fprintf(stderr, "png_filter_histogram: %s: Paeth and Average rows are %.0f%%, fewer than %.0f%%\n", argv[i],
                   share(3) + share(4), min_paeth_average);
      status = 1;
    }
  }
  libdeflate_free_decompressor(decompressor);
  return status;
}
