// The connection verbs. A password never reaches the command line or the
// output: `add` reads it from stdin (--password-stdin) or from KV7_PASSWORD,
// and `show` only says whether one is set.
#include "connection_verbs.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <utility>

#include "arguments.h"
#include "kv7/document/conn_info.h"
#include "kv7/helper/helper.h"
#include "kv7/util/connection_strings.h"
#include "kv7/util/xml_helpers.h"
#include "project_session.h"

namespace kv7::cli {
namespace {

std::string Utf8(WStringView text) { return ToUtf8(text); }

int BadUsage(const std::string& error) {
  std::fprintf(stderr, "kv7 connection: %s (see 'kv7 connection --help')\n", error.c_str());
  return kExitUsage;
}

// The connection a new project would get: the chooser's answer without a
// preset. Empty when the catalogue is empty.
WString DefaultConnectionName() {
  WString chosen, name, alias, user, password;
  if (SelectConnection(u"", chosen) == S_OK)
    (void)ParseConnectionInfo(chosen.c_str(), name, alias, user, password);
  return name;
}

int UnknownConnection(const char* verb, const std::string& name) {
  CVxStringArray names, aliases;
  (void)GetAllConnectionNames(names, aliases);
  std::string known;
  for (const WString& each : names) known += (known.empty() ? "" : ", ") + Utf8(each);
  return Fail(verb, "no connection named '" + name + "' (known connections: " +
                        (known.empty() ? std::string("none") : known) + ")");
}

// ---- list -----------------------------------------------------------------

int RunList(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {}, {}, 0, 0, &parsed, &error)) return BadUsage(error);
  CVxStringArray names, aliases;
  HRESULT hr = GetAllConnectionNames(names, aliases);
  if (FAILED(hr)) return FailStatus("connection list", hr, "cannot read the connection catalogue");
  if (names.GetSize() == 0) {
    std::printf("no connections (add one with 'kv7 connection add')\n");
    return kExitOk;
  }
  WString default_name = DefaultConnectionName();
  size_t width = 0;
  for (const WString& name : names) width = std::max(width, Utf8(name).size());
  for (int i = 0; i < names.GetSize(); ++i) {
    bool is_default = EqualsNoCase(names[i], default_name);
    std::string alias = i < aliases.GetSize() ? Utf8(aliases[i]) : std::string();
    std::printf("%s %-*s  %s\n", is_default ? "*" : " ", static_cast<int>(width),
                Utf8(names[i]).c_str(), alias.c_str());
  }
  return kExitOk;
}

// ---- show -----------------------------------------------------------------

int RunShowConnection(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {}, {}, 1, 1, &parsed, &error)) return BadUsage(error);
  const std::string& name = parsed.positional[0];
  CComBSTR element;
  HRESULT hr = CTaskHelperHook().GetConnXML(FromUtf8(name).c_str(), element.Put());
  if (hr == KV7_E_CONNECTION_NOT_FOUND) return UnknownConnection("connection show", name);
  if (FAILED(hr)) return FailStatus("connection show", hr, "cannot read the connection catalogue");
  CKV7ConnInfo connection;
  if (connection.SetXML(element.Get(), FALSE) != S_OK)
    return Fail("connection show", "the catalogue's entry for '" + name + "' is not a connection");
  auto or_none = [](const WString& text) {
    return text.empty() ? std::string("(none)") : Utf8(text);
  };
  std::printf("name: %s\n", Utf8(connection.GetConnName()).c_str());
  std::printf("type: %s\n", or_none(connection.GetDBType()).c_str());
  std::printf("database: %s\n", or_none(connection.GetDatabase()).c_str());
  std::printf("server: %s\n", or_none(connection.GetServer()).c_str());
  std::printf("user: %s\n", or_none(connection.GetUser()).c_str());
  std::printf("password: %s\n", connection.GetPassword().empty() ? "(none)" : "(set)");
  std::printf("default: %s\n",
              EqualsNoCase(connection.GetConnName(), DefaultConnectionName()) ? "yes" : "no");
  return kExitOk;
}

// ---- add ------------------------------------------------------------------

