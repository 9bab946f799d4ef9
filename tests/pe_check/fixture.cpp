// A small DLL for the PE-check tests: two exports that reach a dependency imported by
// ordinal, and a mutex so that a runtime linked in shows (or its DLL would be imported).
#include <cstring>
#include <mutex>

extern "C" int fixture_log(const char* text);
extern "C" void fixture_base(char* buffer, int capacity);

extern "C" int alpha() {
  std::mutex mutex;
  const std::lock_guard<std::mutex> lock(mutex);
  return fixture_log("alpha");
}

extern "C" int beta() {
  char buffer[32] = {};
  fixture_base(buffer, static_cast<int>(sizeof buffer));
  return static_cast<int>(std::strlen(buffer));
}
