#include "tests/support/memory_probe.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VELAPNG_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VELAPNG_SANITIZED 1
#endif
#endif

#if defined(__linux__) && !defined(VELAPNG_SANITIZED)
#define VELAPNG_MEMORY_PROBE 1
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#endif

namespace testpng {

#if defined(VELAPNG_MEMORY_PROBE)

namespace {

// A "Key:   123 kB" line of /proc/self/status, in bytes; 0 when absent.
uint64_t status_bytes(const char* key) {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return 0;
  char line[256];
  uint64_t kib = 0;
  const size_t key_length = std::strlen(key);
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::strncmp(line, key, key_length) == 0 && line[key_length] == ':') {
      kib = std::strtoull(line + key_length + 1, nullptr, 10);
      break;
    }
  }
  std::fclose(status);
  return kib * 1024;
}

// What crosses the pipe: all 64-bit fields, so no padding byte goes out unwritten.
struct Report {
  uint64_t result;
  uint64_t peak_growth;
  uint64_t peak_reserved_growth;
};

uint64_t growth(uint64_t peak, uint64_t before) { return peak > before ? peak - before : 0; }

[[noreturn]] void child(int fd, uint64_t budget, const std::function<uint32_t()>& work) {
  mallopt(M_MMAP_THRESHOLD, 64 * 1024);  // also stops glibc from raising it on its own
  mallopt(M_TRIM_THRESHOLD, 128 * 1024);
  malloc_trim(0);
  const rlim_t limit = status_bytes("VmSize") + budget;
  const rlimit address_space{limit, limit};
  if (setrlimit(RLIMIT_AS, &address_space) != 0) _exit(2);
  // A forked child may start with its parent's resident peak; clear_refs 5 resets it to the
  // present size. The address-space peak starts at the child's own size.
  if (std::FILE* clear = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", clear);
    std::fclose(clear);
  }
  const uint64_t resident_before = status_bytes("VmRSS");
  const uint64_t reserved_before = status_bytes("VmSize");
  Report report{work(), 0, 0};
  report.peak_growth = growth(status_bytes("VmHWM"), resident_before);
  report.peak_reserved_growth = growth(status_bytes("VmPeak"), reserved_before);
  const bool written = write(fd, &report, sizeof report) == static_cast<ssize_t>(sizeof report);
  _exit(written ? 0 : 3);
}

}  // namespace

bool memory_probe_available() { return true; }

ChildOutcome run_in_child(uint64_t address_space_budget, const std::function<uint32_t()>& work) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return {};
  std::fflush(nullptr);  // nothing buffered may be written twice
  const pid_t pid = fork();
  if (pid == 0) {
    close(pipe_fds[0]);
    child(pipe_fds[1], address_space_budget, work);
  }
  close(pipe_fds[1]);
  Report report{};
  const bool got = pid > 0 && read(pipe_fds[0], &report, sizeof report) == static_cast<ssize_t>(sizeof report);
  close(pipe_fds[0]);
  int status = 0;
  if (pid > 0) waitpid(pid, &status, 0);
  if (!got || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
  return {true, static_cast<uint32_t>(report.result), report.peak_growth, report.peak_reserved_growth};
}

#else

bool memory_probe_available() { return false; }

ChildOutcome run_in_child(uint64_t, const std::function<uint32_t()>&) { return {}; }

#endif

}  // namespace testpng
