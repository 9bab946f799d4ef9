// The directory the log stand-in itself was loaded from: its default base directory and
// the home of its default log file.
#pragma once

#include <string>

namespace qz_log {

// Absolute, without a trailing separator ("" for the root); "." when it can't be found.
std::string module_directory();

}  // namespace qz_log
