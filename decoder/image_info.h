// The image information record's operations (image_info.cpp): what inspection starts from,
// what the readers add to it, and its release, which state_release makes.
#pragma once

#include <cstdint>

#include "decoder/records.h"

namespace velapng {

// image_info_init frees nothing: call it only on a record that owns nothing.
void image_info_init(VelaPNGImageInfo* info);
// Frees everything the record owns; it must be initialised again before reuse.
void image_info_release(VelaPNGImageInfo* info);
// Append copies of the strings as a new last entry. 0, or 83 with the count unchanged.
uint32_t image_info_add_text(VelaPNGImageInfo* info, const char* key, const char* value);
uint32_t image_info_add_itext(VelaPNGImageInfo* info, const char* key, const char* language, const char* translated_key,
                              const char* value);
// Frees the ICC profile and its name and leaves both null, the size 0: what a later iCCP
// and the record's release both start from.
void forget_icc_profile(VelaPNGImageInfo* info);

}  // namespace velapng
