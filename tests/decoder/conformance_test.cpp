// Whole-file decoding against libpng as the oracle, and every malformed file of the corpus,
// along every road a file takes: the reference decode, the one-pass decode in both byte
// orders, and the plug-in's memory and file loads at angle 0 as the host sees them.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "decoder/decoder.h"
#include "tests/plugin/harness.h"
#include "tests/support/corpus.h"
#include "tests/support/libpng_oracle.h"
#include "tests/support/png_builder.h"
#include "tests/support/whole_decode.h"

namespace {

using testpng::Bytes;

// What one road made of a file: refused, or pixels as RGBA.
struct Decoded {
  bool ok = false;
  Bytes rgba;
  std::string why_untrusted;  // set when a refusal wrote into the caller's memory
};

// The image's size as header inspection reads it, which is what the host sizes its memory
// from; 0 x 0 when the header is refused.
std::pair<uint32_t, uint32_t> inspected_size(const Bytes& file) {
  velapng::VelaPNGState state;
  velapng::state_init_without_codecs(&state);
  uint32_t width = 0, height = 0;
  if (velapng::inspect_header(&width, &height, &state, file.data(), file.size()) != 0) width = height = 0;
  velapng::state_release(&state);
  return {width, height};
}

// The corpus holds only small images; one whose header claims more would only make the test
// allocate host memory for nothing.
bool too_large_to_try(const Bytes& file) {
  const auto [width, height] = inspected_size(file);
  return uint64_t{width} * height > testpng::kMaxTriedPixels;
}

void swap_red_blue(Bytes* pixels) {
  for (size_t i = 0; i + 3 < pixels->size(); i += 4) std::swap((*pixels)[i], (*pixels)[i + 2]);
}

Decoded reference(const Bytes& file) {
  testpng::WholeDecode whole = testpng::decode_whole(file);
  return {whole.code == 0, std::move(whole.rgba), {}};
}

// The one-pass decode into memory of the inspected size, guarded as the host's is.
Decoded direct(const Bytes& file, velapng::ChannelOrder order) {
  const auto [width, height] = inspected_size(file);
  plugintest::HostCanvas canvas(size_t{width} * height * 4);
  uint32_t w = 0, h = 0;
  if (velapng::decode_direct(canvas.memory.data(), &w, &h, velapng::borrowed_input(file.data(), file.size()), order) !=
      0)
    return {false, {}, canvas.untouched() ? "" : "a refusal wrote into the output"};
  Bytes pixels = canvas.pixels();
  if (order == velapng::ChannelOrder::bgra) swap_red_blue(&pixels);
  return {true, std::move(pixels), canvas.guard_untouched() ? "" : "the decode wrote past the image"};
}

Decoded plugin_load(const Bytes& file, plugintest::Source source) {
  const auto [width, height] = inspected_size(file);
  plugintest::HostCanvas canvas(size_t{width} * height * 4);
  if (plugintest::load(source, &canvas.image, file, 0) != 1)
    return {false, {}, canvas.untouched() ? "" : "a refused load wrote into the host's memory"};
  Bytes pixels = canvas.pixels();
  swap_red_blue(&pixels);
  return {true, std::move(pixels), canvas.guard_untouched() ? "" : "the load wrote past the host's pixels"};
}

struct Road {
  const char* name;
  Decoded (*decode)(const Bytes& file);
};

const Road kRoads[] = {
    {"decode_rgba", reference},
    {"decode_direct rgba", [](const Bytes& file) { return direct(file, velapng::ChannelOrder::rgba); }},
    {"decode_direct bgra", [](const Bytes& file) { return direct(file, velapng::ChannelOrder::bgra); }},
    {"memory load", [](const Bytes& file) { return plugin_load(file, plugintest::Source::memory); }},
    {"file load", [](const Bytes& file) { return plugin_load(file, plugintest::Source::file); }},
};

// Every image of the suite decodes as libpng decodes it; every corrupt one ("x...") is refused
// with the caller's memory untouched.
TEST(Conformance, EverySuiteImageMatchesTheOracleAndEveryCorruptOneIsRefused) {
  int compared = 0, refused = 0;
  for (const std::string& name : testpng::png_files(testpng::pngsuite_dir())) {
    const Bytes file = testpng::read_file(testpng::pngsuite_dir() + "/" + name);
    const testpng::OracleImage expected = testpng::libpng_decode_rgba(file);
    if (name[0] != 'x') {
      ASSERT_TRUE(expected.ok) << name << ": " << expected.error;
    }
    for (const Road& road : kRoads) {
      SCOPED_TRACE(name + " by " + road.name);
      const Decoded ours = road.decode(file);
      EXPECT_EQ(ours.why_untrusted, "");
      if (name[0] == 'x') {
        EXPECT_FALSE(ours.ok);
        ++refused;
        continue;
      }
      ASSERT_TRUE(ours.ok);
      EXPECT_TRUE(ours.rgba == expected.rgba) << "differs from the oracle";
      ++compared;
    }
  }
  EXPECT_GT(compared, 150 * std::ssize(kRoads));
  EXPECT_GE(refused, 14 * std::ssize(kRoads));
}

// The crasher files are malformed or carry absurd chunk lengths. Each is refused, except the
// ones that are valid images with odd ancillary chunks, which must decode like the oracle.
// A palette image without a palette is not an error here (every index is beyond the empty
// palette, so every pixel is opaque black), while libpng refuses it. Every road agrees.
TEST(Conformance, CrasherFilesAreRefusedOrDecodeLikeTheOracle) {
  int files = 0;
  for (const std::string& name : testpng::png_files(testpng::crashers_dir())) {
    const Bytes file = testpng::read_file(testpng::crashers_dir() + "/" + name);
    if (too_large_to_try(file)) continue;
    const Decoded first = reference(file);
    Bytes expected = first.rgba;
    if (name == "missing_plte.png") {
      ASSERT_TRUE(first.ok);
      const auto [width, height] = inspected_size(file);
      expected.clear();
      for (uint32_t i = 0; i < width * height; ++i) expected.insert(expected.end(), {0, 0, 0, 255});
    } else if (first.ok) {
      const testpng::OracleImage oracle = testpng::libpng_decode_rgba(file);
      ASSERT_TRUE(oracle.ok) << name << " decodes here but libpng refuses it: " << oracle.error;
      expected = oracle.rgba;
    }
    for (const Road& road : kRoads) {
      SCOPED_TRACE(name + " by " + road.name);
      const Decoded ours = road.decode(file);
      EXPECT_EQ(ours.why_untrusted, "");
      EXPECT_EQ(ours.ok, first.ok);
      if (ours.ok) {
        EXPECT_TRUE(ours.rgba == expected);
      }
    }
    ++files;
  }
  EXPECT_GT(files, 20);
}

// A colour key stored with bits beyond the image's depth names no sample value, so every
// pixel stays opaque on every road; libpng matches the key's low bits instead, so the
// expected image is libpng's with every alpha 255. Each case's low bits hit some pixel
// (libpng makes it transparent), so a decoder that masked the key would fail it.
TEST(Conformance, KeysBeyondTheDepthMatchNoPixel) {
  struct Case {
    uint8_t depth, colour_type;
    Bytes key;
  } cases[] = {
      {1, 0, {0x00, 0xFF}}, {1, 0, {0x00, 0x02}}, {2, 0, {0x01, 0x06}},
      {4, 0, {0x00, 0x3A}}, {8, 0, {0x12, 0x34}}, {8, 2, {0x01, 0x00, 0x02, 0x01, 0x03, 0x02}},
  };
  for (const Case& c : cases) {
    const uint32_t width = c.colour_type == 0 ? 1u << c.depth : 4;
    Bytes row;  // grey: 0, 1, ... 2^depth - 1 packed; RGB: four pixels around the key's low bytes
    if (c.colour_type == 0) {
      row.assign((width * c.depth + 7) / 8, 0);
      for (uint32_t v = 0; v < width; ++v) row[v * c.depth / 8] |= uint8_t(v << (8 - c.depth - v * c.depth % 8));
    } else {
      row = {0, 1, 2, 1, 2, 3, 0, 0, 0, 255, 255, 255};
    }
    const Bytes file =
        testpng::png(width, 1, c.depth, c.colour_type, testpng::filter_none({row}), {testpng::chunk("tRNS", c.key)});
    const testpng::OracleImage libpng = testpng::libpng_decode_rgba(file);
    ASSERT_TRUE(libpng.ok) << libpng.error;
    Bytes expected = libpng.rgba;
    bool low_bits_hit = false;
    for (size_t i = 3; i < expected.size(); i += 4) {
      low_bits_hit = low_bits_hit || expected[i] == 0;
      expected[i] = 255;
    }
    EXPECT_TRUE(low_bits_hit);
    for (const Road& road : kRoads) {
      const Decoded ours = road.decode(file);
      ASSERT_TRUE(ours.ok) << road.name;
      EXPECT_EQ(ours.rgba, expected) << "depth " << int(c.depth) << " type " << int(c.colour_type) << " by "
                                     << road.name;
    }
  }
}

// What the chunk walk does not police in a palette image, the same on every road: a missing
// or empty palette leaves every index past its end, so opaque black; a partial entry is
// dropped; the last palette counts wherever it stands, since all chunks are read before the
// image data is inflated, and so does a late tRNS; image data split by another chunk is
// joined. The expected pixels are the chunks' own bytes.
TEST(Conformance, PaletteChunksCountWhereverTheyStand) {
  using testpng::chunk, testpng::concat;
  const Bytes head = testpng::header(2, 1, 8, 3), palette = chunk("PLTE", {10, 20, 30, 40, 50, 60});
  const Bytes stream = testpng::zlib_compress({0, 0, 1}), data = chunk("IDAT", stream), end = chunk("IEND", {});
  const Bytes split = concat({chunk("IDAT", Bytes(stream.begin(), stream.begin() + 3)), chunk("tEXt", {'k', 0, 'v'}),
                              chunk("IDAT", Bytes(stream.begin() + 3, stream.end()))});
  const Bytes black = {0, 0, 0, 255}, first = {10, 20, 30, 255}, both = {10, 20, 30, 255, 40, 50, 60, 255};
  const struct {
    const char* what;
    Bytes file, rgba;
  } cases[] = {
      {"no PLTE", concat({head, data, end}), concat({black, black})},
      {"empty PLTE", concat({head, chunk("PLTE", {}), data, end}), concat({black, black})},
      {"PLTE of 5 bytes", concat({head, chunk("PLTE", {10, 20, 30, 40, 50}), data, end}), concat({first, black})},
      {"PLTE only after IDAT", concat({head, data, palette, end}), both},
      {"two PLTE", concat({head, chunk("PLTE", {1, 2, 3, 4, 5, 6}), palette, data, end}), both},
      {"tRNS after IDAT", concat({head, palette, data, chunk("tRNS", {7, 8}), end}), {10, 20, 30, 7, 40, 50, 60, 8}},
      {"IDAT split by tEXt", concat({head, palette, split, end}), both},
  };
  for (const auto& c : cases) {
    for (const Road& road : kRoads) {
      SCOPED_TRACE(std::string(c.what) + " by " + road.name);
      const Decoded ours = road.decode(c.file);
      EXPECT_EQ(ours.why_untrusted, "");
      ASSERT_TRUE(ours.ok);
      EXPECT_EQ(ours.rgba, c.rgba);
    }
  }
}

TEST(Conformance, EveryTruncationIsRefused) {
  for (const char* name : {"basn2c08.png", "basi0g04.png", "basn3p04.png", "basn6a16.png", "tbrn2c08.png"}) {
    const Bytes file = testpng::read_file(testpng::pngsuite_dir() + "/" + name);
    for (size_t size = 0; size < file.size(); ++size) {
      const Bytes prefix(file.begin(), file.begin() + static_cast<long>(size));
      ASSERT_NE(testpng::decode_whole(prefix).code, 0u) << name << " cut to " << size << " bytes";
    }
  }
}

}  // namespace
