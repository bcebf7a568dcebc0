// kv7: drives database projects from a terminal the way a person drives
// them in the IDE. One verb per thing a person does; the verbs call the
// system and hold no logic of their own.
//
// Exit codes: 0 success, 1 the operation failed, 2 bad usage.
#include <cstdio>
#include <cstring>
#include <string_view>

#include "verbs.h"

namespace {

int Usage(std::FILE* out) {
  std::fprintf(out, "usage: kv7 <command> [arguments]\n       kv7 --help | --version\n\n");
  std::fprintf(out, "commands:\n");
  for (const kv7::cli::Verb& verb : kv7::cli::Verbs())
    std::fprintf(out, "  %-44s %s\n", verb.usage, verb.help);
  std::fprintf(out,
               "\nA verb that changes a project refuses to act when items or folders listed in\n"
               "it are missing on disk, unless --drop-missing is given.\n");
  return out == stdout ? kv7::cli::kExitOk : kv7::cli::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage(stderr);
  std::string_view first = argv[1];
  if (first == "--help" || first == "-h" || first == "help") return Usage(stdout);
  if (first == "--version") {
    std::printf("kv7 %s\n", KV7_VERSION);
    return kv7::cli::kExitOk;
  }
  for (const kv7::cli::Verb& verb : kv7::cli::Verbs()) {
    if (first == verb.name) return verb.run(kv7::cli::Arguments(argv + 2, argv + argc));
  }
  std::fprintf(stderr, "kv7: unknown command '%s' (see 'kv7 --help')\n", argv[1]);
  return kv7::cli::kExitUsage;
}
