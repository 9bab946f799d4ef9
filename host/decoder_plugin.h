// The host's side of loading a decoder plug-in: load the library by name, get its table
// and find the entry for a format.
#pragma once

#include <string>

#include "plugin/plugin.h"

namespace host {

// Loads the plug-in library (found beside the host) and returns the entry whose four-cc is
// `four_cc`, walking the table to its all-zero terminator. Null, with `error` set, on failure.
const DecoderPluginEntry* find_decoder(const WCHAR* library, const char (&four_cc)[5], std::string* error);

// Narrow text in the ANSI code page (the command line's: UTF-8 on Linux) to UTF-16.
std::basic_string<WCHAR> to_wide(const std::string& text);

}  // namespace host
