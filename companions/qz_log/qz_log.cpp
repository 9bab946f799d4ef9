// Stand-in for the log and path library.
//
// LogPrintf formats its UTF-16 text (%d takes a signed 32-bit value, %% a percent sign;
// anything else after % is copied as it stands), converts it to UTF-8 and appends it to the
// log file, adding a line feed when the text does not end with one. The file is
// $QZ_LOG_FILE, or QZ_Log.txt beside this library. Calls from several threads append whole
// lines.
//
// GetBaseDirectory reports $QZ_BASE_DIRECTORY when it is set and not empty, otherwise the
// directory this library lies in; trailing separators are dropped. A directory that does
// not fit the caller's capacity is reported as the empty string, which leads to no library.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "companions/qz_log/module_directory.h"
#include "plugin/companions.h"

namespace {

std::mutex log_mutex;

std::string log_path() {
  const char* configured = std::getenv("QZ_LOG_FILE");
  if (configured != nullptr && *configured != 0) return configured;
  return qz_log::module_directory() + "/QZ_Log.txt";
}

std::basic_string<WCHAR> format_text(const WCHAR* format, va_list args) {
  std::basic_string<WCHAR> text;
  for (const WCHAR* c = format; *c != 0; ++c) {
    if (*c != '%') {
      text.push_back(*c);
    } else if (c[1] == 'd') {
      const std::string number = std::to_string(va_arg(args, int32_t));
      text.append(number.begin(), number.end());
      ++c;
    } else if (c[1] == '%') {
      text.push_back('%');
      ++c;
    } else {
      text.push_back(*c);
    }
  }
  if (text.empty() || text.back() != '\n') text.push_back('\n');
  return text;
}

std::string to_utf8(const std::basic_string<WCHAR>& text) {
  const int units = static_cast<int>(text.size());
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(bytes), '\0');
  if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), units, out.data(), bytes, nullptr, nullptr);
  return out;
}

// UTF-8 to UTF-16; a byte that starts no valid sequence becomes U+FFFD.
std::basic_string<WCHAR> to_utf16(const std::string& text) {
  std::basic_string<WCHAR> out;
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t extra = 0;
    uint32_t code = lead;
    if ((lead & 0xE0u) == 0xC0u) {
      extra = 1;
      code = lead & 0x1Fu;
    } else if ((lead & 0xF0u) == 0xE0u) {
      extra = 2;
      code = lead & 0x0Fu;
    } else if ((lead & 0xF8u) == 0xF0u) {
      extra = 3;
      code = lead & 0x07u;
    }
    bool valid = lead < 0x80u || extra > 0;
    valid = valid && i + extra < text.size();
    for (size_t k = 1; valid && k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0u) == 0x80u;
      code = (code << 6) | (next & 0x3Fu);
    }
    if (!valid) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      out.push_back(static_cast<WCHAR>(0xD800 + ((code - 0x10000) >> 10)));
      out.push_back(static_cast<WCHAR>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<WCHAR>(code));
    }
    i += extra + 1;
  }
  return out;
}

std::string base_directory() {
  const char* configured = std::getenv("QZ_BASE_DIRECTORY");
  std::string directory = configured != nullptr && *configured != 0 ? configured : qz_log::module_directory();
  while (!directory.empty() && directory.back() == '/') directory.pop_back();
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
    const std::string path = log_path();
    std::lock_guard<std::mutex> lock(log_mutex);
    if (std::FILE* file = std::fopen(path.c_str(), "ab")) {
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
    const std::basic_string<WCHAR> directory = to_utf16(base_directory());
    if (directory.size() + 1 > static_cast<size_t>(capacity)) return;
    for (size_t i = 0; i < directory.size(); ++i) buffer[i] = directory[i];
    buffer[directory.size()] = 0;
  } catch (...) {
    // Leaves the empty directory.
  }
}
