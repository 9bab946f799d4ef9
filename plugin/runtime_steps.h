// The step of the plug-in's calls that the runtime can fail with an exception: locking the
// mutex that a rotated load or a metadata query holds around its companion call (a system
// error; winpthreads even allocates the mutex on its first lock). No exception may leave an
// export, since a host built with another compiler cannot catch ours and dies, so the step
// reports its failure as a value and the call fails with its ordinary result.
#pragma once

#include <cstdint>
#include <mutex>

namespace velapng {

// Locks `mutex`; throws what std::mutex::lock throws. Alone in runtime_steps.cpp, so that a
// test can put a failing lock in its place.
void lock_call_mutex(std::mutex& mutex);

// Runs `call` (returning int32_t) under a mutex that belongs to this call alone, so it orders
// nothing between threads; `failure` when the mutex can't be locked.
template <typename Call>
int32_t call_under_own_mutex(int32_t failure, Call&& call) noexcept {
  std::mutex mutex;
  try {
    lock_call_mutex(mutex);
  } catch (...) {
    return failure;
  }
  const int32_t result = call();
  mutex.unlock();
  return result;
}

}  // namespace velapng
