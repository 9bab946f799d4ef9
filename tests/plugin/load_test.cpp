#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "tests/plugin/harness.h"
#include "tests/support/corpus.h"

namespace {

using namespace plugintest;

const int32_t kAngles[] = {0, 90, 180, 270};

PfnImage32LoadFile load_file() { return plugin_symbol<PfnImage32LoadFile>("Image32LoadFile"); }
PfnImage32LoadFromMemData load_memory() { return plugin_symbol<PfnImage32LoadFromMemData>("Image32LoadFromMemData"); }

enum class Source { file, memory };

int32_t load(Source source, HostImage* image, const Bytes& png, int32_t angle) {
  if (source == Source::memory) return load_memory()(image, png.data(), static_cast<int32_t>(png.size()), angle);
  const std::string path = temp_path("load.png");
  write_file(path, png);
  return load_file()(image, wide(path).c_str(), angle);
}

TEST(Load, EveryAngleOnNonSquareImages) {
  const std::pair<uint32_t, uint32_t> sizes[] = {{5, 3}, {3, 5}, {7, 4}, {1, 6}, {6, 1}, {1, 1}};
  for (auto [w, h] : sizes) {
    const TestImage image = distinct_rgba_image(w, h);
    for (Source source : {Source::file, Source::memory}) {
      for (int32_t angle : kAngles) {
        SCOPED_TRACE(testing::Message() << w << "x" << h << (source == Source::file ? " file " : " memory ") << angle);
        HostCanvas canvas(size_t{w} * h * 4);
        ASSERT_EQ(load(source, &canvas.image, image.png, angle), 1);
        EXPECT_EQ(canvas.pixels(), expected_bgra(image.rgba, w, h, angle));
        EXPECT_TRUE(canvas.guard_untouched());
      }
    }
  }
}

TEST(Load, RedAndBlueArriveSwapped) {
  const Bytes png = testpng::png(1, 1, 8, 6, testpng::filter_none({{0x11, 0x22, 0x33, 0x44}}));
  for (Source source : {Source::file, Source::memory}) {
    for (int32_t angle : kAngles) {
      HostCanvas canvas(4);
      ASSERT_EQ(load(source, &canvas.image, png, angle), 1);
      EXPECT_EQ(canvas.pixels(), (Bytes{0x33, 0x22, 0x11, 0x44})) << angle;
    }
  }
}

// The straight RGBA of PngSuite images (decoded by the plug-in's own decoder) reaches the
// host in BGRA at every angle: a corpus-wide check of the swap and the turn.
TEST(Load, CorpusImagesTurnConsistently) {
  for (const char* name : {"basn6a08.png", "basn2c16.png", "basi3p02.png", "basn0g01.png", "s35n3p04.png"}) {
    SCOPED_TRACE(name);
    const Bytes png = testpng::read_file(testpng::pngsuite_dir() + "/" + name);
    uint32_t w = 0, h = 0;
    ASSERT_EQ(plugin_symbol<PfnImageGetInfoFromMemData>("ImageGetInfoFromMemData")(
                  png.data(), static_cast<int32_t>(png.size()), &w, &h, nullptr),
              0);
    HostCanvas upright(size_t{w} * h * 4);
    ASSERT_EQ(load(Source::memory, &upright.image, png, 0), 1);
    Bytes rgba = upright.pixels();  // back to RGBA, the form expected_bgra starts from
    for (size_t i = 0; i < rgba.size(); i += 4) std::swap(rgba[i], rgba[i + 2]);
    for (int32_t angle : {90, 180, 270}) {
      HostCanvas turned(size_t{w} * h * 4);
      ASSERT_EQ(load(Source::file, &turned.image, png, angle), 1);
      EXPECT_EQ(turned.pixels(), expected_bgra(rgba, w, h, angle)) << angle;
    }
  }
}

TEST(Load, OnlyUnrotatedFileLoadReportsLayout) {
  const uint32_t w = 7, h = 4;
  const TestImage image = distinct_rgba_image(w, h);
  for (Source source : {Source::file, Source::memory}) {
    for (int32_t angle : kAngles) {
      SCOPED_TRACE(testing::Message() << (source == Source::file ? "file " : "memory ") << angle);
      HostCanvas canvas(w * h * 4);
      HostImage before = canvas.image;
      ASSERT_EQ(load(source, &canvas.image, image.png, angle), 1);
      EXPECT_EQ(canvas.image.pBits, before.pBits);
      EXPECT_EQ(canvas.image.pInfoHeader, before.pInfoHeader);
      EXPECT_EQ(0, std::memcmp(canvas.image.hostReserved0, before.hostReserved0, 8));
      EXPECT_EQ(0, std::memcmp(canvas.image.hostReserved1, before.hostReserved1, 4));
      if (source == Source::memory || angle != 0) {
        EXPECT_TRUE(canvas.header_untouched());
        continue;
      }
      EXPECT_EQ(canvas.image.nStride, int32_t(w * 4));
      EXPECT_EQ(canvas.header.biWidth, int32_t(w));
      EXPECT_EQ(canvas.header.biHeight, int32_t(h));
      EXPECT_EQ(canvas.header.biBitCount, 32);
      EXPECT_EQ(canvas.header.biSizeImage, w * h * 4);
      // Everything else of the header is the host's.
      BITMAPINFOHEADER rest = canvas.header;
      rest.biWidth = rest.biHeight = 0;
      rest.biBitCount = 0;
      rest.biSizeImage = 0;
      BITMAPINFOHEADER canary;
      std::memset(&canary, kCanary, sizeof canary);
      canary.biWidth = canary.biHeight = 0;
      canary.biBitCount = 0;
      canary.biSizeImage = 0;
      EXPECT_EQ(0, std::memcmp(&rest, &canary, sizeof rest));
    }
  }
}

struct FailureCase {
  const char* name;
  std::function<int32_t(HostCanvas&)> call;
};

Bytes header_only(uint32_t w, uint32_t h) { return testpng::header(w, h, 8, 6); }

Bytes with_bad_idat(const TestImage& image) {
  Bytes png = image.png;
  const size_t idat = 33 + 8;  // data of the chunk after the header
  png[idat + 2] ^= 0xFF;
  return png;
}

TEST(Load, FailuresLeaveHostMemoryUntouched) {
  const TestImage image = distinct_rgba_image(5, 3);
  const Bytes not_png(200, 0x42);
  Bytes bad_crc = image.png;
  bad_crc[32] ^= 1;
  const auto memory = [](const Bytes& png, int32_t angle) {
    return [png, angle](HostCanvas& canvas) { return load(Source::memory, &canvas.image, png, angle); };
  };
  const auto file = [](const Bytes& png, int32_t angle) {
    return [png, angle](HostCanvas& canvas) { return load(Source::file, &canvas.image, png, angle); };
  };
  std::vector<FailureCase> cases = {
      {"not a PNG", memory(not_png, 0)},
      {"not a PNG, file", file(not_png, 90)},
      {"header CRC", memory(bad_crc, 0)},
      {"header CRC, turned", file(bad_crc, 270)},
      {"empty file", file({}, 0)},
      {"empty buffer", memory({}, 0)},
      {"null file name", [](HostCanvas& c) { return load_file()(&c.image, nullptr, 0); }},
      {"missing file", [](HostCanvas& c) { return load_file()(&c.image, VELAPNG_W("/nonexistent/x.png"), 0); }},
      {"null data", [](HostCanvas& c) { return load_memory()(&c.image, nullptr, 100, 0); }},
      {"size cut short", [&](HostCanvas& c) { return load_memory()(&c.image, image.png.data(), 32, 0); }},
      {"header only, turned", memory(header_only(5, 3), 90)},
      {"corrupt image data, turned", memory(with_bad_idat(image), 180)},
      {"corrupt image data, turned file", file(with_bad_idat(image), 90)},
  };
  for (int32_t angle : {45, -90, 360, 1, 91, -1}) {
    cases.push_back({"angle", memory(image.png, angle)});
    cases.push_back({"angle, file", file(image.png, angle)});
  }
  for (FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    HostCanvas canvas(5 * 3 * 4);
    EXPECT_EQ(c.call(canvas), 0);
    EXPECT_TRUE(canvas.pixels_untouched());
    EXPECT_TRUE(canvas.header_untouched());
  }
}

TEST(Load, UnsupportedAngleTouchesNothing) {
  const TestImage image = distinct_rgba_image(5, 3);
  ScopedBaseDirectory base(fakes_dir());
  RotateRecorder::reset(0);
  LogWatch log;
  for (int32_t angle : {45, -90, 360, 1, 89, 271, INT32_MIN, INT32_MAX}) {
    HostCanvas canvas(60);
    EXPECT_EQ(load(Source::memory, &canvas.image, image.png, angle), 0) << angle;
    EXPECT_EQ(load(Source::file, &canvas.image, image.png, angle), 0) << angle;
    EXPECT_TRUE(canvas.pixels_untouched());
  }
  EXPECT_EQ(RotateRecorder::count(), 0);
  EXPECT_TRUE(log.lines().empty());  // no temporary image was made
}

TEST(Load, NegativeByteCountIsRefused) {
  const TestImage image = distinct_rgba_image(5, 3);
  for (int32_t size : {-1, -60, INT32_MIN}) {
    HostCanvas canvas(60);
    EXPECT_EQ(load_memory()(&canvas.image, image.png.data(), size, 0), 0) << size;
    EXPECT_TRUE(canvas.pixels_untouched()) << size;
  }
}

TEST(Load, MissingDestinationFailsBeforeDecoding) {
  const TestImage image = distinct_rgba_image(5, 3);
  for (int32_t angle : kAngles) {
    LogWatch log;
    HostCanvas canvas(60);
    canvas.image.pBits = nullptr;
    EXPECT_EQ(load(Source::memory, &canvas.image, image.png, angle), 0);
    EXPECT_EQ(load(Source::file, &canvas.image, image.png, angle), 0);
    EXPECT_TRUE(canvas.header_untouched());
    EXPECT_TRUE(log.lines().empty());
  }
  EXPECT_EQ(load_memory()(nullptr, image.png.data(), static_cast<int32_t>(image.png.size()), 0), 0);
  EXPECT_EQ(load_file()(nullptr, VELAPNG_W("/tmp/x.png"), 90), 0);
  // Without a header to describe the layout in, an unrotated file load refuses to start.
  HostCanvas canvas(60);
  canvas.image.pInfoHeader = nullptr;
  EXPECT_EQ(load(Source::file, &canvas.image, image.png, 0), 0);
  EXPECT_TRUE(canvas.pixels_untouched());
  EXPECT_EQ(load(Source::memory, &canvas.image, image.png, 0), 1);  // it reports nothing anyway
}

// Byte counts above 0x7FFFFFFF can't be described in the host's signed 32-bit fields; such a
// header is refused before the temporary image or any pixel exists.
TEST(Load, ImagesTooLargeForThirtyTwoBitsAreRefusedEarly) {
  struct SizeCase {
    uint32_t w, h;
    bool refused;
  };
  const SizeCase cases[] = {
      {0x20000000, 1, true},  {1, 0x20000000, true}, {0x10000, 0x8000, true},
      {0x80000000, 1, true},  {0xFFFFFFFF, 0xFFFFFFFF, true},
      {1000, 1000, false},  // the same header-only file reaches the decode (and fails there)
  };
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
    LogWatch log;
    HostCanvas canvas(64);
    EXPECT_EQ(load(Source::memory, &canvas.image, header_only(c.w, c.h), 90), 0);
    if (c.refused) {
      EXPECT_EQ(load(Source::memory, &canvas.image, header_only(c.w, c.h), 0), 0);
    }
    EXPECT_TRUE(canvas.pixels_untouched());
    EXPECT_EQ(log.lines().empty(), c.refused);
  }
}

