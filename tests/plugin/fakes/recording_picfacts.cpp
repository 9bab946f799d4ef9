// The metadata library that knows nothing: records each call and returns the chosen result.
#include <cstring>
#include <mutex>

#include "tests/plugin/fakes/recording.h"

namespace {

std::mutex guard;
fakes::MetaCall calls[fakes::kMaxCalls];
int32_t count = 0;
int32_t result = 0;

int32_t record(fakes::MetaCall call) {
  std::lock_guard<std::mutex> lock(guard);
  if (count < fakes::kMaxCalls) calls[count] = call;
  ++count;
  return result;
}

void copy_name(fakes::MetaCall* call, const WCHAR* name) {
  call->file_name_pointer = name;
  for (int i = 0; name != nullptr && i < 63 && name[i] != 0; ++i) call->file_name[i] = name[i];
}

void copy_key(fakes::MetaCall* call, const char* key) {
  call->key_pointer = key;
  if (key != nullptr) std::strncpy(call->key, key, sizeof call->key - 1);
}

}  // namespace

extern "C" VELAPNG_EXPORT int32_t GetImageMetaValue(const WCHAR* pFileName, const char* pKey, void* pValueData,
                                                    void* pValue) {
  fakes::MetaCall call{};
  call.function = fakes::kQuery;
  copy_name(&call, pFileName);
  copy_key(&call, pKey);
  call.value_data = pValueData;
  call.value = pValue;
  return record(call);
}

extern "C" VELAPNG_EXPORT int32_t GetImageMetaValueFromMemData(const uint8_t* pData, int32_t nSize, const char* pKey,
                                                               void* pValueData, void* pValue) {
  fakes::MetaCall call{};
  call.function = fakes::kQueryFromMemory;
  call.data = pData;
  call.size = nSize;
  copy_key(&call, pKey);
  call.value_data = pValueData;
  call.value = pValue;
  return record(call);
}

extern "C" VELAPNG_EXPORT int32_t ReleaseImageMetaValue(int32_t nKind, void* pFileName) {
  fakes::MetaCall call{};
  call.function = fakes::kRelease;
  call.kind = nKind;
  call.release_pointer = pFileName;
  return record(call);
}

extern "C" VELAPNG_EXPORT void fake_meta_reset(int32_t next_result) {
  std::lock_guard<std::mutex> lock(guard);
  count = 0;
  result = next_result;
}

extern "C" VELAPNG_EXPORT int32_t fake_meta_count() {
  std::lock_guard<std::mutex> lock(guard);
  return count;
}

extern "C" VELAPNG_EXPORT bool fake_meta_call(int32_t index, fakes::MetaCall* call) {
  std::lock_guard<std::mutex> lock(guard);
  if (index < 0 || index >= count || index >= fakes::kMaxCalls) return false;
  *call = calls[index];
  return true;
}
