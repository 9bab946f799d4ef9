// A small device-independent bitmap: pixel memory plus a BITMAPINFOHEADER (followed by a
// zeroed colour table for depths up to 8). The rotated loads decode into one and hand its
// pixels to the rotate function. nStride, pBits and pInfoHeader lie at the offsets of the
// members of the same names in HostImage, after the object's vtable pointer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace velapng {

class DibImage {
 public:
  // nBitsSource value of pixel memory lent by the caller of CreateWithBits (never freed here).
  static constexpr int32_t kCallerBits = 16;

  DibImage() = default;
  DibImage(const DibImage&) = delete;
  DibImage& operator=(const DibImage&) = delete;

  // Virtual slot order is part of the layout: CreateWithBits, Create, destructor.
  // Like Create, but adopts pBits when it is not null; logs only the bad-size line.
  virtual int32_t CreateWithBits(int32_t cx, int32_t cy, uint8_t* pBits, int32_t nbitcount);
  // A cx x cy image of nbitcount bits with pixel memory of its own (not cleared). 1, or 0
  // without memory. The same size and depth again keeps the present memory.
  virtual int32_t Create(int32_t cx, int32_t cy, int32_t nbitcount);
  virtual ~DibImage();

  // Frees what the object owns and empties it; harmless twice. nBitsSource stays.
  void Release();

  int32_t nStride = 0;
  uint8_t* pBits = nullptr;
  BITMAPINFOHEADER* pInfoHeader = nullptr;
  HBITMAP hBitmap = nullptr;  // set by nothing here; deleted on release when set
  int32_t nBitsSource = 0;

 private:
  int32_t create_image(int32_t cx, int32_t cy, int32_t nbitcount, uint8_t* bits, bool own_bits, bool log_result);
};

}  // namespace velapng
