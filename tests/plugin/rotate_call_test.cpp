// What the rotated loads hand to the rotate function, captured by the recording double.
#include <gtest/gtest.h>

#include <array>

#include "tests/plugin/harness.h"

namespace {

using namespace plugintest;

std::array<int32_t, 4> fields(const ImgRect& rect) { return {rect.x, rect.y, rect.width, rect.height}; }

struct TurnCase {
  int32_t w, h, angle;
};

TEST(RotateCall, ArgumentsForEverySizeAndAngle) {
  ScopedBaseDirectory base(fakes_dir());
  const TurnCase cases[] = {{5, 3, 90}, {5, 3, 180}, {5, 3, 270}, {4, 4, 90}, {1, 7, 270}, {6, 1, 180}, {7, 2, 90}};
  for (const TurnCase& c : cases) {
    const TestImage image = distinct_rgba_image(uint32_t(c.w), uint32_t(c.h));
    const Bytes bgra = expected_bgra(image.rgba, image.width, image.height, 0);
    for (Source source : kSources) {
      SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " by " << c.angle << " " << source_name(source));
      rotate_recorder().reset(0);
      HostCanvas canvas(bgra.size());
      ASSERT_EQ(load(source, &canvas.image, image.png, c.angle), 1);
      EXPECT_TRUE(canvas.pixels_untouched());  // this double writes nothing
      EXPECT_TRUE(canvas.header_untouched());
      ASSERT_EQ(rotate_recorder().count(), 1);
      const fakes::RotateCall call = rotate_recorder().call(0);
      const bool sideways = c.angle != 180;
      const int32_t dw = sideways ? c.h : c.w, dh = sideways ? c.w : c.h;
      EXPECT_EQ(call.src_size.width, c.w);
      EXPECT_EQ(call.src_size.height, c.h);
      EXPECT_EQ(call.src_step, c.w * 4);
      EXPECT_EQ(fields(call.src_roi), fields({0, 0, c.w, c.h}));
      EXPECT_EQ(call.dst, canvas.memory.data());
      EXPECT_EQ(call.dst_step, dw * 4);
      EXPECT_EQ(fields(call.dst_roi), fields({0, 0, dw, dh}));
      EXPECT_EQ(call.angle, double(c.angle));
      EXPECT_EQ(call.x_centre, double(c.w / 2));  // halved downwards
      EXPECT_EQ(call.y_centre, double(c.h / 2));
      EXPECT_EQ(call.interpolation, 2);
      // The source is the decoded image in memory of its own, already in BGRA order.
      EXPECT_NE(call.src, canvas.memory.data());
      EXPECT_EQ(Bytes(call.src_head, call.src_head + 16), Bytes(bgra.begin(), bgra.begin() + 16));
    }
  }
}

TEST(RotateCall, NonZeroResultFailsTheLoad) {
  ScopedBaseDirectory base(fakes_dir());
  const TestImage image = distinct_rgba_image(3, 2);
  for (int32_t status : {1, -1}) {
    rotate_recorder().reset(status);
    HostCanvas canvas(image.rgba.size());
    EXPECT_EQ(load(Source::memory, &canvas.image, image.png, 270), 0) << status;
    EXPECT_EQ(rotate_recorder().count(), 1);
  }
}

// "\QZ_Image.dll" is 13 units, so 1024 - 14 is the longest base directory that still fits.
TEST(RotateCall, LongestBaseDirectoryThatFits) {
  const TestImage image = distinct_rgba_image(3, 2);
  for (size_t length : {size_t{1010}, size_t{1011}}) {
    ScopedBaseDirectory base(padded_directory(fakes_dir(), length));
    rotate_recorder().reset(0);
    HostCanvas canvas(image.rgba.size());
    EXPECT_EQ(load(Source::memory, &canvas.image, image.png, 90), length == 1010 ? 1 : 0) << length;
    EXPECT_EQ(rotate_recorder().count(), length == 1010 ? 1 : 0);
  }
}

}  // namespace
