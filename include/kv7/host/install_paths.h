// Where the host finds what is installed beside it: the package library and
// the project templates.
#pragma once

#include <string>

namespace kv7::host {

// Directory of the running executable, with a trailing "/"; empty when it
// cannot be told.
std::string ExecutableDirectory();

// The project templates directory: $KV7_TEMPLATES when set, else the
// installed share/kv7/templates beside the executable's prefix, else the
// source tree's templates/ for a build run in place. Empty when none exists.
std::string TemplatesDirectory();

}  // namespace kv7::host
