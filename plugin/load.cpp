// The two load exports and the unrotated path, which decodes straight into the host's
// memory, already in its blue-green-red-alpha order: besides the decoder's own working
// memory and the file bytes it allocates nothing.
#include "plugin/load.h"

#include <cstdlib>

#include "plugin/file_access.h"

namespace velapng {

namespace {

// The host's row step and header size are signed 32-bit, so an image whose byte count does
// not fit there can't be described to it; such a load is refused before any pixel is
// written. The pixel count is held against the limit rather than the byte count: w * h
// always fits in 64 bits, while w * h * 4 wraps for sides near 2^32 (2^31 x 2^31 gives 0).
constexpr uint64_t kMaxImageBytes = 0x7FFFFFFF;

bool fits_host_image(uint32_t width, uint32_t height) { return uint64_t{width} * height <= kMaxImageBytes / 4; }

int32_t load_unrotated(HostImage* pImage, const VelaPNGInput& png, uint32_t width, uint32_t height, VelaPNGState* state,
                       LayoutReport layout) {
  uint8_t* const destination = pImage->pBits;
  // A load that can't report its layout to the host fails before decoding, not after.
  if (layout == LayoutReport::write && pImage->pInfoHeader == nullptr) return 0;
  if (decode_inspected(destination, width, height, state, png, ChannelOrder::bgra) != code::ok) return 0;
  if (layout == LayoutReport::write) {
    // 64-bit intermediate: the 32-bit form of this rule wraps for widths of 2^26 and more,
    // which the byte-count limit above still lets through.
    const auto stride = static_cast<int32_t>(((int64_t{width} * 32 + 31) >> 3) & ~int64_t{3});
    pImage->nStride = stride;
    BITMAPINFOHEADER* header = pImage->pInfoHeader;
    header->biWidth = static_cast<LONG>(width);
    header->biHeight = static_cast<LONG>(height);
    header->biSizeImage = static_cast<DWORD>(stride) * height;
    header->biBitCount = 32;
  }
  return 1;
}

}  // namespace

bool is_supported_angle(int32_t nAngle) { return nAngle == 0 || nAngle == 90 || nAngle == 180 || nAngle == 270; }

int32_t load_into_host(HostImage* pImage, const VelaPNGInput& png, int32_t nAngle, VelaPNGState* state,
                       LayoutReport layout) {
  uint32_t width = 0;
  uint32_t height = 0;
  if (inspect_header(&width, &height, state, png.bytes, png.size) != code::ok) return 0;
  if (!fits_host_image(width, height)) return 0;
  if (pImage->pBits == nullptr) return 0;  // nowhere to put the pixels, so nothing to decode
  if (nAngle == 0) return load_unrotated(pImage, png, width, height, state, layout);
  return load_rotated(pImage, png, width, height, nAngle, state);
}

}  // namespace velapng

using namespace velapng;

// Any angle but the four quarter turns, and a missing image record, are refused before
// anything is read, decoded, loaded or written.
extern "C" int32_t Image32LoadFile(HostImage* pImage, const WCHAR* pFileName, int32_t nAngle) {
  if (pImage == nullptr || !is_supported_angle(nAngle)) return 0;
  VelaPNGState state;
  state_init_without_codecs(&state);  // the decode adds the decompressor
  uint8_t* bytes = nullptr;
  uint64_t size = 0;
  int32_t result = 0;
  // The block is the load's own and read by nothing after the decode, which may therefore
  // move image data split over several chunks together inside it instead of copying it.
  if (LoadNamedFile(&bytes, &size, pFileName) == code::ok)
    result = load_into_host(pImage, owned_input(bytes, size), nAngle, &state, LayoutReport::write);
  std::free(bytes);
  state_release(&state);
  return result;
}

// A negative byte count is never a true count: widened with sign it would let the decoder
// read far past the caller's data, so it is refused like a missing image.
extern "C" int32_t Image32LoadFromMemData(HostImage* pImage, const uint8_t* pData, int32_t nSize, int32_t nAngle) {
  if (pImage == nullptr || nSize < 0 || !is_supported_angle(nAngle)) return 0;
  VelaPNGState state;
  state_init_without_codecs(&state);                        // the decode adds the decompressor
  const auto size = static_cast<uint64_t>(int64_t{nSize});  // widened with sign, as the host passes it
  const int32_t result = load_into_host(pImage, borrowed_input(pData, size), nAngle, &state, LayoutReport::skip);
  state_release(&state);
  return result;
}
