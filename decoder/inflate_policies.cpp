// The routes' inflate policies side by side: how each gathers the IDAT payloads and what room
// it offers their inflate first. All give the same code for every input.
#include <cstdlib>
#include <cstring>

#include "decoder/chunk.h"
#include "decoder/inflate_stage.h"
#include "decoder/result_codes.h"

namespace velapng {

namespace {

// Reference: a copy grown as the walk goes (byte_buffer_resize's generous growth keeps the
// reallocations few), inflated where it is.
uint32_t append_payload(ImageData* data, const uint8_t* payload, uint32_t length) {
  const uint64_t old_size = data->copied.size;
  if (!byte_buffer_resize(&data->copied, data->size)) return code::out_of_memory;
  if (length != 0) std::memcpy(data->copied.data + old_size, payload, length);
  return code::ok;
}

uint32_t take_copies(const ImageData& data, const uint8_t** joined, uint8_t** /*block*/) {
  *joined = data.copied.data;
  return code::ok;
}

uint64_t tenfold_room(uint64_t /*expected*/, uint64_t tenfold) { return tenfold; }

// Direct: nothing during the walk; afterwards the payloads are found again in the input.
uint32_t leave_payload(ImageData* /*data*/, const uint8_t* /*payload*/, uint32_t /*length*/) { return code::ok; }

// Calls visit(payload, length) for every non-empty IDAT payload before data.end.
template <typename Visit>
void each_payload(const ImageData& data, Visit visit) {
  for (uint64_t offset = kFirstChunkOffset; offset < data.end;) {
    const uint8_t* chunk = data.in + offset;
    if (chunk_length(chunk) != 0 && chunk_type_is(chunk, "IDAT")) visit(chunk_data(chunk), chunk_length(chunk));
    offset += uint64_t{chunk_length(chunk)} + 12;
  }
}

// A single non-empty payload is used where it lies; several are copied into one block of
// exactly their size.
uint32_t join_payloads(const ImageData& data, const uint8_t** joined, uint8_t** block) {
  uint32_t payloads = 0;
  each_payload(data, [&](const uint8_t* payload, uint32_t) {
    if (payloads++ == 0) *joined = payload;
  });
  if (payloads <= 1) return code::ok;
  if (data.size > SIZE_MAX) return code::out_of_memory;
  *block = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(data.size)));
  if (*block == nullptr) return code::out_of_memory;
  uint8_t* at = *block;
  each_payload(data, [&at](const uint8_t* payload, uint32_t length) {
    std::memcpy(at, payload, length);
    at += length;
  });
  *joined = *block;
  return code::ok;
}

uint64_t exact_room(uint64_t expected, uint64_t /*tenfold*/) { return expected + 1; }

// Compacting: a payload is moved only once its chunk has passed its reader and its CRC
// check, so it waits until the walk meets the next one or ends; the first stays where it
// lies. Each moves down to follow the payloads before it, over bytes the walk is done with:
// every chunk before it spends 12 bytes on its length, type and CRC, so the joined payloads
// end at least that far before the one that moves, and the write never reaches the chunk
// the walk reads next. Which chunks are read, and what any reader or CRC check sees, is
// what it would be in the untouched file.
void move_waiting(const ImageData& data) {
  uint8_t* to = data.movable + data.joined_at + data.moved;
  const uint8_t* from = data.movable + (data.waiting - data.in);
  if (to != from && data.waiting_length != 0) std::memmove(to, from, data.waiting_length);
}

uint32_t compact_payload(ImageData* data, const uint8_t* payload, uint32_t length) {
  if (data->waiting == nullptr) {
    data->joined_at = static_cast<uint64_t>(payload - data->in);
  } else {
    move_waiting(*data);
    data->moved += data->waiting_length;
  }
  data->waiting = payload;
  data->waiting_length = length;
  return code::ok;
}

// The walk has ended cleanly, so the last payload's chunk has passed every check too.
uint32_t join_in_place(const ImageData& data, const uint8_t** joined, uint8_t** /*block*/) {
  if (data.waiting == nullptr) return code::ok;
  move_waiting(data);
  *joined = data.movable + data.joined_at;
  return code::ok;
}

}  // namespace

const InflatePolicy kReferenceInflate{append_payload, take_copies, tenfold_room};
const InflatePolicy kDirectInflate{leave_payload, join_payloads, exact_room};
const InflatePolicy kCompactingInflate{compact_payload, join_in_place, exact_room};

}  // namespace velapng
