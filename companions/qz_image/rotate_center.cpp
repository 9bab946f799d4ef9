// Quarter turns by inverse mapping: every destination pixel is fetched from the source
// pixel it comes from, so each destination row is written once, front to back.
#include <cmath>
#include <cstring>

#include "companions/qz_image/qz_image.h"

namespace {

using namespace qz_image;

bool region_inside(const ImgRect& region, const ImgSize& size) {
  return region.x >= 0 && region.y >= 0 && region.width > 0 && region.height > 0 &&
         int64_t{region.x} + region.width <= size.width && int64_t{region.y} + region.height <= size.height;
}

// Whole quarter turns clockwise, 0 to 3, or -1 for an angle that is not one.
int quarter_turns(double angle) {
  if (!std::isfinite(angle)) return -1;
  const double turns = angle / 90.0;
  if (turns != std::floor(turns) || std::fabs(turns) > 1e9) return -1;
  return static_cast<int>(((static_cast<int64_t>(turns) % 4) + 4) % 4);
}

int32_t check(const uint8_t* src, ImgSize src_size, int32_t src_step, ImgRect src_roi, const uint8_t* dst,
              int32_t dst_step, ImgRect dst_roi, int turns, double x_centre, double y_centre, int32_t interpolation) {
  if (src == nullptr || dst == nullptr) return kNullPointer;
  if (interpolation != 1 && interpolation != 2 && interpolation != 4) return kBadInterpolation;
  if (turns < 0) return kBadAngle;
  if (src_size.width <= 0 || src_size.height <= 0 || !region_inside(src_roi, src_size)) return kBadSize;
  const bool sideways = turns % 2 == 1;
  const int32_t turned_width = sideways ? src_roi.height : src_roi.width;
  const int32_t turned_height = sideways ? src_roi.width : src_roi.height;
  if (dst_roi.x < 0 || dst_roi.y < 0 || dst_roi.width != turned_width || dst_roi.height != turned_height)
    return kBadSize;
  if (int64_t{src_step} < int64_t{src_size.width} * 4 || int64_t{dst_step} < (int64_t{dst_roi.x} + dst_roi.width) * 4)
    return kBadStep;
  if (!(x_centre >= src_roi.x && x_centre <= double(src_roi.x) + src_roi.width && y_centre >= src_roi.y &&
        y_centre <= double(src_roi.y) + src_roi.height))
    return kBadCentre;
  const uint8_t* src_end = src + int64_t{src_step} * (int64_t{src_roi.y} + src_roi.height);
  const uint8_t* dst_end = dst + int64_t{dst_step} * (int64_t{dst_roi.y} + dst_roi.height);
  if (src < dst_end && dst < src_end) return kBadSize;
  return kOk;
}

}  // namespace

extern "C" int32_t qz_ippiRotateCenter_8u_C4R(const uint8_t* pSrc, ImgSize srcSize, int32_t srcStep, ImgRect srcRoi,
                                              uint8_t* pDst, int32_t dstStep, ImgRect dstRoi, double angle,
                                              double xCenter, double yCenter, int32_t interpolation) {
  const int turns = quarter_turns(angle);
  const int32_t status =
      check(pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoi, turns, xCenter, yCenter, interpolation);
  if (status != kOk) return status;

  const int64_t w = srcRoi.width;
  const int64_t h = srcRoi.height;
  for (int64_t y = 0; y < dstRoi.height; ++y) {
    uint8_t* out = pDst + (dstRoi.y + y) * int64_t{dstStep} + int64_t{dstRoi.x} * 4;
    for (int64_t x = 0; x < dstRoi.width; ++x) {
      // (sx, sy): the source pixel that a clockwise turn carries to (x, y).
      int64_t sx = x, sy = y;
      if (turns == 1) sx = y, sy = h - 1 - x;
      if (turns == 2) sx = w - 1 - x, sy = h - 1 - y;
      if (turns == 3) sx = w - 1 - y, sy = x;
      std::memcpy(out + 4 * x, pSrc + (srcRoi.y + sy) * int64_t{srcStep} + (srcRoi.x + sx) * 4, 4);
    }
  }
  return kOk;
}
