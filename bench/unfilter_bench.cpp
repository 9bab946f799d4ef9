// Un-filtering throughput: unfilter_image against the byte-by-byte reference of the tests,
// per filter type, for 3- and 4-byte pixels (RGB and RGBA at 8 bits), on blocks of rows
// 4096 pixels wide so Up, Average and Paeth have a row above.
//
// A third line, BM_byte_paths, runs the decoder's own byte-by-byte paths (branch-free Paeth,
// filter chosen once per row) over the same blocks: the gain of the vector paths over good
// scalar code rather than over the textbook loop.
//
// Arguments: filter type, bytes per pixel, content (0 random filtered bytes, which defeat
// the reference's branch prediction; 1 a smooth gradient filtered by the encoder's rules,
// closer to photographs and drawings). Every iteration starts from the same filtered
// block, and both sides move rows to a separate output the same way.
//
// BM_unfilter_band times Average and Paeth alone, in place, on the gradient with a row above
// every row: all rows in one call (a run of rows of one filter, as in photographs, which
// the wavefront paths take several rows at a time), or one row per call (a row whose
// neighbours have other filters, which only the single-row paths can take).
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "pixels/pixels.h"
#include "pixels/unfilter_scalar.h"
#include "testkit/unfilter_reference.h"

namespace {

constexpr uint32_t kWidth = 4096;
constexpr uint32_t kRows = 8;

struct Block {
  size_t length;
  std::vector<uint8_t> filtered;
  std::vector<uint8_t> work;
  std::vector<uint8_t> out;
};

Block make_block(int type, size_t bpp_bytes, int content) {
  Block block;
  block.length = kWidth * bpp_bytes;
  std::vector<uint8_t> raw(kRows * block.length);
  std::mt19937 rng(42);
  for (size_t r = 0; r < kRows; ++r) {
    for (size_t i = 0; i < block.length; ++i) {
      const size_t x = i / bpp_bytes, channel = i % bpp_bytes;
      raw[r * block.length + i] = content == 0 ? static_cast<uint8_t>(rng())
                                               : static_cast<uint8_t>((x / 7 + r * 3 + channel * 40 + (rng() & 3)));
    }
  }
  const std::vector<uint8_t> types(kRows, static_cast<uint8_t>(type));
  block.filtered.resize(kRows * (block.length + 1));
  testpng::filter_reference(block.filtered.data(), raw.data(), kRows, block.length, bpp_bytes, types.data());
  if (content == 0) {  // random filtered bytes rather than filtered random pixels
    for (size_t r = 0; r < kRows; ++r) {
      for (size_t i = 1; i <= block.length; ++i)
        block.filtered[r * (block.length + 1) + i] = static_cast<uint8_t>(rng());
    }
  }
  block.work = block.filtered;
  block.out.resize(kRows * block.length);
  return block;
}

void report(benchmark::State& state, const Block& block) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kRows * static_cast<int64_t>(block.length));
}

void BM_unfilter_image(benchmark::State& state) {
  const auto bpp_bytes = static_cast<size_t>(state.range(1));
  Block block = make_block(static_cast<int>(state.range(0)), bpp_bytes, static_cast<int>(state.range(2)));
  for (auto _ : state) {
    std::memcpy(block.work.data(), block.filtered.data(), block.filtered.size());
    const uint32_t result = velapng::unfilter_image(block.out.data(), block.work.data(), kWidth, kRows,
                                                    static_cast<uint32_t>(8 * bpp_bytes));
    benchmark::DoNotOptimize(result);
    benchmark::ClobberMemory();
  }
  report(state, block);
}

void BM_reference(benchmark::State& state) {
  const auto bpp_bytes = static_cast<size_t>(state.range(1));
  Block block = make_block(static_cast<int>(state.range(0)), bpp_bytes, static_cast<int>(state.range(2)));
  for (auto _ : state) {
    std::memcpy(block.work.data(), block.filtered.data(), block.filtered.size());
    const bool ok = testpng::unfilter_reference(block.work.data(), kRows, bpp_bytes, block.length + 1);
    for (size_t r = 0; r < kRows; ++r) {
      std::memmove(block.out.data() + r * block.length, block.work.data() + r * (block.length + 1) + 1, block.length);
    }
    benchmark::DoNotOptimize(ok);
    benchmark::ClobberMemory();
  }
  report(state, block);
}

