// What the plug-in and the three companion libraries of the same maker agree on: the log and
// path library's two functions (imported by ordinal on Windows, abi/QZ_Log.def), the rotate
// function of the image-operations library with its argument records, and the metadata
// library's three functions, which take exactly the argument lists of the plug-in's exports
// of the same names. Our stand-ins and the plug-in's bindings compile against this alone.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Arguments of the rotate function, passed by value.
struct ImgSize {
  int32_t width;
  int32_t height;
};

struct ImgRect {
  int32_t x;
  int32_t y;
  int32_t width;
  int32_t height;
};

static_assert(sizeof(ImgSize) == 8);
static_assert(sizeof(ImgRect) == 16);

// Turns the source region by `angle` degrees about (xCenter, yCenter) into the destination
// region; 0 on success, anything else when it did not.
using PfnRotateCenter = int32_t (*)(const uint8_t* pSrc, ImgSize srcSize, int32_t srcStep, ImgRect srcRoi,
                                    uint8_t* pDst, int32_t dstStep, ImgRect dstRoi, double angle, double xCenter,
                                    double yCenter, int32_t interpolation);

extern "C" {
// Log and path library. A printf-style UTF-16 format; each %d takes a signed 32-bit value.
void LogPrintf(const WCHAR* format, ...);
// Fills `buffer` (zero-filled, `capacity` units) with the NUL-terminated base directory,
// without a trailing separator.
void GetBaseDirectory(WCHAR* buffer, int32_t capacity);
}

// The metadata library's three functions ("GetImageMetaValue", "GetImageMetaValueFromMemData",
// "ReleaseImageMetaValue"), found by name with GetProcAddress.
using PfnMetaValueQuery = int32_t (*)(const WCHAR* pFileName, const char* pKey, void* pValueData, void* pValue);
using PfnMetaValueQueryFromMemData = int32_t (*)(const uint8_t* pData, int32_t nSize, const char* pKey,
                                                 void* pValueData, void* pValue);
using PfnReleaseMetaValue = int32_t (*)(int32_t nKind, void* pValue);
