// Appending a library name to the base directory the log library reports.
#include "plugin/companions.h"

namespace velapng {

bool append_to_directory(WCHAR* buffer, int32_t capacity, const WCHAR* name) {
  if (buffer == nullptr || capacity <= 0) return false;
  const auto room = static_cast<size_t>(capacity);
  size_t length = 0;
  while (length < room && buffer[length] != 0) ++length;
  size_t name_length = 0;
  while (name[name_length] != 0) ++name_length;
  if (length == room || length + name_length + 1 > room) return false;
  for (size_t i = 0; i <= name_length; ++i) buffer[length + i] = name[i];
  return true;
}

}  // namespace velapng
