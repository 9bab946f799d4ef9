// Our stand-ins for the companion libraries, reached the way the plug-in reaches them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
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

const char* const kRotateName = "qz_ippiRotateCenter_8u_C4R";

std::string picfacts_path() { return in_dir(in_dir(bin_dir(), "ImagePlugins"), "PicFacts.dll"); }
std::string rotate_path() { return in_dir(bin_dir(), "QZ_Image.dll"); }

// Turns a w x h four-channel image clockwise by forward mapping (independent of the
// stand-in's inverse mapping): (x, y) goes to (h-1-y, x), (w-1-x, h-1-y) or (y, w-1-x).
Bytes turn_reference(const Bytes& image, int32_t w, int32_t h, int quarter_turns) {
  const bool sideways = quarter_turns % 2 == 1;
  const int32_t out_width = sideways ? h : w;
  Bytes out(image.size());
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      int32_t ox = x, oy = y;
      if (quarter_turns == 1) ox = h - 1 - y, oy = x;
      if (quarter_turns == 2) ox = w - 1 - x, oy = h - 1 - y;
      if (quarter_turns == 3) ox = y, oy = w - 1 - x;
      std::memcpy(&out[(size_t(oy) * out_width + ox) * 4], &image[(size_t(y) * w + x) * 4], 4);
    }
  }
  return out;
}

Bytes random_image(int32_t w, int32_t h, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes image(size_t(w) * h * 4);
  for (uint8_t& byte : image) byte = static_cast<uint8_t>(random());
  return image;
}

struct TurnCase {
  double angle;
  int quarter_turns;
};

TEST(RotateStandIn, QuarterTurnsMatchForwardMapping) {
  const PfnRotateCenter turn = companion_function<PfnRotateCenter>(rotate_path(), kRotateName);
  ASSERT_NE(turn, nullptr);
  const TurnCase angles[] = {{0, 0}, {90, 1}, {180, 2}, {270, 3}, {-90, 3}, {360, 0}, {450, 1}};
  const std::pair<int32_t, int32_t> sizes[] = {{1, 1}, {1, 7}, {7, 1}, {5, 3}, {16, 9}, {2, 2}};
  for (auto [w, h] : sizes) {
    const Bytes source = random_image(w, h, static_cast<uint32_t>(w * 100 + h));
    for (const TurnCase& c : angles) {
      SCOPED_TRACE(testing::Message() << w << "x" << h << " by " << c.angle);
      const bool sideways = c.quarter_turns % 2 == 1;
      const int32_t dw = sideways ? h : w, dh = sideways ? w : h;
      Bytes destination(source.size(), 0xEE);
      ASSERT_EQ(turn(source.data(), {w, h}, w * 4, {0, 0, w, h}, destination.data(), dw * 4, {0, 0, dw, dh}, c.angle,
                     double(w >> 1), double(h >> 1), 2),
                qz_image::kOk);
      EXPECT_EQ(destination, turn_reference(source, w, h, c.quarter_turns));
    }
  }
}

TEST(RotateStandIn, PlacesTurnedRegionAtDestinationOriginAndWritesNothingElse) {
  const PfnRotateCenter turn = companion_function<PfnRotateCenter>(rotate_path(), kRotateName);
  const int32_t w = 6, h = 4;
  const Bytes source = random_image(w, h, 3);
  // A 3 x 2 region at (2, 1) of the source, turned by 90 into a 2 x 3 region at (1, 2) of a
  // 5-wide destination whose rows are padded to 24 bytes.
  const int32_t step = 24, rows = 6;
  Bytes destination(size_t(step) * rows, 0xEE);
  ASSERT_EQ(turn(source.data(), {w, h}, w * 4, {2, 1, 3, 2}, destination.data(), step, {1, 2, 2, 3}, 90.0, 3.0, 2.0, 1),
            qz_image::kOk);
  Bytes region;
  for (int32_t y = 1; y < 3; ++y) region.insert(region.end(), &source[(size_t(y) * w + 2) * 4], &source[(size_t(y) * w + 5) * 4]);
  const Bytes turned = turn_reference(region, 3, 2, 1);
  for (int32_t y = 0; y < rows; ++y) {
    for (int32_t x = 0; x < step / 4; ++x) {
      const uint8_t* pixel = &destination[size_t(y) * step + size_t(x) * 4];
      const bool inside = x >= 1 && x < 3 && y >= 2 && y < 5;
      if (inside) {
        EXPECT_EQ(0, std::memcmp(pixel, &turned[(size_t(y - 2) * 2 + (x - 1)) * 4], 4)) << x << "," << y;
      } else {
        EXPECT_EQ(Bytes(pixel, pixel + 4), Bytes(4, 0xEE)) << x << "," << y;
      }
    }
  }
}

