// The stage both decode routes share (inflate_stage.cpp): header, size check, the chunk
// walk, and the image data joined, inflated and held against the size the header predicts.
// Where the routes differ, each hands the stage a policy of its own (inflate_policies.cpp);
// the stage itself asks no question about which route it serves.
#pragma once

#include <cstdint>

#include "decoder/byte_buffer.h"
#include "decoder/records.h"

namespace velapng {

// The IDAT payloads a walk met.
struct ImageData {
  const uint8_t* in = nullptr;  // the file
  uint8_t* movable = nullptr;   // the file again when the caller owns it (VelaPNGInput)
  uint64_t end = 0;             // where the walk stopped: after IEND, or where the input ran out
  uint64_t size = 0;            // the payloads' total
  ByteBuffer copied;            // the payloads, when the policy copies them as they are met
  // The payloads when the policy moves them together inside the file: those moved so far
  // lie back to back from `joined_at`, and the last one met waits until its chunk has
  // passed every check.
  uint64_t joined_at = 0;
  uint64_t moved = 0;
  const uint8_t* waiting = nullptr;
  uint32_t waiting_length = 0;
};

// The three steps in which the routes differ.
struct InflatePolicy {
  // Each IDAT payload as the walk meets it, in file order; data->size already counts it.
  uint32_t (*meet)(ImageData* data, const uint8_t* payload, uint32_t length);
  // After a walk that found every chunk before data.end whole: the payloads back to back in
  // *joined; *block owns whatever the step allocated for them.
  uint32_t (*join)(const ImageData& data, const uint8_t** joined, uint8_t** block);
  // The room first offered to the inflate of `expected` bytes. A stream too long for a room
  // below `tenfold` is inflated again into the tenfold block, so an over-long stream is told
  // (91) from one too long for any block (52) on either route.
  uint64_t (*first_room)(uint64_t expected, uint64_t tenfold);
};

// The reference route's: each payload appended as the walk meets it, and one inflate into
// ten times the expected size.
extern const InflatePolicy kReferenceInflate;
// The direct route's: the payloads joined once the walk is done (a single one is inflated
// where it lies, several are copied once into a block of exactly their size), and the
// expected size plus one byte offered first, which already tells a stream of the right size
// from any other. A block the size of the image is one the allocator can hand to the next
// decode, where a tenfold one is fresh pages every time.
extern const InflatePolicy kDirectInflate;
// The direct route's for a file the caller owns: each payload is moved down inside the file
// to follow the ones before it, so several are inflated where they end up, like a single
// one, and nothing is copied out. The room offered is kDirectInflate's.
extern const InflatePolicy kCompactingInflate;

// Leaves the code in state->last_error; on success *scratch holds exactly the inflated
// size the header predicts. A state whose header is not yet checked is inspected first
// (width and height written); one that is comes with the width and height inspection gave.
// The caller releases *scratch on every path.
// A policy that moves payloads needs an owned input.
void inflate_chunk_stream(ByteBuffer* scratch, uint32_t* width, uint32_t* height, VelaPNGState* state,
                          const VelaPNGInput& in, const InflatePolicy& policy);

// The sizes the stage holds an image to (image_size.cpp).
// True when the sizes the decode computes for this image do not fit in 64 bits.
bool raw_size_overflows(uint32_t width, uint32_t height, const VelaPNGPixelFormat* file_format,
                        const VelaPNGPixelFormat* output_format);
// The inflated size the header predicts: every row one filter byte plus its packed bytes,
// for the whole image or for each non-empty Adam7 pass.
uint64_t expected_inflated_size(const VelaPNGImageInfo& info, uint32_t width, uint32_t height);

}  // namespace velapng
