// Metadata forwarding: the plug-in reads no metadata itself. Each call loads the metadata
// library anew (it stays loaded) and passes its arguments through unchanged. The queries
// hold a mutex of their own around the call, which excludes no other call; whatever
// exclusion the library needs is its own.
#include "plugin/companions.h"
#include "plugin/runtime_steps.h"

namespace velapng {
namespace {
constexpr int32_t kQueryPathUnits = 1024;
constexpr int32_t kReleasePathUnits = 512;
}  // namespace
}  // namespace velapng

using namespace velapng;

// A base directory too long for the library's name counts as a library that can't be
// loaded, in all three calls.
extern "C" int32_t GetImageMetaValue(const WCHAR* pFileName, const char* pKey, void* pValueData, void* pValue) {
  WCHAR path[kQueryPathUnits] = {};
  const auto query = find_metadata_function<PfnMetaValueQuery>(path, kQueryPathUnits, "GetImageMetaValue");
  if (query == nullptr) return 0;
  return call_under_own_mutex(0, [&] { return query(pFileName, pKey, pValueData, pValue); });
}

extern "C" int32_t GetImageMetaValueFromMemData(const uint8_t* pData, int32_t nSize, const char* pKey, void* pValueData,
                                                void* pValue) {
  WCHAR path[kQueryPathUnits] = {};
  const auto query =
      find_metadata_function<PfnMetaValueQueryFromMemData>(path, kQueryPathUnits, "GetImageMetaValueFromMemData");
  if (query == nullptr) return 0;
  return call_under_own_mutex(0, [&] { return query(pData, nSize, pKey, pValueData, pValue); });
}

extern "C" int32_t ReleaseImageMetaValue(int32_t nKind, void* pFileName) {
  if (pFileName == nullptr) {
    LogPrintf(VELAPNG_W("PNG_ReleaseImageMetaValue, pFileName is NULL"));
    return 0;
  }
  WCHAR path[kReleasePathUnits] = {};
  GetBaseDirectory(path, kReleasePathUnits);
  HMODULE library = append_to_directory(path, kReleasePathUnits, kMetadataLibrary) ? LoadLibraryW(path) : nullptr;
  if (library == nullptr) {
    LogPrintf(VELAPNG_W("PNG_ReleaseImageMetaValue, Load PicFacts.dylib Failed"));
    return 0;
  }
  const auto release = find_function<PfnReleaseMetaValue>(library, "ReleaseImageMetaValue");
  if (release == nullptr) {
    LogPrintf(VELAPNG_W("PNG_ReleaseImageMetaValue, Load GetImageMetaValue Failed"));
    return 0;
  }
  return release(nKind, pFileName);
}
