#include "host/decoder_plugin.h"

#include <cstring>

namespace host {

namespace {

bool is_terminator(const DecoderPluginEntry& entry) {
  static const DecoderPluginEntry zero{};
  return std::memcmp(&entry, &zero, sizeof entry) == 0;
}

}  // namespace

const DecoderPluginEntry* find_decoder(const WCHAR* library, const char (&four_cc)[5], std::string* error) {
  HMODULE module = LoadLibraryW(library);
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
  std::basic_string<WCHAR> out;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    uint32_t code = extra == 0 ? lead : lead & (0x3Fu >> extra);
    for (size_t k = 1; k <= extra && i + k < text.size(); ++k)
      code = code << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
    if (code >= 0x10000) {
      out.push_back(static_cast<WCHAR>(0xD800 + ((code - 0x10000) >> 10)));
      out.push_back(static_cast<WCHAR>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<WCHAR>(code));
    }
    i += extra + 1;
  }
  return out;
}

}  // namespace host
