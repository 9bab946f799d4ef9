// The Linux side of platform.h: dlopen/dlsym and UTF-8 in both directions.
#include "platform/linux_platform.h"

#include <dlfcn.h>

#include <climits>
#include <cstring>

namespace {

bool is_high_surrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

constexpr size_t kNotUtf16 = SIZE_MAX;

// Encodes `count` UTF-16 units. Returns the bytes needed, or kNotUtf16 at an unpaired
// surrogate; writes them only when `out` is not null (the caller has measured first, so
// the room is there and the text converts). Replacing the surrogate instead would turn
// the name into another one, which may exist.
size_t encode_utf8(const WCHAR* in, size_t count, char* out) {
  size_t used = 0;
  auto put = [&](uint32_t byte) {
    if (out != nullptr) out[used] = static_cast<char>(byte);
    ++used;
  };
  for (size_t i = 0; i < count; ++i) {
    uint32_t code = in[i];
    if (is_high_surrogate(code) && i + 1 < count && is_low_surrogate(in[i + 1])) {
      code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<uint32_t>(in[i + 1]) - 0xDC00);
      ++i;
    } else if (is_high_surrogate(code) || is_low_surrogate(code)) {
      return kNotUtf16;
    }
    if (code < 0x80) {
      put(code);
    } else if (code < 0x800) {
      put(0xC0 | (code >> 6));
      put(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      put(0xE0 | (code >> 12));
      put(0x80 | ((code >> 6) & 0x3F));
      put(0x80 | (code & 0x3F));
    } else {
      put(0xF0 | (code >> 18));
      put(0x80 | ((code >> 12) & 0x3F));
      put(0x80 | ((code >> 6) & 0x3F));
      put(0x80 | (code & 0x3F));
    }
  }
  return used;
}

// Decodes one UTF-8 sequence at text[0..count) into *code; returns its length, or 0 when
// text[0] starts no valid sequence.
size_t decode_utf8(const unsigned char* text, size_t count, uint32_t* code) {
  const uint32_t lead = text[0];
  if (lead < 0x80) {
    *code = lead;
    return 1;
  }
  size_t length = 0;
  uint32_t value = 0;
  uint32_t smallest = 0;  // below it the form is overlong
  if ((lead & 0xE0) == 0xC0) length = 2, value = lead & 0x1F, smallest = 0x80;
  else if ((lead & 0xF0) == 0xE0) length = 3, value = lead & 0x0F, smallest = 0x800;
  else if ((lead & 0xF8) == 0xF0) length = 4, value = lead & 0x07, smallest = 0x10000;
  else return 0;
  if (length > count) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((text[k] & 0xC0) != 0x80) return 0;
    value = value << 6 | (text[k] & 0x3Fu);
  }
  if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *code = value;
  return length;
}

// Decodes `count` bytes. Returns the UTF-16 units needed; writes them only when `out` is
// not null (the caller has checked the room).
size_t decode_utf16_units(const char* in, size_t count, WCHAR* out) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(in);
  size_t used = 0;
  auto put = [&](uint32_t unit) {
    if (out != nullptr) out[used] = static_cast<WCHAR>(unit);
    ++used;
  };
  for (size_t i = 0; i < count;) {
    uint32_t code = 0xFFFD;
    const size_t length = decode_utf8(bytes + i, count - i, &code);
    i += length == 0 ? 1 : length;
    if (code >= 0x10000) {
      put(0xD800 + ((code - 0x10000) >> 10));
      put(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      put(code);
    }
  }
  return used;
}

size_t wide_length(const WCHAR* text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

}  // namespace

// The name is converted on the stack: the plug-in reaches the metadata library through here
// to hand back a block it gave the host, which must not fail for want of memory. A name
// longer than PATH_MAX could not be opened anyway.
HMODULE LoadLibraryW(const WCHAR* file_name) {
  if (file_name == nullptr) return nullptr;
  const size_t units = wide_length(file_name) + 1;
  char path[PATH_MAX];
  if (encode_utf8(file_name, units, nullptr) > sizeof path) return nullptr;  // kNotUtf16 included
  encode_utf8(file_name, units, path);
  for (char* c = path; *c != 0; ++c)
    if (*c == '\\') *c = '/';
  return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

FARPROC GetProcAddress(HMODULE module, const char* name) {
  // dlsym(null) would search the whole process; a failed load must find nothing.
  if (module == nullptr || name == nullptr) return nullptr;
  void* symbol = dlsym(module, name);
  FARPROC function = nullptr;
  static_assert(sizeof function == sizeof symbol);
  std::memcpy(&function, &symbol, sizeof function);
  return function;
}

int WideCharToMultiByte(UINT code_page, DWORD flags, const WCHAR* wide, int wide_count, char* out, int out_capacity,
                        const char* default_char, BOOL* used_default) {
  (void)flags;
  (void)default_char;
  if (used_default != nullptr) *used_default = 0;
  if ((code_page != CP_ACP && code_page != CP_UTF8) || wide == nullptr || wide_count == 0 || wide_count < -1 ||
      out_capacity < 0)
    return 0;
  const size_t units = wide_count == -1 ? wide_length(wide) + 1 : static_cast<size_t>(wide_count);
  const size_t needed = encode_utf8(wide, units, nullptr);
  if (needed > 0x7FFFFFFF) return 0;  // kNotUtf16 included
  if (out_capacity == 0) return static_cast<int>(needed);
  if (out == nullptr || needed > static_cast<size_t>(out_capacity)) return 0;
  encode_utf8(wide, units, out);
  return static_cast<int>(needed);
}

int MultiByteToWideChar(UINT code_page, DWORD flags, const char* text, int byte_count, WCHAR* wide, int wide_capacity) {
  (void)flags;
  if ((code_page != CP_ACP && code_page != CP_UTF8) || text == nullptr || byte_count == 0 || byte_count < -1 ||
      wide_capacity < 0)
    return 0;
  const size_t bytes = byte_count == -1 ? std::strlen(text) + 1 : static_cast<size_t>(byte_count);
  const size_t needed = decode_utf16_units(text, bytes, nullptr);
  if (needed > 0x7FFFFFFF) return 0;
  if (wide_capacity == 0) return static_cast<int>(needed);
  if (wide == nullptr || needed > static_cast<size_t>(wide_capacity)) return 0;
  decode_utf16_units(text, bytes, wide);
  return static_cast<int>(needed);
}

BOOL DeleteObject(HGDIOBJ object) { return object != nullptr ? 1 : 0; }
