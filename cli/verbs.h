// The CLI's verb table: one entry per verb with its usage line, its one-line
// help and the function that runs it.
#pragma once

#include <span>
#include <string>
#include <vector>

namespace kv7::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

using Arguments = std::vector<std::string>;

struct Verb {
  const char* name;
  const char* usage;
  const char* help;
  int (*run)(const Arguments& args);
};

// Every verb, in the order `kv7 --help` lists them.
std::span<const Verb> Verbs();

}  // namespace kv7::cli
