// Stand-in for the metadata library. It answers from the image's eXIf chunk (a TIFF
// structure in either byte order) and knows two keys:
//
// "Orientation" — result: the EXIF orientation 1..8 from the first image directory, or 0
//   when the image can't be read, has no eXIf chunk, or no valid orientation. When pValue
//   is not null the same value is stored there as a signed 32-bit integer. pValueData is
//   not touched and nothing is allocated.
// "Exif" — result: 1 when the image has an eXIf chunk, else 0. When pValueData is not null,
//   *(void**)pValueData receives a malloc'ed copy of the chunk's data, which the caller hands
//   back to ReleaseImageMetaValue(kExifBlock, pointer); when pValue is not null it receives
//   the byte count as a signed 32-bit integer.
// Any other key: result 0, nothing written.
//
// ReleaseImageMetaValue(nKind, p) frees what a query handed out: 1 when it freed p (nKind
// kExifBlock, p not null), else 0. All three functions may be called from several threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "abi/companions.h"

namespace picfacts {

inline constexpr int32_t kExifBlock = 1;

// Orientation 1..8 from a TIFF structure, or 0.
int32_t tiff_orientation(const uint8_t* tiff, size_t size);

// Reads `size` bytes at `offset` of an image into `out`; false when they are not there.
using ReadAt = bool (*)(void* source, uint64_t offset, size_t size, uint8_t* out);

// Finds the first eXIf chunk of a PNG (signature checked, CRCs not) and reports where its
// data lies. False when there is none before IEND or the chunk structure ends early.
bool find_exif(ReadAt read, void* source, uint64_t* offset, uint32_t* length);

}  // namespace picfacts

// The library's own surface (abi/companions.h has the types the plug-in calls it by).
extern "C" {
VELAPNG_EXPORT int32_t GetImageMetaValue(const WCHAR* pFileName, const char* pKey, void* pValueData, void* pValue);
VELAPNG_EXPORT int32_t GetImageMetaValueFromMemData(const uint8_t* pData, int32_t nSize, const char* pKey,
                                                    void* pValueData, void* pValue);
VELAPNG_EXPORT int32_t ReleaseImageMetaValue(int32_t nKind, void* pFileName);
}

// The plug-in calls these through the ABI's types: they must be exactly those.
static_assert(std::is_same_v<decltype(&GetImageMetaValue), PfnMetaValueQuery>);
static_assert(std::is_same_v<decltype(&GetImageMetaValueFromMemData), PfnMetaValueQueryFromMemData>);
static_assert(std::is_same_v<decltype(&ReleaseImageMetaValue), PfnReleaseMetaValue>);