TEST(Load, RotatedLoadsNeedTheImageOperationsLibrary) {
  const TestImage image = distinct_rgba_image(4, 3);
  const std::string long_base = "/" + std::string(1010, 'd');  // 1011 + 13 units leave no room for the NUL
  for (const std::string& directory : {empty_dir(), hollow_dir(), long_base}) {
    SCOPED_TRACE(directory.substr(0, 60));
    ScopedBaseDirectory base(directory);
    for (int32_t angle : {90, 180, 270}) {
      HostCanvas canvas(48);
      EXPECT_EQ(load(Source::memory, &canvas.image, image.png, angle), 0);
      EXPECT_EQ(load(Source::file, &canvas.image, image.png, angle), 0);
      EXPECT_TRUE(canvas.pixels_untouched());
    }
    HostCanvas canvas(48);
    EXPECT_EQ(load(Source::file, &canvas.image, image.png, 0), 1);
    EXPECT_EQ(canvas.pixels(), expected_bgra(image.rgba, 4, 3, 0));
  }
}

TEST(Load, TemporaryImageLogsItsAllocation) {
  const TestImage image = distinct_rgba_image(4, 3);
  for (int32_t angle : kAngles) {
    LogWatch log;
    HostCanvas canvas(48);
    ASSERT_EQ(load(Source::memory, &canvas.image, image.png, angle), 1);
    const std::vector<std::string> expected =
        angle == 0 ? std::vector<std::string>{} : std::vector<std::string>{"IMAGE calloc success "};
    EXPECT_EQ(log.lines(), expected) << angle;
  }
}

