// Test doubles of the two run-time companions. Each records the calls it gets and returns
// a result the test chose. Both export the test's handles under the same names, looked up
// in the same loaded library the plug-in uses: fake_reset (forget the calls, set the
// result), fake_count (calls so far) and fake_call (a copy of call `index`).
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "plugin/companions.h"

namespace fakes {

struct RotateCall {
  const uint8_t* src;
  ImgSize src_size;
  int32_t src_step;
  ImgRect src_roi;
  uint8_t* dst;
  int32_t dst_step;
  ImgRect dst_roi;
  double angle;
  double x_centre;
  double y_centre;
  int32_t interpolation;
  uint8_t src_head[16];  // the first source bytes, to see what the plug-in handed over
};

enum MetaFunction : int32_t { kQuery = 1, kQueryFromMemory = 2, kRelease = 3 };

// The arguments as they came; every key the plug-in passes outlives the test's look at it.
struct MetaCall {
  int32_t function = 0;
  const WCHAR* file_name = nullptr;
  const char* key = nullptr;
  const uint8_t* data = nullptr;
  int32_t size = 0;
  void* value_data = nullptr;
  void* value = nullptr;
  int32_t kind = 0;
  void* release_pointer = nullptr;
};

using ResetFn = void (*)(int32_t result);
using CountFn = int32_t (*)();

// The calls a double has had, from any thread.
template <typename Call>
class Journal {
 public:
  int32_t record(const Call& call) {
    std::lock_guard lock(guard_);
    calls_.push_back(call);
    return result_;
  }
  void reset(int32_t result) {
    std::lock_guard lock(guard_);
    calls_.clear();
    result_ = result;
  }
  int32_t count() {
    std::lock_guard lock(guard_);
    return static_cast<int32_t>(calls_.size());
  }
  bool copy(int32_t index, Call* call) {
    std::lock_guard lock(guard_);
    if (index < 0 || static_cast<size_t>(index) >= calls_.size()) return false;
    *call = calls_[static_cast<size_t>(index)];
    return true;
  }

 private:
  std::mutex guard_;
  std::vector<Call> calls_;
  int32_t result_ = 0;
};

}  // namespace fakes
