// An allocator that makes a chosen allocation fail. The executable it is linked into
// defines malloc, calloc, realloc, free and the replaceable operator new and delete, and
// exports them, so that every library it loads (the plug-in, the companions, libdeflate,
// the C runtime's own fopen and dlopen) allocates through them.
//
// Between arm() and disarm() the allocations of the arming thread are counted, the chosen
// one fails (malloc, calloc and realloc return null, operator new throws std::bad_alloc, the
// nothrow forms return null), and every block handed out is remembered in a fixed table
// until it is freed, so what a call leaves behind can be read afterwards.
//
// Where the executable's allocator cannot be interposed (Windows, where a DLL calls its C
// runtime's malloc directly; valgrind, which replaces this malloc with its own), arming does
// nothing: no allocation is counted or failed, and the tally stays empty.
#pragma once

#include <cstddef>
#include <cstdint>

namespace failalloc {

// Whether an allocation made by a library loaded into this process passes through the
// interposer. Callers that rely on injected failures check this first.
bool interposed();

// Starts counting this thread's allocations from zero and forgets earlier blocks; the
// fail_at-th allocation (1 for the first) fails, none when fail_at is 0.
void arm(uint64_t fail_at);
// Stops counting and failing. Freed blocks keep leaving the table until the next arm(), so
// a caller may release what it still holds before it reads the tally.
void disarm();

struct Tally {
  uint64_t allocations = 0;  // counted while armed, the failed one included
  bool failed = false;       // the chosen allocation was reached (and failed)
  size_t live_blocks = 0;    // allocated while armed and not freed since
  size_t live_bytes = 0;
  bool overflowed = false;  // more live blocks than the table holds: live_blocks is a lower bound
};
Tally tally();

// Asks the dynamic loader for its last message until it has none. A dlopen that failed for
// want of memory leaves its message in a block the C library keeps for the thread until
// dlerror() has been asked twice (the first call formats it, the second frees it); a careful
// caller asks, so a check for blocks left live must too. The block is the loader's.
void forget_loader_message();

// Runs `call` with the fail_at-th allocation failing (none for 0) and returns what it left.
template <typename Call>
Tally armed(uint64_t fail_at, Call call) {
  arm(fail_at);
  call();
  disarm();
  forget_loader_message();
  return tally();
}

}  // namespace failalloc
