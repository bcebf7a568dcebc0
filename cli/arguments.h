// Parsing a verb's arguments: positional arguments, flags ("--delete") and
// options with one value ("--to FOLDER" or "--to=FOLDER").
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace kv7::cli {

struct ParsedArguments {
  std::vector<std::string> positional;
  std::set<std::string> flags;
  // Every value given for each option, in order.
  std::map<std::string, std::vector<std::string>> options;

  bool Has(const std::string& flag) const { return flags.count(flag) != 0; }
  bool HasOption(const std::string& name) const { return options.count(name) != 0; }
  // The option's last value, or `fallback` when it was not given.
  std::string Option(const std::string& name, const std::string& fallback = "") const;
  // All values of an option given more than once ("--param a=1 --param b=2").
  std::vector<std::string> Values(const std::string& name) const;
};

// Parses `args` knowing the verb's flags and options. Returns false with a
// message naming the bad argument when one is unknown or lacks its value,
// or when the count of positional arguments is outside [minimum, maximum]
// (maximum -1: no limit).
bool ParseArguments(const std::vector<std::string>& args, const std::vector<const char*>& flags,
                    const std::vector<const char*>& options, int minimum, int maximum,
                    ParsedArguments* parsed, std::string* error);

}  // namespace kv7::cli
