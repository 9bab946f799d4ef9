#include <gtest/gtest.h>

#include <libdeflate.h>

#include <string>
#include <vector>

#include "bench/png_layout.h"
#include "tests/support/corpus.h"
#include "tests/support/png_builder.h"

namespace {

using testpng::Bytes;
using velabench::PngLayout;

// Filtered bytes by brute force: every pixel of every pass is visited, so the count does
// not rest on the ceiling formulas the code uses.
uint64_t filtered_by_enumeration(uint32_t width, uint32_t height, uint32_t bpp, bool adam7) {
  struct Pass {
    uint32_t x0, y0, dx, dy;
  };
  const std::vector<Pass> passes = adam7 ? std::vector<Pass>{{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                                             {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}}
                                         : std::vector<Pass>{{0, 0, 1, 1}};
  uint64_t total = 0;
  for (const Pass& p : passes) {
    uint64_t columns = 0, rows = 0;
    for (uint32_t x = p.x0; x < width; x += p.dx) ++columns;
    for (uint32_t y = p.y0; y < height; y += p.dy) ++rows;
    if (columns == 0 || rows == 0) continue;
    uint64_t bits = columns * bpp, row_bytes = 0;
    while (bits > 0) {  // bytes to hold `bits`, one at a time
      ++row_bytes;
      bits = bits > 8 ? bits - 8 : 0;
    }
    total += rows * (1 + row_bytes);
  }
  return total;
}

TEST(FilteredSize, MatchesAPixelByPixelCount) {
  const uint32_t sizes[] = {1, 2, 3, 4, 5, 7, 8, 9, 13, 16, 17, 33};
  const uint32_t bpps[] = {1, 2, 4, 8, 16, 24, 32, 48, 64};
  for (bool adam7 : {false, true}) {
    for (uint32_t w : sizes) {
      for (uint32_t h : sizes) {
        for (uint32_t bpp : bpps) {
          EXPECT_EQ(velabench::filtered_size(w, h, bpp, adam7), filtered_by_enumeration(w, h, bpp, adam7))
              << w << "x" << h << " bpp " << bpp << (adam7 ? " adam7" : "");
        }
      }
    }
  }
}

// The floor inflates exactly what the layout predicts, so on real files the prediction
// must equal what libdeflate actually produces from the joined IDAT data.
TEST(ReadPngLayout, PredictsTheInflatedSizeOfEveryPngSuiteFile) {
  libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
  ASSERT_NE(decompressor, nullptr);
  size_t checked = 0;
  for (const std::string& name : testpng::png_files(testpng::pngsuite_dir())) {
    if (name[0] == 'x') continue;  // broken on purpose
    const Bytes file = testpng::read_file(testpng::pngsuite_dir() + "/" + name);
    PngLayout layout;
    std::string error;
    ASSERT_TRUE(velabench::read_png_layout(file.data(), file.size(), &layout, &error)) << name << ": " << error;
    std::vector<uint8_t> inflated(layout.inflated_size + 64);
    size_t produced = 0;
    ASSERT_EQ(libdeflate_zlib_decompress(decompressor, layout.image_data.data(), layout.image_data.size(),
                                         inflated.data(), inflated.size(), &produced),
              LIBDEFLATE_SUCCESS)
        << name;
    EXPECT_EQ(produced, layout.inflated_size) << name;
    ++checked;
  }
  libdeflate_free_decompressor(decompressor);
  EXPECT_GT(checked, 100u);
}

TEST(ReadPngLayout, JoinsIdatPayloadsInOrderAndReadsTheHeader) {
  const Bytes raw = {0, 1, 2, 3, 0, 4, 5, 6};  // 3 x 2 grey 8-bit, filter type 0
  const Bytes stream = testpng::zlib_compress(raw);
  const size_t cut = stream.size() / 2;
  const Bytes file = testpng::concat({testpng::header(3, 2, 8, 0),
                                      testpng::chunk("tEXt", testpng::text_bytes("k\0v")),
                                      testpng::chunk("IDAT", Bytes(stream.begin(), stream.begin() + cut)),
                                      testpng::chunk("IDAT", {}),
                                      testpng::chunk("zzZz", {1, 2, 3}),
                                      testpng::chunk("IDAT", Bytes(stream.begin() + cut, stream.end())),
                                      testpng::chunk("IEND", {}), Bytes{9, 9, 9}});
  for (bool join : {true, false}) {
    PngLayout layout;
    std::string error;
    ASSERT_TRUE(velabench::read_png_layout(file.data(), file.size(), &layout, &error, join)) << error;
    EXPECT_EQ(layout.width, 3u);
    EXPECT_EQ(layout.height, 2u);
    EXPECT_EQ(layout.bit_depth, 8u);
    EXPECT_EQ(layout.colour_type, 0u);
    EXPECT_EQ(layout.interlace, 0u);
    EXPECT_EQ(layout.inflated_size, raw.size());
    EXPECT_EQ(layout.image_data, join ? stream : Bytes{});
  }
}

TEST(ReadPngLayout, RefusesWhatIsNotAWalkablePng) {
  const Bytes good = testpng::png(2, 2, 8, 2, Bytes(14, 0));
  Bytes no_signature = good;
  no_signature[1] = 'Q';
  Bytes header_renamed = good;
  header_renamed[12] = 'i';
  Bytes bad_colour = testpng::concat({testpng::header(2, 2, 8, 5), Bytes(good.begin() + 33, good.end())});
  const Bytes no_iend(good.begin(), good.end() - 12);
  Bytes long_chunk = good;
  long_chunk[33] = 0x7F;  // the IDAT's length now runs far past the end
  const struct {
    const char* what;
    Bytes file;
    const char* error;
  } cases[] = {
      {"signature", no_signature, "no PNG signature"},
      {"too short", Bytes(good.begin(), good.begin() + 32), "no PNG signature"},
      {"header chunk", header_renamed, "no header chunk"},
      {"colour type 5", bad_colour, "unknown colour type"},
      {"no IEND", no_iend, "chunks end before IEND"},
      {"chunk past the end", long_chunk, "chunk runs past the end"},
  };
  for (const auto& c : cases) {
    PngLayout layout;
    std::string error;
    EXPECT_FALSE(velabench::read_png_layout(c.file.data(), c.file.size(), &layout, &error)) << c.what;
    EXPECT_EQ(error, c.error) << c.what;
  }
}

TEST(FormatName, NamesEveryColourType) {
  const struct {
    uint32_t colour_type, bit_depth;
    const char* name;
  } cases[] = {{0, 1, "grey1"},       {2, 16, "rgb16"}, {3, 4, "palette4"},
               {4, 8, "grey-alpha8"}, {6, 8, "rgba8"},  {5, 8, "?8"}};
  for (const auto& c : cases) EXPECT_EQ(velabench::format_name(c.colour_type, c.bit_depth), c.name);
}

}  // namespace
