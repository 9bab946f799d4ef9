#include <gtest/gtest.h>

#include "tests/plugin/harness.h"

namespace {

using namespace plugintest;

const std::string kNullName = "PNG_ReleaseImageMetaValue, pFileName is NULL";
const std::string kNoLibrary = "PNG_ReleaseImageMetaValue, Load PicFacts.dylib Failed";
const std::string kNoFunction = "PNG_ReleaseImageMetaValue, Load GetImageMetaValue Failed";

TEST(Metadata, ResultsAndArgumentsPassStraightThrough) {
  ScopedBaseDirectory base(fakes_dir());
  const DecoderPluginEntry& png = png_entry();
  const WString name = VELAPNG_W("C:\\photos\\a.png");
  const uint8_t data[3] = {1, 2, 3};
  int value_data = 0, value = 0, token = 0;
  for (int32_t answer : {0, -1, INT32_MAX}) {
    SCOPED_TRACE(answer);
    meta_recorder().reset(answer);
    LogWatch log;
    EXPECT_EQ(png.pfnGetImageMetaValue(name.c_str(), "Some Key", &value_data, &value), answer);
    EXPECT_EQ(png.pfnGetImageMetaValueFromMemData(data, -7, "Other", &value, &value_data), answer);
    EXPECT_EQ(png.pfnReleaseImageMetaValue(-2, &token), answer);
    EXPECT_TRUE(log.lines().empty());
    ASSERT_EQ(meta_recorder().count(), 3);
    // The data size is the same 32-bit value, sign and all.
    const fakes::MetaCall expected[] = {
        {fakes::kQuery, name.c_str(), "Some Key", nullptr, 0, &value_data, &value, 0, nullptr},
        {fakes::kQueryFromMemory, nullptr, "Other", data, -7, &value, &value_data, 0, nullptr},
        {fakes::kRelease, nullptr, nullptr, nullptr, 0, nullptr, nullptr, -2, &token},
    };
    for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(as_tuple(meta_recorder().call(i)), as_tuple(expected[i])) << i;
  }
}

TEST(Metadata, NullFileNameGoesToTheQueryButNotToRelease) {
  ScopedBaseDirectory base(fakes_dir());
  meta_recorder().reset(9);
  LogWatch log;
  EXPECT_EQ(png_entry().pfnGetImageMetaValue(nullptr, nullptr, nullptr, nullptr), 9);
  EXPECT_EQ(png_entry().pfnReleaseImageMetaValue(1, nullptr), 0);
  ASSERT_EQ(meta_recorder().count(), 1);
  EXPECT_EQ(meta_recorder().call(0).file_name, nullptr);
  EXPECT_EQ(meta_recorder().call(0).key, nullptr);
  EXPECT_EQ(log.lines(), Lines{kNullName});
}

// Without the library or its functions every call gives 0; release says why in the log.
// "\ImagePlugins\PicFacts.dll" is 26 units: a base directory of 1024 - 27 units is the
// longest the queries take, 512 - 27 the longest ReleaseImageMetaValue takes.
TEST(Metadata, MissingLibraryOrFunctionGivesZero) {
  struct MissingCase {
    std::string directory;
    bool query_found;
    std::string release_message;  // empty: found
  };
  const MissingCase cases[] = {
      {empty_dir(), false, kNoLibrary},
      {hollow_dir(), false, kNoFunction},
      {padded_directory(fakes_dir(), 485), true, ""},
      {padded_directory(fakes_dir(), 486), true, kNoLibrary},
      {padded_directory(fakes_dir(), 997), true, kNoLibrary},
      {padded_directory(fakes_dir(), 998), false, kNoLibrary},
  };
  const DecoderPluginEntry& png = png_entry();
  const uint8_t data[1] = {0};
  for (const MissingCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.directory.substr(0, 80) << " of " << c.directory.size());
    ScopedBaseDirectory base(c.directory);
    const int32_t answer = c.query_found ? 11 : 0;
    meta_recorder().reset(11);
    LogWatch log;
    int32_t value = -1;
    int token = 0;
    EXPECT_EQ(png.pfnGetImageMetaValue(VELAPNG_W("/tmp/a.png"), "Orientation", nullptr, &value), answer);
    EXPECT_EQ(png.pfnGetImageMetaValueFromMemData(data, 1, "Orientation", nullptr, &value), answer);
    EXPECT_EQ(value, -1);
    EXPECT_EQ(png.pfnReleaseImageMetaValue(1, &token), c.release_message.empty() ? 11 : 0);
    EXPECT_EQ(png.pfnReleaseImageMetaValue(1, nullptr), 0);  // refused before the library is looked for
    Lines expected = c.release_message.empty() ? Lines{} : Lines{c.release_message};
    expected.push_back(kNullName);
    EXPECT_EQ(log.lines(), expected);
  }
}

}  // namespace
