// The PNG decoder's table of contents: its records, how a state is set up and released,
// header inspection, and the two decode routes. What the routes are made of (chunk
// primitives, readers, the shared inflate stage) is declared in private headers beside
// their files.
//
// Contract shared by everything declared here:
// - Every operation that can fail returns an unsigned 32-bit result code, 0 for success
//   (the named values are in result_codes.h). Decoding steps also leave their code in
//   the state's last_error; the first non-zero code ends the work.
// - Memory owned by these records comes from malloc/calloc/realloc and goes back with
//   free. A null pointer owns nothing. Records release what they own through their
//   release operations; nothing here throws.
// - A VelaPNGState belongs to one thread for its whole life; two states share nothing.
// - Multi-byte integers of the file are big-endian and unsigned; readers store values
//   as read, without range checks.
#pragma once

#include <cstdint>

#include "decoder/records.h"
#include "decoder/result_codes.h"

namespace velapng {

// ---------------------------------------------------------------------------------------
// Setting up and releasing a state (state.cpp, encoder_side.cpp)
// ---------------------------------------------------------------------------------------

// The defaults with both libdeflate handles: a decompressor, and the level-6 compressor of
// the encoder side, which no decode uses (encoder_side.cpp).
void state_init(VelaPNGState* state);
// The defaults of state_init without the libdeflate handles, for work that needs neither or
// only the decompressor (inflate_options_init): allocating the compressor alone builds
// tables that cost more than decoding a 16x16 icon.
void state_init_without_codecs(VelaPNGState* state);
// The inflate hook and a fresh decompressor (null when it cannot be allocated).
void inflate_options_init(VelaPNGInflateOptions* options);
// Frees everything the state owns, libdeflate handles included.
void state_release(VelaPNGState* state);

// ---------------------------------------------------------------------------------------
// Header inspection (header.cpp)
// ---------------------------------------------------------------------------------------

// Checks the signature and header chunk (the first 33 bytes) and reads width, height,
// depth, colour type and method bytes into the state. Out-parameters may be null.
// Codes in the order tested: 48, 27, 28, 94, 29, 93, 57, 32, 33, 34, 31, 37.
uint32_t inspect_header(uint32_t* width, uint32_t* height, VelaPNGState* state, const uint8_t* in, uint64_t in_size);

// ---------------------------------------------------------------------------------------
// The reference route (decode_reference.cpp)
// Called by the tests, the conformance suite, the fuzz target and the benchmark; not by the
// plug-in. It exists to state every rule plainly: the IDAT payloads appended as the chunk
// walk meets them, one inflate into a block ten times the predicted size, the whole packed
// image in the file's format (reconstruct_image), and conversion from there into any format
// a caller asks for (convert_pixels).
// ---------------------------------------------------------------------------------------

// Decodes a whole PNG in memory as 8-bit RGBA into *out, which must hold width * height * 4
// bytes. The buffer is never allocated, resized or freed. Width and height are written as
// soon as the header has been read.
uint32_t decode_rgba(uint8_t** out, uint32_t* width, uint32_t* height, const uint8_t* in, uint64_t in_size);
// The same with a caller-prepared state: converts to state->output_format, or with
// convert_colour 0 delivers the file's format and copies it into output_format.
uint32_t decode_with_state(uint8_t** out, uint32_t* width, uint32_t* height, VelaPNGState* state, const uint8_t* in,
                           uint64_t in_size);

// ---------------------------------------------------------------------------------------
// The direct route (decode_direct.cpp)
// Called by the plug-in's loads. It exists for speed and memory: the pixels and result code
// of decode_rgba for every input, in RGBA or BGRA, un-filtered and converted a band of rows
// at a time straight into `out`, with no packed image between and the inflated data in a
// block of its own size. `out` (width * height * 4 bytes) is written only once the decode
// can no longer fail: a refused file leaves it untouched. The fuzz target holds it to the
// reference route byte for byte and code for code.
// ---------------------------------------------------------------------------------------

// The input kinds of VelaPNGInput. A plug-in file load owns the block it read the file
// into and hands it over; a memory load only borrows the host's buffer, so a file with
// several IDAT chunks costs it one copy of the compressed data.
inline VelaPNGInput borrowed_input(const uint8_t* bytes, uint64_t size) { return {bytes, size, nullptr}; }
inline VelaPNGInput owned_input(uint8_t* bytes, uint64_t size) { return {bytes, size, bytes}; }

// The whole decode: inspection, then decode_inspected. Width and height are written as soon
// as the header has been read.
uint32_t decode_direct(uint8_t* out, uint32_t* width, uint32_t* height, const VelaPNGInput& in, ChannelOrder order);
// The decode after a caller's own inspection: `state` comes from state_init_without_codecs
// (or has its decompressor already) and inspect_header gave it 0 with `width` and `height`.
// The decode adds the decompressor, which state_release frees with the rest. This is how a
// plug-in load inspects its file once.
uint32_t decode_inspected(uint8_t* out, uint32_t width, uint32_t height, VelaPNGState* state, const VelaPNGInput& in,
                          ChannelOrder order);

}  // namespace velapng
