// The metadata library that knows nothing: records each call and returns the chosen result.
#include "tests/plugin/fakes/recording.h"

namespace {
fakes::Journal<fakes::MetaCall> journal;
}

extern "C" VELAPNG_EXPORT int32_t GetImageMetaValue(const WCHAR* pFileName, const char* pKey, void* pValueData,
                                                    void* pValue) {
  return journal.record(
      {.function = fakes::kQuery, .file_name = pFileName, .key = pKey, .value_data = pValueData, .value = pValue});
}

extern "C" VELAPNG_EXPORT int32_t GetImageMetaValueFromMemData(const uint8_t* pData, int32_t nSize, const char* pKey,
                                                               void* pValueData, void* pValue) {
  return journal.record({.function = fakes::kQueryFromMemory,
                         .key = pKey,
                         .data = pData,
                         .size = nSize,
                         .value_data = pValueData,
                         .value = pValue});
}

extern "C" VELAPNG_EXPORT int32_t ReleaseImageMetaValue(int32_t nKind, void* pFileName) {
  return journal.record({.function = fakes::kRelease, .kind = nKind, .release_pointer = pFileName});
}

extern "C" VELAPNG_EXPORT void fake_reset(int32_t result) { journal.reset(result); }
extern "C" VELAPNG_EXPORT int32_t fake_count() { return journal.count(); }
extern "C" VELAPNG_EXPORT bool fake_call(int32_t index, fakes::MetaCall* call) { return journal.copy(index, call); }
