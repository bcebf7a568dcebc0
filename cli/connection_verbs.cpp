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
#include "project_session.h"

namespace kv7::cli {
namespace {

std::string Utf8(WStringView text) { return ToUtf8(text); }


// The connection a new project would get: the chooser's answer without a
// preset. Empty when the catalogue is empty.
WString DefaultConnectionName() {
  WString chosen, name, alias, user, password;
  if (SelectConnection(u"", chosen) == S_OK)
    (void)ParseConnectionInfo(chosen.c_str(), name, alias, user, password);
  return name;
}

// ---- list -----------------------------------------------------------------

// The alias of connection i. The two lists run parallel only when every
// entry of the catalogue has both attributes; when one lacks DBALIAS (a
// hand-written catalogue), each connection's own entry is read instead.
std::string AliasOf(const CVxStringArray& names, const CVxStringArray& aliases, int i) {
  if (aliases.GetSize() == names.GetSize()) return Utf8(aliases[i]);
  CComBSTR element;
  CKV7ConnInfo connection;
  if (FAILED(CTaskHelperHook().GetConnXML(names[i].c_str(), element.Put())) ||
      connection.SetXML(element.Get(), FALSE) != S_OK)
    return {};
  return Utf8(connection.GetAlias());
}

int RunList(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {}, {}, 0, 0, &parsed, &error))
    return BadUsage("connection list", error);
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
    std::string alias = AliasOf(names, aliases, i);
    std::printf("%s %-*s  %s\n", is_default ? "*" : " ", static_cast<int>(width),
                Utf8(names[i]).c_str(), alias.c_str());
  }
  return kExitOk;
}

// ---- show -----------------------------------------------------------------

int RunShowConnection(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {}, {}, 1, 1, &parsed, &error))
    return BadUsage("connection show", error);
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

// The DATACONNECTION element of a new connection, written by the
// connection record: every attribute of connection format 2 (the helper
// library completes an empty element), then each value set through it.
HRESULT NewConnectionElement(const WString& name, const WString& type, const WString& database,
                             const WString& server, const WString& user,
                             const WString& password, WString* element) {
  CComBSTR complete;
  HRESULT hr = CCommandHelperHook().ConvertConnectionXML(u"1", u"2", u"<DATACONNECTION/>",
                                                         complete.Put());
  if (FAILED(hr)) return hr;
  CKV7ConnInfo connection;
  hr = connection.SetXML(complete.Get(), FALSE);
  WString escaped_name = name, named;
  CKV7ConnInfo::DoNomalize(escaped_name);
  if (hr == S_OK)
    hr = CKV7ConnInfo::ReplaceInXMLString(CKV7ConnInfo::kXmlConnName, connection.GetXML().c_str(),
                                          escaped_name.c_str(), named);
  if (hr == S_OK) hr = connection.SetXML(named.c_str(), FALSE);
  if (hr != S_OK) return FAILED(hr) ? hr : E_FAIL;
  connection.SetDBType(type.c_str(), TRUE);
  connection.SetAlias(database.c_str(), FALSE, TRUE);
  connection.SetDatabase(database.c_str(), FALSE, TRUE);
  connection.SetServer(server.c_str(), FALSE, TRUE);
  connection.SetUser(user.c_str(), FALSE, TRUE);
  connection.SetPassword(password.c_str(), FALSE, TRUE);
  *element = connection.GetXML();
  return S_OK;
}

int RunAddConnection(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {"--password-stdin", "--default", "--project-relative"},
                      {"--type", "--database", "--server", "--user"}, 1, 1, &parsed, &error))
    return BadUsage("connection add", error);
  const std::string& name = parsed.positional[0];
  if (name.empty()) return BadUsage("connection add", "a connection needs a name");
  std::string type = parsed.Option("--type");
  std::transform(type.begin(), type.end(), type.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (type != "SQLITE" && type != "POSTGRESQL")
    return BadUsage("connection add", "--type must be sqlite or postgresql");
  std::string database = parsed.Option("--database");
  if (database.empty()) return BadUsage("connection add", "--database is required");
  const bool projectRelative = parsed.Has("--project-relative");
  if (projectRelative && (type != "SQLITE" || database.starts_with("/")))
    return BadUsage("connection add", "--project-relative takes a relative sqlite --database");
  std::string password;
  if (!ReadPassword(parsed.Has("--password-stdin"), &password))
    return Fail("connection add", "--password-stdin: stdin holds no line to read");

  WString element;
  HRESULT hr = NewConnectionElement(
      FromUtf8(name), FromUtf8(type),
      type == "SQLITE" && !projectRelative ? AbsolutePath(database) : FromUtf8(database),
      FromUtf8(parsed.Option("--server")), FromUtf8(parsed.Option("--user")), FromUtf8(password),
      &element);
  if (SUCCEEDED(hr)) hr = CCommandHelperHook().AddConnection(element.c_str(), parsed.Has("--default"));
  if (FAILED(hr)) return FailStatus("connection add", hr, "cannot add '" + name + "'");
  std::printf("added connection '%s'\n", name.c_str());
  return kExitOk;
}

// ---- remove ---------------------------------------------------------------

int RunRemoveConnection(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {}, {}, 1, 1, &parsed, &error))
    return BadUsage("connection remove", error);
  const std::string& name = parsed.positional[0];
  HRESULT hr = CCommandHelperHook().RemoveConnection(FromUtf8(name).c_str());
  if (hr == KV7_E_CONNECTION_NOT_FOUND) return UnknownConnection("connection remove", name);
  if (FAILED(hr)) return FailStatus("connection remove", hr, "cannot remove '" + name + "'");
  std::printf("removed connection '%s'\n", name.c_str());
  return kExitOk;
}

struct Subcommand {
  const char* name;
  int (*run)(const Arguments& args);
};

constexpr Subcommand kSubcommands[] = {
    {"list", RunList},
    {"show", RunShowConnection},
    {"add", RunAddConnection},
    {"remove", RunRemoveConnection},
};

}  // namespace

int UnknownConnection(const std::string& verb, const std::string& name) {
  CVxStringArray names, aliases;
  (void)GetAllConnectionNames(names, aliases);
  std::string known;
  for (const WString& each : names) known += (known.empty() ? "" : ", ") + Utf8(each);
  return Fail(verb, "no connection named '" + name + "' (known connections: " +
                        (known.empty() ? std::string("none") : known) + ")");
}

int RunConnection(const Arguments& args) {
  if (args.empty()) return BadUsage("connection", "expected list, show, add or remove");
  for (const Subcommand& subcommand : kSubcommands)
    if (args[0] == subcommand.name) return subcommand.run(Arguments(args.begin() + 1, args.end()));
  return BadUsage("connection", "unknown subcommand '" + args[0] + "'");
}

}  // namespace kv7::cli
