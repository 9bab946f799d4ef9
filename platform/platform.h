// The one header that knows which platform it is built for. Windows brings its own
// declarations; the native Linux build gets the few it needs from linux_platform.h, so the
// plug-in's code reads the same on both.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>
// UTF-16 literal of the platform's WCHAR.
#define VELAPNG_W(text) L##text
// Exports are listed in the module-definition file on Windows.
#define VELAPNG_EXPORT
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/linux_platform.h"
#define VELAPNG_W(text) u##text
#define VELAPNG_EXPORT __attribute__((visibility("default")))
#endif

#include <cstdint>
#include <cstdio>

namespace velapng {

// File positions in 64 bits on both: the runtime's ftell returns a long, which is 32 bits on
// Windows, and msvcrt hands back a size past 4 GiB wrapped (a 4 GiB + 16 byte file as 16).
inline int seek_to_end(std::FILE* file) {
#ifdef _WIN32
  return _fseeki64(file, 0, SEEK_END);
#else
  return fseeko(file, 0, SEEK_END);
#endif
}

inline int64_t file_position(std::FILE* file) {
#ifdef _WIN32
  return _ftelli64(file);
#else
  return ftello(file);
#endif
}

// Opens a file for reading only when it is a regular file; anything else gives null without
// waiting. A viewer's thread must never hang on a name: on Linux opening a FIFO waits for a
// writer, on Windows a device name (CON, \\.\pipe\...) opens a console or a pipe whose reads
// wait for input. The opened descriptor or handle is what is tested, so nothing can be
// swapped in between the test and the read.
inline std::FILE* open_regular_file(const char* path) {
#ifdef _WIN32
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return nullptr;
  if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) != FILE_TYPE_DISK) {
    std::fclose(file);
    return nullptr;
  }
  return file;
#else
  const int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return nullptr;
  struct stat status {};
  std::FILE* file = nullptr;
  if (fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) &&
      fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK) == 0)
    file = fdopen(descriptor, "rb");
  if (file == nullptr) close(descriptor);
  return file;
#endif
}

}  // namespace velapng

static_assert(sizeof(WCHAR) == 2, "boundary text is 16-bit code units on every platform");
static_assert(sizeof(BITMAPINFOHEADER) == 40, "the host's BITMAPINFOHEADER is 40 bytes");
