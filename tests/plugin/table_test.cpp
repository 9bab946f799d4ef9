#include <gtest/gtest.h>

#include <cstring>

#include "tests/plugin/harness.h"

namespace {

using namespace plugintest;

// Read as the host reads it: raw bytes at fixed offsets, little-endian, up to the all-zero
// terminator; the same table on every call.
TEST(DescriptorTable, EntryBytesPointToTheExportsAndAZeroEntryEndsIt) {
  const DecoderPluginEntry* table = plugin_table();
  EXPECT_EQ(plugin_table(), table);
  const auto* bytes = reinterpret_cast<const uint8_t*>(table);
  Bytes expected(640, 0);
  const uint8_t head[] = {'P', 0, 'N', 0, 'G', 0};
  std::memcpy(expected.data(), head, sizeof head);
  std::memcpy(&expected[256], "PNG ", 4);
  const char* const services[] = {"Image32LoadFile",         "ImageGetInfo",
                                  "GetImageMetaValue",       "Image32LoadFromMemData",
                                  "ImageGetInfoFromMemData", "GetImageMetaValueFromMemData",
                                  "ReleaseImageMetaValue"};
  for (size_t i = 0; i < 7; ++i) {
    const auto exported = reinterpret_cast<uintptr_t>(library_symbol<void (*)()>(plugin_handle(), services[i]));
    ASSERT_NE(exported, 0u) << services[i];
    for (size_t k = 0; k < 8; ++k) expected[264 + 8 * i + k] = static_cast<uint8_t>(exported >> 8 * k);
  }
  EXPECT_EQ(Bytes(bytes, bytes + 640), expected);
}

}  // namespace
