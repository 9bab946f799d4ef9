#include <gtest/gtest.h>

#include <cstring>

#include "tests/plugin/harness.h"

namespace {

using namespace plugintest;

const char* const kServices[] = {"Image32LoadFile",        "ImageGetInfo",
                                 "GetImageMetaValue",      "Image32LoadFromMemData",
                                 "ImageGetInfoFromMemData", "GetImageMetaValueFromMemData",
                                 "ReleaseImageMetaValue"};

uint64_t read_u64(const uint8_t* bytes) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

// Read as the host reads it: raw bytes at fixed offsets, little-endian.
TEST(DescriptorTable, PngEntryBytes) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(plugin_table());
  const uint8_t name[] = {'P', 0, 'N', 0, 'G', 0};
  EXPECT_EQ(0, std::memcmp(bytes, name, sizeof name));
  for (size_t i = sizeof name; i < 256; ++i) ASSERT_EQ(bytes[i], 0) << "name byte " << i;
  const uint8_t four_cc[] = {0x50, 0x4E, 0x47, 0x20};
  EXPECT_EQ(0, std::memcmp(bytes + 256, four_cc, 4));
  for (size_t i = 260; i < 264; ++i) EXPECT_EQ(bytes[i], 0) << i;
  for (size_t i = 0; i < 7; ++i) {
    SCOPED_TRACE(kServices[i]);
    const auto exported = plugin_symbol<void (*)()>(kServices[i]);
    ASSERT_NE(exported, nullptr);
    EXPECT_EQ(read_u64(bytes + 264 + 8 * i), reinterpret_cast<uintptr_t>(exported));
  }
}

TEST(DescriptorTable, TerminatorIsAllZero) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(plugin_table()) + 320;
  for (size_t i = 0; i < 320; ++i) ASSERT_EQ(bytes[i], 0) << i;
  const DecoderPluginEntry& end = plugin_table()[1];
  EXPECT_EQ(end.szFormatName[0], 0);
  EXPECT_EQ(end.pfnImage32LoadFile, nullptr);
  EXPECT_EQ(end.pfnReleaseImageMetaValue, nullptr);
}

TEST(DescriptorTable, SameAddressEveryCall) {
  const auto get = plugin_symbol<const DecoderPluginEntry* (*)()>("GetImageDecoderPluginArray");
  ASSERT_NE(get, nullptr);
  EXPECT_EQ(get(), get());
}

TEST(DescriptorTable, FieldsMatchTheirNames) {
  const DecoderPluginEntry& entry = png_entry();
  EXPECT_EQ(WString(entry.szFormatName), VELAPNG_W("PNG"));
  EXPECT_EQ(std::string(entry.szFourCC, 4), "PNG ");
  EXPECT_EQ(entry.pfnImage32LoadFile, plugin_symbol<PfnImage32LoadFile>("Image32LoadFile"));
  EXPECT_EQ(entry.pfnImageGetInfo, plugin_symbol<PfnImageGetInfo>("ImageGetInfo"));
  EXPECT_EQ(entry.pfnGetImageMetaValue, plugin_symbol<PfnGetImageMetaValue>("GetImageMetaValue"));
  EXPECT_EQ(entry.pfnImage32LoadFromMemData, plugin_symbol<PfnImage32LoadFromMemData>("Image32LoadFromMemData"));
  EXPECT_EQ(entry.pfnImageGetInfoFromMemData, plugin_symbol<PfnImageGetInfoFromMemData>("ImageGetInfoFromMemData"));
  EXPECT_EQ(entry.pfnGetImageMetaValueFromMemData,
            plugin_symbol<PfnGetImageMetaValueFromMemData>("GetImageMetaValueFromMemData"));
  EXPECT_EQ(entry.pfnReleaseImageMetaValue, plugin_symbol<PfnReleaseImageMetaValue>("ReleaseImageMetaValue"));
}

// Each service answers the same through the table as through its exported name.
TEST(DescriptorTable, ServicesWorkThroughTableAndName) {
  const TestImage image = distinct_rgba_image(3, 2);
  const std::string path = temp_path("table.png");
  write_file(path, image.png);
  const WString name = wide(path);
  const auto size = static_cast<int32_t>(image.png.size());
  const DecoderPluginEntry& entry = png_entry();
  ScopedBaseDirectory base(fakes_dir());

  for (int route = 0; route < 2; ++route) {
    SCOPED_TRACE(route == 0 ? "table" : "name");
    const bool table = route == 0;
    const auto load_file = table ? entry.pfnImage32LoadFile : plugin_symbol<PfnImage32LoadFile>("Image32LoadFile");
    const auto load_memory =
        table ? entry.pfnImage32LoadFromMemData : plugin_symbol<PfnImage32LoadFromMemData>("Image32LoadFromMemData");
    const auto info = table ? entry.pfnImageGetInfo : plugin_symbol<PfnImageGetInfo>("ImageGetInfo");
    const auto info_memory =
        table ? entry.pfnImageGetInfoFromMemData : plugin_symbol<PfnImageGetInfoFromMemData>("ImageGetInfoFromMemData");
    const auto meta = table ? entry.pfnGetImageMetaValue : plugin_symbol<PfnGetImageMetaValue>("GetImageMetaValue");
    const auto meta_memory = table ? entry.pfnGetImageMetaValueFromMemData
                                   : plugin_symbol<PfnGetImageMetaValueFromMemData>("GetImageMetaValueFromMemData");
    const auto release =
        table ? entry.pfnReleaseImageMetaValue : plugin_symbol<PfnReleaseImageMetaValue>("ReleaseImageMetaValue");

    const Bytes expected = expected_bgra(image.rgba, 3, 2, 0);
    HostCanvas from_file(expected.size());
    EXPECT_EQ(load_file(&from_file.image, name.c_str(), 0), 1);
    EXPECT_EQ(from_file.pixels(), expected);
    HostCanvas from_memory(expected.size());
    EXPECT_EQ(load_memory(&from_memory.image, image.png.data(), size, 0), 1);
    EXPECT_EQ(from_memory.pixels(), expected);

    MetaRecorder::reset(40 + route);
    uint32_t width = 0, height = 0;
    EXPECT_EQ(info(name.c_str(), &width, &height, nullptr), 40 + route);
    EXPECT_EQ(width, 3u);
    EXPECT_EQ(height, 2u);
    width = height = 0;
    EXPECT_EQ(info_memory(image.png.data(), size, &width, &height, nullptr), 40 + route);
    EXPECT_EQ(width * 10 + height, 32u);
    EXPECT_EQ(meta(name.c_str(), "Key", nullptr, nullptr), 40 + route);
    EXPECT_EQ(meta_memory(image.png.data(), size, "Key", nullptr, nullptr), 40 + route);
    int token = 0;
    EXPECT_EQ(release(2, &token), 40 + route);
    EXPECT_EQ(MetaRecorder::count(), 5);
  }
}

}  // namespace
