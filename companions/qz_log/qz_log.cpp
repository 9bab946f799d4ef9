// Stand-in for the log and path library.
//
// LogPrintf formats its UTF-16 text (%d takes a signed 32-bit value, %% a percent sign;
// anything else after % is copied as it stands), converts it to UTF-8 and appends it to the
// log file, adding a line feed when the text does not end with one. The file is
// $QZ_LOG_FILE, or QZ_Log.txt beside this library. Calls from several threads append whole
// lines.
//
// GetBaseDirectory reports $QZ_BASE_DIRECTORY when it is set and not empty, otherwise the
// directory this library lies in; trailing separators ('/' or '\') are dropped. A directory
// that does not fit the caller's capacity is reported as the empty string, which leads to
// no library.
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

#include "companions/qz_log/qz_log_platform.h"
#include "plugin/companions.h"

namespace {

using qz_log::WString;

std::mutex log_mutex;

WString log_path() {
  WString configured = qz_log::environment("QZ_LOG_FILE");
  if (!configured.empty()) return configured;
  return qz_log::module_directory() + qz_log::kSeparator + VELAPNG_W("QZ_Log.txt");
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

WString base_directory() {
  WString directory = qz_log::environment("QZ_BASE_DIRECTORY");
  if (directory.empty()) directory = qz_log::module_directory();
  while (!directory.empty() && (directory.back() == '/' || directory.back() == '\\')) directory.pop_back();
  return directory;
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
    if (std::FILE* file = qz_log::open_for_append(path)) {
      std::fwrite(line.data(), 1, line.size(), file);
      std::fclose(file);
    }
  } catch (...) {
    // A log line that can't be built is dropped; the caller relies only on the return.
  }
}

extern "C" VELAPNG_EXPORT void GetBaseDirectory(WCHAR* buffer, int32_t capacity) {
  if (buffer == nullptr || capacity <= 0) return;
  buffer[0] = 0;
  try {
    const WString directory = base_directory();
    if (directory.size() + 1 > static_cast<size_t>(capacity)) return;
    for (size_t i = 0; i < directory.size(); ++i) buffer[i] = directory[i];
    buffer[directory.size()] = 0;
  } catch (...) {
    // Leaves the empty directory.
  }
}
