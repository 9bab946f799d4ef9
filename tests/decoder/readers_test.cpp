// The chunk readers: what each stores, the code of each fault in the order the readers test
// them, and the room offered to the zlib hook for zTXt, compressed iTXt and iCCP.
#include "decoder/readers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "decoder/decoder.h"
#include "decoder/reader_support.h"
#include "decoder/zlib_bridge.h"
#include "tests/support/png_builder.h"

namespace {

using namespace velapng;
using testpng::Bytes;
using testpng::concat;
using testpng::text_bytes;
using testpng::u32_be;
using testpng::zlib_compress;
using Info = VelaPNGImageInfo;

// Bytes that do not compress.
Bytes noise(size_t size) {
  Bytes out(size);
  uint32_t x = 1;
  for (uint8_t& b : out) b = static_cast<uint8_t>((x = x * 1103515245 + 12345) >> 23);
  return out;
}

// Every capacity the readers offer passes through here on its way to the real hook, which
// writes into the block: under the sanitizers an offer larger than the block is an overrun.
std::vector<uint64_t> offers;

uint32_t recording_hook(uint8_t** out, uint64_t* out_size, const uint8_t* in, uint64_t in_size,
                        const VelaPNGInflateOptions* options, uint64_t capacity) {
  offers.push_back(capacity);
  return inflate_hook(out, out_size, in, in_size, options, capacity);
}

// A state per test (or per case, through fresh), released afterwards, so the sanitizer build
// sees every block a reader stored go with the record.
class Readers : public ::testing::Test {
 protected:
  void SetUp() override {
    state_init(&state_);
    state_.decoder.inflate.zlib_hook = recording_hook;
    offers.clear();
  }
  void TearDown() override { state_release(&state_); }
  void fresh() {
    TearDown();
    SetUp();
  }
  Info& info() { return state_.image_info; }
  VelaPNGPixelFormat& format() { return state_.image_info.pixel_format; }

  // Reads `data` as a chunk of `kind`. Bytes follow it in memory, which no reader may take.
  uint32_t read(std::string_view kind, Bytes data) {
    const uint64_t n = data.size();
    data.resize(n + 64, 'Z');
    const uint8_t* d = data.data();
    const VelaPNGInflateOptions* inflate = &state_.decoder.inflate;
    if (kind == "tEXt") return read_text(&info(), d, n);
    if (kind == "zTXt") return read_ztxt(&info(), inflate, d, n);
    if (kind == "iTXt") return read_itxt(&info(), inflate, d, n);
    if (kind == "iCCP") return read_iccp(&info(), inflate, d, n);
    if (kind == "PLTE") return read_plte(&format(), d, n);
    if (kind == "tRNS") return read_trns(&format(), d, n);
    return read_bkgd(&info(), d, n);
  }
  // A chunk of `kind` ("zTXt", "iTXt" or "iCCP") holding the compressed `stream`, read.
  uint32_t read_compressed(std::string_view kind, const Bytes& stream) {
    return read(kind, concat({text_bytes("k"), kind == "iTXt" ? Bytes{0, 1, 0, 'e', 'n', 0, 0} : Bytes{0, 0}, stream}));
  }
  // What the last compressed payload of `kind` left in the record; empty when nothing was stored.
  Bytes stored(std::string_view kind) {
    if (kind == "iCCP") return Bytes(info().icc_profile, info().icc_profile + info().icc_profile_size);
    const uint64_t count = kind == "zTXt" ? info().text_count : info().itext_count;
    return count == 0 ? Bytes{} : text_bytes((kind == "zTXt" ? info().text_values : info().itext_values)[count - 1]);
  }

