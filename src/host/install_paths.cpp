#include "kv7/host/install_paths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <limits.h>
#include <unistd.h>

#ifndef KV7_SOURCE_TEMPLATES
#define KV7_SOURCE_TEMPLATES ""
#endif

namespace kv7::host {

std::string ExecutableDirectory() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  path[n] = 0;
  std::string full(path);
  return full.substr(0, full.rfind('/') + 1);
}

std::string TemplatesDirectory() {
  std::error_code ignored;
  if (const char* set = std::getenv("KV7_TEMPLATES"); set && *set) return set;
  std::string installed = ExecutableDirectory() + "../share/kv7/templates";
  if (std::filesystem::is_directory(installed, ignored)) return installed;
  std::string source = KV7_SOURCE_TEMPLATES;
  if (!source.empty() && std::filesystem::is_directory(source, ignored)) return source;
  return {};
}

}  // namespace kv7::host