TEST(Load, FileNamesBeyondTheBufferAreRefused) {
  const TestImage image = distinct_rgba_image(2, 2);
  const std::string path = temp_path("p.png");
  write_file(path, image.png);
  // The same file through a name padded to 4095 units loads; one more does not.
  const size_t name_start = path.rfind(kSeparator);
  const std::string directory = path.substr(0, name_start);
  const std::string name = path.substr(name_start);  // with its separator
  for (size_t units : {size_t{4095}, size_t{4096}}) {
    const std::string padded = padded_directory(directory, units - name.size()) + name;
    ASSERT_EQ(padded.size(), units);
    HostCanvas canvas(16);
    EXPECT_EQ(load_file()(&canvas.image, wide(padded).c_str(), 0), units <= 4095 ? 1 : 0) << units;
  }
}

TEST(Load, FileOfTheSigned32BitLimitIsRefused) {
  const std::string path = temp_path("huge.png");
  write_file(path, distinct_rgba_image(2, 2).png);  // a valid start, then sparse zeroes
  std::filesystem::resize_file(path, 0x7FFFFFFF);
  HostCanvas canvas(16);
  EXPECT_EQ(load_file()(&canvas.image, wide(path).c_str(), 0), 0);
  EXPECT_TRUE(canvas.pixels_untouched());
  std::remove(path.c_str());
}

}  // namespace
