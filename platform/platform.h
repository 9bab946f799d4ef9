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
#include <windows.h>
// UTF-16 literal of the platform's WCHAR.
#define VELAPNG_W(text) L##text
// Exports are listed in the module-definition file on Windows.
#define VELAPNG_EXPORT
#else
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

}  // namespace velapng

static_assert(sizeof(WCHAR) == 2, "boundary text is 16-bit code units on every platform");
static_assert(sizeof(BITMAPINFOHEADER) == 40, "the host's BITMAPINFOHEADER is 40 bytes");
