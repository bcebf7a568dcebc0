// kv7: drives database projects from a terminal the way a person drives
// them in the IDE. One verb per thing a person does; the verbs call the
// system and hold no logic of their own.
//
// Exit codes: 0 success, 1 the operation failed, 2 bad usage.
#include <cstdio>
#include <string_view>

#include "verbs.h"

namespace {

using kv7::cli::Arguments;
using kv7::cli::Verb;

int Usage(std::FILE* out) {
  std::fprintf(out, "usage: kv7 <command> [arguments]\n       kv7 --help | --version\n"
                    "       kv7 help <command> | kv7 <command> --help\n\n");
  std::fprintf(out, "commands:\n");
  for (const Verb& verb : kv7::cli::Verbs()) {
    std::string usage = std::string(verb.name) + " " + verb.arguments;
    std::fprintf(out, "  %-44s %s\n", usage.c_str(), verb.summary);
  }
  std::fprintf(out,
               "\nA verb that changes a project refuses to act when items or folders listed in\n"
               "it are missing on disk, unless --drop-missing is given.\n");
  return out == stdout ? kv7::cli::kExitOk : kv7::cli::kExitUsage;
}

int UnknownVerb(std::string_view name) {
  std::fprintf(stderr, "kv7: unknown command '%.*s' (see 'kv7 --help')\n",
               static_cast<int>(name.size()), name.data());
  return kv7::cli::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage(stderr);
  std::string_view first = argv[1];
  if (first == "--help" || first == "-h") return Usage(stdout);
  if (first == "--version") {
    std::printf("kv7 %s\n", KV7_VERSION);
    return kv7::cli::kExitOk;
  }
  if (first == "help") {
    if (argc == 2) return Usage(stdout);
    const Verb* verb = kv7::cli::FindVerb(argv[2]);
    if (verb == nullptr) return UnknownVerb(argv[2]);
    kv7::cli::PrintVerbHelp(*verb, stdout);
    return kv7::cli::kExitOk;
  }
  const Verb* verb = kv7::cli::FindVerb(first);
  if (verb == nullptr) return UnknownVerb(first);
  return kv7::cli::RunVerb(*verb, Arguments(argv + 2, argv + argc));
}
