// Header inspection: the rules in their order and what each leaves behind.
#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "decoder/decoder.h"
#include "decoder/image_info.h"
#include "tests/support/png_builder.h"

namespace {

using namespace velapng;
using testpng::Bytes;

uint32_t be32(const Bytes& b, size_t at) {
  return uint32_t{b[at]} << 24 | uint32_t{b[at + 1]} << 16 | uint32_t{b[at + 2]} << 8 | b[at + 3];
}

// A valid 33-byte header (7 x 5, RGB 8-bit) with bytes replaced: those of the header's data
// behind a correct CRC, unless the case breaks it on purpose.
struct HeaderCase {
  const char* what;
  std::vector<std::pair<size_t, uint8_t>> patches;  // offset and value
  uint32_t code;
  bool bad_crc = false;
  bool skip_crc = false;
  size_t size = 33;
};

Bytes patched(const HeaderCase& c) {
  const Bytes valid = testpng::header(7, 5, 8, 2);
  Bytes data(valid.begin() + 16, valid.begin() + 29);
  for (const auto& [offset, value] : c.patches)
    if (offset >= 16) data[offset - 16] = value;
  Bytes h = testpng::concat({Bytes(valid.begin(), valid.begin() + 8), testpng::chunk("IHDR", data)});
  for (const auto& [offset, value] : c.patches)
    if (offset < 16) h[offset] = value;
  if (c.bad_crc) h[30] ^= 0x40;
  return h;
}

// The rules are tested in the order 48, 27, 28, 94, 29, 93, 57, 32, 33, 34, 31, 37: the first
// broken one gives the code. Everything the inspection leaves behind follows from that order:
// the record is emptied once the size is enough, the fields are stored once the header type
// is right, width and height are written once both are non-zero, and header_checked is set
// once the colour check is reached.
TEST(InspectHeader, RulesInOrderAndWhatEachLeavesBehind) {
  const HeaderCase cases[] = {
      {"valid", {}, 0},
      {"empty", {}, 48, false, false, 0},
      {"32 bytes", {}, 27, false, false, 32},
      {"signature byte 0", {{0, 0x88}}, 28},
      {"signature byte 7 and length", {{7, 0x0B}, {11, 14}}, 28},
      {"header length 14 and type", {{11, 14}, {12, 'X'}}, 94},
      {"type lower-case", {{12, 'i'}}, 29},
      {"width 0 before everything after it", {{19, 0}, {24, 3}, {25, 9}, {26, 1}, {27, 1}, {28, 7}}, 93, true},
      {"height 0", {{23, 0}}, 93},
      {"CRC before compression", {{26, 1}}, 57, true},
      {"CRC skipped", {{26, 1}}, 32, true, true},
      {"compression before filter", {{26, 1}, {27, 1}}, 32},
      {"filter method 1", {{27, 1}}, 33},
      {"interlace method 2 before colour", {{28, 2}, {25, 1}}, 34},
      {"Adam7", {{28, 1}}, 0},
      {"colour type 1", {{25, 1}}, 31},
      {"palette 16-bit", {{24, 16}, {25, 3}}, 37},
      {"largest size", {{16, 0xFF}, {19, 0xFF}, {20, 0xFF}, {23, 0xFF}}, 0},
  };
  const auto one_of = [](uint32_t code, std::set<uint32_t> codes) { return codes.count(code) != 0; };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes h = patched(c);
    VelaPNGState state;
    state_init(&state);
    state.decoder.skip_crc_check = c.skip_crc;
    ASSERT_EQ(image_info_add_text(&state.image_info, "Title", "x"), 0u);  // must go with a new inspection
    uint32_t width = 0xAAAA, height = 0xBBBB;
    EXPECT_EQ(inspect_header(&width, &height, &state, h.data(), c.size), c.code);
    EXPECT_EQ(state.last_error, c.code);
    const VelaPNGImageInfo& info = state.image_info;
    EXPECT_EQ(info.text_count, one_of(c.code, {48, 27}) ? 1u : 0u);
    if (!one_of(c.code, {48, 27, 28, 94, 29})) {
      EXPECT_EQ(info.pixel_format.bit_depth, h[24]);
      EXPECT_EQ(info.pixel_format.colour_type, h[25]);
      EXPECT_EQ(info.interlace_method, h[28]);
    }
    const bool sized = !one_of(c.code, {48, 27, 28, 94, 29, 93});
    EXPECT_EQ(width, sized ? be32(h, 16) : 0xAAAAu);
    EXPECT_EQ(height, sized ? be32(h, 20) : 0xBBBBu);
    EXPECT_EQ(state.header_checked, one_of(c.code, {0, 31, 37}) ? 1u : 0u);
    state_release(&state);
  }
  VelaPNGState state;
  state_init(&state);
  EXPECT_EQ(inspect_header(nullptr, nullptr, &state, nullptr, 100), 48u);
  state_release(&state);
}

}  // namespace
