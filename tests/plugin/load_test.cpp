#include <gtest/gtest.h>

#include <optional>

#include "tests/plugin/harness.h"
#include "tests/support/parallel.h"

namespace {

using namespace plugintest;

const int32_t kAngles[] = {0, 90, 180, 270};

// Sides of 1 and sides that differ catch a turn that mixes up width and height. Only a
// rotated load makes (and logs) a temporary image. Only an unrotated load from a file
// describes the layout, in nStride and four header fields; the rest of the record stays the
// host's. The turns are the real rotate stand-in's.
TEST(Load, EveryAngleFromFileAndMemory) {
  const std::pair<uint32_t, uint32_t> sizes[] = {{5, 3}, {3, 5}, {7, 4}, {1, 6}, {6, 1}, {1, 1}};
  const Bytes canary(8, kCanary);
  for (auto [w, h] : sizes) {
    const TestImage image = distinct_rgba_image(w, h);
    for (Source source : kSources) {
      for (int32_t angle : kAngles) {
        SCOPED_TRACE(testing::Message() << w << "x" << h << " " << source_name(source) << " " << angle);
        LogWatch log;
        HostCanvas canvas(image.bytes());
        ASSERT_EQ(load(source, &canvas.image, image.png, angle), 1);
        EXPECT_EQ(canvas.pixels(), image.bgra(angle));
        EXPECT_TRUE(canvas.guard_untouched());
        EXPECT_EQ(log.lines(), angle == 0 ? Lines{} : Lines{kImageMade});
        const bool reports = source == Source::file && angle == 0;
        BITMAPINFOHEADER expected;
        std::memset(&expected, kCanary, sizeof expected);
        if (reports) {
          expected.biWidth = w;
          expected.biHeight = h;
          expected.biBitCount = 32;
          expected.biSizeImage = w * h * 4;
        }
        EXPECT_EQ(0, std::memcmp(&canvas.header, &expected, sizeof expected));
        EXPECT_EQ(canvas.image.nStride, reports ? int32_t(w * 4) : HostCanvas::kStrideMark);
        EXPECT_EQ(canvas.image.pBits, canvas.memory.data());
        EXPECT_EQ(canvas.image.pInfoHeader, &canvas.header);
        EXPECT_EQ(0, std::memcmp(canvas.image.hostReserved0, canary.data(), 8));
        EXPECT_EQ(0, std::memcmp(canvas.image.hostReserved1, canary.data(), 4));
      }
    }
  }
  const TestImage image = distinct_rgba_image(2, 2);
  HostCanvas headless(image.bytes());  // a load that reports nothing needs no header
  headless.image.pInfoHeader = nullptr;
  EXPECT_EQ(load(Source::memory, &headless.image, image.png, 0), 1);
}

// What the rotate function is handed, echoed by the double over the host's pixels: the
// decoded image, whole, with rows of its own width; the destination region turned; the
// angle; the centre halved downwards; interpolation 2.
TEST(Load, RotateFunctionArguments) {
  ScopedBaseDirectory base(echo_dir());
  const std::tuple<int32_t, int32_t, int32_t> cases[] = {{5, 3, 90}, {5, 3, 180}, {5, 3, 270}, {1, 7, 270}, {6, 1, 90}};
  for (const auto& [w, h, angle] : cases) {
    const TestImage image = distinct_rgba_image(uint32_t(w), uint32_t(h));
    const int32_t dw = angle == 180 ? w : h, dh = angle == 180 ? h : w;
    const std::vector<double> expected = {
        double(w),     double(h),     w * 4.0,       0, 0, double(w), double(h), dw * 4.0, 0, 0, double(dw), double(dh),
        double(angle), double(w / 2), double(h / 2), 2};
    for (Source source : kSources) {
      SCOPED_TRACE(testing::Message() << w << "x" << h << " by " << angle << " " << source_name(source));
      HostCanvas canvas(expected.size() * sizeof(double));
      ASSERT_EQ(load(source, &canvas.image, image.png, angle), 1);
      std::vector<double> echoed(expected.size());
      std::memcpy(echoed.data(), canvas.memory.data(), expected.size() * sizeof(double));
      EXPECT_EQ(echoed, expected);
    }
  }
}

// What a failing call goes without: part of the host's record, the file name or file, or
// the data.
enum class Without { nothing, record, pixels, header, name, file, data };

struct FailureCase {
  std::string name;
  Source source;
  Bytes png;
  int32_t angle;
  bool quiet;  // refused before a temporary image was made
  Without without = Without::nothing;
  std::optional<int32_t> size = {};  // the memory size passed, when not the PNG's
  std::string base = bin_dir();
};

int32_t fail(const FailureCase& c, HostCanvas& canvas) {
  if (c.without == Without::pixels) canvas.image.pBits = nullptr;
  if (c.without == Without::header) canvas.image.pInfoHeader = nullptr;
  HostImage* const record = c.without == Without::record ? nullptr : &canvas.image;
  if (c.source == Source::memory) {
    const int32_t size = c.size.value_or(int32_t(c.png.size()));
    return png_entry().pfnImage32LoadFromMemData(record, c.without == Without::data ? nullptr : c.png.data(), size,
                                                 c.angle);
  }
  const std::string path = temp_path("fail.png");
  write_file(path, c.png);
  const WString name = wide(c.without == Without::file ? path + "-missing" : path);
  return png_entry().pfnImage32LoadFile(record, c.without == Without::name ? nullptr : name.c_str(), c.angle);
}

// Every failure leaves the host's pixels, header and stride alone; the real rotate function,
// which would write them, is never reached. A rotated load needs the rotate function.
TEST(Load, FailuresLeaveHostMemoryUntouched) {
  const Bytes png = distinct_rgba_image(5, 3).png;
  Bytes bad_idat = png;
  bad_idat[33 + 8 + 2] ^= 0xFF;  // inside the zlib stream
  const auto header_only = [](uint32_t w, uint32_t h) { return testpng::header(w, h, 8, 6); };
  const Source file = Source::file, memory = Source::memory;
  std::vector<FailureCase> cases = {
      {"not a PNG, turned", file, Bytes(200, 0x42), 90, true},
      {"null file name", file, png, 0, true, Without::name},
      {"missing file", file, png, 0, true, Without::file},
      {"no image record", file, png, 0, true, Without::record},
      {"no image record", memory, png, 0, true, Without::record},
      {"no header, unrotated file", file, png, 0, true, Without::header},
      {"null data", memory, png, 0, true, Without::data, 100},
      {"size cut short", memory, png, 0, true, Without::nothing, 32},
      {"negative size", memory, png, 0, true, Without::nothing, -1},
      {"most negative size", memory, png, 90, true, Without::nothing, INT32_MIN},
      // Byte counts from 2^31 on don't fit the host's signed 32-bit fields; 2^32 wraps to 0.
      {"2^31 bytes", memory, header_only(0x20000000, 1), 90, true},
      {"2^32 bytes", memory, header_only(0x40000000, 1), 90, true},
      {"2^31 bytes, both sides", file, header_only(0x10000, 0x8000), 270, true},
      {"2^64 bytes, wraps to 0", memory, header_only(0x80000000, 0x80000000), 90, true},
      {"header only, turned", memory, header_only(1000, 1000), 90, false},
      {"corrupt image data, turned", file, bad_idat, 90, false},
      // "\QZ_Image.dll" is 13 units: 1024 - 14 is the longest base directory that fits.
      {"base directory too long", memory, png, 90, false, Without::nothing, {}, padded_directory(bin_dir(), 1011)},
  };
  for (Source source : kSources) {
    for (int32_t angle : {-1, 1, 89, 91, 271, 360, INT32_MIN, INT32_MAX})
      cases.push_back({"angle " + std::to_string(angle), source, png, angle, true});
    for (int32_t angle : kAngles) cases.push_back({"no pixel memory", source, png, angle, true, Without::pixels});
    for (const std::string& directory : {empty_dir(), hollow_dir()})
      cases.push_back({"no rotate function", source, png, 90, false, Without::nothing, {}, directory});
  }
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name + " " + source_name(c.source) + " " + std::to_string(c.angle) + " " + c.base.substr(0, 80));
    ScopedBaseDirectory base(c.base);
    LogWatch log;
    HostCanvas canvas(5 * 3 * 4);
    EXPECT_EQ(fail(c, canvas), 0);
    EXPECT_TRUE(canvas.untouched());
    EXPECT_EQ(log.lines(), c.quiet ? Lines{} : Lines{kImageMade});
  }
}

