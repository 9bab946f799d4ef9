// Image information: the size as stored in the header (an orientation never swaps it) and
// the metadata library's answer to "Orientation", asked only for a header that passed and
// whose depth is 8 or 16.
#include <cstdlib>

#include "decoder/decoder.h"
#include "plugin/file_access.h"
#include "plugin/plugin.h"

namespace velapng {

namespace {

constexpr const char* kOrientationKey = "Orientation";

bool wants_orientation(uint32_t inspection, const VelaPNGState& state) {
  const uint32_t depth = state.image_info.pixel_format.bit_depth;
  return inspection == code::ok && depth != 1 && depth != 2 && depth != 4;
}

}  // namespace

}  // namespace velapng

using namespace velapng;

extern "C" int32_t ImageGetInfo(const WCHAR* pFileName, uint32_t* pWidth, uint32_t* pHeight, void* pOrientation) {
  VelaPNGState state;
  state_init_without_codecs(&state);  // inspection alone inflates nothing
  uint8_t* bytes = nullptr;
  uint64_t size = 0;
  int32_t result = 0;
  if (LoadNamedFile(&bytes, &size, pFileName) == code::ok) {
    const uint32_t inspection = inspect_header(pWidth, pHeight, &state, bytes, size);
    // The query's value slot is ours and never read: "Orientation" answers through pOrientation.
    void* value_data = nullptr;
    if (wants_orientation(inspection, state))
      result = GetImageMetaValue(pFileName, kOrientationKey, &value_data, pOrientation);
  }
  state_release(&state);
  std::free(bytes);
  return result;
}

// A negative byte count is refused as the load refuses it: no outputs, no query.
extern "C" int32_t ImageGetInfoFromMemData(const uint8_t* pData, int32_t nSize, uint32_t* pWidth, uint32_t* pHeight,
                                           void* pOrientation) {
  if (nSize < 0) return 0;
  VelaPNGState state;
  state_init_without_codecs(&state);  // inspection alone inflates nothing
  const auto size = static_cast<uint64_t>(int64_t{nSize});
  const uint32_t inspection = inspect_header(pWidth, pHeight, &state, pData, size);
  void* value_data = nullptr;
  int32_t result = 0;
  if (pData != nullptr && wants_orientation(inspection, state))
    result = GetImageMetaValueFromMemData(pData, nSize, kOrientationKey, &value_data, pOrientation);
  state_release(&state);
  return result;
}
