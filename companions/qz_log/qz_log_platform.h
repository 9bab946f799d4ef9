// What the log stand-in needs from its platform: where it was loaded from (its default base
// directory and the home of its default log file), the environment and a file to append to.
// Text is UTF-16 throughout, as the library's callers hand it over. The two lookups write
// into the caller's buffer and allocate nothing, so GetBaseDirectory cannot fail for want
// of memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "platform/platform.h"

namespace qz_log {

// The platform's directory separator.
extern const WCHAR kSeparator;

// What the lookups return when their text and its NUL do not fit the buffer.
inline constexpr size_t kDoesNotFit = SIZE_MAX;

// The variable's value, NUL-terminated in `buffer` (`capacity` units): its length in units,
// 0 when it is unset or empty, or kDoesNotFit.
size_t environment(const char* name, WCHAR* buffer, size_t capacity);
// This library's directory, absolute and without a trailing separator ("." when it can't be
// found), NUL-terminated in `buffer`: its length, or kDoesNotFit. On Windows the library's
// whole file name must fit there, since the system writes that first.
size_t module_directory(WCHAR* buffer, size_t capacity);
// `path` (NUL-terminated) opened to append bytes, or null.
std::FILE* open_for_append(const WCHAR* path);

}  // namespace qz_log
