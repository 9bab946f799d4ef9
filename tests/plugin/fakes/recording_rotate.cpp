// The rotate function that writes nothing: records each call and returns the chosen result.
#include <algorithm>
#include <cstring>

#include "tests/plugin/fakes/recording.h"

namespace {
fakes::Journal<fakes::RotateCall> journal;
}

extern "C" VELAPNG_EXPORT int32_t qz_ippiRotateCenter_8u_C4R(const uint8_t* pSrc, ImgSize srcSize, int32_t srcStep,
                                                             ImgRect srcRoi, uint8_t* pDst, int32_t dstStep,
                                                             ImgRect dstRoi, double angle, double xCenter,
                                                             double yCenter, int32_t interpolation) {
  fakes::RotateCall call{pSrc,   srcSize, srcStep, srcRoi,  pDst,          dstStep,
                         dstRoi, angle,   xCenter, yCenter, interpolation, {}};
  const int64_t available = int64_t{srcSize.width} * srcSize.height * 4;
  if (pSrc != nullptr) std::memcpy(call.src_head, pSrc, static_cast<size_t>(std::clamp<int64_t>(available, 0, 16)));
  return journal.record(call);
}

extern "C" VELAPNG_EXPORT void fake_reset(int32_t result) { journal.reset(result); }
extern "C" VELAPNG_EXPORT int32_t fake_count() { return journal.count(); }
extern "C" VELAPNG_EXPORT bool fake_call(int32_t index, fakes::RotateCall* call) { return journal.copy(index, call); }
