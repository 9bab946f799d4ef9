// Stand-in for the image-operations library: quarter turns of 4-channel 8-bit images.
//
// qz_ippiRotateCenter_8u_C4R turns the source region by `angle` degrees about the centre
// and places the turned image in the destination region:
// - A positive angle turns clockwise as seen on screen (rows run downwards), so a photo
//   with EXIF orientation 6 is set upright by 90 and one with orientation 8 by 270.
// - Only whole quarter turns are done (any multiple of 90, negative ones included).
// - The centre must lie inside the source region (edges included). For a quarter turn it
//   only fixes where the turned image would fall; that offset is taken up by placing the
//   image at the destination region's origin, so the whole turned region always lands
//   there.
// - Interpolation codes 1 (nearest), 2 (linear) and 4 (cubic) are accepted; a quarter turn
//   maps pixels onto pixels, so all three give the same result.
// - The destination region must be as wide as the turned source region and as high, steps
//   must cover the rows, and source and destination must not overlap.
// The result is 0 on success, otherwise one of the codes below, and then nothing is written.
#pragma once

#include <cstdint>
#include <type_traits>

#include "abi/companions.h"

namespace qz_image {

inline constexpr int32_t kOk = 0;
inline constexpr int32_t kNullPointer = 1;
inline constexpr int32_t kBadAngle = 2;  // not a whole quarter turn, or not finite
inline constexpr int32_t kBadSize = 3;   // empty, outside the source, or not the turned size
inline constexpr int32_t kBadStep = 4;   // a row step shorter than the rows it must hold
inline constexpr int32_t kBadInterpolation = 5;
inline constexpr int32_t kBadCentre = 6;  // outside the source region, or not finite

}  // namespace qz_image

extern "C" VELAPNG_EXPORT int32_t qz_ippiRotateCenter_8u_C4R(const uint8_t* pSrc, ImgSize srcSize, int32_t srcStep,
                                                             ImgRect srcRoi, uint8_t* pDst, int32_t dstStep,
                                                             ImgRect dstRoi, double angle, double xCenter,
                                                             double yCenter, int32_t interpolation);

// The plug-in calls it through the ABI's type: it must be exactly that.
static_assert(std::is_same_v<decltype(&qz_ippiRotateCenter_8u_C4R), PfnRotateCenter>);
