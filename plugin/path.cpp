// The host's UTF-16 file name as a path in the system's ANSI code page, refused when too long.
#include <cstring>

#include "plugin/file_access.h"

namespace velapng {

namespace {
constexpr int32_t kLocalPathUnits = kMaxPathUnits + 2;  // 4097: one unit spare beyond the NUL
}

const char* WidePathToMultiByte(char* out, const WCHAR* pFileName) {
  if (pFileName == nullptr) return "";
  int32_t length = 0;
  while (length <= kMaxPathUnits && pFileName[length] != 0) ++length;
  // Refusing here, before any copy, is what keeps both local buffers from overflowing.
  if (length > kMaxPathUnits) return nullptr;

  WCHAR local[kLocalPathUnits] = {};
  std::memcpy(local, pFileName, sizeof(WCHAR) * static_cast<size_t>(length + 1));
  WideCharToMultiByte(CP_ACP, 0, local, -1, out, 2 * (length + 1), nullptr, nullptr);
  return out;
}

}  // namespace velapng
