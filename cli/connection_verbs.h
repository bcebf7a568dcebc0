// The connection verbs: the helper library's connection catalogue, which
// project configurations name their connections from, listed, shown, added
// to and removed from ("kv7 connection list|show|add|remove ...").
#pragma once

#include "verbs.h"

namespace kv7::cli {

// Runs "kv7 connection SUBCOMMAND ..."; `args` start at the subcommand.
int RunConnection(const Arguments& args);
// Fails naming a connection that the catalogue does not have, and the ones
// it has.
int UnknownConnection(const std::string& verb, const std::string& name);

}  // namespace kv7::cli
