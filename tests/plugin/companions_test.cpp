// Our stand-ins for the companion libraries, reached the way the plug-in reaches them.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "companions/picfacts/picfacts.h"
#include "companions/qz_image/qz_image.h"
#include "tests/plugin/harness.h"
#include "tests/support/memory_probe.h"

namespace {

using namespace plugintest;

template <typename Function>
Function companion_function(const std::string& library, const char* name) {
  HMODULE handle = LoadLibraryW(wide(library).c_str());
  EXPECT_NE(handle, nullptr) << library;
  return handle != nullptr ? library_symbol<Function>(handle, name) : nullptr;
}

PfnRotateCenter rotate_function() {
  return companion_function<PfnRotateCenter>(in_dir(bin_dir(), "QZ_Image.dll"), "qz_ippiRotateCenter_8u_C4R");
}

std::string picfacts_path() { return in_dir(in_dir(bin_dir(), "ImagePlugins"), "PicFacts.dll"); }

Bytes random_image(int32_t w, int32_t h, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes image(size_t(w) * h * 4);
  for (uint8_t& byte : image) byte = static_cast<uint8_t>(random());
  return image;
}

// The w x h region at (2, 1) of a larger source, turned into the region at (1, 2) of a
// destination with padded rows; nothing around it is written. The plug-in's load tests turn
// whole images by 90, 180 and 270; here the angles past a whole turn and below zero, every
// interpolation code, and a centre on the region's edge, which counts as inside.
TEST(RotateStandIn, TurnsTheSourceRegionIntoTheDestinationRegion) {
  const PfnRotateCenter turn = rotate_function();
  ASSERT_NE(turn, nullptr);
  const std::pair<double, uint32_t> angles[] = {{0, 0},     {90, 90}, {180, 180}, {270, 270},
                                                {-90, 270}, {360, 0}, {450, 90}};
  const int32_t interpolations[] = {1, 2, 4};
  for (auto [w, h] : {std::pair<int32_t, int32_t>{1, 7}, {5, 3}, {2, 2}}) {
    const int32_t source_width = w + 3;
    const Bytes source = random_image(source_width, h + 2, static_cast<uint32_t>(w * 100 + h));
    Bytes region;
    for (int32_t y = 1; y <= h; ++y) {
      region.insert(region.end(), &source[(size_t(y) * source_width + 2) * 4],
                    &source[(size_t(y) * source_width + 2 + w) * 4]);
    }
    for (size_t i = 0; i < std::size(angles); ++i) {
      const auto [angle, clockwise] = angles[i];
      SCOPED_TRACE(testing::Message() << w << "x" << h << " by " << angle);
      const bool sideways = clockwise % 180 != 0;
      const int32_t dw = sideways ? h : w, dh = sideways ? w : h, step = (dw + 3) * 4;
      Bytes destination(size_t(step) * (dh + 3), 0xEE);
      ASSERT_EQ(turn(source.data(), {source_width, h + 2}, source_width * 4, {2, 1, w, h}, destination.data(), step,
                     {1, 2, dw, dh}, angle, 2.0 + w, 1.0, interpolations[i % 3]),
                qz_image::kOk);
      Bytes expected(destination.size(), 0xEE);
      const Bytes region_turned = turned(region, uint32_t(w), uint32_t(h), int32_t(clockwise));
      for (int32_t y = 0; y < dh; ++y) {
        std::memcpy(&expected[size_t(y + 2) * step + 4], &region_turned[size_t(y) * dw * 4], size_t(dw) * 4);
      }
      EXPECT_EQ(destination, expected);
    }
  }
}

TEST(RotateStandIn, RefusesWhatItCannotHonourAndWritesNothing) {
  const PfnRotateCenter turn = rotate_function();
  const int32_t w = 5, h = 3;
  const ImgRect all{0, 0, w, h}, sideways{0, 0, h, w};
  enum Destination { separate, none, over_the_source };
  const struct {
    const char* name;
    bool null_source;
    Destination destination;
    ImgRect source_rect;
    int32_t source_step;
    ImgRect destination_rect;
    int32_t destination_step;
    double angle, centre_x;
    int32_t interpolation, expected;
  } cases[] = {
      {"null source", true, separate, all, 20, sideways, 12, 90, 2, 2, qz_image::kNullPointer},
      {"null destination", false, none, all, 20, sideways, 12, 90, 2, 2, qz_image::kNullPointer},
      {"45 degrees", false, separate, all, 20, sideways, 12, 45, 2, 2, qz_image::kBadAngle},
      {"not a number", false, separate, all, 20, sideways, 12, std::nan(""), 2, 2, qz_image::kBadAngle},
      {"interpolation 3", false, separate, all, 20, sideways, 12, 90, 2, 3, qz_image::kBadInterpolation},
      {"interpolation 0", false, separate, all, 20, sideways, 12, 90, 2, 0, qz_image::kBadInterpolation},
      {"unturned destination", false, separate, all, 20, all, 20, 90, 2, 2, qz_image::kBadSize},
      {"turned destination at 180", false, separate, all, 20, sideways, 20, 180, 2, 2, qz_image::kBadSize},
      {"source region outside", false, separate, {1, 0, w, h}, 20, sideways, 12, 90, 2, 2, qz_image::kBadSize},
      {"empty source region", false, separate, {0, 0, 0, h}, 20, {0, 0, h, 0}, 12, 90, 2, 2, qz_image::kBadSize},
      {"negative destination origin", false, separate, all, 20, {-1, 0, h, w}, 12, 90, 2, 2, qz_image::kBadSize},
      {"destination over the source", false, over_the_source, all, 20, sideways, 12, 90, 2, 2, qz_image::kBadSize},
      {"source step short", false, separate, all, 19, sideways, 12, 90, 2, 2, qz_image::kBadStep},
      {"destination step short", false, separate, all, 20, sideways, 11, 90, 2, 2, qz_image::kBadStep},
      {"centre outside", false, separate, all, 20, sideways, 12, 90, 5.5, 2, qz_image::kBadCentre},
      {"centre not a number", false, separate, all, 20, sideways, 12, 90, std::nan(""), 2, qz_image::kBadCentre},
  };
  const Bytes original = random_image(w, h, 11);
  for (const auto& c : cases) {
    Bytes source = original, destination(64 * 4, 0xEE);
    uint8_t* const targets[] = {destination.data(), nullptr, source.data()};
    EXPECT_EQ(
        turn(c.null_source ? nullptr : source.data(), {w, h}, c.source_step, c.source_rect, targets[c.destination],
             c.destination_step, c.destination_rect, c.angle, c.centre_x, 1.0, c.interpolation),
        c.expected)
        << c.name;
    EXPECT_EQ(destination, Bytes(64 * 4, 0xEE)) << c.name;
    EXPECT_EQ(source, original) << c.name;
  }
}

// --- Metadata stand-in ---------------------------------------------------------------------

using QueryFromMemory = PfnGetImageMetaValueFromMemData;

Bytes png_with_chunks(const std::vector<Bytes>& chunks) {
  return testpng::png(2, 2, 8, 0, testpng::filter_none({{1, 2}, {3, 4}}), chunks);
}

QueryFromMemory memory_query() {
  return companion_function<QueryFromMemory>(picfacts_path(), "GetImageMetaValueFromMemData");
}

// The same answer from memory and from a file, also written through pValue (0 for anything
// without a usable orientation), and no block handed out. The plug-in's information tests
// read orientations 1, 6 and 8 through this library; here every value, both byte orders and
// every way the structure can fail.
TEST(PicFactsStandIn, OrientationFromMemoryAndFile) {
  const auto query = memory_query();
  const auto query_file = companion_function<PfnGetImageMetaValue>(picfacts_path(), "GetImageMetaValue");
  ASSERT_NE(query, nullptr);
  ASSERT_NE(query_file, nullptr);
  const auto exif_png = [](const Bytes& tiff) {
    return png_with_chunks(
        {testpng::chunk("tEXt", testpng::text_bytes(std::string("k\0v", 3))), testpng::chunk("eXIf", tiff)});
  };
  const auto damaged = [](bool little_endian, size_t at, uint8_t value) {
    Bytes tiff = tiff_with_orientation(6, little_endian);
    tiff[at] = value;
    return tiff;
  };
  const Bytes tiff = tiff_with_orientation(6, true);
  const Bytes whole = png_with_chunks({exif_chunk(6, true)});
  std::vector<std::tuple<std::string, Bytes, int32_t>> cases = {
      {"value 0", exif_png(tiff_with_orientation(0, true)), 0},
      {"value 9", exif_png(tiff_with_orientation(9, false)), 0},
      {"LONG instead of SHORT", exif_png(tiff_with_orientation(6, true, 4)), 0},
      {"not TIFF", exif_png(damaged(true, 2, 43)), 0},
      {"directory beyond the data", exif_png(damaged(false, 7, 200)), 0},
      {"truncated entry", exif_png(Bytes(tiff.begin(), tiff.begin() + 28)), 0},  // the entry is 22..33
      {"no eXIf", png_with_chunks({}), 0},
      {"eXIf after IEND", testpng::concat({png_with_chunks({}), exif_chunk(6, true)}), 0},
      {"not a PNG", Bytes(100, 0x42), 0},
      {"cut inside the eXIf data", Bytes(whole.begin(), whole.begin() + 33 + 8 + 10), 0},
  };
  for (uint16_t value = 1; value <= 8; ++value) {
    cases.emplace_back("little endian", exif_png(tiff_with_orientation(value, true)), value);
    cases.emplace_back("big endian", exif_png(tiff_with_orientation(value, false)), value);
  }
  for (const auto& [name, png, expected] : cases) {
    SCOPED_TRACE(testing::Message() << name << " " << expected);
    int32_t value = -1;
    void* slot = nullptr;
    EXPECT_EQ(query(png.data(), static_cast<int32_t>(png.size()), "Orientation", &slot, &value), expected);
    EXPECT_EQ(value, expected);
    EXPECT_EQ(slot, nullptr);
    const std::string path = temp_path("exif.png");
    write_file(path, png);
    value = -1;
    EXPECT_EQ(query_file(wide(path).c_str(), "Orientation", &slot, &value), expected);
    EXPECT_EQ(value, expected);
  }
  EXPECT_EQ(query(nullptr, 100, "Orientation", nullptr, nullptr), 0);
  EXPECT_EQ(query(whole.data(), -5, "Orientation", nullptr, nullptr), 0);
  EXPECT_EQ(query(whole.data(), static_cast<int32_t>(whole.size()), "Orientation", nullptr, nullptr), 6);
  int32_t value = -1;
  EXPECT_EQ(query_file(VELAPNG_W("/nonexistent/velapng.png"), "Orientation", nullptr, &value), 0);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(query_file(nullptr, "Orientation", nullptr, nullptr), 0);
}

// An eXIf length field that claims far more than the image holds: the answer is 0, and no
// block of that size is even reserved (the length is the file's word until its last byte
// is seen). A fuzz finding: the stand-in once asked for the claimed size first.
TEST(PicFactsStandIn, AnExifLengthBeyondTheImageReservesNothing) {
  const auto query = memory_query();
  Bytes png = png_with_chunks({exif_chunk(6, true)});
  const size_t exif_at = 33;  // right after the header chunk
  ASSERT_EQ(std::memcmp(&png[exif_at + 4], "eXIf", 4), 0);
  png[exif_at] = 0x40;  // a length of 2^30 and more
  const auto answer = [&] {
    int32_t value = -1;
    const int32_t orientation = query(png.data(), static_cast<int32_t>(png.size()), "Orientation", nullptr, &value);
    return static_cast<uint32_t>(orientation == 0 && value == 0 ? 0 : 1);
  };
  EXPECT_EQ(answer(), 0u);
  if (!testpng::memory_probe_available()) return;
  const testpng::ChildOutcome outcome = testpng::run_in_child(uint64_t{4} << 30, answer);
  ASSERT_TRUE(outcome.completed);
  EXPECT_EQ(outcome.result, 0u);
  EXPECT_LT(outcome.peak_reserved_growth, uint64_t{16} << 20);
}

// "Exif" hands out the TIFF block (or only tells its size, without a slot), which release
// frees for its own kind only; keys it does not know answer 0 and write nothing.
TEST(PicFactsStandIn, ExifBlockAndUnknownKeys) {
  const auto query = memory_query();
  const auto release = companion_function<PfnReleaseImageMetaValue>(picfacts_path(), "ReleaseImageMetaValue");
  const Bytes tiff = tiff_with_orientation(8, true);
  const Bytes png = png_with_chunks({testpng::chunk("eXIf", tiff)});
  const auto size = static_cast<int32_t>(png.size());
  void* block = nullptr;
  int32_t block_size = 0;
  ASSERT_EQ(query(png.data(), size, "Exif", &block, &block_size), 1);
  ASSERT_NE(block, nullptr);
  ASSERT_EQ(block_size, static_cast<int32_t>(tiff.size()));
  EXPECT_EQ(Bytes(static_cast<uint8_t*>(block), static_cast<uint8_t*>(block) + block_size), tiff);
  EXPECT_EQ(release(picfacts::kExifBlock + 1, block), 0);  // wrong kind: not freed
  EXPECT_EQ(release(picfacts::kExifBlock, nullptr), 0);
  EXPECT_EQ(release(picfacts::kExifBlock, block), 1);  // the leak checker sees it freed
  block_size = 0;
  EXPECT_EQ(query(png.data(), size, "Exif", nullptr, &block_size), 1);
  EXPECT_EQ(block_size, static_cast<int32_t>(tiff.size()));
  const Bytes plain = png_with_chunks({});
  block = nullptr;
  EXPECT_EQ(query(plain.data(), static_cast<int32_t>(plain.size()), "Exif", &block, &block_size), 0);
  EXPECT_EQ(block, nullptr);
  for (const char* key : {"orientation", "Width", "", static_cast<const char*>(nullptr)}) {
    int32_t value = -7;
    void* slot = &value;
    EXPECT_EQ(query(png.data(), size, key, &slot, &value), 0);
    EXPECT_EQ(value, -7);
    EXPECT_EQ(slot, &value);
  }
}

// --- Log and path stand-in -----------------------------------------------------------------

// The plug-in's own log lines (plain %d, a closing newline) are checked where it writes them.
TEST(LogStandIn, FormatsSigned32BitValuesAndEndsEachLine) {
  LogWatch log;
  LogPrintf(VELAPNG_W("%d %d \n"), INT32_MIN, INT32_MAX);
  LogPrintf(VELAPNG_W("100%% %s \u00e9t\u00e9 %d"), 7, 0);
  EXPECT_EQ(log.lines(), (Lines{"-2147483648 2147483647 ",
                                std::string(reinterpret_cast<const char*>(u8"100% %s \u00e9t\u00e9 7"))}));
}

TEST(LogStandIn, BaseDirectoryIsOwnDirectoryOrTheOverride) {
  WCHAR buffer[1024] = {};
  GetBaseDirectory(buffer, 1024);
  EXPECT_EQ(WString(buffer), wide(bin_dir()));
  ScopedBaseDirectory base("/some/where///");
  // "/some/where" is 11 units: it fits 12 with its NUL; in 11 the answer is empty.
  for (const int32_t capacity : {12, 11}) {
    std::fill(std::begin(buffer), std::end(buffer), WCHAR{'X'});
    GetBaseDirectory(buffer, capacity);
    EXPECT_EQ(WString(buffer), capacity == 12 ? WString(VELAPNG_W("/some/where")) : WString()) << capacity;
    EXPECT_EQ(buffer[capacity == 12 ? 12 : 1], WCHAR{'X'}) << capacity;
  }
}

}  // namespace
