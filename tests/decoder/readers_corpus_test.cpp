// Every reader on every chunk of the shared corpus: the suite's valid files must be accepted
// whole, and the corrupt and malformed ones may only produce the reader's own codes (the
// sanitizer build adds: without reading out of bounds or leaking).
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "decoder/decoder.h"
#include "tests/support/corpus.h"
#include "tests/support/png_builder.h"

namespace {

using namespace velapng;
using testpng::Bytes;

using Reader = uint32_t (*)(VelaPNGState*, const uint8_t*, uint64_t);

struct ReaderEntry {
  const char* type;
  Reader read;
  std::set<uint32_t> codes;  // every code the reader may give, 0 included
};

const std::set<uint32_t> kCompressedCodes = {0, 20, 52, 72, 75, 83, 87, 89};

const ReaderEntry kReaders[] = {
    {"PLTE", [](VelaPNGState* s, const uint8_t* d, uint64_t n) { return read_plte(&s->image_info.pixel_format, d, n); },
     {0, 38, 83}},
    {"tRNS", [](VelaPNGState* s, const uint8_t* d, uint64_t n) { return read_trns(&s->image_info.pixel_format, d, n); },
     {0, 30, 39, 41, 42}},
    {"bKGD", [](VelaPNGState* s, const uint8_t* d, uint64_t n) { return read_bkgd(&s->image_info, d, n); },
     {0, 43, 44, 45, 103}},
    {"tEXt", [](VelaPNGState* s, const uint8_t* d, uint64_t n) { return read_text(&s->image_info, d, n); },
     {0, 83, 89}},
    {"zTXt",
     [](VelaPNGState* s, const uint8_t* d, uint64_t n) { return read_ztxt(&s->image_info, &s->decoder.inflate, d, n); },
     kCompressedCodes},
    {"iTXt",
     [](VelaPNGState* s, const uint8_t* d, uint64_t n) { return read_itxt(&s->image_info, &s->decoder.inflate, d, n); },
     {0, 20, 30, 52, 72, 75, 83, 87, 89}},
    {"tIME", [](VelaPNGState* s, const uint8_t* d, uint64_t n) { return read_time(&s->image_info, d, n); }, {0, 73}},
    {"pHYs", [](VelaPNGState* s, const uint8_t* d, uint64_t n) { return read_phys(&s->image_info, d, n); }, {0, 74}},
    {"gAMA", [](VelaPNGState* s, const uint8_t* d, uint64_t n) { return read_gama(&s->image_info, d, n); }, {0, 96}},
    {"cHRM", [](VelaPNGState* s, const uint8_t* d, uint64_t n) { return read_chrm(&s->image_info, d, n); }, {0, 97}},
    {"sRGB", [](VelaPNGState* s, const uint8_t* d, uint64_t n) { return read_srgb(&s->image_info, d, n); }, {0, 98}},
    {"iCCP",
     [](VelaPNGState* s, const uint8_t* d, uint64_t n) { return read_iccp(&s->image_info, &s->decoder.inflate, d, n); },
     kCompressedCodes},
};

// Walks the chunks after the 33 header bytes as long as they lie inside the file, handing
// each known one to its reader. Colour type and depth come from the header bytes as they
// stand, valid or not. Returns the number of chunks read.
int read_all_chunks(const std::string& name, const Bytes& file, bool must_accept) {
  if (file.size() < 33) return 0;
  VelaPNGState state;
  state_init(&state);
  state.image_info.pixel_format.bit_depth = file[24];
  state.image_info.pixel_format.colour_type = file[25];
  int read = 0;
  const uint8_t* end = file.data() + file.size();
  for (const uint8_t* p = file.data() + 33; end - p >= 12; p = chunk_next(p)) {
    if (uint64_t{chunk_length(p)} + 12 > static_cast<uint64_t>(end - p)) break;
    for (const ReaderEntry& reader : kReaders) {
      if (!chunk_type_is(p, reader.type)) continue;
      const uint32_t result = reader.read(&state, chunk_data(p), chunk_length(p));
      EXPECT_TRUE(reader.codes.count(result)) << name << ": " << reader.type << " gave " << result;
      if (must_accept) {
        EXPECT_EQ(result, 0u) << name << ": " << reader.type;
      }
      ++read;
    }
    if (chunk_type_is(p, "IEND")) break;
  }
  state_release(&state);
  return read;
}

TEST(ReadersOnTheCorpus, TheSuiteIsAcceptedAndCorruptFilesGiveOnlyReaderCodes) {
  int suite_chunks = 0;
  for (const std::string& name : testpng::png_files(testpng::pngsuite_dir())) {
    const Bytes file = testpng::read_file(testpng::pngsuite_dir() + "/" + name);
    const int read = read_all_chunks(name, file, name[0] != 'x');
    if (name[0] != 'x') suite_chunks += read;
  }
  EXPECT_GT(suite_chunks, 200);  // the walk really reached the suite's ancillary chunks
  for (const std::string& name : testpng::png_files(testpng::crashers_dir())) {
    read_all_chunks(name, testpng::read_file(testpng::crashers_dir() + "/" + name), false);
  }
}

}  // namespace
