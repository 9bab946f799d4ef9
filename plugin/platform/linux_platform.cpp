// The Linux side of platform.h: dlopen/dlsym and a UTF-16 to UTF-8 encoder.
#include "plugin/platform/linux_platform.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

namespace {

bool is_high_surrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Encodes `count` UTF-16 units. Returns the bytes needed; writes them only when `out` is
// not null (the caller has checked the room).
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
      code = 0xFFFD;
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

size_t wide_length(const WCHAR* text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

}  // namespace

HMODULE LoadLibraryW(const WCHAR* file_name) {
  if (file_name == nullptr) return nullptr;
  const size_t units = wide_length(file_name) + 1;
  char* path = static_cast<char*>(std::malloc(units * 3));  // a unit never needs more than 3 bytes
  if (path == nullptr) return nullptr;
  encode_utf8(file_name, units, path);
  for (char* c = path; *c != 0; ++c)
    if (*c == '\\') *c = '/';
  HMODULE module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  std::free(path);
  return module;
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

int WideCharToMultiByte(UINT code_page, DWORD flags, const WCHAR* wide, int wide_count, char* out,
                        int out_capacity, const char* default_char, BOOL* used_default) {
  (void)flags;
  (void)default_char;
  if (used_default != nullptr) *used_default = 0;
  if ((code_page != CP_ACP && code_page != CP_UTF8) || wide == nullptr || wide_count == 0 || wide_count < -1 ||
      out_capacity < 0)
    return 0;
  const size_t units = wide_count == -1 ? wide_length(wide) + 1 : static_cast<size_t>(wide_count);
  const size_t needed = encode_utf8(wide, units, nullptr);
  if (needed > 0x7FFFFFFF) return 0;
  if (out_capacity == 0) return static_cast<int>(needed);
  if (out == nullptr || needed > static_cast<size_t>(out_capacity)) return 0;
  encode_utf8(wide, units, out);
  return static_cast<int>(needed);
}

BOOL DeleteObject(HGDIOBJ object) { return object != nullptr ? 1 : 0; }
