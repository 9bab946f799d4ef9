// Loads the fixture DLL as a host loads the plug-in, by name from its own directory, and
// calls both exports: the loader must resolve the ordinal imports from the dependency.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main() {
  HMODULE module = LoadLibraryW(L"pe_fixture_good.dll");
  if (module == nullptr) {
    std::printf("LoadLibraryW failed: error %lu\n", GetLastError());
    return 1;
  }
  using Export = int (*)();
  const auto alpha = reinterpret_cast<Export>(reinterpret_cast<void*>(GetProcAddress(module, "alpha")));
  const auto beta = reinterpret_cast<Export>(reinterpret_cast<void*>(GetProcAddress(module, "beta")));
  if (alpha == nullptr || beta == nullptr) {
    std::printf("an export is missing\n");
    return 1;
  }
  // fixture_log returns the length of "alpha"; fixture_base writes "C:\fixture".
  const int from_log = alpha();
  const int from_base = beta();
  std::printf("alpha %d, beta %d\n", from_log, from_base);
  return from_log == static_cast<int>(std::strlen("alpha")) &&
                 from_base == static_cast<int>(std::strlen("C:\\fixture"))
             ? 0
             : 1;
}
