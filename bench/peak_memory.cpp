#include "bench/peak_memory.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>

extern char** environ;

namespace velabench {

PeakMemory run_child(const std::string& program, const std::vector<std::string>& arguments) {
  std::vector<std::string> words{program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  PeakMemory peak;
  pid_t child = 0;
  if (posix_spawn(&child, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return peak;
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child) return peak;
  peak.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  peak.max_rss_kib = usage.ru_maxrss;  // kibibytes on Linux
  return peak;
}

bool read_file(const std::string& path, std::vector<uint8_t>* bytes) {
  std::error_code error;
  const uintmax_t size = std::filesystem::file_size(path, error);
  std::ifstream file(path, std::ios::binary);
  if (error || !file) return false;
  bytes->resize(size);
  return bool(file.read(reinterpret_cast<char*>(bytes->data()), std::streamsize(size)));
}

std::string own_executable() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return {};
  return std::string(path, size_t(length));
}

}  // namespace velabench