// Read as the host reads it: raw bytes at fixed offsets, little-endian, up to the all-zero
// terminator; the same table on every call.
TEST(Exports, DescriptorTableBytes) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&png_entry());  // the table's first entry
  EXPECT_EQ(&png_entry(), &png_entry());
  Bytes expected(640, 0);
  const uint8_t head[] = {'P', 0, 'N', 0, 'G', 0};
  std::memcpy(expected.data(), head, sizeof head);
  std::memcpy(&expected[256], "PNG ", 4);
  const char* const services[] = {"Image32LoadFile",         "ImageGetInfo",
                                  "GetImageMetaValue",       "Image32LoadFromMemData",
                                  "ImageGetInfoFromMemData", "GetImageMetaValueFromMemData",
                                  "ReleaseImageMetaValue"};
  for (size_t i = 0; i < 7; ++i) {
    const auto exported = reinterpret_cast<uintptr_t>(velapng::find_function<void (*)()>(plugin_handle(), services[i]));
    ASSERT_NE(exported, 0u) << services[i];
    for (size_t k = 0; k < 8; ++k) expected[264 + 8 * i + k] = static_cast<uint8_t>(exported >> 8 * k);
  }
  EXPECT_EQ(Bytes(bytes, bytes + 640), expected);
}

// Loads, and information calls that reach the metadata library, from eight threads at once:
// the plug-in shares nothing between calls, so every result must be the one the same call
// gives alone. Runs under ThreadSanitizer in its own build.
TEST(Concurrency, ParallelCallsMatchSerialResults) {
  std::vector<TestImage> images;
  std::vector<WString> paths;
  for (uint32_t i = 0; i < 16; ++i) {
    images.push_back(distinct_rgba_image(3 + i * 2, 2 + (i * 5) % 11, {exif_chunk(uint16_t(1 + i % 8), i % 2 == 0)}));
    paths.push_back(wide(temp_path("parallel.png")));
    write_file(paths.back(), images.back().png);
  }
  const int mismatches = testpng::sum_over_threads(8, [&](size_t t) {
    int wrong = 0;
    for (size_t k = 0; k < 6 * images.size(); ++k) {
      const size_t job = (k + t * 3) % images.size();
      const TestImage& image = images[job];
      const auto angle = int32_t(job % 4) * 90;
      HostCanvas canvas(image.bytes());
      const int32_t loaded = job % 3 == 0 ? png_entry().pfnImage32LoadFile(&canvas.image, paths[job].c_str(), angle)
                                          : load(Source::memory, &canvas.image, image.png, angle);
      if (loaded != 1 || canvas.pixels() != image.bgra(angle) || !canvas.guard_untouched()) ++wrong;
      uint32_t width = 0, height = 0;
      int32_t orientation = 0;
      const int32_t answer = png_entry().pfnImageGetInfo(paths[job].c_str(), &width, &height, &orientation);
      if (width != image.width || height != image.height || answer != int32_t(1 + job % 8) || orientation != answer)
        ++wrong;
    }
    return wrong;
  });
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
