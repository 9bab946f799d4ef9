// What the log stand-in needs from its platform: where it was loaded from (its default base
// directory and the home of its default log file), the environment and a file to append to.
// Text is UTF-16 throughout, as the library's callers hand it over.
#pragma once

#include <cstdio>
#include <string>

#include "plugin/platform/platform.h"

namespace qz_log {

using WString = std::basic_string<WCHAR>;

// The platform's directory separator.
extern const WCHAR kSeparator;

// Absolute, without a trailing separator; "." when it can't be found.
WString module_directory();
// The variable's value; empty when it is unset.
WString environment(const char* name);
// `path` opened to append bytes, or null.
std::FILE* open_for_append(const WString& path);

}  // namespace qz_log
