#include "arguments.h"

#include <algorithm>

namespace kv7::cli {
namespace {

bool Known(const std::vector<const char*>& names, const std::string& name) {
  return std::any_of(names.begin(), names.end(), [&](const char* known) { return name == known; });
}

}  // namespace

std::string ParsedArguments::Option(const std::string& name, const std::string& fallback) const {
  auto it = options.find(name);
  return it == options.end() ? fallback : it->second.back();
}

std::vector<std::string> ParsedArguments::Values(const std::string& name) const {
  auto it = options.find(name);
  return it == options.end() ? std::vector<std::string>() : it->second;
}

bool ParseArguments(const std::vector<std::string>& args, const std::vector<const char*>& flags,
                    const std::vector<const char*>& options, int minimum, int maximum,
                    ParsedArguments* parsed, std::string* error) {
  bool only_positional = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (only_positional || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
      parsed->positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      only_positional = true;
      continue;
    }
    size_t equals = arg.find('=');
    std::string name = arg.substr(0, equals);
    if (Known(flags, name) && equals == std::string::npos) {
      parsed->flags.insert(name);
    } else if (Known(options, name)) {
      if (equals != std::string::npos) {
        parsed->options[name].push_back(arg.substr(equals + 1));
      } else if (i + 1 < args.size()) {
        parsed->options[name].push_back(args[++i]);
      } else {
        *error = "option '" + name + "' needs a value";
        return false;
      }
    } else {
      // Only the name: a value given with "=" may be a secret.
      *error = "unknown option '" + name + "'";
      return false;
    }
  }
  int count = static_cast<int>(parsed->positional.size());
  if (count < minimum || (maximum >= 0 && count > maximum)) {
    *error = count < minimum ? "missing arguments" : "too many arguments";
    return false;
  }
  return true;
}

}  // namespace kv7::cli
