// The failing allocator on Linux: malloc, calloc, realloc, free and operator new/delete of
// the executable, forwarding to the real allocator.
//
// - The real allocator is the C library's own entry points (__libc_malloc and its family)
//   natively, and under AddressSanitizer the sanitizer's (__interceptor_malloc and its
//   family, which gcc's shared runtime and clang's static one both define), so the
//   sanitizer still sees every block. Functions not replaced here (posix_memalign, the
//   aligned operator new) reach the same real allocator, so any block may go to our free.
// - The executable must export these symbols (ENABLE_EXPORTS) for a library it loads to
//   bind to them; interposed() checks that one does.
// - Nothing here allocates: the live blocks go in a fixed table under a spin lock, and a
//   call made from inside the real allocator passes straight through.
// - Only the arming thread counts and fails, so a thread of the test framework or the
//   fuzzer never trips over the chosen failure; frees from any thread leave the table.
#include "tests/support/failing_allocator.h"

#include <dlfcn.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELAPNG_REAL_ALLOCATOR_IS_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define VELAPNG_REAL_ALLOCATOR_IS_ASAN 1
#endif

#ifdef VELAPNG_REAL_ALLOCATOR_IS_ASAN
#define VELAPNG_REAL(name) __interceptor_##name
#else
#define VELAPNG_REAL(name) __libc_##name
#endif

extern "C" {
void* VELAPNG_REAL(malloc)(size_t size);
void* VELAPNG_REAL(calloc)(size_t count, size_t size);
void* VELAPNG_REAL(realloc)(void* block, size_t size);
void VELAPNG_REAL(free)(void* block);
}

namespace {

// Initial-exec: the executable's thread-local block is set up before the first malloc
// reaches us, and reading it never allocates.
#define VELAPNG_THREAD_FLAG thread_local __attribute__((tls_model("initial-exec"))) bool
VELAPNG_THREAD_FLAG t_armed = false;
VELAPNG_THREAD_FLAG t_inside = false;  // inside the real allocator
VELAPNG_THREAD_FLAG t_probing = false;
VELAPNG_THREAD_FLAG t_probe_seen = false;

struct Block {
  void* address;
  size_t size;
};

constexpr size_t kTableSize = 4096;

// Everything below is guarded by `table_lock`, except what only the arming thread touches.
std::atomic_flag table_lock = ATOMIC_FLAG_INIT;
Block live[kTableSize];
std::atomic<size_t> live_count{0};
bool overflowed = false;
uint64_t counted = 0;  // arming thread only
uint64_t fail_at = 0;  // arming thread only
bool failed = false;   // arming thread only

class TableLock {
 public:
  TableLock() {
    while (table_lock.test_and_set(std::memory_order_acquire)) {
    }
  }
  ~TableLock() { table_lock.clear(std::memory_order_release); }
  TableLock(const TableLock&) = delete;
  TableLock& operator=(const TableLock&) = delete;
};

// Counts one allocation of the arming thread; false when it is the one that must fail.
bool admit() {
  if (t_probing) t_probe_seen = true;
  if (!t_armed) return true;
  if (++counted != fail_at) return true;
  failed = true;
  errno = ENOMEM;
  return false;
}

void remember(void* address, size_t size) {
  if (!t_armed || address == nullptr) return;
  const TableLock lock;
  const size_t count = live_count.load(std::memory_order_relaxed);
  if (count == kTableSize) {
    overflowed = true;
    return;
  }
  live[count] = {address, size};
  live_count.store(count + 1, std::memory_order_relaxed);
}

// Takes `address` out of the table into *entry; false when it is not there.
bool take(void* address, Block* entry) {
  if (address == nullptr || live_count.load(std::memory_order_relaxed) == 0) return false;
  const TableLock lock;
  const size_t count = live_count.load(std::memory_order_relaxed);
  for (size_t i = 0; i < count; ++i) {
    if (live[i].address != address) continue;
    *entry = live[i];
    live[i] = live[count - 1];
    live_count.store(count - 1, std::memory_order_relaxed);
    return true;
  }
  return false;
}

// Runs one call of the real allocator with re-entry passed straight through.
template <typename Call>
auto inside_real(Call call) {
  t_inside = true;
  auto result = call();
  t_inside = false;
  return result;
}

bool probe_interposition() {
  // What a library loaded into the process binds `malloc` to.
  void* symbol = dlsym(RTLD_DEFAULT, "malloc");
  if (symbol == nullptr) return false;
  void* (*allocate)(size_t) = nullptr;
  std::memcpy(&allocate, &symbol, sizeof allocate);
  const bool armed = t_armed;  // the probe is no allocation of an armed call
  t_armed = false;
  t_probe_seen = false;
  t_probing = true;
  void* block = allocate(1);
  t_probing = false;
  free(block);
  t_armed = armed;
  return t_probe_seen;
}

}  // namespace

extern "C" void* malloc(size_t size) noexcept {
  if (t_inside) return VELAPNG_REAL(malloc)(size);
  if (!admit()) return nullptr;
  void* block = inside_real([&] { return VELAPNG_REAL(malloc)(size); });
  remember(block, size);
  return block;
}

extern "C" void* calloc(size_t count, size_t size) noexcept {
  if (t_inside) return VELAPNG_REAL(calloc)(count, size);
  if (!admit()) return nullptr;
  void* block = inside_real([&] { return VELAPNG_REAL(calloc)(count, size); });
  remember(block, count * size);
  return block;
}

// A block allocated while armed stays in the table under its new address; one from before
// stays out. realloc(p, 0) frees p and is never failed: callers rely on it freeing.
extern "C" void* realloc(void* old, size_t size) noexcept {
  if (t_inside) return VELAPNG_REAL(realloc)(old, size);
  if (old == nullptr) return malloc(size);
  if (size != 0 && !admit()) return nullptr;
  Block entry{};
  const bool ours = take(old, &entry);
  void* block = inside_real([&] { return VELAPNG_REAL(realloc)(old, size); });
  if (ours && block != nullptr) remember(block, size);
  if (ours && block == nullptr && size != 0) remember(entry.address, entry.size);  // the old block stays
  return block;
}

extern "C" void free(void* block) noexcept {
  Block entry{};
  if (!t_inside) take(block, &entry);
  VELAPNG_REAL(free)(block);
}

// Every form of operator new counts once, through malloc; none consults a new-handler.
void* operator new(size_t size) {
  void* block = malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return malloc(size == 0 ? 1 : size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return malloc(size == 0 ? 1 : size); }
void operator delete(void* block) noexcept { free(block); }
void operator delete[](void* block) noexcept { free(block); }
void operator delete(void* block, size_t) noexcept { free(block); }
void operator delete[](void* block, size_t) noexcept { free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { free(block); }

namespace failalloc {

bool interposed() {
  static const bool seen = probe_interposition();
  return seen;
}

void arm(uint64_t chosen) {
  if (!interposed()) return;  // under valgrind: counting operator new alone would mislead
  {
    const TableLock lock;
    live_count.store(0, std::memory_order_relaxed);
    overflowed = false;
  }
  counted = 0;
  fail_at = chosen;
  failed = false;
  t_armed = true;
}

void disarm() { t_armed = false; }

void forget_loader_message() {
  while (dlerror() != nullptr) {
  }
}

Tally tally() {
  const TableLock lock;
  Tally out;
  out.allocations = counted;
  out.failed = failed;
  out.live_blocks = live_count.load(std::memory_order_relaxed);
  for (size_t i = 0; i < out.live_blocks; ++i) out.live_bytes += live[i].size;
  out.overflowed = overflowed;
  return out;
}

}  // namespace failalloc
