// Fuzz target: the whole decode of arbitrary bytes.
//
// The last byte of the input also chooses how to decode. Bytes after IEND never change a
// decode, so a PNG means the same whatever byte ends it, and a mutation of that byte alone
// switches the options. Three in four values take decode_rgba, and then the plug-in's
// one-pass decode_direct in both byte orders must give its result code, size and pixels
// byte for byte (BGRA with red and blue exchanged); all outputs start zeroed, so a refused
// file leaves each as it was. One of the two decodes reads an owned copy of the input, which
// it may rearrange as a plug-in file load does, the other the input itself: bit 0 of the
// last byte clear (as a plain IEND's CRC leaves it, so every file of the suites) gives the
// copy to BGRA, the file load's order. The rest take decode_with_state with the option
// flags of that byte and an output format chosen by the byte before it (formats the decode
// refuses included).
//
// The header is inspected first: images of more than kMaxPixels pixels are skipped before
// anything is allocated for them (unless their sizes overflow, which the decode refuses
// before allocating), and a header that inspection refuses must be refused by the decode
// with the same code.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "decoder/decoder.h"
#include "decoder/inflate_stage.h"
#include "fuzz/decode_limits.h"
#include "fuzz/fuzz_check.h"
#include "pixels/pixel_format.h"

namespace {

using namespace velapng;

struct Target {
  uint32_t colour_type;
  uint32_t bit_depth;
  bool own_palette;  // a two-entry palette of the target's own; else the file's is used
};

constexpr Target kTargets[] = {
    {6, 8, false}, {2, 8, false},  {2, 16, false}, {6, 16, false}, {0, 8, false}, {4, 8, false}, {3, 8, false},
    {3, 8, true},  {0, 16, false}, {4, 16, false}, {0, 1, false},  {3, 4, false}, {7, 8, false},
};
constexpr size_t kTargetCount = sizeof(kTargets) / sizeof(kTargets[0]);
// Choices past the table: no conversion, into a block of ours or one the decode allocates.
constexpr size_t kNoConversion = kTargetCount;
constexpr size_t kNoConversionNoBuffer = kTargetCount + 1;
constexpr size_t kChoices = kTargetCount + 2;

struct Choice {
  bool plain;       // decode_rgba
  bool owned_bgra;  // the BGRA decode reads an owned copy, the RGBA one the input; else the other way
  uint8_t flags;
  size_t target;
};

Choice choose(const uint8_t* data, size_t size) {
  const uint8_t last = size ? data[size - 1] : 0;
  const uint8_t before = size > 1 ? data[size - 2] : 0;
  return {(last & 0xC0) != 0xC0, (last & 1) == 0, last, before % kChoices};
}

void apply_flags(VelaPNGState* state, uint8_t flags) {
  state->decoder.skip_crc_check = flags & 1;
  state->decoder.allow_unknown_critical = (flags >> 1) & 1;
  state->decoder.allow_missing_end = (flags >> 2) & 1;
  state->decoder.keep_text_chunks = ((flags >> 3) & 1) ^ 1;
  state->decoder.keep_unknown_chunks = (flags >> 4) & 1;
}

struct Header {
  uint32_t code;
  uint32_t width;
  uint32_t height;
  uint32_t bpp;         // of the file's pixel format
  bool sizes_overflow;  // the decode refuses it (92) before allocating anything
};

Header inspect(const uint8_t* data, size_t size, const Choice& choice) {
  VelaPNGState probe;
  state_init(&probe);
  if (!choice.plain) apply_flags(&probe, choice.flags);
  if (!choice.plain && choice.target < kTargetCount) {
    probe.output_format.colour_type = kTargets[choice.target].colour_type;
    probe.output_format.bit_depth = kTargets[choice.target].bit_depth;
  }
  Header header{0, 0, 0, 0, false};
  header.code = inspect_header(&header.width, &header.height, &probe, data, size);
  const VelaPNGPixelFormat& format = probe.image_info.pixel_format;
  header.bpp = bits_per_pixel(format.colour_type, format.bit_depth);
  header.sizes_overflow = raw_size_overflows(header.width, header.height, &format, &probe.output_format);
  state_release(&probe);
  return header;
}

// An exact-size block, so that ASan sees any write past the image.
uint8_t* allocate(uint64_t bytes, bool zeroed) {
  const size_t size = bytes == 0 ? 1 : static_cast<size_t>(bytes);
  return static_cast<uint8_t*>(zeroed ? std::calloc(size, 1) : std::malloc(size));
}

// Both start from zero, so the sizes agree also where inspection writes none.
void check_header_agrees(const Header& header, uint32_t code, uint32_t width, uint32_t height) {
  if (header.code != code::ok) FUZZ_CHECK(code == header.code);
  if (header.code == code::ok && header.sizes_overflow) FUZZ_CHECK(code == code::image_too_big);
  FUZZ_CHECK(width == header.width && height == header.height);
}

// A refused header, or sizes that overflow, allocate nothing in the decode, so their size
// needs no buffer.
uint64_t pixels_to_hold(const Header& header) {
  return header.code == code::ok && !header.sizes_overflow ? uint64_t{header.width} * header.height : 0;
}

// decode_direct of the input itself, or of a copy in a block of exactly its size that the
// decode owns and may rearrange (so ASan sees any move outside it).
uint32_t direct(uint8_t* out, uint32_t* sizes, const uint8_t* data, size_t size, ChannelOrder order, bool owned) {
  if (!owned) return decode_direct(out, &sizes[0], &sizes[1], borrowed_input(data, size), order);
  uint8_t* copy = allocate(size, false);
  FUZZ_CHECK(copy != nullptr);
  if (size != 0) std::memcpy(copy, data, size);
  const uint32_t code = decode_direct(out, &sizes[0], &sizes[1], owned_input(copy, size), order);
  std::free(copy);
  return code;
}

void decode_plain(const uint8_t* data, size_t size, const Header& header, bool owned_bgra) {
  const uint64_t bytes = pixels_to_hold(header) * 4;
  // Zeroed blocks of exactly the image's bytes (one when it has none, so none is null).
  const std::vector<uint8_t> zeroed(bytes == 0 ? 1 : bytes);
  std::vector<uint8_t> reference = zeroed, rgba = zeroed, bgra = zeroed;
  uint32_t sizes[3][2] = {};  // width and height of each decode
  uint8_t* out = reference.data();
  const uint32_t code = decode_rgba(&out, &sizes[0][0], &sizes[0][1], data, size);
  FUZZ_CHECK(out == reference.data());
  check_header_agrees(header, code, sizes[0][0], sizes[0][1]);
  FUZZ_CHECK(direct(rgba.data(), sizes[1], data, size, ChannelOrder::rgba, !owned_bgra) == code);
  FUZZ_CHECK(direct(bgra.data(), sizes[2], data, size, ChannelOrder::bgra, owned_bgra) == code);
  FUZZ_CHECK(std::memcmp(sizes[0], sizes[1], 8) == 0 && std::memcmp(sizes[0], sizes[2], 8) == 0);
  FUZZ_CHECK(rgba == reference);
  const bool swapped = code == code::ok;
  for (uint64_t i = 0; i < bytes; i += 4) {
    FUZZ_CHECK(bgra[i] == reference[swapped ? i + 2 : i]);
    FUZZ_CHECK(bgra[i + 1] == reference[i + 1] && bgra[i + 3] == reference[i + 3]);
    FUZZ_CHECK(bgra[i + 2] == reference[swapped ? i : i + 2]);
  }
}

void decode_chosen(const uint8_t* data, size_t size, const Header& header, const Choice& choice) {
  VelaPNGState state;
  state_init(&state);
  apply_flags(&state, choice.flags);
  uint64_t bytes = 0;
  const uint64_t pixels = pixels_to_hold(header);
  if (choice.target >= kNoConversion) {
    state.decoder.convert_colour = 0;
    bytes = packed_size(pixels, header.bpp);
  } else {
    const Target& target = kTargets[choice.target];
    state.output_format.colour_type = target.colour_type;
    state.output_format.bit_depth = target.bit_depth;
    if (target.own_palette) {
      state.output_format.palette = static_cast<uint8_t*>(std::malloc(8));
      if (state.output_format.palette != nullptr) {
        const uint8_t entries[8] = {0, 0, 0, 255, 255, 255, 255, 255};
        std::memcpy(state.output_format.palette, entries, sizeof entries);
        state.output_format.palette_size = 2;
      }
    }
    bytes = packed_size(pixels, bits_per_pixel(target.colour_type, target.bit_depth));
  }
  // Interlaced images below 8 bits a pixel are merged by ORing bits, so a caller's block for
  // the file's own format must come zeroed.
  uint8_t* buffer = choice.target == kNoConversionNoBuffer ? nullptr : allocate(bytes, choice.target == kNoConversion);
  uint8_t* out = buffer;
  uint32_t width = 0, height = 0;
  const uint32_t code = decode_with_state(&out, &width, &height, &state, data, size);
  check_header_agrees(header, code, width, height);
  // A block the decode allocated is the caller's, also when reconstruction then failed.
  if (buffer != nullptr) FUZZ_CHECK(out == buffer);
  std::free(out);
  state_release(&state);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Choice choice = choose(data, size);
  const Header header = inspect(data, size, choice);
  if (pixels_to_hold(header) > velapng_fuzz::kMaxPixels) return 0;
  if (choice.plain) {
    decode_plain(data, size, header, choice.owned_bgra);
  } else {
    decode_chosen(data, size, header, choice);
  }
  return 0;
}
