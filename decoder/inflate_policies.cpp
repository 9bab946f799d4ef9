// The two routes' inflate policies side by side: how each gathers the IDAT payloads and what
// room it offers their inflate first. Both give the same code for every input.
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

}  // namespace

const InflatePolicy kReferenceInflate{append_payload, take_copies, tenfold_room};
const InflatePolicy kDirectInflate{leave_payload, join_payloads, exact_room};

}  // namespace velapng
