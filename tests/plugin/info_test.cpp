// The information and metadata calls, answered by the real metadata stand-in: it reads the
// orientation from the eXIf chunk and also stores it through pValue, 0 when there is none.
#include <gtest/gtest.h>

#include "companions/picfacts/picfacts.h"
#include "tests/plugin/harness.h"

namespace {

using namespace plugintest;

constexpr uint32_t kUnwritten = 0xA5A5A5A5;
constexpr int32_t kNotAsked = -99;

// The result, width, height and orientation.
using Info = std::tuple<int32_t, uint32_t, uint32_t, int32_t>;

Info info(Source source, const Bytes& png) {
  uint32_t width = kUnwritten, height = kUnwritten;
  int32_t orientation = kNotAsked;
  const std::string path = temp_path("info.png");
  write_file(path, png);
  const int32_t result =
      source == Source::memory
          ? png_entry().pfnImageGetInfoFromMemData(png.data(), int32_t(png.size()), &width, &height, &orientation)
          : png_entry().pfnImageGetInfo(wide(path).c_str(), &width, &height, &orientation);
  return {result, width, height, orientation};
}

struct InfoCase {
  std::string name;
  Bytes png;
  std::string directory;  // the base directory
  Info expected;
};

// The size is the stored one, whatever the orientation; the orientation is asked only of a
// valid header of depth 8 or 16 (every image here but the bad signature holds one), and a
// missing library leaves the size reported. The call reads the header alone: sides no load
// takes (from 2^31 on) are reported and the orientation asked, and an eXIf chunk whose CRC
// is wrong still answers, as the metadata library reads it without the chunk walk.
TEST(ImageInfo, AnswersFromFileAndMemory) {
  const Bytes turned = distinct_rgba_image(6, 4, {exif_chunk(6, true)}).png;
  Bytes bad_signature = turned;
  bad_signature[1] = 'Q';
  Bytes bad_crc = turned;
  bad_crc[30] ^= 0x10;
  Bytes bad_exif = exif_chunk(6, true);
  bad_exif.back() ^= 0x01;
  const auto huge = [](uint32_t w, uint32_t h) {
    return testpng::concat({testpng::header(w, h, 8, 6), exif_chunk(6, true)});
  };
  const std::string bin = bin_dir();
  std::vector<InfoCase> cases = {
      {"no metadata library", turned, empty_dir(), {0, 6, 4, kNotAsked}},
      {"no metadata function", turned, hollow_dir(), {0, 6, 4, kNotAsked}},
      {"bad signature", bad_signature, bin, {0, kUnwritten, kUnwritten, kNotAsked}},
      // Inspection has written the size by the time it finds the CRC or depth wrong.
      {"bad header CRC", bad_crc, bin, {0, 6, 4, kNotAsked}},
      {"bad depth", testpng::header(6, 4, 3, 0), bin, {0, 6, 4, kNotAsked}},
      {"eXIf with a bad CRC", distinct_rgba_image(6, 4, {bad_exif}).png, bin, {6, 6, 4, 6}},
      {"width 2^31", huge(0x80000000, 1), bin, {6, 0x80000000, 1, 6}},
      {"sides 2^32 - 1", huge(0xFFFFFFFF, 0xFFFFFFFF), bin, {6, 0xFFFFFFFF, 0xFFFFFFFF, 6}},
  };
  for (int orientation : {1, 6, 8}) {
    const Bytes png = distinct_rgba_image(5, 3, {exif_chunk(uint16_t(orientation), orientation % 2 == 0)}).png;
    cases.push_back({"orientation " + std::to_string(orientation), png, bin, {orientation, 5, 3, orientation}});
  }
  for (int depth : {1, 2, 4, 8, 16}) {
    const size_t row_bytes = (size_t{9} * unsigned(depth) + 7) / 8;
    const Bytes grey =
        testpng::png(9, 2, uint8_t(depth), 0, testpng::filter_none({Bytes(row_bytes, 0x5A), Bytes(row_bytes, 0xA5)}),
                     {exif_chunk(6, false)});
    const bool asked = depth >= 8;
    cases.push_back({"depth " + std::to_string(depth), grey, bin, {asked ? 6 : 0, 9, 2, asked ? 6 : kNotAsked}});
  }
  for (const InfoCase& c : cases) {
    for (Source source : kSources) {
      SCOPED_TRACE(c.name + " from " + source_name(source));
      ScopedBaseDirectory base(c.directory);
      LogWatch log;
      EXPECT_EQ(info(source, c.png), c.expected);
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

const std::string kNullName = "PNG_ReleaseImageMetaValue, pFileName is NULL";
const std::string kNoLibrary = "PNG_ReleaseImageMetaValue, Load PicFacts.dylib Failed";
const std::string kNoFunction = "PNG_ReleaseImageMetaValue, Load GetImageMetaValue Failed";

// Keys, buffers and results pass straight through, a null file name included; release
// refuses a null pointer itself and says so in the log. Without the library or its
// functions every call gives 0, and release says why. "\\ImagePlugins\\PicFacts.dll" is 26
// units: a base directory of 1024 - 27 units is the longest the queries take, 512 - 27 the
// longest ReleaseImageMetaValue takes.
TEST(Metadata, CallsReachTheLibraryWhenItAndItsFunctionsAreFound) {
  const struct {
    std::string directory;
    bool query_found;
    std::string release_message;  // empty: found
  } cases[] = {
      {bin_dir(), true, ""},
      {empty_dir(), false, kNoLibrary},
      {hollow_dir(), false, kNoFunction},
      {padded_directory(bin_dir(), 485), true, ""},
      {padded_directory(bin_dir(), 486), true, kNoLibrary},
      {padded_directory(bin_dir(), 997), true, kNoLibrary},
      {padded_directory(bin_dir(), 998), false, kNoLibrary},
  };
  const Bytes png = distinct_rgba_image(3, 2, {exif_chunk(6, false)}).png;
  const auto size = static_cast<int32_t>(png.size());
  const std::string path = temp_path("metadata.png");
  write_file(path, png);
  const DecoderPluginEntry& entry = png_entry();
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.directory.substr(0, 80) << " of " << c.directory.size());
    ScopedBaseDirectory base(c.directory);
    LogWatch log;
    int32_t file_value = -1, memory_value = -1, unnamed_value = -1;
    void* slot = nullptr;
    EXPECT_EQ(entry.pfnGetImageMetaValue(wide(path).c_str(), "Orientation", &slot, &file_value), c.query_found ? 6 : 0);
    EXPECT_EQ(entry.pfnGetImageMetaValueFromMemData(png.data(), size, "Orientation", &slot, &memory_value),
              c.query_found ? 6 : 0);
    EXPECT_EQ(entry.pfnGetImageMetaValue(nullptr, "Orientation", &slot, &unnamed_value), 0);
    EXPECT_EQ(std::make_tuple(file_value, memory_value, unnamed_value),
              c.query_found ? std::make_tuple(6, 6, 0) : std::make_tuple(-1, -1, -1));
    EXPECT_EQ(slot, nullptr);
    if (c.release_message.empty()) {
      // "Exif" hands out a copy of the chunk's data, which only release of its own kind
      // frees (the leak checkers see it freed): a TIFF header of 8 bytes, a directory of
      // two 12-byte entries between its 2-byte count and 4-byte link.
      int32_t bytes = 0;
      ASSERT_EQ(entry.pfnGetImageMetaValueFromMemData(png.data(), size, "Exif", &slot, &bytes), 1);
      EXPECT_EQ(bytes, 8 + 2 + 2 * 12 + 4);
      EXPECT_EQ(entry.pfnReleaseImageMetaValue(picfacts::kExifBlock + 1, slot), 0);
      EXPECT_EQ(entry.pfnReleaseImageMetaValue(picfacts::kExifBlock, slot), 1);
    } else {
      int token = 0;
      EXPECT_EQ(entry.pfnReleaseImageMetaValue(picfacts::kExifBlock + 1, &token), 0);
    }
    EXPECT_EQ(entry.pfnReleaseImageMetaValue(picfacts::kExifBlock, nullptr), 0);
    Lines expected = c.release_message.empty() ? Lines{} : Lines{c.release_message};
    expected.push_back(kNullName);
    EXPECT_EQ(log.lines(), expected);
  }
}

}  // namespace
