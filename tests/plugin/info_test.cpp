#include <gtest/gtest.h>

#include "tests/plugin/harness.h"
#include "tests/support/corpus.h"

namespace {

using namespace plugintest;

constexpr uint32_t kUnwritten = 0xA5A5A5A5;

struct Info {
  int32_t result;
  uint32_t width = kUnwritten;
  uint32_t height = kUnwritten;
  int32_t orientation = -99;
};

Info info_of_file(const WString& name) {
  Info info{};
  info.result = png_entry().pfnImageGetInfo(name.c_str(), &info.width, &info.height, &info.orientation);
  return info;
}

Info info(Source source, const Bytes& png) {
  if (source == Source::file) {
    const std::string path = temp_path("info.png");
    write_file(path, png);
    return info_of_file(wide(path));
  }
  Info info{};
  info.result = png_entry().pfnImageGetInfoFromMemData(png.data(), static_cast<int32_t>(png.size()), &info.width,
                                                       &info.height, &info.orientation);
  return info;
}

TEST(ImageInfo, OrientationQueryIsForwarded) {
  ScopedBaseDirectory base(fakes_dir());
  const Bytes png = distinct_rgba_image(4, 2).png;
  const std::string path = temp_path("forward.png");
  write_file(path, png);
  const WString name = wide(path);
  for (int32_t answer : {6, INT32_MIN}) {
    meta_recorder().reset(answer);
    uint32_t width = 0, height = 0;
    int32_t orientation = 0;
    EXPECT_EQ(png_entry().pfnImageGetInfo(name.c_str(), &width, &height, &orientation), answer);
    EXPECT_EQ(png_entry().pfnImageGetInfoFromMemData(png.data(), int32_t(png.size()), &width, &height, &orientation),
              answer);
    EXPECT_EQ(orientation, 0);  // the plug-in itself never writes it
    ASSERT_EQ(meta_recorder().count(), 2);
    for (int32_t i = 0; i < 2; ++i) {
      const fakes::MetaCall call = meta_recorder().call(i);
      EXPECT_NE(call.value_data, nullptr);  // a slot of the plug-in's own
      EXPECT_NE(call.value_data, &orientation);
      const fakes::MetaCall expected =
          i == 0
              ? fakes::MetaCall{fakes::kQuery, name.c_str(), "Orientation", nullptr, 0, call.value_data, &orientation}
              : fakes::MetaCall{fakes::kQueryFromMemory, nullptr,         "Orientation", png.data(),
                                int32_t(png.size()),     call.value_data, &orientation};
      EXPECT_EQ(as_tuple(call), as_tuple(expected)) << i;
    }
  }
}

struct InfoCase {
  std::string name;
  Bytes png;
  std::string directory;  // the base directory
  int32_t result;
  uint32_t width, height;
  int32_t orientation;
  int32_t queries;  // the recording double's calls, when it is the one loaded
};

// The size is the stored one, whatever the orientation; the orientation is asked only of a
// valid header of depth 8 or 16, and a missing library leaves the size reported. The
// recording double answers 7 without writing the orientation.
TEST(ImageInfo, AnswersFromFileAndMemory) {
  const Bytes turned = distinct_rgba_image(6, 4, {exif_chunk(6, true)}).png;
  Bytes bad_signature = turned;
  bad_signature[1] = 'Q';
  Bytes bad_crc = turned;
  bad_crc[30] ^= 0x10;
  const std::string fakes = fakes_dir();
  std::vector<InfoCase> cases = {
      {"no metadata library", turned, empty_dir(), 0, 6, 4, -99, 0},
      {"no metadata function", turned, hollow_dir(), 0, 6, 4, -99, 0},
      {"bad signature", bad_signature, fakes, 0, kUnwritten, kUnwritten, -99, 0},
      // Inspection has written the size by the time it finds the CRC or depth wrong.
      {"bad header CRC", bad_crc, fakes, 0, 6, 4, -99, 0},
      {"bad depth", testpng::header(6, 4, 3, 0), fakes, 0, 6, 4, -99, 0},
  };
  for (int orientation : {1, 6, 8}) {
    cases.push_back({"orientation " + std::to_string(orientation),
                     distinct_rgba_image(5, 3, {exif_chunk(uint16_t(orientation), orientation % 2 == 0)}).png,
                     bin_dir(), orientation, 5, 3, orientation, 0});
  }
  for (int depth : {1, 2, 4, 8, 16}) {
    const size_t row_bytes = (size_t{9} * unsigned(depth) + 7) / 8;
    const Bytes grey =
        testpng::png(9, 2, uint8_t(depth), 0, testpng::filter_none({Bytes(row_bytes, 0x5A), Bytes(row_bytes, 0xA5)}));
    cases.push_back({"depth " + std::to_string(depth), grey, fakes, depth >= 8 ? 7 : 0, 9, 2, -99, depth >= 8});
  }
  for (const InfoCase& c : cases) {
    for (Source source : kSources) {
      SCOPED_TRACE(c.name + " from " + source_name(source));
      ScopedBaseDirectory base(c.directory);
      meta_recorder().reset(7);
      LogWatch log;
      const Info answer = info(source, c.png);
      EXPECT_EQ(answer.result, c.result);
      EXPECT_EQ(answer.width, c.width);
      EXPECT_EQ(answer.height, c.height);
      EXPECT_EQ(answer.orientation, c.orientation);
      if (c.directory == fakes) {
        EXPECT_EQ(meta_recorder().count(), c.queries);
      }
      EXPECT_TRUE(log.lines().empty());
    }
  }
}

TEST(ImageInfo, NullOutputsAreSkippedAndUnreadableInputWritesNothing) {
  const Bytes png = distinct_rgba_image(6, 4, {exif_chunk(6, true)}).png;
  const DecoderPluginEntry& entry = png_entry();
  uint32_t side = 0;
  EXPECT_EQ(entry.pfnImageGetInfoFromMemData(png.data(), int32_t(png.size()), nullptr, &side, nullptr), 6);
  EXPECT_EQ(side, 4u);
  EXPECT_EQ(entry.pfnImageGetInfoFromMemData(png.data(), int32_t(png.size()), &side, nullptr, nullptr), 6);
  EXPECT_EQ(side, 6u);
  uint32_t width = kUnwritten;
  for (int32_t size : {0, -1, INT32_MIN})
    EXPECT_EQ(entry.pfnImageGetInfoFromMemData(png.data(), size, &width, nullptr, nullptr), 0) << size;
  EXPECT_EQ(entry.pfnImageGetInfoFromMemData(nullptr, 100, &width, nullptr, nullptr), 0);
  EXPECT_EQ(entry.pfnImageGetInfo(nullptr, &width, nullptr, nullptr), 0);
  EXPECT_EQ(entry.pfnImageGetInfo(VELAPNG_W("/nonexistent/v.png"), &width, nullptr, nullptr), 0);
  EXPECT_EQ(width, kUnwritten);
}

// The answers agree between file and memory for every corpus file, broken ones included.
TEST(ImageInfo, CorpusFilesAnswerAlikeFromFileAndMemory) {
  for (const std::string& dir : {testpng::pngsuite_dir(), testpng::crashers_dir()}) {
    for (const std::string& name : testpng::png_files(dir)) {
      SCOPED_TRACE(name);
      const Info memory = info(Source::memory, testpng::read_file(dir + "/" + name));
      const Info file = info_of_file(wide(dir + "/" + name));
      EXPECT_EQ(file.result, memory.result);
      EXPECT_EQ(file.width, memory.width);
      EXPECT_EQ(file.height, memory.height);
      EXPECT_GE(file.result, 0);
      EXPECT_LE(file.result, 8);
    }
  }
}

}  // namespace
