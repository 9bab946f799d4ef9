// What the runtime reports as an exception (an object it can't allocate, a mutex it can't
// lock) must not leave an export: the call fails with its ordinary result, releases what it
// holds (the leak checks of the sanitizer and memcheck runs see to that) and leaves the
// host's memory alone. The exports are called in this program's own copy of the plug-in,
// where the two seams below stand in for the runtime; the real companions answer.
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

// The rotate function, which would write the host's pixels, and the metadata stand-in, which
// would store the orientation, are never reached. The information calls go through the two
// metadata queries and allocate no image.
TEST(RuntimeFailure, CallsFailAndLeaveHostMemoryAlone) {
  const TestImage image = distinct_rgba_image(5, 3, {exif_chunk(6, true)});
  const std::string path = temp_path("runtime-failure.png");
  write_file(path, image.png);
  const WString name = wide(path);
  const auto size = static_cast<int32_t>(image.png.size());
  for (bool* flag : {&fail_allocation, &fail_lock}) {
    const bool lock = flag == &fail_lock;
    for (int32_t angle : {90, 180, 270}) {
      SCOPED_TRACE(testing::Message() << (lock ? "lock" : "allocation") << " " << angle);
      HostCanvas from_file(image.bytes()), from_memory(image.bytes());
      uint32_t width = 0, height = 0;
      int32_t orientation = -1;
      {
        Armed armed(flag);
        EXPECT_EQ(Image32LoadFile(&from_file.image, name.c_str(), angle), 0);
        EXPECT_EQ(Image32LoadFromMemData(&from_memory.image, image.png.data(), size, angle), 0);
        EXPECT_EQ(ImageGetInfo(name.c_str(), &width, &height, &orientation), lock ? 0 : 6);
        EXPECT_EQ(ImageGetInfoFromMemData(image.png.data(), size, &width, &height, &orientation), lock ? 0 : 6);
      }
      EXPECT_TRUE(from_file.untouched());
      EXPECT_TRUE(from_memory.untouched());
      EXPECT_EQ(orientation, lock ? -1 : 6);
    }
  }
  HostCanvas unarmed(image.bytes());
  EXPECT_EQ(Image32LoadFromMemData(&unarmed.image, image.png.data(), size, 90), 1);
}

}  // namespace
