// Windows: the library finds itself from an address inside it; names stay UTF-16 all the
// way to the system, so no code page stands between a test's directory and the file.
#include <iterator>

#include "companions/qz_log/qz_log_platform.h"

namespace qz_log {

namespace {

void anchor() {}  // any address inside this library identifies its module

size_t copy_dot(WCHAR* buffer, size_t capacity) {
  if (capacity < 2) return kDoesNotFit;
  buffer[0] = L'.';
  buffer[1] = 0;
  return 1;
}

}  // namespace

const WCHAR kSeparator = L'\\';

// The system truncates a file name that does not fit, without saying so other than by
// filling the whole buffer: a result that does not leave room for the NUL did not fit.
size_t module_directory(WCHAR* buffer, size_t capacity) {
  HMODULE self = nullptr;
  const DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
  if (!GetModuleHandleExW(flags, reinterpret_cast<LPCWSTR>(&anchor), &self)) return copy_dot(buffer, capacity);
  const DWORD room = capacity > 32768 ? 32768 : static_cast<DWORD>(capacity);
  const DWORD length = GetModuleFileNameW(self, buffer, room);
  if (length == 0) return copy_dot(buffer, capacity);
  if (length >= room) return kDoesNotFit;
  size_t separator = length;
  while (separator > 0 && buffer[separator - 1] != L'\\' && buffer[separator - 1] != L'/') --separator;
  if (separator == 0) return copy_dot(buffer, capacity);
  buffer[separator - 1] = 0;
  return separator - 1;
}

size_t environment(const char* name, WCHAR* buffer, size_t capacity) {
  WCHAR wide_name[64] = {};  // the variables' names are short ASCII
  for (size_t i = 0; name[i] != 0 && i + 1 < std::size(wide_name); ++i) wide_name[i] = static_cast<WCHAR>(name[i]);
  const DWORD room = capacity > 32768 ? 32768 : static_cast<DWORD>(capacity);
  // The value's length without its NUL when it fits; the units it needs, NUL included, when not.
  const DWORD length = GetEnvironmentVariableW(wide_name, buffer, room);
  if (length == 0) return 0;
  return length < room ? length : kDoesNotFit;
}

std::FILE* open_for_append(const WCHAR* path) { return _wfopen(path, L"ab"); }

}  // namespace qz_log