struct RefusalCase {
  const char* name;
  bool null_source;
  bool null_destination;
  ImgRect source_rect;
  int32_t source_step;
  ImgRect destination_rect;
  int32_t destination_step;
  double angle;
  double centre_x;
  int32_t interpolation;
  int32_t expected;
};

TEST(RotateStandIn, RefusesWhatItCannotHonourAndWritesNothing) {
  const PfnRotateCenter turn = companion_function<PfnRotateCenter>(rotate_path(), kRotateName);
  const int32_t w = 5, h = 3;
  const ImgRect all{0, 0, w, h};
  const ImgRect turned{0, 0, h, w};
  const RefusalCase cases[] = {
      {"null source", true, false, all, 20, turned, 12, 90, 2, 2, qz_image::kNullPointer},
      {"null destination", false, true, all, 20, turned, 12, 90, 2, 2, qz_image::kNullPointer},
      {"45 degrees", false, false, all, 20, turned, 12, 45, 2, 2, qz_image::kBadAngle},
      {"not a number", false, false, all, 20, turned, 12, std::nan(""), 2, 2, qz_image::kBadAngle},
      {"interpolation 3", false, false, all, 20, turned, 12, 90, 2, 3, qz_image::kBadInterpolation},
      {"interpolation 0", false, false, all, 20, turned, 12, 90, 2, 0, qz_image::kBadInterpolation},
      {"unturned destination", false, false, all, 20, all, 20, 90, 2, 2, qz_image::kBadSize},
      {"turned destination at 180", false, false, all, 20, turned, 20, 180, 2, 2, qz_image::kBadSize},
      {"source region outside", false, false, {1, 0, w, h}, 20, turned, 12, 90, 2, 2, qz_image::kBadSize},
      {"empty source region", false, false, {0, 0, 0, h}, 20, {0, 0, h, 0}, 12, 90, 2, 2, qz_image::kBadSize},
      {"negative destination origin", false, false, all, 20, {-1, 0, h, w}, 12, 90, 2, 2, qz_image::kBadSize},
      {"source step short", false, false, all, 19, turned, 12, 90, 2, 2, qz_image::kBadStep},
      {"destination step short", false, false, all, 20, turned, 11, 90, 2, 2, qz_image::kBadStep},
      {"centre outside", false, false, all, 20, turned, 12, 90, 5.5, 2, qz_image::kBadCentre},
      {"centre not a number", false, false, all, 20, turned, 12, 90, std::nan(""), 2, qz_image::kBadCentre},
  };
  const Bytes source = random_image(w, h, 11);
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes destination(64 * 4, 0xEE);
    EXPECT_EQ(turn(c.null_source ? nullptr : source.data(), {w, h}, c.source_step, c.source_rect,
                   c.null_destination ? nullptr : destination.data(), c.destination_step, c.destination_rect, c.angle,
                   c.centre_x, 1.0, c.interpolation),
              c.expected);
    EXPECT_EQ(destination, Bytes(64 * 4, 0xEE));
  }
}

// --- Metadata stand-in ---------------------------------------------------------------------

using QueryFromMemory = PfnGetImageMetaValueFromMemData;

struct OrientationCase {
  const char* name;
  Bytes tiff;
  int32_t expected;
};

std::vector<OrientationCase> orientation_cases() {
  std::vector<OrientationCase> cases;
  for (uint16_t value = 1; value <= 8; ++value) {
    cases.push_back({"little endian", tiff_with_orientation(value, true), value});
    cases.push_back({"big endian", tiff_with_orientation(value, false), value});
  }
  cases.push_back({"value 0", tiff_with_orientation(0, true), 0});
  cases.push_back({"value 9", tiff_with_orientation(9, false), 0});
  cases.push_back({"LONG instead of SHORT", tiff_with_orientation(6, true, 4), 0});
  Bytes bad_magic = tiff_with_orientation(6, true);
  bad_magic[2] = 43;
  cases.push_back({"not TIFF", bad_magic, 0});
  Bytes far_directory = tiff_with_orientation(6, false);
  far_directory[7] = 200;
  cases.push_back({"directory beyond the data", far_directory, 0});
  const Bytes whole = tiff_with_orientation(6, true);
  const Bytes cut(whole.begin(), whole.begin() + 28);  // the orientation entry (22..33) is cut short
  cases.push_back({"truncated entry", cut, 0});
  return cases;
}

