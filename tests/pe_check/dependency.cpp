// The dependency the fixtures import by ordinal; exported by ordinal only.
#include <cstring>

extern "C" int fixture_log(const char* text) { return static_cast<int>(std::strlen(text)); }

extern "C" void fixture_base(char* buffer, int capacity) {
  std::strncpy(buffer, "C:\\fixture", static_cast<size_t>(capacity) - 1);
}
