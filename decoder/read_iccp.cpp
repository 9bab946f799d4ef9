// The embedded ICC profile. A later iCCP replaces an earlier one; the name is stored as soon
// as it is known, so a profile refused for its method still leaves its name behind.
#include <cstdlib>
#include <cstring>

#include "decoder/image_info.h"
#include "decoder/reader_support.h"
#include "decoder/readers.h"
#include "decoder/result_codes.h"

namespace velapng {

namespace {

// The inflated block may be several times the profile's size; keep an exact copy instead.
// The size is set only with the block, so a failed copy never claims bytes it lacks.
uint32_t store_profile(VelaPNGImageInfo* info, const ByteBuffer* inflated) {
  if (inflated->size == 0) return code::ok;  // an empty profile: no block, size 0
  info->icc_profile = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(inflated->size)));
  if (info->icc_profile == nullptr) return code::out_of_memory;
  std::memcpy(info->icc_profile, inflated->data, static_cast<size_t>(inflated->size));
  info->icc_profile_size = static_cast<uint32_t>(inflated->size);
  return code::ok;
}

}  // namespace

uint32_t read_iccp(VelaPNGImageInfo* info, const VelaPNGInflateOptions* inflate, const uint8_t* data, uint64_t length) {
  info->icc_defined = 1;
  if (info->icc_profile_name != nullptr) forget_icc_profile(info);
  const uint64_t k = bytes_before_zero(data, length);
  if (k + 2 >= length) return code::text_chunk_too_short;
  if (!keyword_length_valid(k)) return code::bad_keyword;
  info->icc_profile_name = copy_as_string(data, k);
  if (info->icc_profile_name == nullptr) return code::out_of_memory;
  if (data[k + 1] != 0) return code::bad_text_compression;
  ByteBuffer inflated;
  uint32_t result =
      inflate_payload(inflate, data + k + 2, length - (k + 2), &inflated, &info->inflated_ancillary_bytes);
  if (result == code::ok) result = store_profile(info, &inflated);
  byte_buffer_release(&inflated);
  return result;
}

}  // namespace velapng