Bytes png_with_chunks(const std::vector<Bytes>& chunks) {
  return testpng::png(2, 2, 8, 0, testpng::filter_none({{1, 2}, {3, 4}}), chunks);
}

TEST(PicFactsStandIn, OrientationFromEitherByteOrderFromMemoryAndFile) {
  const auto query = companion_function<QueryFromMemory>(picfacts_path(), "GetImageMetaValueFromMemData");
  const auto query_file = companion_function<PfnGetImageMetaValue>(picfacts_path(), "GetImageMetaValue");
  ASSERT_NE(query, nullptr);
  ASSERT_NE(query_file, nullptr);
  for (const OrientationCase& c : orientation_cases()) {
    SCOPED_TRACE(testing::Message() << c.name << " " << c.expected);
    const Bytes png = png_with_chunks({testpng::chunk("tEXt", testpng::text_bytes(std::string("k\0v", 3))),
                                       testpng::chunk("eXIf", c.tiff)});
    int32_t value = -1;
    void* slot = nullptr;
    EXPECT_EQ(query(png.data(), static_cast<int32_t>(png.size()), "Orientation", &slot, &value), c.expected);
    EXPECT_EQ(value, c.expected);
    EXPECT_EQ(slot, nullptr);  // the Orientation query hands nothing out

    const std::string path = temp_path("exif.png");
    write_file(path, png);
    value = -1;
    EXPECT_EQ(query_file(wide(path).c_str(), "Orientation", &slot, &value), c.expected);
    EXPECT_EQ(value, c.expected);
  }
}

TEST(PicFactsStandIn, NoExifOrNoImageGivesZero) {
  const auto query = companion_function<QueryFromMemory>(picfacts_path(), "GetImageMetaValueFromMemData");
  const auto query_file = companion_function<PfnGetImageMetaValue>(picfacts_path(), "GetImageMetaValue");
  const Bytes plain = png_with_chunks({});
  Bytes exif_after_end = plain;
  const Bytes late = exif_chunk(6, true);
  exif_after_end.insert(exif_after_end.end(), late.begin(), late.end());
  const Bytes not_png(100, 0x42);
  for (const Bytes* bytes : {&plain, static_cast<const Bytes*>(&exif_after_end), &not_png}) {
    int32_t value = -1;
    EXPECT_EQ(query(bytes->data(), static_cast<int32_t>(bytes->size()), "Orientation", nullptr, &value), 0);
    EXPECT_EQ(value, 0);
  }
  // A buffer cut inside the eXIf data.
  const Bytes full = png_with_chunks({exif_chunk(6, true)});
  EXPECT_EQ(query(full.data(), 33 + 8 + 10, "Orientation", nullptr, nullptr), 0);
  EXPECT_EQ(query(nullptr, 100, "Orientation", nullptr, nullptr), 0);
  EXPECT_EQ(query(full.data(), -5, "Orientation", nullptr, nullptr), 0);
  int32_t value = -1;
  EXPECT_EQ(query_file(VELAPNG_W("/nonexistent/velapng.png"), "Orientation", nullptr, &value), 0);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(query_file(nullptr, "Orientation", nullptr, nullptr), 0);
  EXPECT_EQ(query(full.data(), static_cast<int32_t>(full.size()), "Orientation", nullptr, nullptr), 6);
}

