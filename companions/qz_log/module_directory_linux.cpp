#include <dlfcn.h>

#include <climits>
#include <cstdlib>

#include "companions/qz_log/module_directory.h"

namespace qz_log {

namespace {
void anchor() {}  // any address inside this library identifies it to dladdr
}  // namespace

std::string module_directory() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&anchor), &info) == 0 || info.dli_fname == nullptr) return ".";
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved) == nullptr) return ".";
  std::string path(resolved);
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace qz_log
