// The checker's verdicts on crafted files: where a refusal arose, how a file compares, and
// that a documented choice explains only the disagreements whose facts it names.
#include <gtest/gtest.h>

#include "tests/real_world/checker.h"
#include "tests/support/png_builder.h"
#include "tests/support/whole_decode.h"

namespace {

using realworld::Outcome;
using testpng::Bytes;
using testpng::chunk;

const Bytes kEnd = chunk("IEND", {});

// A 2x1 image of the given type with `chunks` before its image data and `after` after it.
Bytes image(uint8_t colour_type, const std::vector<Bytes>& chunks, const Bytes& image_data = {},
            const Bytes& after = kEnd) {
  const Bytes rows = colour_type == 3 ? Bytes{0, 0, 1} : Bytes{0, 10, 20, 30, 40, 50, 60};
  const Bytes data = image_data.empty() ? testpng::zlib_compress(rows) : image_data;
  Bytes file = testpng::header(2, 1, 8, colour_type);
  for (const Bytes& c : chunks) file = testpng::concat({file, c});
  return testpng::concat({file, chunk("IDAT", data), after});
}

Bytes with_bad_crc(Bytes c) {
  c.back() ^= 1;
  return c;
}

const Bytes kPalette = chunk("PLTE", {255, 0, 0, 0, 255, 0});
const Bytes kNoKeyword = chunk("tEXt", {0, 'h', 'i'});

TEST(RealWorldVerdict, FailureSiteNamesWhereTheDecodeStopped) {
  Bytes no_signature = image(2, {});
  no_signature[1] = 'Q';
  const Bytes cut = image(2, {}, {}, {});
  const struct {
    Bytes file;
    std::string site;
  } cases[] = {
      {no_signature, "header"},
      {image(2, {kNoKeyword}), "tEXt"},
      {image(2, {chunk("iCCP", {'p', 0, 0, 0x8D, 0x93, 0xCB, 0x6B})}), "iCCP"},
      {image(3, {kPalette, chunk("bKGD", {})}), "bKGD"},
      {image(2, {with_bad_crc(chunk("gAMA", {0, 0, 0xB1, 0x8F}))}), "gAMA CRC"},
      {image(2, {chunk("gAMA", {0, 0, 0xB1, 0x8F}), chunk("AbCD", {1})}), "AbCD"},
      {image(2, {}, {0x78, 0x9C, 0xFF, 0xFF, 0xFF}), "image data"},
      {cut, "layout"},
  };
  for (const auto& c : cases) {
    const uint32_t code = testpng::decode_whole(c.file).code;
    ASSERT_NE(code, 0u) << c.site;
    EXPECT_EQ(realworld::failure_site(c.file, code), c.site) << "code " << code;
  }
}

realworld::PluginRun loaded(const Bytes& rgba, uint32_t width = 2) {
  realworld::PluginRun run;
  run.view = realworld::HostView::loaded;
  run.width = width;
  run.height = 1;
  run.rgba = rgba;
  return run;
}

testpng::OracleImage libpng(bool ok, const Bytes& rgba = {}, std::vector<std::string> warnings = {}) {
  testpng::OracleImage image;
  image.ok = ok;
  image.width = 2;
  image.height = 1;
  image.rgba = rgba;
  image.warnings = std::move(warnings);
  return image;
}

TEST(RealWorldVerdict, ComparisonTellsTheOutcomes) {
  const Bytes pixels = {1, 2, 3, 4, 5, 6, 7, 8};
  Bytes other = pixels;
  other[6] ^= 1;
  realworld::PluginRun refused, too_large = loaded({}), skipped = loaded({});
  too_large.view = realworld::HostView::too_large;
  skipped.view = realworld::HostView::skipped;
  const struct {
    realworld::PluginRun ours;
    testpng::OracleImage theirs;
    Outcome outcome;
  } cases[] = {
      {loaded(pixels), libpng(true, pixels), Outcome::equal},
      {loaded(pixels), libpng(true, other), Outcome::pixels_differ},
      {loaded(pixels, 1), libpng(true, pixels), Outcome::pixels_differ},  // same bytes, another shape
      {loaded(pixels), libpng(false), Outcome::decoded_by_us_only},
      {refused, libpng(true, pixels), Outcome::refused_by_us_only},
      {refused, libpng(false), Outcome::refused_by_both},
      {too_large, libpng(false), Outcome::too_large},
      {skipped, libpng(false), Outcome::skipped},
  };
  for (const auto& c : cases) EXPECT_EQ(realworld::compare(c.ours, c.theirs), c.outcome) << &c - cases;
}

TEST(RealWorldVerdict, ChoicesExplainOnlyTheFactsTheyName) {
  const Bytes black = {0, 0, 0, 255, 0, 0, 0, 255};
  const Bytes not_black = {0, 0, 0, 255, 0, 0, 1, 255};
  const Bytes no_palette = image(3, {});
  const Bytes bad_text = image(2, {kNoKeyword});
  const Bytes bad_data = image(2, {}, {0x78, 0x9C, 0xFF, 0xFF, 0xFF});
  const Bytes bad_crc = image(2, {with_bad_crc(chunk("gAMA", {0, 0, 0xB1, 0x8F}))});
  // The first pixel (10, 20, 30) is the key's low bytes; red's stored value is 0x10A.
  const Bytes wide_key = image(2, {chunk("tRNS", {1, 10, 0, 20, 0, 30})});
  const Bytes narrow_key = image(2, {chunk("tRNS", {0, 10, 0, 20, 0, 30})});
  const Bytes opaque = {10, 20, 30, 255, 40, 50, 60, 255};
  const Bytes keyed = {10, 20, 30, 0, 40, 50, 60, 255};
  const struct {
    Bytes file;
    realworld::PluginRun ours;
    testpng::OracleImage theirs;
    Outcome outcome;
    bool explained;
  } cases[] = {
      {no_palette, loaded(black), libpng(false), Outcome::decoded_by_us_only, true},
      {no_palette, loaded(not_black), libpng(false), Outcome::decoded_by_us_only, false},
      {image(3, {kPalette}), loaded(black), libpng(false), Outcome::decoded_by_us_only, false},
      {image(2, {}), loaded(black), libpng(false), Outcome::decoded_by_us_only, false},
      {bad_text, {}, libpng(true, black, {"tEXt: bad keyword"}), Outcome::refused_by_us_only, true},
      {bad_text, {}, libpng(true, black, {"zTXt: bad keyword"}), Outcome::refused_by_us_only, false},
      {bad_text, {}, libpng(true, black), Outcome::refused_by_us_only, false},
      {bad_data, {}, libpng(true, black, {"IDAT: invalid"}), Outcome::refused_by_us_only, false},
      {bad_crc, {}, libpng(true, black, {"gAMA: CRC error"}), Outcome::refused_by_us_only, true},
      {bad_crc, {}, libpng(true, black), Outcome::refused_by_us_only, false},
      {bad_data, {}, libpng(true, black, {"zTXt: CRC error"}), Outcome::refused_by_us_only, false},
      {image(2, {}), loaded(black), libpng(true, not_black), Outcome::pixels_differ, false},
      {wide_key, loaded(opaque), libpng(true, keyed), Outcome::pixels_differ, true},
      {wide_key, loaded(keyed), libpng(true, opaque), Outcome::pixels_differ, false},
      {wide_key, loaded(not_black), libpng(true, keyed), Outcome::pixels_differ, false},
      {narrow_key, loaded(opaque), libpng(true, keyed), Outcome::pixels_differ, false},
  };
  for (const auto& c : cases) {
    realworld::Evidence evidence{&c.file, &c.ours, &c.theirs, testpng::decode_whole(c.file).code, {}};
    if (evidence.code != 0) evidence.site = realworld::failure_site(c.file, evidence.code);
    EXPECT_EQ(realworld::explain(c.outcome, evidence) != nullptr, c.explained) << &c - cases;
  }
}

}  // namespace
