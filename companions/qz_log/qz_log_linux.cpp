// Linux: the library finds itself with dladdr; names are UTF-8 on the way to the system.
#include <dlfcn.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "companions/qz_log/qz_log_platform.h"

namespace qz_log {

namespace {

void anchor() {}  // any address inside this library identifies it to dladdr

WString from_utf8(const std::string& text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  WString out(static_cast<size_t>(units), WCHAR{0});
  if (units > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), length, out.data(), units);
  return out;
}

std::string to_utf8(const WString& text) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), bytes, nullptr, nullptr);
  out.pop_back();  // the NUL
  return out;
}

}  // namespace

const WCHAR kSeparator = '/';

WString module_directory() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&anchor), &info) == 0 || info.dli_fname == nullptr) return VELAPNG_W(".");
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved) == nullptr) return VELAPNG_W(".");
  const std::string path(resolved);
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? VELAPNG_W(".") : from_utf8(path.substr(0, slash));
}

WString environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? from_utf8(value) : WString{};
}

std::FILE* open_for_append(const WString& path) { return std::fopen(to_utf8(path).c_str(), "ab"); }

}  // namespace qz_log
