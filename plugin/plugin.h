// The plug-in's face to the host: the descriptor table, the host's image record and the
// eight exports. Everything here is laid out byte for byte as the host reads it.
//
// Contract of the exports:
// - Nothing is kept between calls; each call creates what it needs and releases it before
//   returning. The only lasting effect is that a companion library, once loaded, stays.
// - The loads return exactly 1 (decoded into the host's memory) or 0; the decoder's result
//   codes never cross this boundary. The information and metadata calls return the
//   metadata library's result, 0 when none is obtained.
// - The host owns the HostImage, its pixel memory and header, file names and data buffers.
// - Any export may be called from several threads at once; nothing mutable is shared.
// - No exception leaves an export. A standard mutex that fails to lock raises the standard
//   library's error, which the call turns into its ordinary failure result; a failed
//   allocation anywhere gives that result too, with everything released.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

// The host's image record, as far as the plug-in reads and writes it.
struct HostImage {
  uint8_t hostReserved0[8];  // the host's; never touched
  int32_t nStride;           // bytes per row; written only by an unrotated Image32LoadFile
  uint8_t hostReserved1[4];  // the host's; never touched
  uint8_t* pBits;            // width * height * 4 bytes of BGRA pixels, top row first
  BITMAPINFOHEADER* pInfoHeader;
};

static_assert(offsetof(HostImage, nStride) == 8);
static_assert(offsetof(HostImage, pBits) == 16);
static_assert(offsetof(HostImage, pInfoHeader) == 24);
static_assert(sizeof(HostImage) == 32);

using PfnImage32LoadFile = int32_t (*)(HostImage* pImage, const WCHAR* pFileName, int32_t nAngle);
using PfnImageGetInfo = int32_t (*)(const WCHAR* pFileName, uint32_t* pWidth, uint32_t* pHeight, void* pOrientation);
using PfnGetImageMetaValue = int32_t (*)(const WCHAR* pFileName, const char* pKey, void* pValueData, void* pValue);
using PfnImage32LoadFromMemData = int32_t (*)(HostImage* pImage, const uint8_t* pData, int32_t nSize, int32_t nAngle);
using PfnImageGetInfoFromMemData = int32_t (*)(const uint8_t* pData, int32_t nSize, uint32_t* pWidth, uint32_t* pHeight,
                                               void* pOrientation);
using PfnGetImageMetaValueFromMemData = int32_t (*)(const uint8_t* pData, int32_t nSize, const char* pKey,
                                                    void* pValueData, void* pValue);
using PfnReleaseImageMetaValue = int32_t (*)(int32_t nKind, void* pFileName);

// One 320-byte descriptor. The table holds the PNG entry and then an all-zero terminator.
struct DecoderPluginEntry {
  WCHAR szFormatName[128];  // "PNG", zero units after it
  char szFourCC[4];         // "PNG " with a trailing space, no NUL
  uint32_t nReserved;       // zero
  PfnImage32LoadFile pfnImage32LoadFile;
  PfnImageGetInfo pfnImageGetInfo;
  PfnGetImageMetaValue pfnGetImageMetaValue;
  PfnImage32LoadFromMemData pfnImage32LoadFromMemData;
  PfnImageGetInfoFromMemData pfnImageGetInfoFromMemData;
  PfnGetImageMetaValueFromMemData pfnGetImageMetaValueFromMemData;
  PfnReleaseImageMetaValue pfnReleaseImageMetaValue;
};

static_assert(offsetof(DecoderPluginEntry, szFourCC) == 256);
static_assert(offsetof(DecoderPluginEntry, nReserved) == 260);
static_assert(offsetof(DecoderPluginEntry, pfnImage32LoadFile) == 264);
static_assert(offsetof(DecoderPluginEntry, pfnImageGetInfo) == 272);
static_assert(offsetof(DecoderPluginEntry, pfnGetImageMetaValue) == 280);
static_assert(offsetof(DecoderPluginEntry, pfnImage32LoadFromMemData) == 288);
static_assert(offsetof(DecoderPluginEntry, pfnImageGetInfoFromMemData) == 296);
static_assert(offsetof(DecoderPluginEntry, pfnGetImageMetaValueFromMemData) == 304);
static_assert(offsetof(DecoderPluginEntry, pfnReleaseImageMetaValue) == 312);
static_assert(sizeof(DecoderPluginEntry) == 320);

extern "C" {

// The constant two-entry table; the same address on every call.
VELAPNG_EXPORT const DecoderPluginEntry* GetImageDecoderPluginArray();

// Decode into pImage->pBits as BGRA, turned by nAngle (0, 90, 180 or 270, clockwise as seen
// on screen). An unrotated file load also fills nStride and the header; nothing else does.
VELAPNG_EXPORT int32_t Image32LoadFile(HostImage* pImage, const WCHAR* pFileName, int32_t nAngle);
VELAPNG_EXPORT int32_t Image32LoadFromMemData(HostImage* pImage, const uint8_t* pData, int32_t nSize, int32_t nAngle);

// Width and height as stored (never swapped); the result and *pOrientation come from the
// metadata library's "Orientation" query, made only for a valid header of depth 8 or 16.
VELAPNG_EXPORT int32_t ImageGetInfo(const WCHAR* pFileName, uint32_t* pWidth, uint32_t* pHeight, void* pOrientation);
VELAPNG_EXPORT int32_t ImageGetInfoFromMemData(const uint8_t* pData, int32_t nSize, uint32_t* pWidth, uint32_t* pHeight,
                                               void* pOrientation);

// Passed straight through to the metadata library's functions of the same names.
VELAPNG_EXPORT int32_t GetImageMetaValue(const WCHAR* pFileName, const char* pKey, void* pValueData, void* pValue);
VELAPNG_EXPORT int32_t GetImageMetaValueFromMemData(const uint8_t* pData, int32_t nSize, const char* pKey,
                                                    void* pValueData, void* pValue);
VELAPNG_EXPORT int32_t ReleaseImageMetaValue(int32_t nKind, void* pFileName);

}  // extern "C"
