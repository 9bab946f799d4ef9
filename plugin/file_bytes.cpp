// Whole-file reading with the C runtime: the file is opened once to size it and once to
// read it. Sizes are signed 32-bit, so 0x7FFFFFFF (what a clamped ftell can report) and
// anything larger count as unreadable; the position is taken in 64 bits, so a larger file
// can't pass for a small one on a runtime whose ftell wraps. Both opens take regular files
// only (open_regular_file), so a FIFO or a device name fails at once instead of blocking.
#include <cstdio>
#include <cstdlib>

#include "decoder/result_codes.h"
#include "platform/platform.h"
#include "plugin/file_access.h"

namespace velapng {

int32_t QueryFileSize(const char* path) {
  std::FILE* file = open_regular_file(path);
  if (file == nullptr) return -1;
  if (seek_to_end(file) != 0) {
    std::fclose(file);
    return -1;
  }
  const int64_t position = file_position(file);
  std::fclose(file);
  if (position < 0 || position >= 0x7FFFFFFF) return -1;
  return static_cast<int32_t>(position);
}

uint32_t ReadFileBytes(uint8_t* buffer, int32_t size, const char* path) {
  std::FILE* file = open_regular_file(path);
  if (file == nullptr) return code::file_read_failed;
  const size_t read = std::fread(buffer, 1, static_cast<size_t>(size), file);
  std::fclose(file);
  return read == static_cast<size_t>(size) ? code::ok : code::file_read_failed;
}

uint32_t LoadFileBytes(uint8_t** buffer, uint64_t* size, const char* path) {
  const int32_t file_size = QueryFileSize(path);
  if (file_size < 0) return code::file_read_failed;
  *size = static_cast<uint64_t>(file_size);
  *buffer = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(file_size)));
  if (*buffer == nullptr && file_size > 0) return code::out_of_memory;
  return ReadFileBytes(*buffer, file_size, path);
}

uint32_t LoadNamedFile(uint8_t** buffer, uint64_t* size, const WCHAR* pFileName) {
  char path_buffer[kPathBufferBytes] = {};
  const char* path = WidePathToMultiByte(path_buffer, pFileName);
  return path != nullptr ? LoadFileBytes(buffer, size, path) : code::file_read_failed;
}

}  // namespace velapng
