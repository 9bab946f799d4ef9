#include <gtest/gtest.h>

#include "tests/plugin/harness.h"
#include "tests/support/corpus.h"

namespace {

using namespace plugintest;

PfnImageGetInfo info_file() { return plugin_symbol<PfnImageGetInfo>("ImageGetInfo"); }
PfnImageGetInfoFromMemData info_memory() { return plugin_symbol<PfnImageGetInfoFromMemData>("ImageGetInfoFromMemData"); }

struct Info {
  int32_t result;
  uint32_t width;
  uint32_t height;
  int32_t orientation;
};

constexpr uint32_t kUnwritten = 0xA5A5A5A5;

Info from_memory(const Bytes& png) {
  Info info{0, kUnwritten, kUnwritten, -99};
  info.result = info_memory()(png.data(), static_cast<int32_t>(png.size()), &info.width, &info.height, &info.orientation);
  return info;
}

Info from_file(const Bytes& png) {
  const std::string path = temp_path("info.png");
  write_file(path, png);
  Info info{0, kUnwritten, kUnwritten, -99};
  info.result = info_file()(wide(path).c_str(), &info.width, &info.height, &info.orientation);
  return info;
}

Bytes grey_png(uint32_t w, uint32_t h, uint8_t depth, const std::vector<Bytes>& chunks = {}) {
  const size_t row_bytes = (size_t{w} * depth + 7) / 8;
  return testpng::png(w, h, depth, 0, testpng::filter_none(std::vector<Bytes>(h, Bytes(row_bytes, 0x5A))), chunks);
}

// The real metadata stand-in answers from the eXIf chunk; the size is the stored one.
TEST(ImageInfo, SizeIsNeverSwappedForOrientation) {
  for (uint16_t orientation : {uint16_t{1}, uint16_t{3}, uint16_t{6}, uint16_t{8}}) {
    const Bytes png = distinct_rgba_image(5, 3, {exif_chunk(orientation, orientation % 2 == 0)}).png;
    for (const Info& info : {from_memory(png), from_file(png)}) {
      EXPECT_EQ(info.result, orientation);
      EXPECT_EQ(info.orientation, orientation);
      EXPECT_EQ(info.width, 5u);
      EXPECT_EQ(info.height, 3u);
    }
  }
}

TEST(ImageInfo, OrientationQueryIsForwarded) {
  ScopedBaseDirectory base(fakes_dir());
  const Bytes png = distinct_rgba_image(4, 2).png;
  const std::string path = temp_path("forward.png");
  write_file(path, png);
  const WString name = wide(path);
  for (int32_t answer : {0, 6, -3, INT32_MIN}) {
    MetaRecorder::reset(answer);
    uint32_t width = 0, height = 0;
    int32_t orientation = 0;
    EXPECT_EQ(info_file()(name.c_str(), &width, &height, &orientation), answer);
    EXPECT_EQ(info_memory()(png.data(), static_cast<int32_t>(png.size()), &width, &height, &orientation), answer);
    ASSERT_EQ(MetaRecorder::count(), 2);
    const fakes::MetaCall by_name = MetaRecorder::call(0);
    EXPECT_EQ(by_name.function, fakes::kQuery);
    EXPECT_EQ(by_name.file_name_pointer, name.c_str());
    EXPECT_STREQ(by_name.key, "Orientation");
    EXPECT_EQ(by_name.value, &orientation);
    EXPECT_NE(by_name.value_data, nullptr);  // a slot of the plug-in's own
    EXPECT_NE(by_name.value_data, &orientation);
    const fakes::MetaCall by_data = MetaRecorder::call(1);
    EXPECT_EQ(by_data.function, fakes::kQueryFromMemory);
    EXPECT_EQ(by_data.data, png.data());
    EXPECT_EQ(by_data.size, static_cast<int32_t>(png.size()));
    EXPECT_STREQ(by_data.key, "Orientation");
    EXPECT_EQ(by_data.value, &orientation);
    EXPECT_NE(by_data.value_data, nullptr);
    EXPECT_EQ(orientation, 0);  // the plug-in itself never writes it
  }
}

TEST(ImageInfo, LowDepthsMakeNoQuery) {
  ScopedBaseDirectory base(fakes_dir());
  struct DepthCase {
    uint8_t depth;
    bool query;
  };
  for (const DepthCase& c : {DepthCase{1, false}, {2, false}, {4, false}, {8, true}, {16, true}}) {
    SCOPED_TRACE(int(c.depth));
    MetaRecorder::reset(7);
    const Bytes png = grey_png(9, 2, c.depth);
    for (const Info& info : {from_memory(png), from_file(png)}) {
      EXPECT_EQ(info.result, c.query ? 7 : 0);
      EXPECT_EQ(info.width, 9u);
      EXPECT_EQ(info.height, 2u);
    }
    EXPECT_EQ(MetaRecorder::count(), c.query ? 2 : 0);
  }
  // Palette images of low depth too.
  MetaRecorder::reset(7);
  const Bytes palette = testpng::png(4, 1, 2, 3, testpng::filter_none({{0x1B}}), {testpng::chunk("PLTE", Bytes(12, 9))});
  EXPECT_EQ(from_memory(palette).result, 0);
  EXPECT_EQ(MetaRecorder::count(), 0);
}

TEST(ImageInfo, RejectedInputMakesNoQuery) {
  ScopedBaseDirectory base(fakes_dir());
  MetaRecorder::reset(5);
  const Bytes good = distinct_rgba_image(6, 4).png;
  Bytes bad_signature = good;
  bad_signature[1] = 'Q';
  Bytes bad_crc = good;
  bad_crc[30] ^= 0x10;
  Bytes bad_depth = testpng::header(6, 4, 3, 0);

  Info info = from_memory(bad_signature);
  EXPECT_EQ(info.result, 0);
  EXPECT_EQ(info.width, kUnwritten);
  EXPECT_EQ(info.height, kUnwritten);
  info = from_file(bad_signature);
  EXPECT_EQ(info.result, 0);
  EXPECT_EQ(info.width, kUnwritten);
  // Inspection has written the size by the time it finds the CRC or depth wrong.
  for (const Bytes* png : {&bad_crc, &bad_depth}) {
    for (const Info& written : {from_memory(*png), from_file(*png)}) {
      EXPECT_EQ(written.result, 0);
      EXPECT_EQ(written.width, 6u);
      EXPECT_EQ(written.height, 4u);
    }
  }
  uint32_t width = kUnwritten;
  EXPECT_EQ(info_memory()(nullptr, 100, &width, nullptr, nullptr), 0);
  EXPECT_EQ(info_memory()(good.data(), 0, &width, nullptr, nullptr), 0);
  EXPECT_EQ(info_memory()(good.data(), -1, &width, nullptr, nullptr), 0);
  EXPECT_EQ(info_memory()(good.data(), INT32_MIN, &width, nullptr, nullptr), 0);
  EXPECT_EQ(info_file()(nullptr, &width, nullptr, nullptr), 0);
  EXPECT_EQ(info_file()(VELAPNG_W("/nonexistent/v.png"), &width, nullptr, nullptr), 0);
  EXPECT_EQ(width, kUnwritten);
  EXPECT_EQ(MetaRecorder::count(), 0);
}

TEST(ImageInfo, NullOutputsAreSkipped) {
  const Bytes png = distinct_rgba_image(6, 4, {exif_chunk(6, true)}).png;
  uint32_t height = 0;
  EXPECT_EQ(info_memory()(png.data(), static_cast<int32_t>(png.size()), nullptr, &height, nullptr), 6);
  EXPECT_EQ(height, 4u);
  uint32_t width = 0;
  EXPECT_EQ(info_memory()(png.data(), static_cast<int32_t>(png.size()), &width, nullptr, nullptr), 6);
  EXPECT_EQ(width, 6u);
}

TEST(ImageInfo, WithoutMetadataLibrarySizeIsStillReported) {
  const Bytes png = distinct_rgba_image(6, 4, {exif_chunk(6, true)}).png;
  for (const std::string& directory : {empty_dir(), hollow_dir()}) {
    ScopedBaseDirectory base(directory);
    LogWatch log;
    for (const Info& info : {from_memory(png), from_file(png)}) {
      EXPECT_EQ(info.result, 0);
      EXPECT_EQ(info.width, 6u);
      EXPECT_EQ(info.height, 4u);
      EXPECT_EQ(info.orientation, -99);
    }
    EXPECT_TRUE(log.lines().empty());
  }
}

// The answers agree between file and memory for every corpus file, broken ones included.
TEST(ImageInfo, CorpusFilesAnswerAlikeFromFileAndMemory) {
  for (const std::string& dir : {testpng::pngsuite_dir(), testpng::crashers_dir()}) {
    for (const std::string& name : testpng::png_files(dir)) {
      SCOPED_TRACE(name);
      const Bytes png = testpng::read_file(dir + "/" + name);
      const Info memory = from_memory(png);
      uint32_t width = kUnwritten, height = kUnwritten;
      int32_t orientation = -99;
      const int32_t result = info_file()(wide(dir + "/" + name).c_str(), &width, &height, &orientation);
      EXPECT_EQ(result, memory.result);
      EXPECT_EQ(width, memory.width);
      EXPECT_EQ(height, memory.height);
      EXPECT_GE(result, 0);
      EXPECT_LE(result, 8);
    }
  }
}

}  // namespace
