#include "tests/support/memory_probe.h"

// VELAPNG_SANITIZED: set by the build for every sanitizer preset.
#if defined(__linux__) && !defined(VELAPNG_SANITIZED)
#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <new>

namespace testpng {

namespace {

// A "Key:   123 kB" line of /proc/self/status, in bytes; 0 when absent.
uint64_t status_bytes(const char* key) {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return 0;
  char line[256];
  unsigned long long kib = 0;
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::strncmp(line, key, std::strlen(key)) == 0 && std::sscanf(line + std::strlen(key), ": %llu", &kib) == 1)
      break;
  }
  std::fclose(status);
  return kib * 1024;
}

}  // namespace

bool memory_probe_available() { return true; }

ChildOutcome run_in_child(uint64_t address_space_budget, const std::function<uint32_t()>& work) {
  // The child leaves its outcome in a page it shares with the parent.
  void* page = mmap(nullptr, sizeof(ChildOutcome), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (page == MAP_FAILED) return {};
  auto* shared = new (page) ChildOutcome{};
  std::fflush(nullptr);  // nothing buffered may be written twice
  const pid_t pid = fork();
  if (pid == 0) {
    mallopt(M_MMAP_THRESHOLD, 64 * 1024);  // also stops glibc from raising it on its own
    mallopt(M_TRIM_THRESHOLD, 128 * 1024);
    malloc_trim(0);
    const rlim_t limit = status_bytes("VmSize") + address_space_budget;
    const rlimit address_space{limit, limit};
    if (setrlimit(RLIMIT_AS, &address_space) != 0) _exit(2);
    // A forked child may start with its parent's resident peak; clear_refs 5 resets it to the
    // present size.
    if (std::FILE* clear = std::fopen("/proc/self/clear_refs", "w")) {
      std::fputs("5", clear);
      std::fclose(clear);
    }
    const uint64_t resident = status_bytes("VmRSS");
    const uint32_t result = work();
    const uint64_t peak = status_bytes("VmHWM");
    *shared = {true, result, peak > resident ? peak - resident : 0};
    _exit(0);
  }
  int status = 0;
  const bool exited = pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  const ChildOutcome outcome = exited ? *shared : ChildOutcome{};
  munmap(page, sizeof(ChildOutcome));
  return outcome;
}

}  // namespace testpng

#else

namespace testpng {

bool memory_probe_available() { return false; }

ChildOutcome run_in_child(uint64_t, const std::function<uint32_t()>&) { return {}; }

}  // namespace testpng

#endif
