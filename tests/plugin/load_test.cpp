#include <gtest/gtest.h>

#include <functional>

#include "tests/plugin/harness.h"

namespace {

using namespace plugintest;

const int32_t kAngles[] = {0, 90, 180, 270};
const std::string kImageMade = "IMAGE calloc success ";

// Sides of 1 and sides that differ catch a turn that mixes up width and height. Only a
// rotated load makes (and logs) a temporary image. Only an unrotated load from a file
// describes the layout, in nStride and four header fields; the rest of the record stays the
// host's.
TEST(Load, EveryAngleFromFileAndMemory) {
  const std::pair<uint32_t, uint32_t> sizes[] = {{5, 3}, {3, 5}, {7, 4}, {1, 6}, {6, 1}, {1, 1}};
  const Bytes canary(8, kCanary);
  for (auto [w, h] : sizes) {
    const TestImage image = distinct_rgba_image(w, h);
    for (Source source : kSources) {
      for (int32_t angle : kAngles) {
        SCOPED_TRACE(testing::Message() << w << "x" << h << " " << source_name(source) << " " << angle);
        LogWatch log;
        HostCanvas canvas(image.rgba.size());
        ASSERT_EQ(load(source, &canvas.image, image.png, angle), 1);
        EXPECT_EQ(canvas.pixels(), expected_bgra(image.rgba, w, h, angle));
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
  HostCanvas headless(image.rgba.size());  // a load that reports nothing needs no header
  headless.image.pInfoHeader = nullptr;
  EXPECT_EQ(load(Source::memory, &headless.image, image.png, 0), 1);
  ScopedBaseDirectory none(empty_dir());  // nor does it need a companion
  HostCanvas alone(image.rgba.size());
  EXPECT_EQ(load(Source::file, &alone.image, image.png, 0), 1);
}

struct FailureCase {
  std::string name;
  std::function<int32_t(HostCanvas&)> call;
  bool quiet;             // refused before a temporary image was made
  std::string base = {};  // the base directory; empty: the recording doubles'
};

// Every failure leaves the host's pixels, header and stride alone; the recording rotate
// double, which would succeed, is never reached. A rotated load needs the rotate function.
TEST(Load, FailuresLeaveHostMemoryUntouched) {
  const TestImage image = distinct_rgba_image(5, 3);
  Bytes bad_crc = image.png;
  bad_crc[32] ^= 1;
  Bytes bad_idat = image.png;
  bad_idat[33 + 8 + 2] ^= 0xFF;  // inside the zlib stream
  const auto with = [](Source source, const Bytes& png, int32_t angle) {
    return [source, png, angle](HostCanvas& c) { return load(source, &c.image, png, angle); };
  };
  const auto header_only = [](uint32_t w, uint32_t h) { return testpng::header(w, h, 8, 6); };
  const DecoderPluginEntry& png = png_entry();
  const auto from_memory = [&png](const uint8_t* data, int32_t size, int32_t angle) {
    return
        [&png, data, size, angle](HostCanvas& c) { return png.pfnImage32LoadFromMemData(&c.image, data, size, angle); };
  };
  std::vector<FailureCase> cases = {
      {"not a PNG", with(Source::memory, Bytes(200, 0x42), 0), true},
      {"not a PNG, turned file", with(Source::file, Bytes(200, 0x42), 90), true},
      {"header CRC", with(Source::memory, bad_crc, 0), true},
      {"header CRC, turned file", with(Source::file, bad_crc, 270), true},
      {"empty file", with(Source::file, {}, 0), true},
      {"empty buffer", with(Source::memory, {}, 0), true},
      {"null file name", [&](HostCanvas& c) { return png.pfnImage32LoadFile(&c.image, nullptr, 0); }, true},
      {"missing file",
       [&](HostCanvas& c) { return png.pfnImage32LoadFile(&c.image, VELAPNG_W("/nonexistent/x.png"), 0); }, true},
      {"null data", from_memory(nullptr, 100, 0), true},
      {"size cut short", from_memory(image.png.data(), 32, 0), true},
      {"negative size", from_memory(image.png.data(), -1, 0), true},
      {"most negative size", from_memory(image.png.data(), INT32_MIN, 90), true},
      {"no image record",
       [&](HostCanvas&) {
         return png.pfnImage32LoadFromMemData(nullptr, image.png.data(), int32_t(image.png.size()), 0);
       },
       true},
      {"no image record, file",
       [&](HostCanvas&) { return png.pfnImage32LoadFile(nullptr, VELAPNG_W("/nonexistent/x.png"), 90); }, true},
      {"no header, unrotated file",
       [&](HostCanvas& c) {
         c.image.pInfoHeader = nullptr;
         return load(Source::file, &c.image, image.png, 0);
       },
       true},
      // Byte counts from 2^31 on don't fit the host's signed 32-bit fields; 2^32 wraps to 0.
      {"2^31 bytes", with(Source::memory, header_only(0x20000000, 1), 90), true},
      {"2^32 bytes", with(Source::memory, header_only(0x40000000, 1), 90), true},
      {"2^31 bytes, both sides", with(Source::file, header_only(0x10000, 0x8000), 270), true},
      {"2^64 bytes, wraps to 0", with(Source::memory, header_only(0x80000000, 0x80000000), 90), true},
      {"header only, turned", with(Source::memory, header_only(1000, 1000), 90), false},
      {"corrupt image data, turned", with(Source::memory, bad_idat, 180), false},
      {"corrupt image data, turned file", with(Source::file, bad_idat, 90), false},
  };
  for (int32_t angle : {-1, 1, 89, 91, 271, 360, INT32_MIN, INT32_MAX}) {
    for (Source source : kSources)
      cases.push_back({"angle " + std::to_string(angle), with(source, image.png, angle), true});
  }
  for (int32_t angle : kAngles) {
    for (Source source : kSources) {
      cases.push_back({"no pixel memory",
                       [source, &image, angle](HostCanvas& c) {
                         c.image.pBits = nullptr;
                         return load(source, &c.image, image.png, angle);
                       },
                       true});
    }
  }
  for (const std::string& directory : {empty_dir(), hollow_dir()}) {
    for (Source source : kSources)
      cases.push_back(
          {"no rotate function", with(source, image.png, source == Source::file ? 90 : 180), false, directory});
  }
  for (FailureCase& c : cases) {
    SCOPED_TRACE(c.name + " " + c.base);
    ScopedBaseDirectory base(c.base.empty() ? fakes_dir() : c.base);
    rotate_recorder().reset(0);
    LogWatch log;
    HostCanvas canvas(5 * 3 * 4);
    EXPECT_EQ(c.call(canvas), 0);
    EXPECT_TRUE(canvas.pixels_untouched());
    EXPECT_TRUE(canvas.header_untouched());
    EXPECT_EQ(log.lines(), c.quiet ? Lines{} : Lines{kImageMade});
    EXPECT_EQ(rotate_recorder().count(), 0);
  }
}

// The same file through a name padded to 4095 units loads; one more does not.
TEST(Load, FileNamesBeyondTheBufferAreRefused) {
  const std::string path = temp_path("p.png");
  write_file(path, distinct_rgba_image(2, 2).png);
  const size_t name_start = path.rfind(kSeparator);
  const std::string name = path.substr(name_start);  // with its separator
  for (size_t units : {size_t{4095}, size_t{4096}}) {
    const std::string padded = padded_directory(path.substr(0, name_start), units - name.size()) + name;
    ASSERT_EQ(padded.size(), units);
    HostCanvas canvas(16);
    EXPECT_EQ(png_entry().pfnImage32LoadFile(&canvas.image, wide(padded).c_str(), 0), units <= 4095 ? 1 : 0) << units;
  }
}

}  // namespace