// The row loop of unfilter_rows with every vector path replaced by its byte path; the
// pixel width is a constant here too.
template <size_t bpp_bytes>
void unfilter_rows_bytewise(uint8_t* block, size_t length) {
  using namespace velapng::unfilter_detail;
  const uint8_t* prev = nullptr;
  for (size_t r = 0; r < kRows; ++r, prev = block + (r - 1) * (length + 1) + 1) {
    uint8_t* x = block + r * (length + 1) + 1;
    switch (x[-1]) {
      case 1: sub_bytes(x, bpp_bytes, length, bpp_bytes); break;
      case 2:
        if (prev != nullptr) up_bytes(x, prev, 0, length);
        break;
      case 3:
        if (prev == nullptr) {
          average_first_row_bytes(x, bpp_bytes, length, bpp_bytes);
          break;
        }
        average_first_pixel(x, prev, bpp_bytes);
        average_bytes(x, prev, bpp_bytes, length, bpp_bytes);
        break;
      case 4:
        if (prev == nullptr) {
          sub_bytes(x, bpp_bytes, length, bpp_bytes);
          break;
        }
        up_bytes(x, prev, 0, bpp_bytes);
        paeth_bytes(x, prev, bpp_bytes, length, bpp_bytes);
        break;
      default: break;
    }
  }
}

template <size_t B>
void BM_byte_paths(benchmark::State& state) {
  Block block = make_block(static_cast<int>(state.range(0)), B, static_cast<int>(state.range(2)));
  for (auto _ : state) {
    std::memcpy(block.work.data(), block.filtered.data(), block.filtered.size());
    unfilter_rows_bytewise<B>(block.work.data(), block.length);
    for (size_t r = 0; r < kRows; ++r) {
      std::memmove(block.out.data() + r * block.length, block.work.data() + r * (block.length + 1) + 1, block.length);
    }
    benchmark::ClobberMemory();
  }
  report(state, block);
}

void arguments(benchmark::internal::Benchmark* b) {
  b->ArgNames({"filter", "B", "content"});
  for (int content : {0, 1}) {
    for (int bpp_bytes : {3, 4}) {
      for (int type = 0; type <= 4; ++type) b->Args({type, bpp_bytes, content});
    }
  }
}

void BM_unfilter_band(benchmark::State& state) {
  const auto bpp_bytes = static_cast<uint32_t>(state.range(1));
  const auto rows_per_call = static_cast<uint32_t>(state.range(2));
  Block block = make_block(static_cast<int>(state.range(0)), bpp_bytes, 1);
  const size_t stride = block.length + 1;
  const std::vector<uint8_t> above(block.length, 0x80);
  for (auto _ : state) {
    std::memcpy(block.work.data(), block.filtered.data(), block.filtered.size());
    uint32_t result = 0;
    for (uint32_t r = 0; r < kRows; r += rows_per_call) {
      result |= velapng::unfilter_band(block.work.data() + r * stride, rows_per_call, bpp_bytes, stride,
                                       r == 0 ? above.data() : block.work.data() + (r - 1) * stride + 1);
    }
    benchmark::DoNotOptimize(result);
    benchmark::ClobberMemory();
  }
  report(state, block);
}

BENCHMARK(BM_unfilter_image)->Apply(arguments);
BENCHMARK(BM_unfilter_band)->Apply([](benchmark::internal::Benchmark* b) {
  b->ArgNames({"filter", "B", "rows_per_call"});
  for (int type : {3, 4})
    for (int bpp_bytes : {1, 2, 3, 4, 6, 8})
      for (int rows_per_call : {1, int{kRows}}) b->Args({type, bpp_bytes, rows_per_call});
});
BENCHMARK(BM_reference)->Apply(arguments);
BENCHMARK(BM_byte_paths<3>)->Apply([](benchmark::internal::Benchmark* b) {
  b->ArgNames({"filter", "B", "content"});
  for (int content : {0, 1})
    for (int type = 0; type <= 4; ++type) b->Args({type, 3, content});
});
BENCHMARK(BM_byte_paths<4>)->Apply([](benchmark::internal::Benchmark* b) {
  b->ArgNames({"filter", "B", "content"});
  for (int content : {0, 1})
    for (int type = 0; type <= 4; ++type) b->Args({type, 4, content});
});

}  // namespace
