// The temporary bitmap of the rotated loads. Sizes are computed in signed 32-bit arithmetic
// with wrap-around, as the bitmap format defines them; a size that wrapped below zero simply
// cannot be allocated.
#include "plugin/dib_image.h"

#include <cstdlib>

#include "plugin/companions.h"

namespace velapng {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(offsetof(DibImage, nStride) == 8);
static_assert(offsetof(DibImage, pBits) == 16);
static_assert(offsetof(DibImage, pInfoHeader) == 24);
#pragma GCC diagnostic pop

namespace {

int32_t wrap(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

// Rows are padded to whole 32-bit words. The shift is arithmetic, as in the bitmap format.
int32_t stride_of(int32_t cx, int32_t nbitcount) { return (wrap(int64_t{cx} * nbitcount + 31) >> 3) & ~3; }

// Depths up to 8 carry a colour table of 2^depth entries; a depth below 1 counts as 0
// (one entry), a case only a bad call reaches.
size_t header_bytes(int32_t nbitcount) {
  if (nbitcount > 8) return sizeof(BITMAPINFOHEADER);
  const int32_t depth = nbitcount < 1 ? 0 : nbitcount;
  return sizeof(BITMAPINFOHEADER) + 4 * (size_t{1} << depth);
}

}  // namespace

DibImage::~DibImage() { Release(); }

int32_t DibImage::Create(int32_t cx, int32_t cy, int32_t nbitcount) {
  return create_image(cx, cy, nbitcount, nullptr, true, true);
}

int32_t DibImage::CreateWithBits(int32_t cx, int32_t cy, uint8_t* bits, int32_t nbitcount) {
  return create_image(cx, cy, nbitcount, bits, bits == nullptr, false);
}

void DibImage::Release() {
  if (nBitsSource != kCallerBits) std::free(pBits);
  std::free(pInfoHeader);
  if (hBitmap != nullptr) DeleteObject(hBitmap);
  pBits = nullptr;
  pInfoHeader = nullptr;
  hBitmap = nullptr;
  nStride = 0;
}

int32_t DibImage::create_image(int32_t cx, int32_t cy, int32_t nbitcount, uint8_t* bits, bool own_bits,
                               bool log_result) {
  if (cx < 1 || cy < 1 || nbitcount < 1)
    LogPrintf(VELAPNG_W("IMAGE cx = %d ,cy =%d ,nbitcount =%d \n"), cx, cy, nbitcount);
  const bool has_header = pInfoHeader != nullptr;
  if ((has_header ? pInfoHeader->biWidth : 0) == cx && (has_header ? pInfoHeader->biHeight : 0) == cy &&
      (has_header ? pInfoHeader->biBitCount : 0) == nbitcount)
    return 1;
  Release();

  nStride = stride_of(cx, nbitcount);
  const int32_t image_bytes = wrap(int64_t{nStride} * cy);
  auto* header = static_cast<BITMAPINFOHEADER*>(std::calloc(1, header_bytes(nbitcount)));
  uint8_t* pixels = bits;
  // Four bytes past the image: an image of no rows still gets a block (malloc(0) may give
  // none, which would read as a failed create), and a reader that fetches one 32-bit pixel
  // past the last, as an interpolating rotate may, stays inside it. Nothing of ours reads
  // there; it is part of what the object promises (dib_image_test.cpp), so it stays.
  if (header != nullptr && own_bits)
    pixels = image_bytes < 0 ? nullptr : static_cast<uint8_t*>(std::malloc(size_t(image_bytes) + 4));
  // No header block fails the create just as no pixel memory does, with the same log line.
  if (header == nullptr || pixels == nullptr) {
    std::free(header);
    if (own_bits && pixels != nullptr) std::free(pixels);
    if (log_result) LogPrintf(VELAPNG_W("IMAGE calloc failed \n"));
    return 0;
  }

  header->biSize = sizeof(BITMAPINFOHEADER);
  header->biWidth = cx;
  header->biHeight = cy;
  header->biPlanes = 1;
  header->biBitCount = static_cast<WORD>(nbitcount);
  header->biSizeImage = static_cast<DWORD>(image_bytes);
  pInfoHeader = header;
  pBits = pixels;
  nBitsSource = own_bits ? 0 : kCallerBits;
  if (log_result) LogPrintf(VELAPNG_W("IMAGE calloc success \n"));
  return 1;
}

}  // namespace velapng
