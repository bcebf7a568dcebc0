// Runs the kv7 executable as a person would from a shell.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

namespace kv7::test {

struct CliRun {
  int exit_code;
  std::string out;
};

// Runs a shell command line, capturing stdout and stderr together. The
// child inherits the environment.
inline CliRun Kv7Command(const std::string& commandLine) {
  std::string command = commandLine + " 2>&1";
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

// Runs the kv7 executable with arguments (shell-quoted by the caller).
inline CliRun Kv7(const std::string& arguments) {
  return Kv7Command(std::string(KV7_CLI_PATH) + " " + arguments);
}

// Runs kv7 as the unprivileged user "nobody", for what permissions forbid
// (root may write any file). False in `skipped` when this process cannot
// switch users (it is not root).
inline CliRun Kv7AsNobody(const std::string& arguments, bool* skipped) {
  *skipped = geteuid() != 0;
  if (*skipped) return {-1, {}};
  return Kv7Command("setpriv --reuid=nobody --regid=nogroup --clear-groups " +
                    std::string(KV7_CLI_PATH) + " " + arguments);
}

// A path quoted for the shell.
inline std::string Quote(const std::filesystem::path& path) {
  std::string quoted = "'";
  for (char c : path.string()) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace kv7::test
