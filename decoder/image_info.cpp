// The image information record: initialisation, text entries, the profile and release.
#include "decoder/image_info.h"

#include <cstdlib>
#include <cstring>

#include "decoder/result_codes.h"
#include "pixels/pixel_format.h"

namespace velapng {

namespace {

// malloc'ed copy of a NUL-terminated string, or null.
char* copy_string(const char* text) {
  const size_t bytes = std::strlen(text) + 1;
  char* copy = static_cast<char*>(std::malloc(bytes));
  if (copy != nullptr) std::memcpy(copy, text, bytes);
  return copy;
}

void free_strings(char** strings, uint64_t count) {
  if (strings == nullptr) return;
  for (uint64_t i = 0; i < count; ++i) {
    std::free(strings[i]);
    strings[i] = nullptr;
  }
  std::free(strings);
}

// Grows every array to `count` + 1 slots. Arrays that grew replace the old ones even when
// another failed, so nothing leaks; the new slot stays null. False when any growth failed.
bool grow_arrays(char*** arrays[], size_t array_count, uint64_t count) {
  bool all_grew = true;
  for (size_t a = 0; a < array_count; ++a) {
    void* grown = std::realloc(*arrays[a], (count + 1) * sizeof(char*));
    if (grown == nullptr) {
      all_grew = false;
      continue;
    }
    *arrays[a] = static_cast<char**>(grown);
    (*arrays[a])[count] = nullptr;
  }
  return all_grew;
}

// Appends copies of `values` to the index-aligned `arrays`. A failed copy is treated like a
// failed growth: the entry is not stored, so no reader ever meets a null string.
uint32_t add_entry(char*** arrays[], const char* const values[], size_t array_count, uint64_t* count) {
  if (!grow_arrays(arrays, array_count, *count)) return code::out_of_memory;
  char* copies[4] = {};
  bool all_copied = true;
  for (size_t a = 0; a < array_count; ++a) {
    copies[a] = copy_string(values[a]);
    all_copied = all_copied && copies[a] != nullptr;
  }
  if (!all_copied) {
    for (char* copy : copies) std::free(copy);
    return code::out_of_memory;
  }
  for (size_t a = 0; a < array_count; ++a) (*arrays[a])[*count] = copies[a];
  ++*count;
  return code::ok;
}

}  // namespace

void forget_icc_profile(VelaPNGImageInfo* info) {
  std::free(info->icc_profile_name);
  info->icc_profile_name = nullptr;
  std::free(info->icc_profile);
  info->icc_profile = nullptr;
  info->icc_profile_size = 0;
}

void image_info_init(VelaPNGImageInfo* info) { *info = VelaPNGImageInfo{}; }

// Leaves the record owning nothing, with every pointer null and every count 0, so a second
// release is harmless even though callers initialise again before reuse.
void image_info_release(VelaPNGImageInfo* info) {
  pixel_format_release(&info->pixel_format);
  free_strings(info->text_keys, info->text_count);
  free_strings(info->text_values, info->text_count);
  info->text_keys = info->text_values = nullptr;
  info->text_count = 0;
  free_strings(info->itext_keys, info->itext_count);
  free_strings(info->itext_languages, info->itext_count);
  free_strings(info->itext_translated_keys, info->itext_count);
  free_strings(info->itext_values, info->itext_count);
  info->itext_keys = info->itext_languages = info->itext_translated_keys = info->itext_values = nullptr;
  info->itext_count = 0;
  forget_icc_profile(info);
  for (int i = 0; i < 3; ++i) {
    std::free(info->unknown_chunk_data[i]);
    info->unknown_chunk_data[i] = nullptr;
    info->unknown_chunk_size[i] = 0;
  }
}

uint32_t image_info_add_text(VelaPNGImageInfo* info, const char* key, const char* value) {
  char*** arrays[] = {&info->text_keys, &info->text_values};
  const char* const values[] = {key, value};
  return add_entry(arrays, values, 2, &info->text_count);
}

uint32_t image_info_add_itext(VelaPNGImageInfo* info, const char* key, const char* language, const char* translated_key,
                              const char* value) {
  char*** arrays[] = {&info->itext_keys, &info->itext_languages, &info->itext_translated_keys, &info->itext_values};
  const char* const values[] = {key, language, translated_key, value};
  return add_entry(arrays, values, 4, &info->itext_count);
}

}  // namespace velapng
