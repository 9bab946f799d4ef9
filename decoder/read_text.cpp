// The three text chunks. Keywords and texts are copied byte for byte, without any check of
// their characters; add_text/add_itext copy up to the first zero byte, so a text holding a
// zero byte is stored up to it.
#include <cstdlib>
#include <cstring>

#include "decoder/image_info.h"
#include "decoder/reader_support.h"
#include "decoder/readers.h"
#include "decoder/result_codes.h"

namespace velapng {

namespace {

// Inflates, terminates and stores one zTXt text under `keyword`.
uint32_t add_inflated_text(VelaPNGImageInfo* info, const char* keyword, const VelaPNGInflateOptions* inflate,
                           const uint8_t* in, uint64_t in_size) {
  ByteBuffer text;
  uint32_t result = inflate_payload(inflate, in, in_size, &text, &info->inflated_ancillary_bytes);
  if (result == code::ok) result = terminate_text(&text);
  if (result == code::ok) result = image_info_add_text(info, keyword, reinterpret_cast<const char*>(text.data));
  byte_buffer_release(&text);
  return result;
}

// The temporaries of one iTXt chunk, all released together whatever happened.
struct InternationalText {
  char* keyword = nullptr;
  char* language = nullptr;
  char* translated_key = nullptr;
  ByteBuffer text;
};

void release(InternationalText* fields) {
  std::free(fields->keyword);
  std::free(fields->language);
  std::free(fields->translated_key);
  byte_buffer_release(&fields->text);
}

// A zero-terminated field starting at `*position`, which then moves past its zero byte (and
// so possibly past the end: every later field is then empty).
char* next_field(const uint8_t* data, uint64_t length, uint64_t* position) {
  const uint64_t start = *position < length ? *position : length;
  const uint64_t size = bytes_before_zero(data + start, length - start);
  *position = start + size + 1;
  return copy_as_string(data + start, size);
}

uint32_t copy_plain_text(ByteBuffer* text, const uint8_t* bytes, uint64_t size) {
  if (!byte_buffer_resize(text, size + 1)) return code::out_of_memory;
  if (size != 0) std::memcpy(text->data, bytes, static_cast<size_t>(size));
  text->data[size] = 0;
  return code::ok;
}

// Everything after the keyword's zero byte, in chunk order; k + 3 < length is known.
uint32_t read_itxt_fields(InternationalText* fields, VelaPNGImageInfo* info, const VelaPNGInflateOptions* inflate,
                          const uint8_t* data, uint64_t length, uint64_t k) {
  fields->keyword = copy_as_string(data, k);
  if (fields->keyword == nullptr) return code::out_of_memory;
  const bool compressed = data[k + 1] != 0;  // any nonzero flag, not just 1
  if (data[k + 2] != 0) return code::bad_text_compression;
  uint64_t position = k + 3;
  fields->language = next_field(data, length, &position);
  if (fields->language == nullptr) return code::out_of_memory;
  fields->translated_key = next_field(data, length, &position);
  if (fields->translated_key == nullptr) return code::out_of_memory;
  const uint64_t text_start = position < length ? position : length;
  const uint8_t* text = data + text_start;
  const uint64_t text_size = length - text_start;
  if (!compressed) return copy_plain_text(&fields->text, text, text_size);
  const uint32_t result = inflate_payload(inflate, text, text_size, &fields->text, &info->inflated_ancillary_bytes);
  return result == code::ok ? terminate_text(&fields->text) : result;
}

}  // namespace

uint32_t read_text(VelaPNGImageInfo* info, const uint8_t* data, uint64_t length) {
  const uint64_t k = bytes_before_zero(data, length);
  if (!keyword_length_valid(k)) return code::bad_keyword;
  char* keyword = copy_as_string(data, k);
  if (keyword == nullptr) return code::out_of_memory;
  // Without a zero byte (k == length) the whole payload is the keyword and the text is empty.
  const uint64_t text_start = k < length ? k + 1 : length;
  char* text = copy_as_string(data + text_start, length - text_start);
  const uint32_t result = text == nullptr ? code::out_of_memory : image_info_add_text(info, keyword, text);
  std::free(keyword);
  std::free(text);
  return result;
}

uint32_t read_ztxt(VelaPNGImageInfo* info, const VelaPNGInflateOptions* inflate, const uint8_t* data, uint64_t length) {
  const uint64_t k = bytes_before_zero(data, length);
  // Keyword, its zero byte, the method byte and at least one byte of compressed data.
  if (k + 2 >= length) return code::text_chunk_too_short;
  if (!keyword_length_valid(k)) return code::bad_keyword;
  char* keyword = copy_as_string(data, k);
  if (keyword == nullptr) return code::out_of_memory;
  const uint32_t result = data[k + 1] != 0 ? code::bad_text_compression
                                           : add_inflated_text(info, keyword, inflate, data + k + 2, length - (k + 2));
  std::free(keyword);
  return result;
}

uint32_t read_itxt(VelaPNGImageInfo* info, const VelaPNGInflateOptions* inflate, const uint8_t* data, uint64_t length) {
  if (length < 5) return code::chunk_truncated;
  const uint64_t k = bytes_before_zero(data, length);
  if (k + 3 >= length) return code::text_chunk_too_short;
  if (!keyword_length_valid(k)) return code::bad_keyword;
  InternationalText fields;
  uint32_t result = read_itxt_fields(&fields, info, inflate, data, length, k);
  if (result == code::ok) {
    result = image_info_add_itext(info, fields.keyword, fields.language, fields.translated_key,
                                  reinterpret_cast<const char*>(fields.text.data));
  }
  release(&fields);
  return result;
}

}  // namespace velapng
