// A mutex the runtime can't lock (a system error, not an allocation on Linux, so the
// allocation sweep never reaches it) must not let its exception leave an export: the call
// fails with its ordinary result, releases what it holds (the leak checks of the sanitizer
// and memcheck runs see to that) and leaves the host's memory alone. The exports are called
// in this program's own copy of the plug-in, where the lock below stands in for the
// runtime's; the real companions answer.
#include <gtest/gtest.h>

#include <system_error>

#include "plugin/runtime_steps.h"
#include "tests/plugin/harness.h"

namespace {

bool fail_lock = false;

}  // namespace

void velapng::lock_call_mutex(std::mutex& mutex) {
  if (fail_lock) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  mutex.lock();
}

namespace {

using namespace plugintest;

struct FailingLock {
  FailingLock() { fail_lock = true; }
  ~FailingLock() { fail_lock = false; }
  FailingLock(const FailingLock&) = delete;
  FailingLock& operator=(const FailingLock&) = delete;
};

// The rotate function, which would write the host's pixels, and the metadata stand-in, which
// would store the orientation, are never reached: both sit behind the lock.
TEST(RuntimeFailure, UnlockableMutexFailsCallsAndLeavesHostMemoryAlone) {
  const TestImage image = distinct_rgba_image(5, 3, {exif_chunk(6, true)});
  const std::string path = temp_path("runtime-failure.png");
  write_file(path, image.png);
  const WString name = wide(path);
  const auto size = static_cast<int32_t>(image.png.size());
  for (int32_t angle : {90, 180, 270}) {
    SCOPED_TRACE(angle);
    HostCanvas from_file(image.bytes()), from_memory(image.bytes());
    uint32_t width = 0, height = 0;
    int32_t orientation = -1;
    {
      const FailingLock failing;
      EXPECT_EQ(Image32LoadFile(&from_file.image, name.c_str(), angle), 0);
      EXPECT_EQ(Image32LoadFromMemData(&from_memory.image, image.png.data(), size, angle), 0);
      EXPECT_EQ(ImageGetInfo(name.c_str(), &width, &height, &orientation), 0);
      EXPECT_EQ(ImageGetInfoFromMemData(image.png.data(), size, &width, &height, &orientation), 0);
    }
    EXPECT_TRUE(from_file.untouched());
    EXPECT_TRUE(from_memory.untouched());
    EXPECT_EQ(orientation, -1);
  }
  HostCanvas unlocked(image.bytes());
  EXPECT_EQ(Image32LoadFromMemData(&unlocked.image, image.png.data(), size, 90), 1);
}

}  // namespace
