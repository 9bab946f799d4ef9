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
#include "plugin/platform/linux_platform.h"
#define VELAPNG_W(text) u##text
#define VELAPNG_EXPORT __attribute__((visibility("default")))
#endif

static_assert(sizeof(WCHAR) == 2, "boundary text is 16-bit code units on every platform");
static_assert(sizeof(BITMAPINFOHEADER) == 40, "the host's BITMAPINFOHEADER is 40 bytes");
