// Runs the kv7 executable as a person would from a shell.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

namespace kv7::test {

struct CliRun {
  int exit_code;
  std::string out;
};

// Runs the kv7 executable with arguments (shell-quoted by the caller),
// capturing stdout and stderr together. The child inherits the environment.
inline CliRun Kv7(const std::string& arguments) {
  std::string command = std::string(KV7_CLI_PATH) + " " + arguments + " 2>&1";
  CliRun run{-1, {}};
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    run.out.append(buffer.data(), n);
  int status = pclose(pipe);
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// A path quoted for the shell.
inline std::string Quote(const std::filesystem::path& path) {
  std::string quoted = "'";
  for (char c : path.string()) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace kv7::test