  VelaPNGState state_;
};

Bytes text_chunk(const Bytes& keyword, const Bytes& text) { return concat({keyword, {0}, text}); }
Bytes ztxt_chunk(const Bytes& keyword, const Bytes& text) { return concat({keyword, {0, 0}, zlib_compress(text)}); }
// `body` stands as given: compressed by the caller when the flag says so.
Bytes itxt_chunk(std::string_view keyword, uint8_t flag, uint8_t method, std::string_view language,
                 std::string_view translated_key, const Bytes& body) {
  return concat(
      {text_bytes(keyword), {0, flag, method}, text_bytes(language), {0}, text_bytes(translated_key), {0}, body});
}

// One state reads every case, so the rows also check that entries accumulate in chunk order
// (tEXt and zTXt in one list, iTXt in its own) and that a refused chunk stores nothing.
TEST_F(Readers, TextLayoutsCodesAndTheirOrder) {
  const std::string s79(79, 'k');
  const Bytes k79 = text_bytes(s79), k80 = Bytes(80, 'k');
  const Bytes stream = zlib_compress(text_bytes("some text"));
  Bytes damaged = stream;
  damaged.back() ^= 0x01;  // inside the Adler-32 trailer
  const std::string u = "Gr\xC3\xBC\xC3\x9F\x65", tr = "Schl\xC3\xBCssel";
  const Bytes utf8 = text_bytes(u), packed = zlib_compress(utf8);
  const struct {
    std::string_view kind;
    Bytes data;
    uint32_t code;
    std::vector<std::string> entry = {};  // key and value, or key, language, translated key and value
    bool no_hook = false;
  } cases[] = {
      // Keywords and texts are copied byte for byte; a text ends at its first zero byte.
      {"tEXt", text_chunk(text_bytes("Author"), {0x4A, 0xE9, 0x72}), 0, {"Author", "J\xE9r"}},
      {"tEXt", text_bytes("T"), 0, {"T", ""}},  // no zero byte: all keyword
      {"tEXt", k79, 0, {s79, ""}},
      {"tEXt", k80, 89},
      {"tEXt", text_chunk(text_bytes("Note"), {'a', 'b', 0, 'c'}), 0, {"Note", "ab"}},
      {"tEXt", {}, 89},
      {"tEXt", text_chunk({}, text_bytes("orphan")), 89},
      {"zTXt", ztxt_chunk(text_bytes("D"), {'c', 0xE7, 'a'}), 0, {"D", "c\xE7\x61"}},
      {"zTXt", ztxt_chunk(text_bytes("D"), {'x', 'y', 0, 'z'}), 0, {"D", "xy"}},
      {"zTXt", concat({text_bytes("key"), {0, 0}}), 75},       // keyword, zero byte, method, no data
      {"zTXt", concat({text_bytes("key"), {0, 0, 'x'}}), 20},  // one byte of data, and no stream
      {"zTXt", concat({k80, {0, 0}}), 75},                     // 75 before 89
      {"zTXt", concat({k80, {0, 1}, stream}), 89},             // 89 before 72
      {"zTXt", concat({{0, 0}, stream}), 89},
      {"zTXt", concat({text_bytes("key"), {0, 1}, stream}), 72, {}, true},  // 72 before 87
      {"zTXt", concat({text_bytes("key"), {0, 0}, stream}), 87, {}, true},
      {"zTXt", concat({text_bytes("key"), {0, 0}, damaged}), 20},
      // iTXt: any nonzero flag means compressed; fields may run to the end of the chunk.
      {"iTXt", itxt_chunk("Title", 0, 0, "de-DE", tr, utf8), 0, {"Title", "de-DE", tr, u}},
      {"iTXt", itxt_chunk(s79, 0, 0, "fr", "", utf8), 0, {s79, "fr", "", u}, true},  // plain needs no hook
      {"iTXt", itxt_chunk("T", 255, 0, "de", tr, packed), 0, {"T", "de", tr, u}},
      {"iTXt", concat({text_bytes("K"), {0, 0, 0}, text_bytes("en")}), 0, {"K", "en", "", ""}},
      {"iTXt", {'K', 0, 0, 0, 0}, 0, {"K", "", "", ""}},
      {"iTXt", {'K', 0, 0, 0, 0, 0, '1'}, 0, {"K", "", "", "1"}},
      {"iTXt", {'a', 0, 0, 0}, 30},  // length 4, before 75
      {"iTXt", {'a', 'b', 0, 0, 0}, 75},
      {"iTXt", concat({k80, {0, 0, 0}}), 75},
      {"iTXt", concat({k80, {0, 0, 1, 0, 0}}), 89},
      {"iTXt", itxt_chunk("K", 0, 1, "en", "", text_bytes("t")), 72},
      {"iTXt", itxt_chunk("K", 1, 1, "en", "", packed), 72, {}, true},
      {"iTXt", itxt_chunk("K", 1, 0, "en", "", packed), 87, {}, true},
      {"iTXt", itxt_chunk("K", 1, 0, "en", "", damaged), 20},
      {"iTXt", concat({text_bytes("K"), {0, 1, 0}, text_bytes("en"), {0}}), 20},
  };
  std::array<std::vector<std::string>, 2> expected, stored;  // tEXt and zTXt entries; iTXt entries
  for (const auto& c : cases) {
    state_.decoder.inflate.zlib_hook = c.no_hook ? nullptr : recording_hook;
    EXPECT_EQ(read(c.kind, c.data), c.code) << c.kind << " case " << &c - cases;
    std::vector<std::string>& list = expected[c.kind == "iTXt"];
    if (c.code == 0) list.insert(list.end(), c.entry.begin(), c.entry.end());
  }
  for (uint64_t i = 0; i < info().text_count; ++i)
    stored[0].insert(stored[0].end(), {info().text_keys[i], info().text_values[i]});
  for (uint64_t i = 0; i < info().itext_count; ++i)
    stored[1].insert(stored[1].end(), {info().itext_keys[i], info().itext_languages[i], info().itext_translated_keys[i],
                                       info().itext_values[i]});
  EXPECT_EQ(stored, expected);
}

// Each case reads on the state the one before left, so every row also checks that a later
// iCCP replaces the earlier one, also when it then fails. The name is stored as soon as it is
// known; the flag is set before anything is tested.
TEST_F(Readers, IccpCodesTheirOrderAndReplacement) {
  const Bytes stream = zlib_compress(noise(100));
  Bytes damaged = stream;
  damaged.back() ^= 0x80;
  const Bytes k80 = Bytes(80, 'k');
  const Bytes larger = concat({noise(200), Bytes(20000, 0x11)});  // than the first block
  const auto iccp = [](std::string_view name, const Bytes& profile) {
    return concat({text_bytes(name), {0, 0}, zlib_compress(profile)});
  };
  const struct {
    Bytes data;
    bool no_hook;
    uint32_t code;
    const char* name;  // stored afterwards, null for none
    Bytes profile;
  } cases[] = {
      {iccp("one", {0x42}), false, 0, "one", {0x42}},
      {iccp("second", larger), false, 0, "second", larger},
      {concat({text_bytes("P"), {0, 0}}), false, 75, nullptr, {}},
      {iccp("empty", {}), false, 0, "empty", {}},
      {concat({k80, {0, 0}}), false, 75, nullptr, {}},  // 75 before 89
      {concat({k80, {0, 0}, stream}), false, 89, nullptr, {}},
      {concat({text_bytes("P1"), {0, 1}, stream}), false, 72, "P1", {}},
      {concat({text_bytes("P1"), {0, 1}, stream}), true, 72, "P1", {}},  // 72 before 87
      {concat({text_bytes("P2"), {0, 0}, stream}), true, 87, "P2", {}},
      {concat({text_bytes("P3"), {0, 0}, damaged}), false, 20, "P3", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    state_.decoder.inflate.zlib_hook = c.no_hook ? nullptr : recording_hook;
    EXPECT_EQ(read("iCCP", c.data), c.code);
    EXPECT_EQ(info().icc_defined, 1u);
    EXPECT_EQ(info().icc_profile_name ? std::string(info().icc_profile_name) : "(none)", c.name ? c.name : "(none)");
    EXPECT_EQ(stored("iCCP"), c.profile);
    EXPECT_TRUE(c.code == 0 || info().icc_profile == nullptr);
  }
}

// The offers for one payload start from the first block the compressed size gives, each one
// the growth factor times the one before, the last clamped to the cap and tried once. The cap
// is inclusive: a profile of exactly the cap fits, one byte more does not; a text of one byte
// under the cap fits with its terminating zero in the same block. Compressed data of more
// than a quarter of the cap starts at the cap itself. A text that fills its block exactly
// grows it for the zero byte, without a second inflate.
TEST_F(Readers, PayloadsAtTheBoundariesOfTheBlocks) {
  const struct {
    std::string_view kind;
    Bytes payload;
    int level;
    uint32_t code;
    uint64_t last_offer;
    bool only_offer;
  } cases[] = {
      {"iCCP", Bytes(kInflateCap, 0x7E), 6, 0, kInflateCap, false},
      {"iCCP", Bytes(kInflateCap + 1, 0x7E), 6, 52, kInflateCap, false},
      {"zTXt", Bytes(kInflateCap - 1, 'z'), 6, 0, kInflateCap, false},
      {"iCCP", noise(kInflateCap / 2), 1, 0, kInflateCap, true},
      {"zTXt", Bytes(kInflateFirstBlockMin, 'e'), 6, 0, kInflateFirstBlockMin, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.kind << " of " << c.payload.size());
    fresh();
    const Bytes stream = zlib_compress(c.payload, c.level);
    EXPECT_EQ(read_compressed(c.kind, stream), c.code);
    EXPECT_EQ(stored(c.kind), c.code == 0 ? c.payload : Bytes{});
    ASSERT_FALSE(offers.empty());
    EXPECT_EQ(offers.front(), std::clamp(stream.size() * kInflateFirstBlockFactor, kInflateFirstBlockMin, kInflateCap));
    for (size_t i = 1; i < offers.size(); ++i)
      EXPECT_EQ(offers[i], std::min(offers[i - 1] * kInflateGrowth, offers[i - 1] == kInflateCap ? 0 : kInflateCap));
    EXPECT_EQ(offers.back(), c.last_offer);
    EXPECT_TRUE(!c.only_offer || offers.size() == 1) << offers.size() << " offers";
  }
}

// All compressed chunks of one decode share one total: every payload adds what it inflated
// to, whatever its kind; a block never exceeds what is left; a payload that does not fit in
// what is left is refused with 52, and once nothing is left the hook is not even asked.
// Uncompressed text costs nothing of it.
TEST_F(Readers, OneTotalIsSharedByAllCompressedChunks) {
  for (const size_t i : {0, 1, 2})
    ASSERT_EQ(read_compressed(std::array{"zTXt", "iTXt", "iCCP"}[i], zlib_compress(Bytes(10 + 1000 * i, 'p'))), 0u);
  EXPECT_EQ(info().inflated_ancillary_bytes, 10u + 1010u + 2010u);

  const uint64_t left = 900;
  info().inflated_ancillary_bytes = kInflateTotalCap - left;
  offers.clear();
  ASSERT_EQ(read_compressed("zTXt", zlib_compress(Bytes(left, 'f'))), 0u);
  EXPECT_EQ(info().inflated_ancillary_bytes, kInflateTotalCap);
  EXPECT_LE(*std::max_element(offers.begin(), offers.end()), left);

  info().inflated_ancillary_bytes = kInflateTotalCap - left;
  offers.clear();
  EXPECT_EQ(read_compressed("iCCP", zlib_compress(Bytes(left + 1, 'o'))), 52u);
  EXPECT_EQ(offers.back(), left);
  EXPECT_EQ(info().inflated_ancillary_bytes, kInflateTotalCap - left);

  info().inflated_ancillary_bytes = kInflateTotalCap;
  offers.clear();
  EXPECT_EQ(read_compressed("zTXt", zlib_compress(text_bytes("x"))), 52u);
  EXPECT_EQ(read_compressed("iTXt", zlib_compress(text_bytes("x"))), 52u);
  EXPECT_TRUE(offers.empty());
  EXPECT_EQ(read("iTXt", itxt_chunk("plain", 0, 0, "", "", text_bytes("x"))), 0u);
}

// PLTE, tRNS and bKGD, each on a fresh state of the colour type. A palette takes whole entries
// of three bytes, at most 256 (a refused one keeps its size as read), and is read before the
// other two with `entries` entries (-1: none). Palettes take alphas for their first entries
// and a background index below their size; grey and RGB take 16-bit samples, kept at full
// width whatever the depth.
TEST_F(Readers, PaletteChunkRules) {
  const Bytes rgb = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
  const struct {
    std::string_view kind;
    uint32_t colour_type;
    int entries;  // of the palette read before, or for PLTE those it leaves
    Bytes data;
    uint32_t code;
    std::vector<uint32_t> stored = {};  // key or background; nothing for palette alphas
  } cases[] = {
      {"PLTE", 3, 256, Bytes(768, 1), 0},
      {"PLTE", 3, 257, Bytes(771, 1), 38},
      {"PLTE", 3, 2, Bytes(7, 1), 0},  // a partial entry is ignored
      {"PLTE", 3, 0, Bytes(2, 1), 0},
      {"tRNS", 3, 5, {1, 2, 3}, 0},
      {"tRNS", 3, 5, {1, 2, 3, 4, 5}, 0},
      {"tRNS", 3, 5, {1, 2, 3, 4, 5, 6}, 39},
      {"tRNS", 3, -1, {7}, 39},
      {"tRNS", 0, -1, {0xBE, 0xEF}, 0, {0xBEEF, 0xBEEF, 0xBEEF}},
      {"tRNS", 0, -1, {0, 1, 2}, 30},
      {"tRNS", 2, -1, rgb, 0, {0x1234, 0x5678, 0x9ABC}},
      {"tRNS", 2, -1, {1, 2, 3, 4, 5}, 41},
      {"tRNS", 6, -1, {0, 1}, 42},
      {"bKGD", 3, 5, {4}, 0, {4, 4, 4}},
      {"bKGD", 3, 5, {5}, 103},
      {"bKGD", 3, 5, {0, 1}, 43},
      {"bKGD", 3, -1, {200, 0}, 43},  // the length is tested before the index
      {"bKGD", 0, -1, {0xFE, 0xDC}, 0, {0xFEDC, 0xFEDC, 0xFEDC}},
      {"bKGD", 4, -1, {1, 2, 3}, 44},
      {"bKGD", 2, -1, rgb, 0, {0x1234, 0x5678, 0x9ABC}},
      {"bKGD", 6, -1, {1, 2}, 45},
      {"bKGD", 5, -1, rgb, 0},  // a colour type no header admits: nothing stored, no error
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.kind << " case " << &c - cases);
    fresh();
    format().colour_type = c.colour_type;
    if (c.kind != "PLTE" && c.entries >= 0) read("PLTE", Bytes(size_t(c.entries) * 3, 1));
    EXPECT_EQ(read(c.kind, c.data), c.code);
    const VelaPNGPixelFormat& f = format();
    EXPECT_EQ(f.palette_size, uint32_t(std::max(c.entries, 0)));
    const bool trns = c.kind == "tRNS";
    EXPECT_EQ(trns ? f.colour_key_defined : info().background_defined, c.stored.empty() ? 0u : 1u);
    const std::vector<uint32_t> key = {f.colour_key_red, f.colour_key_green, f.colour_key_blue},
                                background = {info().background_red, info().background_green, info().background_blue};
    EXPECT_EQ(trns ? key : background, c.stored.empty() ? std::vector<uint32_t>(3, 0) : c.stored);
    Bytes alphas, expected(f.palette_size, 255);
    for (uint32_t i = 0; c.code != 38 && i < f.palette_size; ++i) alphas.push_back(f.palette[4 * i + 3]);
    if (trns && c.code == 0 && c.colour_type == 3) std::copy(c.data.begin(), c.data.end(), expected.begin());
    EXPECT_EQ(alphas, c.code == 38 ? Bytes{} : expected);  // a refused palette's entries were never filled
  }
}

// The fixed-layout chunks: one exact length, or the chunk's code with the chunk left
// undefined or, after a good one, its values as they were. Values outside their meaningful
// ranges are stored as read.
TEST_F(Readers, FixedChunksTakeTheirExactLengthOrTheirCode) {
  using Fields = std::vector<uint32_t Info::*>;
  const Fields time = {&Info::time_year, &Info::time_month,  &Info::time_day,
                       &Info::time_hour, &Info::time_minute, &Info::time_second};
  const Fields phys = {&Info::pixels_per_unit_x, &Info::pixels_per_unit_y, &Info::phys_unit};
  const Fields chrm = {&Info::white_point_x, &Info::white_point_y, &Info::red_x,  &Info::red_y,
                       &Info::green_x,       &Info::green_y,       &Info::blue_x, &Info::blue_y};
  const std::vector<uint32_t> chromaticities = {31270, 32900, 64000, 33000, 30000, 60000, 15000, 0xFFFFFFFF};
  Bytes chrm_data;
  for (const uint32_t value : chromaticities) chrm_data = concat({chrm_data, u32_be(value)});
  const struct {
    uint32_t (*read)(Info*, const uint8_t*, uint64_t);
    Bytes data;
    uint32_t code;
    uint32_t Info::*defined;
    Fields fields;
    std::vector<uint32_t> values;  // as the data encodes them
  } chunks[] = {
      {read_time, {0xFF, 0xFE, 13, 32, 24, 60, 61}, 73, &Info::time_defined, time, {0xFFFE, 13, 32, 24, 60, 61}},
      {read_phys, concat({u32_be(~0u), u32_be(2835), {7}}), 74, &Info::phys_defined, phys, {~0u, 2835, 7}},
      {read_gama, u32_be(0x80000001), 96, &Info::gamma_defined, {&Info::gamma}, {0x80000001}},
      {read_chrm, chrm_data, 97, &Info::chromaticity_defined, chrm, chromaticities},
      {read_srgb, {200}, 98, &Info::srgb_defined, {&Info::rendering_intent}, {200}},
  };
  for (const auto& chunk : chunks) {
    SCOPED_TRACE(testing::Message() << "code " << chunk.code);
    fresh();
    const size_t length = chunk.data.size();
    const Bytes other(length + 1, 0x5A);
    for (const uint32_t defined : {0u, 1u}) {
      if (defined) {
        ASSERT_EQ(chunk.read(&info(), chunk.data.data(), length), 0u);
      }
      for (const size_t wrong : {length - 1, length + 1, size_t{0}}) {
        EXPECT_EQ(chunk.read(&info(), other.data(), wrong), chunk.code) << wrong;
        EXPECT_EQ(info().*chunk.defined, defined) << wrong;
      }
    }
    for (size_t i = 0; i < chunk.fields.size(); ++i) EXPECT_EQ(info().*chunk.fields[i], chunk.values[i]) << i;
  }
}

}  // namespace
