// Bindings to the three companion libraries that lie beside the plug-in: the log and path
// library (linked at load time), the image-operations library with the rotate function and
// the metadata library (both loaded from the base directory when a call needs them and
// never unloaded). The companions may be entered from several threads at once.
#pragma once

#include <cstdint>
#include <cstring>

#include "abi/companions.h"
#include "plugin/plugin.h"

namespace velapng {

inline constexpr const WCHAR* kImageOperationsLibrary = VELAPNG_W("\\QZ_Image.dll");
inline constexpr const WCHAR* kMetadataLibrary = VELAPNG_W("\\ImagePlugins\\PicFacts.dll");
inline constexpr const char* kRotateFunction = "qz_ippiRotateCenter_8u_C4R";

// Appends `name` after the last unit of the NUL-terminated text in `buffer`. False, with the
// buffer unchanged, when the result and its NUL would not fit in `capacity` units (or the
// buffer holds no NUL at all): a long base directory fails the call instead of overflowing.
bool append_to_directory(WCHAR* buffer, int32_t capacity, const WCHAR* name);

// GetProcAddress cast to the function's own type.
template <typename Function>
Function find_function(HMODULE module, const char* name) {
  const FARPROC found = GetProcAddress(module, name);
  Function function = nullptr;
  static_assert(sizeof function == sizeof found);
  std::memcpy(&function, &found, sizeof function);
  return function;
}

// Loads the metadata library from the base directory into `path` (zero-filled by the caller,
// `capacity` units) and looks up `name` in it. Null when the library or function is missing.
template <typename Function>
Function find_metadata_function(WCHAR* path, int32_t capacity, const char* name) {
  GetBaseDirectory(path, capacity);
  if (!append_to_directory(path, capacity, kMetadataLibrary)) return nullptr;
  HMODULE library = LoadLibraryW(path);
  return library != nullptr ? find_function<Function>(library, name) : nullptr;
}

}  // namespace velapng