// The password of a new connection: one line of stdin, else KV7_PASSWORD,
// else none. False when stdin was asked for and holds no line.
bool ReadPassword(bool fromStdin, std::string* password) {
  if (fromStdin) {
    if (!std::getline(std::cin, *password)) return false;
    if (!password->empty() && password->back() == '\r') password->pop_back();
    return true;
  }
  const char* environment = std::getenv("KV7_PASSWORD");
  *password = environment ? environment : "";
  return true;
}

int RunAddConnection(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {"--password-stdin", "--default"},
                      {"--type", "--database", "--server", "--user"}, 1, 1, &parsed, &error))
    return BadUsage(error);
  std::string type = parsed.Option("--type");
  std::transform(type.begin(), type.end(), type.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (type != "SQLITE" && type != "POSTGRESQL")
    return BadUsage("--type must be sqlite or postgresql");
  std::string database = parsed.Option("--database");
  if (database.empty()) return BadUsage("--database is required");
  std::string password;
  if (!ReadPassword(parsed.Has("--password-stdin"), &password))
    return Fail("connection add", "--password-stdin: stdin holds no line to read");

  const WString database_value = type == "SQLITE" ? AbsolutePath(database) : FromUtf8(database);
  const std::pair<const char16_t*, WString> attributes[] = {
      {u"DBCONNNAME", FromUtf8(parsed.positional[0])},
      {u"DBALIAS", database_value},
      {u"DBUSER", FromUtf8(parsed.Option("--user"))},
      {u"DBPASSWORD", FromUtf8(password)},
      {u"SERVER", FromUtf8(parsed.Option("--server"))},
      {u"DATABASE", database_value},
      {u"DBTYPE", FromUtf8(type)},
  };
  WString element = u"<DATACONNECTION";
  for (const auto& [attribute, value] : attributes) {
    WString escaped = value;
    NormalizeXML(escaped);
    element += WString(u" ") + attribute + u"=\"" + escaped + u"\"";
  }
  element += u"/>";
  HRESULT hr = CCommandHelperHook().AddConnection(element.c_str(), parsed.Has("--default"));
  if (FAILED(hr))
    return FailStatus("connection add", hr, "cannot add '" + parsed.positional[0] + "'");
  std::printf("added connection '%s'\n", parsed.positional[0].c_str());
  return kExitOk;
}

// ---- remove ---------------------------------------------------------------

int RunRemoveConnection(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {}, {}, 1, 1, &parsed, &error)) return BadUsage(error);
  const std::string& name = parsed.positional[0];
  HRESULT hr = CCommandHelperHook().RemoveConnection(FromUtf8(name).c_str());
  if (hr == KV7_E_CONNECTION_NOT_FOUND) return UnknownConnection("connection remove", name);
  if (FAILED(hr)) return FailStatus("connection remove", hr, "cannot remove '" + name + "'");
  std::printf("removed connection '%s'\n", name.c_str());
  return kExitOk;
}

struct Subcommand {
  const char* name;
  const char* usage;
  int (*run)(const Arguments& args);
};

constexpr Subcommand kSubcommands[] = {
    {"list", "list", RunList},
    {"show", "show NAME", RunShowConnection},
    {"add",
     "add NAME --type sqlite|postgresql --database DB [--server HOST[:PORT]] [--user USER]\n"
     "      [--password-stdin] [--default]",
     RunAddConnection},
    {"remove", "remove NAME", RunRemoveConnection},
};

int Usage(std::FILE* out) {
  std::fprintf(out, "usage:\n");
  for (const Subcommand& subcommand : kSubcommands)
    std::fprintf(out, "  kv7 connection %s\n", subcommand.usage);
  std::fprintf(out,
               "\nThe password of a new connection is read from stdin with --password-stdin,\n"
               "else from the KV7_PASSWORD environment variable. A sqlite database is a file;\n"
               "its path is stored absolute. The first connection, or one added with\n"
               "--default, is the default connection (marked '*' by list).\n");
  return out == stdout ? kExitOk : kExitUsage;
}

}  // namespace

int RunConnection(const Arguments& args) {
  if (args.empty()) return Usage(stderr);
  if (args[0] == "--help" || args[0] == "-h") return Usage(stdout);
  for (const Subcommand& subcommand : kSubcommands)
    if (args[0] == subcommand.name) return subcommand.run(Arguments(args.begin() + 1, args.end()));
  return BadUsage("unknown subcommand '" + args[0] + "'");
}

}  // namespace kv7::cli
