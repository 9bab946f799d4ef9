// The fixed-layout ancillary chunks: tIME, pHYs, gAMA, cHRM and sRGB. Each has one exact
// length and a list of big-endian fields, so each is a table row read by one routine.
// Values are stored as read; ranges are the consumer's business.
#include <span>

#include "decoder/chunk.h"
#include "decoder/readers.h"
#include "decoder/result_codes.h"

namespace velapng {

namespace {

using Info = VelaPNGImageInfo;
using InfoField = uint32_t Info::*;

struct Field {
  InfoField member;
  uint8_t offset;
  uint8_t width;  // 1, 2 or 4 bytes, big-endian
};

struct FixedLayout {
  uint64_t length;
  uint32_t wrong_length;  // the chunk's own code for any other length
  InfoField defined;
  std::span<const Field> fields;
};

constexpr Field kTimeFields[] = {{&Info::time_year, 0, 2}, {&Info::time_month, 2, 1},  {&Info::time_day, 3, 1},
                                 {&Info::time_hour, 4, 1}, {&Info::time_minute, 5, 1}, {&Info::time_second, 6, 1}};
constexpr Field kPhysFields[] = {
    {&Info::pixels_per_unit_x, 0, 4}, {&Info::pixels_per_unit_y, 4, 4}, {&Info::phys_unit, 8, 1}};
constexpr Field kGamaFields[] = {{&Info::gamma, 0, 4}};
constexpr Field kChrmFields[] = {{&Info::white_point_x, 0, 4}, {&Info::white_point_y, 4, 4}, {&Info::red_x, 8, 4},
                                 {&Info::red_y, 12, 4},        {&Info::green_x, 16, 4},      {&Info::green_y, 20, 4},
                                 {&Info::blue_x, 24, 4},       {&Info::blue_y, 28, 4}};
constexpr Field kSrgbFields[] = {{&Info::rendering_intent, 0, 1}};

constexpr FixedLayout kTime{7, code::time_size, &Info::time_defined, kTimeFields};
constexpr FixedLayout kPhys{9, code::phys_size, &Info::phys_defined, kPhysFields};
constexpr FixedLayout kGama{4, code::gama_size, &Info::gamma_defined, kGamaFields};
constexpr FixedLayout kChrm{32, code::chrm_size, &Info::chromaticity_defined, kChrmFields};
constexpr FixedLayout kSrgb{1, code::srgb_size, &Info::srgb_defined, kSrgbFields};

uint32_t read_field(const uint8_t* bytes, uint8_t width) {
  switch (width) {
    case 4: return read_u32_be(bytes);
    case 2: return read_u16_be(bytes);
    default: return bytes[0];
  }
}

uint32_t read_fixed(Info* info, const uint8_t* data, uint64_t length, const FixedLayout& layout) {
  if (length != layout.length) return layout.wrong_length;
  info->*layout.defined = 1;
  for (const Field& field : layout.fields) info->*field.member = read_field(data + field.offset, field.width);
  return code::ok;
}

}  // namespace

uint32_t read_time(Info* info, const uint8_t* data, uint64_t length) { return read_fixed(info, data, length, kTime); }
uint32_t read_phys(Info* info, const uint8_t* data, uint64_t length) { return read_fixed(info, data, length, kPhys); }
uint32_t read_gama(Info* info, const uint8_t* data, uint64_t length) { return read_fixed(info, data, length, kGama); }
uint32_t read_chrm(Info* info, const uint8_t* data, uint64_t length) { return read_fixed(info, data, length, kChrm); }
uint32_t read_srgb(Info* info, const uint8_t* data, uint64_t length) { return read_fixed(info, data, length, kSrgb); }

}  // namespace velapng
