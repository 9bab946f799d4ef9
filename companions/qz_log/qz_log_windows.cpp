// Windows: the library finds itself from an address inside it; names stay UTF-16 all the
// way to the system, so no code page stands between a test's directory and the file.
#include <cstring>

#include "companions/qz_log/qz_log_platform.h"

namespace qz_log {

namespace {

void anchor() {}  // any address inside this library identifies its module

}  // namespace

const WCHAR kSeparator = L'\\';

WString module_directory() {
  HMODULE self = nullptr;
  const DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
  if (!GetModuleHandleExW(flags, reinterpret_cast<LPCWSTR>(&anchor), &self)) return L".";
  // The call truncates silently: a result that fills the buffer may be cut, so grow and retry.
  WString path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return L".";
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    if (path.size() >= 32768) return L".";
    path.resize(path.size() * 2);
  }
  const size_t separator = path.find_last_of(L"\\/");
  return separator == WString::npos ? L"." : path.substr(0, separator);
}

WString environment(const char* name) {
  WString wide_name(name, name + std::strlen(name));  // the variables' names are ASCII
  const DWORD units = GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
  if (units == 0) return {};
  WString value(units, L'\0');
  const DWORD length = GetEnvironmentVariableW(wide_name.c_str(), value.data(), units);
  value.resize(length < units ? length : 0);
  return value;
}

std::FILE* open_for_append(const WString& path) { return _wfopen(path.c_str(), L"ab"); }

}  // namespace qz_log
