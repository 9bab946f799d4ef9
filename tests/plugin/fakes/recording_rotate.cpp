// The rotate function that writes nothing: records each call and returns the chosen result.
#include <cstring>
#include <mutex>

#include "tests/plugin/fakes/recording.h"

namespace {

std::mutex guard;
fakes::RotateCall calls[fakes::kMaxCalls];
int32_t count = 0;
int32_t result = 0;

}  // namespace

extern "C" VELAPNG_EXPORT int32_t qz_ippiRotateCenter_8u_C4R(const uint8_t* pSrc, ImgSize srcSize, int32_t srcStep,
                                                            ImgRect srcRoi, uint8_t* pDst, int32_t dstStep,
                                                            ImgRect dstRoi, double angle, double xCenter,
                                                            double yCenter, int32_t interpolation) {
  std::lock_guard<std::mutex> lock(guard);
  if (count < fakes::kMaxCalls) {
    fakes::RotateCall& call = calls[count];
    call = {pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoi, angle, xCenter, yCenter, interpolation, {}};
    const int64_t available = int64_t{srcSize.width} * srcSize.height * 4;
    if (pSrc != nullptr) std::memcpy(call.src_head, pSrc, static_cast<size_t>(available < 16 ? available : 16));
  }
  ++count;
  return result;
}

extern "C" VELAPNG_EXPORT void fake_rotate_reset(int32_t next_result) {
  std::lock_guard<std::mutex> lock(guard);
  count = 0;
  result = next_result;
}

extern "C" VELAPNG_EXPORT int32_t fake_rotate_count() {
  std::lock_guard<std::mutex> lock(guard);
  return count;
}

extern "C" VELAPNG_EXPORT bool fake_rotate_call(int32_t index, fakes::RotateCall* call) {
  std::lock_guard<std::mutex> lock(guard);
  if (index < 0 || index >= count || index >= fakes::kMaxCalls) return false;
  *call = calls[index];
  return true;
}
