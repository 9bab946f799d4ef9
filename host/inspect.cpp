// Prints what the header of a PNG file says: width, height, colour type, bit depth, interlace.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "decoder/decoder.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FILE.png\n", argv[0]);
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "%s: cannot open\n", argv[1]);
    return 1;
  }
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  velapng::VelaPNGState state;
  velapng::state_init(&state);
  uint32_t width = 0, height = 0;
  const uint32_t result = velapng::inspect_header(&width, &height, &state, bytes.data(), bytes.size());
  const velapng::VelaPNGImageInfo& info = state.image_info;
  if (result == 0) {
    std::printf("%s: %u x %u, colour type %u, bit depth %u, %s\n", argv[1], width, height,
                info.pixel_format.colour_type, info.pixel_format.bit_depth,
                info.interlace_method ? "Adam7" : "not interlaced");
  } else {
    std::printf("%s: not a valid PNG header (code %u)\n", argv[1], result);
  }
  velapng::state_release(&state);
  return result == 0 ? 0 : 1;
}
