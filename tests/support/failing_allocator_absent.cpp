// The failing allocator where the process's allocator cannot be replaced from the
// executable (Windows, where each DLL calls its C runtime's malloc directly; the
// ThreadSanitizer build, whose runtime must see every block): nothing is counted or failed.
#include "tests/support/failing_allocator.h"

namespace failalloc {

bool interposed() { return false; }
void arm(uint64_t) {}
void disarm() {}
Tally tally() { return {}; }
void forget_loader_message() {}

}  // namespace failalloc
