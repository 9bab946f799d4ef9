// SSE2 block loops behind expand_run_to_8bit's RGBA kernels. Each converts whole blocks
// from the start of the run and returns how many pixels it did; the scalar loop of
// convert_run.cpp finishes the rest, so every tail length goes through the scalar code.
// None reads or writes past the run. Without SSE2 they do nothing and return 0.
#pragma once

#include <cstdint>

namespace velapng::sse2 {

// A colour key the block loops compare against; `defined` is false when no sample of the
// source can equal it (no key, or a value beyond the sample range).
struct BlockKey {
  bool defined;
  uint32_t red, green, blue;
};

#if defined(__SSE2__)
// With `bgra`, blue first: the byte order the plug-in's host wants.
uint64_t rgb8_to_rgba8(uint8_t* out, const uint8_t* in, uint64_t pixels, BlockKey key, bool bgra);
uint64_t rgb16_to_rgba8(uint8_t* out, const uint8_t* in, uint64_t pixels, BlockKey key);
uint64_t grey8_to_rgba8(uint8_t* out, const uint8_t* in, uint64_t pixels, BlockKey key);
uint64_t grey16_to_rgba8(uint8_t* out, const uint8_t* in, uint64_t pixels, BlockKey key);
uint64_t grey_alpha8_to_rgba8(uint8_t* out, const uint8_t* in, uint64_t pixels);
// Samples of `bits` bits (1, 2, 4, 8) through a table of 4-byte RGBA entries; stops on a
// source byte boundary.
uint64_t indexed_to_rgba8(uint8_t* out, const uint8_t* in, uint64_t pixels, uint32_t bits, const uint8_t (*table)[4]);
uint64_t grey_alpha16_to_rgba8(uint8_t* out, const uint8_t* in, uint64_t pixels);
uint64_t rgba16_to_rgba8(uint8_t* out, const uint8_t* in, uint64_t pixels);
// RGBA to BGRA, or back; `out` may be `in`.
uint64_t swap_red_blue(uint8_t* out, const uint8_t* in, uint64_t pixels);
#else
inline uint64_t rgb8_to_rgba8(uint8_t*, const uint8_t*, uint64_t, BlockKey, bool) { return 0; }
inline uint64_t rgb16_to_rgba8(uint8_t*, const uint8_t*, uint64_t, BlockKey) { return 0; }
inline uint64_t grey8_to_rgba8(uint8_t*, const uint8_t*, uint64_t, BlockKey) { return 0; }
inline uint64_t grey16_to_rgba8(uint8_t*, const uint8_t*, uint64_t, BlockKey) { return 0; }
inline uint64_t grey_alpha8_to_rgba8(uint8_t*, const uint8_t*, uint64_t) { return 0; }
inline uint64_t indexed_to_rgba8(uint8_t*, const uint8_t*, uint64_t, uint32_t, const uint8_t (*)[4]) { return 0; }
inline uint64_t grey_alpha16_to_rgba8(uint8_t*, const uint8_t*, uint64_t) { return 0; }
inline uint64_t rgba16_to_rgba8(uint8_t*, const uint8_t*, uint64_t) { return 0; }
inline uint64_t swap_red_blue(uint8_t*, const uint8_t*, uint64_t) { return 0; }
#endif

}  // namespace velapng::sse2