// An eXIf length field that claims far more than the image holds: the answer is 0, and no
// block of that size is even reserved (the length is the file's word until its last byte
// is seen). A fuzz finding: the stand-in once asked for the claimed size first.
TEST(PicFactsStandIn, AnExifLengthBeyondTheImageReservesNothing) {
  const auto query = companion_function<QueryFromMemory>(picfacts_path(), "GetImageMetaValueFromMemData");
  Bytes png = png_with_chunks({exif_chunk(6, true)});
  const size_t exif_at = 33;  // right after the header chunk
  ASSERT_EQ(std::memcmp(&png[exif_at + 4], "eXIf", 4), 0);
  const uint32_t claimed = 1u << 30;
  for (int i = 0; i < 4; ++i) png[exif_at + i] = static_cast<uint8_t>(claimed >> (24 - 8 * i));
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

TEST(PicFactsStandIn, UnknownKeysAnswerZeroAndWriteNothing) {
  const auto query = companion_function<QueryFromMemory>(picfacts_path(), "GetImageMetaValueFromMemData");
  const Bytes png = png_with_chunks({exif_chunk(3, false)});
  for (const char* key : {"orientation", "Width", "", static_cast<const char*>(nullptr)}) {
    int32_t value = -7;
    void* slot = &value;
    EXPECT_EQ(query(png.data(), static_cast<int32_t>(png.size()), key, &slot, &value), 0);
    EXPECT_EQ(value, -7);
    EXPECT_EQ(slot, &value);
  }
}

TEST(PicFactsStandIn, ExifBlockIsHandedOutAndReleased) {
  const auto query = companion_function<QueryFromMemory>(picfacts_path(), "GetImageMetaValueFromMemData");
  const auto release = companion_function<PfnReleaseImageMetaValue>(picfacts_path(), "ReleaseImageMetaValue");
  const Bytes tiff = tiff_with_orientation(8, true);
  const Bytes png = png_with_chunks({testpng::chunk("eXIf", tiff)});
  void* block = nullptr;
  int32_t size = 0;
  ASSERT_EQ(query(png.data(), static_cast<int32_t>(png.size()), "Exif", &block, &size), 1);
  ASSERT_NE(block, nullptr);
  ASSERT_EQ(size, static_cast<int32_t>(tiff.size()));
  EXPECT_EQ(Bytes(static_cast<uint8_t*>(block), static_cast<uint8_t*>(block) + size), tiff);
  EXPECT_EQ(release(picfacts::kExifBlock + 1, block), 0);  // wrong kind: not freed
  EXPECT_EQ(release(picfacts::kExifBlock, nullptr), 0);
  EXPECT_EQ(release(picfacts::kExifBlock, block), 1);  // the leak checker sees it freed
  // Without a slot nothing is handed out, but presence and size are still told.
  size = 0;
  EXPECT_EQ(query(png.data(), static_cast<int32_t>(png.size()), "Exif", nullptr, &size), 1);
  EXPECT_EQ(size, static_cast<int32_t>(tiff.size()));
  const Bytes plain = png_with_chunks({});
  block = nullptr;
  EXPECT_EQ(query(plain.data(), static_cast<int32_t>(plain.size()), "Exif", &block, &size), 0);
  EXPECT_EQ(block, nullptr);
}

// --- Log and path stand-in -----------------------------------------------------------------

TEST(LogStandIn, FormatsSigned32BitValuesAndEndsEachLine) {
  struct LogCase {
    const WCHAR* format;
    int32_t a, b;
    std::string expected;
  };
  const LogCase cases[] = {
      {VELAPNG_W("v=%d,%d"), 0, -1, "v=0,-1"},
      {VELAPNG_W("%d %d \n"), INT32_MIN, INT32_MAX, "-2147483648 2147483647 "},
      {VELAPNG_W("100%% %s %d"), 7, 0, "100% %s 7"},
      {VELAPNG_W("\u00e9t\u00e9 %d"), 3, 0, std::string(reinterpret_cast<const char*>(u8"\u00e9t\u00e9 3"))},
  };
  for (const LogCase& c : cases) {
    LogWatch log;
    LogPrintf(c.format, c.a, c.b);
    EXPECT_EQ(log.lines(), std::vector<std::string>{c.expected});
  }
}

TEST(LogStandIn, BaseDirectoryIsOwnDirectoryOrTheOverride) {
  WCHAR buffer[1024] = {};
  GetBaseDirectory(buffer, 1024);
  EXPECT_EQ(WString(buffer), wide(bin_dir()));
  {
    ScopedBaseDirectory base("/some/where///");
    std::fill(std::begin(buffer), std::end(buffer), WCHAR{0});
    GetBaseDirectory(buffer, 1024);
    EXPECT_EQ(WString(buffer), VELAPNG_W("/some/where"));
    // "/some/where" is 11 units: it fits 12 with its NUL, not 11.
    WCHAR small[12];
    std::fill(std::begin(small), std::end(small), WCHAR{'X'});
    GetBaseDirectory(small, 12);
    EXPECT_EQ(WString(small), VELAPNG_W("/some/where"));
    std::fill(std::begin(small), std::end(small), WCHAR{'X'});
    GetBaseDirectory(small, 11);
    EXPECT_EQ(small[0], 0);
    EXPECT_EQ(small[1], WCHAR{'X'});
  }
}

}  // namespace
