// Linux: the library finds itself with dladdr; names are UTF-8 on the way to the system.
#include <dlfcn.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "companions/qz_log/qz_log_platform.h"

namespace qz_log {

namespace {

void anchor() {}  // any address inside this library identifies it to dladdr

// NUL-terminated UTF-8 into `buffer`: its length in units, or kDoesNotFit.
size_t from_utf8(const char* text, WCHAR* buffer, size_t capacity) {
  const size_t bytes = std::strlen(text);
  if (bytes == 0) {
    buffer[0] = 0;
    return 0;
  }
  const int length = static_cast<int>(bytes);
  const int units = MultiByteToWideChar(CP_UTF8, 0, text, length, nullptr, 0);
  if (units <= 0 || static_cast<size_t>(units) >= capacity) return kDoesNotFit;
  MultiByteToWideChar(CP_UTF8, 0, text, length, buffer, units);
  buffer[units] = 0;
  return static_cast<size_t>(units);
}

}  // namespace

const WCHAR kSeparator = '/';

size_t module_directory(WCHAR* buffer, size_t capacity) {
  Dl_info info{};
  char resolved[PATH_MAX];
  if (dladdr(reinterpret_cast<void*>(&anchor), &info) == 0 || info.dli_fname == nullptr ||
      realpath(info.dli_fname, resolved) == nullptr)
    return from_utf8(".", buffer, capacity);
  char* slash = std::strrchr(resolved, '/');
  if (slash == nullptr) return from_utf8(".", buffer, capacity);
  *slash = 0;
  return from_utf8(resolved, buffer, capacity);
}

size_t environment(const char* name, WCHAR* buffer, size_t capacity) {
  const char* value = std::getenv(name);
  return value != nullptr ? from_utf8(value, buffer, capacity) : 0;
}

std::FILE* open_for_append(const WCHAR* path) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, path, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return nullptr;
  std::string name(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, path, -1, name.data(), bytes, nullptr, nullptr);
  return std::fopen(name.c_str(), "ab");
}

}  // namespace qz_log
