// The chunk readers the walk hands each known ancillary chunk and the palette to
// (read_palette.cpp, read_text.cpp, read_fixed.cpp, read_iccp.cpp; what the keyword-led ones
// share is in reader_support.h). `data` is the chunk's data, `length` its length field (at
// most 2^31 - 1). Each returns 0 or the chunk's own code.
#pragma once

#include <cstdint>

#include "decoder/records.h"

namespace velapng {

uint32_t read_plte(VelaPNGPixelFormat* format, const uint8_t* data, uint64_t length);
uint32_t read_trns(VelaPNGPixelFormat* format, const uint8_t* data, uint64_t length);
uint32_t read_bkgd(VelaPNGImageInfo* info, const uint8_t* data, uint64_t length);
uint32_t read_text(VelaPNGImageInfo* info, const uint8_t* data, uint64_t length);
uint32_t read_ztxt(VelaPNGImageInfo* info, const VelaPNGInflateOptions* inflate, const uint8_t* data, uint64_t length);
uint32_t read_itxt(VelaPNGImageInfo* info, const VelaPNGInflateOptions* inflate, const uint8_t* data, uint64_t length);
uint32_t read_time(VelaPNGImageInfo* info, const uint8_t* data, uint64_t length);
uint32_t read_phys(VelaPNGImageInfo* info, const uint8_t* data, uint64_t length);
uint32_t read_gama(VelaPNGImageInfo* info, const uint8_t* data, uint64_t length);
uint32_t read_chrm(VelaPNGImageInfo* info, const uint8_t* data, uint64_t length);
uint32_t read_srgb(VelaPNGImageInfo* info, const uint8_t* data, uint64_t length);
uint32_t read_iccp(VelaPNGImageInfo* info, const VelaPNGInflateOptions* inflate, const uint8_t* data, uint64_t length);

}  // namespace velapng
