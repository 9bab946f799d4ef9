// What the rotated loads hand to the rotate function, captured by the recording double.
#include <gtest/gtest.h>

#include "tests/plugin/harness.h"

namespace {

using namespace plugintest;

int32_t load_memory(HostImage* image, const Bytes& png, int32_t angle) {
  return plugin_symbol<PfnImage32LoadFromMemData>("Image32LoadFromMemData")(
      image, png.data(), static_cast<int32_t>(png.size()), angle);
}

TEST(RotateCall, FiveByThreeTurnedByNinety) {
  ScopedBaseDirectory base(fakes_dir());
  RotateRecorder::reset(0);
  const TestImage image = distinct_rgba_image(5, 3);
  HostCanvas canvas(60);
  ASSERT_EQ(load_memory(&canvas.image, image.png, 90), 1);
  ASSERT_EQ(RotateRecorder::count(), 1);
  const fakes::RotateCall call = RotateRecorder::call(0);
  EXPECT_EQ(call.x_centre, 2.0);
  EXPECT_EQ(call.y_centre, 1.0);
  EXPECT_EQ(call.dst_roi.x, 0);
  EXPECT_EQ(call.dst_roi.y, 0);
  EXPECT_EQ(call.dst_roi.width, 3);
  EXPECT_EQ(call.dst_roi.height, 5);
  EXPECT_EQ(call.dst_step, 12);
  EXPECT_EQ(call.dst, canvas.memory.data());
  EXPECT_EQ(call.angle, 90.0);
  EXPECT_EQ(call.interpolation, 2);
  // The source is the decoded image, already in BGRA order.
  const Bytes bgra = expected_bgra(image.rgba, 5, 3, 0);
  EXPECT_EQ(Bytes(call.src_head, call.src_head + 16), Bytes(bgra.begin(), bgra.begin() + 16));
  EXPECT_NE(call.src, canvas.memory.data());
  EXPECT_TRUE(canvas.pixels_untouched());  // this double writes nothing
}

struct TurnCase {
  int32_t w, h, angle;
};

TEST(RotateCall, ParametersForEverySizeAndAngle) {
  ScopedBaseDirectory base(fakes_dir());
  const TurnCase cases[] = {{5, 3, 90}, {5, 3, 180}, {5, 3, 270}, {4, 4, 90}, {1, 7, 270},
                            {6, 1, 180}, {7, 2, 90},  {1, 1, 270}, {9, 5, 180}};
  for (const TurnCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " by " << c.angle);
    RotateRecorder::reset(0);
    const TestImage image = distinct_rgba_image(uint32_t(c.w), uint32_t(c.h));
    for (bool from_file : {false, true}) {
      HostCanvas canvas(size_t(c.w) * c.h * 4);
      if (from_file) {
        const std::string path = temp_path("turn.png");
        write_file(path, image.png);
        ASSERT_EQ(plugin_symbol<PfnImage32LoadFile>("Image32LoadFile")(&canvas.image, wide(path).c_str(), c.angle), 1);
      } else {
        ASSERT_EQ(load_memory(&canvas.image, image.png, c.angle), 1);
      }
      EXPECT_TRUE(canvas.header_untouched());
    }
    ASSERT_EQ(RotateRecorder::count(), 2);
    for (int32_t i = 0; i < 2; ++i) {
      const fakes::RotateCall call = RotateRecorder::call(i);
      const bool sideways = c.angle != 180;
      EXPECT_EQ(call.src_size.width, c.w);
      EXPECT_EQ(call.src_size.height, c.h);
      EXPECT_EQ(call.src_step, c.w * 4);
      EXPECT_EQ(call.src_roi.x, 0);
      EXPECT_EQ(call.src_roi.y, 0);
      EXPECT_EQ(call.src_roi.width, c.w);
      EXPECT_EQ(call.src_roi.height, c.h);
      EXPECT_EQ(call.dst_roi.x, 0);
      EXPECT_EQ(call.dst_roi.y, 0);
      EXPECT_EQ(call.dst_roi.width, sideways ? c.h : c.w);
      EXPECT_EQ(call.dst_roi.height, sideways ? c.w : c.h);
      EXPECT_EQ(call.dst_step, (sideways ? c.h : c.w) * 4);
      EXPECT_EQ(call.angle, double(c.angle));
      EXPECT_EQ(call.x_centre, double(c.w / 2));  // halved downwards
      EXPECT_EQ(call.y_centre, double(c.h / 2));
      EXPECT_EQ(call.interpolation, 2);
    }
  }
}

TEST(RotateCall, NonZeroResultFailsTheLoad) {
  ScopedBaseDirectory base(fakes_dir());
  const TestImage image = distinct_rgba_image(3, 2);
  for (int32_t status : {1, -1, -8, 12345}) {
    RotateRecorder::reset(status);
    HostCanvas canvas(24);
    EXPECT_EQ(load_memory(&canvas.image, image.png, 270), 0) << status;
    EXPECT_EQ(RotateRecorder::count(), 1);
    EXPECT_TRUE(canvas.pixels_untouched());
  }
}

// "\QZ_Image.dll" is 13 units, so 1024 - 14 is the longest base directory that still fits.
TEST(RotateCall, LongestBaseDirectoryThatFits) {
  const TestImage image = distinct_rgba_image(3, 2);
  for (size_t length : {size_t{1010}, size_t{1011}}) {
    ScopedBaseDirectory base(padded_directory(fakes_dir(), length));
    RotateRecorder::reset(0);
    HostCanvas canvas(24);
    EXPECT_EQ(load_memory(&canvas.image, image.png, 90), length == 1010 ? 1 : 0) << length;
    EXPECT_EQ(RotateRecorder::count(), length == 1010 ? 1 : 0);
  }
}

}  // namespace
