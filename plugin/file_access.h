// Turning the host's UTF-16 file name into a multibyte path and reading a whole file into
// one heap block. Shared by the file loads and the file information call.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace velapng {

// Bytes of the caller's multibyte path buffer.
inline constexpr int32_t kPathBufferBytes = 8192;
// The longest file name taken, in UTF-16 units without the NUL: its conversion is given
// 2 * (length + 1) bytes, which must stay within the path buffer.
inline constexpr int32_t kMaxPathUnits = 4095;

// Converts pFileName into `out` (kPathBufferBytes, zero-filled by the caller) and returns
// `out`. A null name gives a constant empty string and leaves `out` alone; a name longer
// than kMaxPathUnits gives null, so nothing is opened. A name that does not survive the
// conversion is left as it came out and simply fails to open.
const char* WidePathToMultiByte(char* out, const WCHAR* pFileName);

// Size of the file, or -1 when it can't be opened or sized, is no regular file (a FIFO, a
// device, a directory) or is 0x7FFFFFFF bytes or more.
int32_t QueryFileSize(const char* path);
// Reads exactly `size` bytes from the start of the file. 0, or 78.
uint32_t ReadFileBytes(uint8_t* buffer, int32_t size, const char* path);
// Reads the whole file into a malloc'ed block the caller frees (also after a failed read).
// 0, 78 (can't open, size or read; outputs untouched when the size is unknown) or 83.
uint32_t LoadFileBytes(uint8_t** buffer, uint64_t* size, const char* path);
// LoadFileBytes for the host's UTF-16 name, converted as above; 78 when it can't be.
uint32_t LoadNamedFile(uint8_t** buffer, uint64_t* size, const WCHAR* pFileName);

}  // namespace velapng
