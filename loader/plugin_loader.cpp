// Loading a plug-in library and walking its descriptor table.
#include "loader/plugin_loader.h"

#include <cstring>

namespace loader {

namespace {

bool is_terminator(const DecoderPluginEntry& entry) {
  static const DecoderPluginEntry zero{};
  return std::memcmp(&entry, &zero, sizeof entry) == 0;
}

}  // namespace

const DecoderPluginEntry* find_decoder(const WCHAR* library, const char (&four_cc)[5], std::string* error,
                                       HMODULE* module_out) {
  HMODULE module = LoadLibraryW(library);
  if (module_out != nullptr) *module_out = module;
  if (module == nullptr) {
    *error = "cannot load the plug-in library";
    return nullptr;
  }
  using GetTable = const DecoderPluginEntry* (*)();
  const FARPROC found = GetProcAddress(module, "GetImageDecoderPluginArray");
  GetTable get_table = nullptr;
  std::memcpy(&get_table, &found, sizeof get_table);
  if (get_table == nullptr) {
    *error = "the library has no GetImageDecoderPluginArray";
    return nullptr;
  }
  for (const DecoderPluginEntry* entry = get_table(); !is_terminator(*entry); ++entry)
    if (std::memcmp(entry->szFourCC, four_cc, 4) == 0) return entry;
  *error = std::string("the plug-in has no \"") + four_cc + "\" decoder";
  return nullptr;
}

std::basic_string<WCHAR> to_wide(const std::string& text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  std::basic_string<WCHAR> out(static_cast<size_t>(units > 0 ? units : 0), WCHAR{0});
  if (units > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), length, out.data(), units);
  return out;
}

}  // namespace loader
