// What the plug-in uses of the Windows API, for the native Linux build: dynamic loading,
// conversion between UTF-16 and multibyte text, the bitmap handle and the 40-byte
// BITMAPINFOHEADER.
// Only what the plug-in, its stand-in companions and the reference host call; include
// platform/platform.h rather than this file.
#pragma once

#include <cstddef>
#include <cstdint>

using WCHAR = char16_t;
using BOOL = int;
using BYTE = uint8_t;
using WORD = uint16_t;
using UINT = uint32_t;
using DWORD = uint32_t;
using LONG = int32_t;
using HMODULE = void*;
using HGDIOBJ = void*;
using HBITMAP = void*;
using FARPROC = void (*)();

// The multibyte code page is UTF-8 on Linux, so CP_ACP and CP_UTF8 convert alike.
inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_UTF8 = 65001;
inline constexpr DWORD BI_RGB = 0;

struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};

static_assert(offsetof(BITMAPINFOHEADER, biWidth) == 4);
static_assert(offsetof(BITMAPINFOHEADER, biHeight) == 8);
static_assert(offsetof(BITMAPINFOHEADER, biPlanes) == 12);
static_assert(offsetof(BITMAPINFOHEADER, biBitCount) == 14);
static_assert(offsetof(BITMAPINFOHEADER, biCompression) == 16);
static_assert(offsetof(BITMAPINFOHEADER, biSizeImage) == 20);
static_assert(offsetof(BITMAPINFOHEADER, biClrImportant) == 36);
static_assert(sizeof(BITMAPINFOHEADER) == 40);

// dlopen of the UTF-8 form of the path, with every '\' taken as a separator ('/'), so
// names built Windows-style ("dir\QZ_Image.dll") load. Null when the library can't load,
// or its name is longer than PATH_MAX bytes in UTF-8. Allocates nothing itself.
HMODULE LoadLibraryW(const WCHAR* file_name);
// dlsym; null for a null module or a missing name.
FARPROC GetProcAddress(HMODULE module, const char* name);
// UTF-16 to UTF-8 (CP_ACP or CP_UTF8). wide_count -1 converts through the terminating NUL.
// out_capacity 0 asks for the size needed; otherwise the whole result is written, or
// nothing and 0 when it does not fit. Text with an unpaired surrogate converts to nothing
// (0), as Windows' WC_ERR_INVALID_CHARS has it: no file or library is named by it.
int WideCharToMultiByte(UINT code_page, DWORD flags, const WCHAR* wide, int wide_count, char* out, int out_capacity,
                        const char* default_char, BOOL* used_default);
// UTF-8 to UTF-16 (CP_ACP or CP_UTF8), the way back for the stand-ins, the host and the
// tests. byte_count -1 converts through the terminating NUL. wide_capacity 0 asks for the
// units needed; otherwise the whole result is written, or nothing and 0 when it does not
// fit. A byte that starts no valid sequence (overlong forms and surrogates included)
// becomes U+FFFD.
int MultiByteToWideChar(UINT code_page, DWORD flags, const char* text, int byte_count, WCHAR* wide, int wide_capacity);
// No GDI objects exist on Linux; TRUE for a non-null handle, as nothing is left to free.
BOOL DeleteObject(HGDIOBJ object);
