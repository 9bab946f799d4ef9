// Fuzz target: header inspection of arbitrary bytes.
//
// The last byte of the input chooses whether CRCs are checked and whether the size is asked
// for. Each input is inspected twice on one state, the way the plug-in reuses its state:
// the second inspection must release what the first left and come to the same result.
#include <cstdint>

#include "decoder/decoder.h"
#include "fuzz/fuzz_check.h"

namespace {

using namespace velapng;

struct Outcome {
  uint32_t code;
  uint32_t width;
  uint32_t height;
  uint32_t colour_type;
  uint32_t bit_depth;
};

Outcome inspect_once(VelaPNGState* state, const uint8_t* data, size_t size, bool want_size) {
  Outcome outcome{0, 0, 0, 0, 0};
  outcome.code = want_size ? inspect_header(&outcome.width, &outcome.height, state, data, size)
                           : inspect_header(nullptr, nullptr, state, data, size);
  outcome.colour_type = state->image_info.pixel_format.colour_type;
  outcome.bit_depth = state->image_info.pixel_format.bit_depth;
  FUZZ_CHECK(state->last_error == outcome.code);
  return outcome;
}

void check_success(const VelaPNGState& state, const Outcome& outcome, bool want_size) {
  FUZZ_CHECK(state.header_checked == 1);
  FUZZ_CHECK(check_colour_depth(outcome.colour_type, outcome.bit_depth) == code::ok);
  FUZZ_CHECK(state.image_info.compression_method == 0 && state.image_info.filter_method == 0);
  FUZZ_CHECK(state.image_info.interlace_method <= 1);
  if (want_size) FUZZ_CHECK(outcome.width != 0 && outcome.height != 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint8_t choice = size ? data[size - 1] : 0;
  const bool want_size = (choice & 2) == 0;
  VelaPNGState state;
  state_init(&state);
  state.decoder.skip_crc_check = choice & 1;
  const Outcome first = inspect_once(&state, data, size, want_size);
  if (first.code == code::ok) check_success(state, first, want_size);
  const Outcome second = inspect_once(&state, data, size, want_size);
  FUZZ_CHECK(second.code == first.code && second.width == first.width && second.height == first.height);
  FUZZ_CHECK(second.colour_type == first.colour_type && second.bit_depth == first.bit_depth);
  state_release(&state);
  return 0;
}
