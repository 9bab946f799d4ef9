// The rotate function that turns nothing: it writes its scalar arguments, as doubles in the
// order of its signature, over the start of the destination, for the test to read back.
#include <cstring>

#include "plugin/companions.h"

extern "C" VELAPNG_EXPORT int32_t qz_ippiRotateCenter_8u_C4R(const uint8_t*, ImgSize srcSize, int32_t srcStep,
                                                             ImgRect srcRoi, uint8_t* pDst, int32_t dstStep,
                                                             ImgRect dstRoi, double angle, double xCenter,
                                                             double yCenter, int32_t interpolation) {
  const double arguments[] = {
      double(srcSize.width), double(srcSize.height), double(srcStep), double(srcRoi.x), double(srcRoi.y),
      double(srcRoi.width),  double(srcRoi.height),  double(dstStep), double(dstRoi.x), double(dstRoi.y),
      double(dstRoi.width),  double(dstRoi.height),  angle,           xCenter,          yCenter,
      double(interpolation)};
  std::memcpy(pDst, arguments, sizeof arguments);
  return 0;
}
