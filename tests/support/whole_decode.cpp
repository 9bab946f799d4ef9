#include "tests/support/whole_decode.h"

#include "decoder/decoder.h"

namespace testpng {

WholeDecode decode_whole(const std::vector<uint8_t>& file) {
  const std::vector<uint8_t> in = file;  // a copy whose block holds the file and nothing more
  WholeDecode d;
  velapng::VelaPNGState probe;
  velapng::state_init(&probe);
  const uint32_t inspected = velapng::inspect_header(&d.width, &d.height, &probe, in.data(), in.size());
  velapng::state_release(&probe);
  const uint64_t pixels = uint64_t{d.width} * d.height;
  if (inspected == 0 && pixels > kMaxTriedPixels) return {kTooLargeToTry, d.width, d.height, {}};
  d.rgba.assign(inspected == 0 ? pixels * 4 : 4, 0);
  uint8_t* out = d.rgba.data();
  d.code = velapng::decode_rgba(&out, &d.width, &d.height, in.data(), in.size());
  if (d.code != 0) d.rgba.clear();
  return d;
}

}  // namespace testpng
