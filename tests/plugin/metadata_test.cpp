#include <gtest/gtest.h>

#include <filesystem>

#include "tests/plugin/harness.h"

namespace {

using namespace plugintest;

PfnGetImageMetaValue query() { return plugin_symbol<PfnGetImageMetaValue>("GetImageMetaValue"); }
PfnGetImageMetaValueFromMemData query_memory() {
  return plugin_symbol<PfnGetImageMetaValueFromMemData>("GetImageMetaValueFromMemData");
}
PfnReleaseImageMetaValue release() { return plugin_symbol<PfnReleaseImageMetaValue>("ReleaseImageMetaValue"); }

const std::string kNullName = "PNG_ReleaseImageMetaValue, pFileName is NULL";
const std::string kNoLibrary = "PNG_ReleaseImageMetaValue, Load PicFacts.dylib Failed";
const std::string kNoFunction = "PNG_ReleaseImageMetaValue, Load GetImageMetaValue Failed";

TEST(Metadata, ResultsAndArgumentsPassStraightThrough) {
  ScopedBaseDirectory base(fakes_dir());
  const WString name = VELAPNG_W("C:\\photos\\a.png");
  const uint8_t data[3] = {1, 2, 3};
  int value_data = 0, value = 0, token = 0;
  for (int32_t answer : {0, 1, -1, 6, INT32_MIN, INT32_MAX}) {
    SCOPED_TRACE(answer);
    MetaRecorder::reset(answer);
    LogWatch log;
    EXPECT_EQ(query()(name.c_str(), "Some Key", &value_data, &value), answer);
    EXPECT_EQ(query_memory()(data, -7, "Other", &value, &value_data), answer);
    EXPECT_EQ(release()(-2, &token), answer);
    ASSERT_EQ(MetaRecorder::count(), 3);

    const fakes::MetaCall by_name = MetaRecorder::call(0);
    EXPECT_EQ(by_name.function, fakes::kQuery);
    EXPECT_EQ(by_name.file_name_pointer, name.c_str());
    EXPECT_STREQ(by_name.key, "Some Key");
    EXPECT_EQ(by_name.value_data, &value_data);
    EXPECT_EQ(by_name.value, &value);

    const fakes::MetaCall by_data = MetaRecorder::call(1);
    EXPECT_EQ(by_data.function, fakes::kQueryFromMemory);
    EXPECT_EQ(by_data.data, data);
    EXPECT_EQ(by_data.size, -7);  // the same 32-bit value, sign and all
    EXPECT_STREQ(by_data.key, "Other");
    EXPECT_EQ(by_data.value_data, &value);
    EXPECT_EQ(by_data.value, &value_data);

    const fakes::MetaCall released = MetaRecorder::call(2);
    EXPECT_EQ(released.function, fakes::kRelease);
    EXPECT_EQ(released.kind, -2);
    EXPECT_EQ(released.release_pointer, &token);
    EXPECT_TRUE(log.lines().empty());
  }
}

TEST(Metadata, NullFileNameGoesToTheQueryButNotToRelease) {
  ScopedBaseDirectory base(fakes_dir());
  MetaRecorder::reset(9);
  LogWatch log;
  EXPECT_EQ(query()(nullptr, nullptr, nullptr, nullptr), 9);
  EXPECT_EQ(MetaRecorder::count(), 1);
  EXPECT_EQ(MetaRecorder::call(0).file_name_pointer, nullptr);
  EXPECT_EQ(MetaRecorder::call(0).key_pointer, nullptr);
  EXPECT_TRUE(log.lines().empty());

  EXPECT_EQ(release()(1, nullptr), 0);
  EXPECT_EQ(MetaRecorder::count(), 1);
  EXPECT_EQ(log.lines(), std::vector<std::string>{kNullName});
}

struct MissingCase {
  const char* name;
  std::string directory;
  std::string release_message;
};

TEST(Metadata, MissingLibraryOrFunctionGivesZero) {
  const std::string too_long = "/" + std::string(1000, 'm');  // no room for the library's name
  const MissingCase cases[] = {
      {"no library", empty_dir(), kNoLibrary},
      {"no function", hollow_dir(), kNoFunction},
      {"base directory too long", too_long, kNoLibrary},
  };
  const WString name = VELAPNG_W("/tmp/a.png");
  const uint8_t data[1] = {0};
  int token = 0;
  for (const MissingCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedBaseDirectory base(c.directory);
    LogWatch log;
    int32_t value = -1;
    EXPECT_EQ(query()(name.c_str(), "Orientation", nullptr, &value), 0);
    EXPECT_EQ(query_memory()(data, 1, "Orientation", nullptr, &value), 0);
    EXPECT_EQ(value, -1);
    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(release()(1, &token), 0);
    EXPECT_EQ(log.lines(), std::vector<std::string>{c.release_message});
    EXPECT_EQ(release()(1, nullptr), 0);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{c.release_message, kNullName}));
  }
}

TEST(Metadata, LibraryFoundUnderBaseDirectoryWhateverTheCurrentDirectory) {
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(empty_dir());
  {
    ScopedBaseDirectory base(fakes_dir());
    MetaRecorder::reset(3);
    EXPECT_EQ(query()(VELAPNG_W("x"), "k", nullptr, nullptr), 3);
  }
  // With the default base directory the real stand-in answers from beside the plug-in.
  const Bytes png = distinct_rgba_image(2, 2, {exif_chunk(8, false)}).png;
  EXPECT_EQ(query_memory()(png.data(), static_cast<int32_t>(png.size()), "Orientation", nullptr, nullptr), 8);
  std::filesystem::current_path(previous);
}

// "\ImagePlugins\PicFacts.dll" is 26 units: a directory of 1024 - 27 units is the longest
// the queries take, 512 - 27 the longest ReleaseImageMetaValue takes.
TEST(Metadata, LongestBaseDirectoryThatFits) {
  struct LengthCase {
    size_t length;
    bool query_found;
    bool release_found;
  };
  const LengthCase cases[] = {{485, true, true}, {486, true, false}, {997, true, false}, {998, false, false}};
  for (const LengthCase& c : cases) {
    SCOPED_TRACE(c.length);
    ScopedBaseDirectory base(padded_directory(fakes_dir(), c.length));
    MetaRecorder::reset(11);
    int token = 0;
    EXPECT_EQ(query()(VELAPNG_W("x"), "k", nullptr, nullptr), c.query_found ? 11 : 0);
    EXPECT_EQ(query_memory()(nullptr, 0, "k", nullptr, nullptr), c.query_found ? 11 : 0);
    LogWatch log;
    EXPECT_EQ(release()(1, &token), c.release_found ? 11 : 0);
    EXPECT_EQ(log.lines().size(), c.release_found ? 0u : 1u);
  }
}

}  // namespace
