// The mutex lock of the plug-in's calls, on its own so that a test can replace it.
#include "plugin/runtime_steps.h"

namespace velapng {

void lock_call_mutex(std::mutex& mutex) { mutex.lock(); }

}  // namespace velapng
