#include "plugin/runtime_steps.h"

#include <new>

namespace velapng {

DibImage* new_dib_image() noexcept { return new (std::nothrow) DibImage; }

void lock_call_mutex(std::mutex& mutex) { mutex.lock(); }

}  // namespace velapng
