// What the keyword-led chunks (tEXt, zTXt, iTXt, iCCP) share: finding zero-terminated
// fields, the keyword rule, and inflating a payload whose inflated size nobody states.
#pragma once

#include <cstdint>

#include "decoder/byte_buffer.h"
#include "decoder/records.h"

namespace velapng {

// Output room offered to the zlib hook for a compressed payload. The first block is sized
// from the compressed length; whenever the hook answers 52 the block is discarded and one
// kInflateGrowth times larger is offered, never above kInflateCap. A retry inflates from the
// start again, so growing fourfold keeps the retries few and the repeated work under a third
// of the final inflate.
//
// The cap bounds what one compressed text or ICC profile may claim: 8 MiB. Mature decoders
// bound decompressed ancillary chunks to single-digit megabytes by default, because no
// legitimate text or ICC profile comes near (display profiles are a few KB, the largest
// printer profiles a few MB), while a zlib stream of a few KB can expand to gigabytes.
// Past the cap the reader returns the hook's 52.
//
// A cap per chunk alone would still let a file claim 8 MiB for every few KB of it: a
// hundred such chunks, under 1 MB, kept 800 MiB of text. So all the compressed chunks of one
// decode share kInflateTotalCap as well (counted in the image information, which every
// inspection and decode starts afresh): each block offered is at most what is left of it,
// and once it is spent every further compressed chunk gets the hook's 52. This bounds both
// the memory the text and profile hold and the inflating a file can ask for.
inline constexpr uint64_t kInflateCap = uint64_t{8} << 20;
inline constexpr uint64_t kInflateTotalCap = 4 * kInflateCap;
inline constexpr uint64_t kInflateFirstBlockMin = 512;
inline constexpr uint64_t kInflateFirstBlockFactor = 4;
inline constexpr uint64_t kInflateGrowth = 4;

// Bytes before the first zero byte among the first `length` bytes; `length` when none is zero.
uint64_t bytes_before_zero(const uint8_t* data, uint64_t length);
// Keywords are 1 to 79 bytes long.
bool keyword_length_valid(uint64_t length);
// A malloc'ed copy of `count` bytes followed by a zero byte; null when out of memory.
char* copy_as_string(const uint8_t* bytes, uint64_t count);

// Size of the first block offered for `compressed_size` bytes of zlib data.
uint64_t first_inflate_block(uint64_t compressed_size);
// Inflates `in` through the hook into a block the caller then owns in *out (size = bytes
// produced, capacity = block size), offering at most what `*inflated_total` leaves of
// kInflateTotalCap, and adds the bytes produced to it. 87 without a hook, the hook's code
// (52 past either cap), or 83; on failure *out owns nothing and the total is unchanged.
uint32_t inflate_payload(const VelaPNGInflateOptions* inflate, const uint8_t* in, uint64_t in_size, ByteBuffer* out,
                         uint64_t* inflated_total);
// Appends the zero byte that makes inflated bytes a string, growing the buffer by the usual
// byte_buffer_resize rule when it is full. When it cannot grow: 83 and the buffer unchanged,
// so no caller ever stores an unterminated entry.
uint32_t terminate_text(ByteBuffer* text);

}  // namespace velapng
