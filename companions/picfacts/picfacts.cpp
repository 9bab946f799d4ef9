// The metadata stand-in's exports: an image is read either from a file (only the chunk
// headers it walks past and the eXIf data) or from the caller's buffer.
#include "companions/picfacts/picfacts.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using namespace picfacts;

struct Buffer {
  const uint8_t* data;
  uint64_t size;
};

bool read_buffer(void* source, uint64_t offset, size_t size, uint8_t* out) {
  const auto* buffer = static_cast<const Buffer*>(source);
  if (offset > buffer->size || size > buffer->size - offset) return false;
  std::memcpy(out, buffer->data + offset, size);
  return true;
}

bool read_file(void* source, uint64_t offset, size_t size, uint8_t* out) {
  auto* file = static_cast<std::FILE*>(source);
  if (offset > 0x7FFFFFFF || std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) return false;
  return std::fread(out, 1, size, file) == size;
}

// The eXIf chunk's data in a malloc'ed block, or null. The length field is the file's word
// only: its last byte must be there before a block of that size is asked for.
uint8_t* read_exif(ReadAt read, void* source, uint32_t* length) {
  uint64_t offset = 0;
  if (!find_exif(read, source, &offset, length)) return nullptr;
  uint8_t last = 0;
  if (*length != 0 && !read(source, offset + *length - 1, 1, &last)) return nullptr;
  auto* data = static_cast<uint8_t*>(std::malloc(*length == 0 ? 1 : *length));
  if (data != nullptr && !read(source, offset, *length, data)) {
    std::free(data);
    return nullptr;
  }
  return data;
}

void store_int(void* target, int32_t value) {
  if (target != nullptr) std::memcpy(target, &value, sizeof value);
}

int32_t answer(ReadAt read, void* source, const char* key, void* value_data, void* value) {
  if (key == nullptr) return 0;
  const bool orientation = std::strcmp(key, "Orientation") == 0;
  if (!orientation && std::strcmp(key, "Exif") != 0) return 0;
  uint32_t length = 0;
  uint8_t* exif = read_exif(read, source, &length);
  if (orientation) {
    const int32_t result = exif != nullptr ? tiff_orientation(exif, length) : 0;
    std::free(exif);
    store_int(value, result);
    return result;
  }
  if (exif == nullptr) return 0;
  store_int(value, static_cast<int32_t>(length));
  if (value_data != nullptr) {
    *static_cast<void**>(value_data) = exif;  // handed out: ReleaseImageMetaValue frees it
  } else {
    std::free(exif);
  }
  return 1;
}

// Windows opens the UTF-16 name as it stands, so a name outside the ANSI code page opens
// too; Linux names are UTF-8.
std::FILE* open_wide(const WCHAR* name) {
  if (name == nullptr) return nullptr;
#ifdef _WIN32
  return _wfopen(name, L"rb");
#else
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, name, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return nullptr;
  char* path = static_cast<char*>(std::malloc(static_cast<size_t>(bytes)));
  if (path == nullptr) return nullptr;
  std::FILE* file = nullptr;
  if (WideCharToMultiByte(CP_UTF8, 0, name, -1, path, bytes, nullptr, nullptr) == bytes) file = std::fopen(path, "rb");
  std::free(path);
  return file;
#endif
}

}  // namespace

extern "C" int32_t GetImageMetaValue(const WCHAR* pFileName, const char* pKey, void* pValueData, void* pValue) {
  std::FILE* file = open_wide(pFileName);
  if (file == nullptr) {
    if (pKey != nullptr && std::strcmp(pKey, "Orientation") == 0) store_int(pValue, 0);
    return 0;
  }
  const int32_t result = answer(read_file, file, pKey, pValueData, pValue);
  std::fclose(file);
  return result;
}

extern "C" int32_t GetImageMetaValueFromMemData(const uint8_t* pData, int32_t nSize, const char* pKey, void* pValueData,
                                                void* pValue) {
  Buffer buffer{pData, pData != nullptr && nSize > 0 ? static_cast<uint64_t>(nSize) : 0};
  return answer(read_buffer, &buffer, pKey, pValueData, pValue);
}

extern "C" int32_t ReleaseImageMetaValue(int32_t nKind, void* pFileName) {
  if (nKind != kExifBlock || pFileName == nullptr) return 0;
  std::free(pFileName);
  return 1;
}
