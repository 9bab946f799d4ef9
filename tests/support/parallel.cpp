#include "tests/support/parallel.h"

#include <atomic>
#include <thread>
#include <vector>

namespace testpng {

int sum_over_threads(size_t threads, const std::function<int(size_t)>& work) {
  std::atomic<int> sum{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> running;
  for (size_t t = 0; t < threads; ++t) {
    running.emplace_back([&, t] {
      while (!go.load()) std::this_thread::yield();
      sum += work(t);
    });
  }
  go = true;
  for (std::thread& thread : running) thread.join();
  return sum.load();
}

}  // namespace testpng
