// Stand-in for the log and path library.
//
// LogPrintf formats its UTF-16 text (%d takes a signed 32-bit value, %% a percent sign;
// anything else after % is copied as it stands), converts it to UTF-8 and appends it to the
// log file, adding a line feed when the text does not end with one. The file is
// $QZ_LOG_FILE, or QZ_Log.txt beside this library. Calls from several threads append whole
// lines.
//
// GetBaseDirectory reports $QZ_BASE_DIRECTORY when it is set and not empty, otherwise the
// directory this library lies in; trailing separators ('/' or '\') are dropped. It writes
// straight into the caller's buffer and allocates nothing: the plug-in finds the metadata
// library through it to hand back a block the host holds, which must not fail for want of
// memory. A directory that does not fit the caller's capacity (before its trailing
// separators are dropped) is reported as the empty string, which leads to no library.
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

#include "abi/companions.h"
#include "companions/qz_log/qz_log_platform.h"

namespace {

using WString = std::basic_string<WCHAR>;

// Longest path the log file's name may have, in UTF-16 units with the NUL (Windows' limit).
constexpr size_t kLongestPath = 32768;

std::mutex log_mutex;

// Empty when the name does not fit.
WString log_path() {
  WString path(kLongestPath, WCHAR{0});
  size_t length = qz_log::environment("QZ_LOG_FILE", path.data(), path.size());
  const bool configured = length != 0;
  if (!configured) length = qz_log::module_directory(path.data(), path.size());
  if (length == qz_log::kDoesNotFit) return {};
  path.resize(length);
  if (!configured) path = path + qz_log::kSeparator + VELAPNG_W("QZ_Log.txt");
  return path;
}

WString format_text(const WCHAR* format, va_list args) {
  WString text;
  for (const WCHAR* c = format; *c != 0; ++c) {
    if (c[0] == '%' && c[1] == 'd') {
      const std::string number = std::to_string(va_arg(args, int32_t));
      text.append(number.begin(), number.end());
      ++c;
    } else if (c[0] == '%' && c[1] == '%') {
      text.push_back('%');
      ++c;
    } else {
      text.push_back(*c);  // a '%' before anything else stands for itself
    }
  }
  if (text.empty() || text.back() != '\n') text.push_back('\n');
  return text;
}

std::string to_utf8(const WString& text) {
  const int units = static_cast<int>(text.size());
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(bytes), '\0');
  if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), units, out.data(), bytes, nullptr, nullptr);
  return out;
}

}  // namespace

extern "C" VELAPNG_EXPORT void LogPrintf(const WCHAR* format, ...) {
  if (format == nullptr) return;
  try {
    va_list args;
    va_start(args, format);
    const std::string line = to_utf8(format_text(format, args));
    va_end(args);
    const WString path = log_path();
    std::lock_guard<std::mutex> lock(log_mutex);
    std::FILE* file = path.empty() ? nullptr : qz_log::open_for_append(path.c_str());
    if (file != nullptr) {
      std::fwrite(line.data(), 1, line.size(), file);
      std::fclose(file);
    }
  } catch (...) {
    // A log line that can't be built is dropped; the caller relies only on the return.
  }
}

extern "C" VELAPNG_EXPORT void GetBaseDirectory(WCHAR* buffer, int32_t capacity) {
  if (buffer == nullptr || capacity <= 0) return;
  const auto room = static_cast<size_t>(capacity);
  size_t length = qz_log::environment("QZ_BASE_DIRECTORY", buffer, room);
  if (length == 0) length = qz_log::module_directory(buffer, room);
  if (length == qz_log::kDoesNotFit) length = 0;
  while (length > 0 && (buffer[length - 1] == '/' || buffer[length - 1] == '\\')) --length;
  buffer[length] = 0;
}
