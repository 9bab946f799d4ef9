// The host's way into a decoder plug-in, shared by the reference host, the benchmark and the
// tests so that all of them reach the plug-in as the viewer does: load the library by name,
// get its table and find the entry for a format.
#pragma once

#include <string>

#include "plugin/plugin.h"

namespace loader {

// Loads the plug-in library and returns the entry whose four-cc is `four_cc`, walking the
// table to its all-zero terminator; the library's handle goes to `module_out` when given. Null,
// with `error` set, on failure. The library is never unloaded, as the host never unloads one.
const DecoderPluginEntry* find_decoder(const WCHAR* library, const char (&four_cc)[5], std::string* error,
                                       HMODULE* module_out = nullptr);

// Narrow text in the ANSI code page (the command line's: UTF-8 on Linux) to UTF-16.
std::basic_string<WCHAR> to_wide(const std::string& text);

}  // namespace loader
