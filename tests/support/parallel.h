// Calls from several threads at once, for the concurrency suites.
#pragma once

#include <cstddef>
#include <functional>

namespace testpng {

// Runs work(t) for t = 0 .. threads - 1, each on a thread of its own, all released together
// so that their calls overlap; returns the sum of what they return (each thread's count of
// results that differ from what the same call gives alone).
int sum_over_threads(size_t threads, const std::function<int(size_t)>& work);

}  // namespace testpng
