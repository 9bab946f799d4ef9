// What the runtime reports as an exception (an object it can't allocate, a mutex it can't
// lock) must not leave an export: the call fails with its ordinary result, releases what it
// holds (the leak checks of the sanitizer and memcheck runs see to that) and leaves the
// host's memory alone. The exports are called in this program's own copy of the plug-in,
// where the two seams below stand in for the runtime.
#include <gtest/gtest.h>

#include <new>
#include <system_error>

#include "plugin/runtime_steps.h"
#include "tests/plugin/harness.h"

namespace {

bool fail_allocation = false;
bool fail_lock = false;

}  // namespace

velapng::DibImage* velapng::new_dib_image() noexcept { return fail_allocation ? nullptr : new (std::nothrow) DibImage; }

void velapng::lock_call_mutex(std::mutex& mutex) {
  if (fail_lock) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  mutex.lock();
}

namespace {

using namespace plugintest;

struct Armed {
  explicit Armed(bool* armed) : flag(armed) { *flag = true; }
  ~Armed() { *flag = false; }
  bool* flag;
};

TEST(RuntimeFailure, TurnedLoadsFailWithoutTheRotateCall) {
  const TestImage image = distinct_rgba_image(5, 3);
  const std::string path = temp_path("runtime-failure.png");
  write_file(path, image.png);
  ScopedBaseDirectory base(fakes_dir());
  for (bool* flag : {&fail_allocation, &fail_lock}) {
    for (int32_t angle : {90, 180, 270}) {
      SCOPED_TRACE(testing::Message() << (flag == &fail_lock ? "lock" : "allocation") << " " << angle);
      rotate_recorder().reset(0);
      HostCanvas from_file(image.rgba.size()), from_memory(image.rgba.size());
      {
        Armed armed(flag);
        EXPECT_EQ(Image32LoadFile(&from_file.image, wide(path).c_str(), angle), 0);
        EXPECT_EQ(Image32LoadFromMemData(&from_memory.image, image.png.data(), int32_t(image.png.size()), angle), 0);
      }
      EXPECT_TRUE(from_file.pixels_untouched());
      EXPECT_TRUE(from_memory.pixels_untouched());
      EXPECT_EQ(rotate_recorder().count(), 0);
    }
  }
}

TEST(RuntimeFailure, QueriesAnswerNothingWithoutTheMetadataCall) {
  const TestImage image = distinct_rgba_image(5, 3);
  const std::string path = temp_path("runtime-failure.png");
  write_file(path, image.png);
  const WString name = wide(path);
  const auto size = static_cast<int32_t>(image.png.size());
  ScopedBaseDirectory base(fakes_dir());
  meta_recorder().reset(7);
  uint32_t width = 0, height = 0;
  int32_t orientation = 0;
  void* value = nullptr;
  {
    Armed armed(&fail_lock);
    EXPECT_EQ(ImageGetInfo(name.c_str(), &width, &height, &orientation), 0);
    EXPECT_EQ(ImageGetInfoFromMemData(image.png.data(), size, &width, &height, &orientation), 0);
    EXPECT_EQ(GetImageMetaValue(name.c_str(), "Orientation", &value, &orientation), 0);
    EXPECT_EQ(GetImageMetaValueFromMemData(image.png.data(), size, "Orientation", &value, &orientation), 0);
  }
  EXPECT_EQ(meta_recorder().count(), 0);
  EXPECT_EQ(ImageGetInfoFromMemData(image.png.data(), size, &width, &height, &orientation), 7);  // unarmed
}

}  // namespace
