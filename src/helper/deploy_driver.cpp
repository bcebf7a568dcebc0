#include "deploy_driver.h"

#include <charconv>

#include "postgres_driver.h"
#include "sqlite_driver.h"

namespace kv7::helper {

HRESULT DeployDriver::Instances(const ObjectRef& object, std::vector<ObjectRef>* found) {
  bool exists = false;
  HRESULT hr = Exists(object, &exists);
  if (SUCCEEDED(hr) && exists) found->push_back(object);
  return hr;
}

HRESULT DeployDriver::Recorded(const ObjectRef& object, std::vector<ObjectRef>* recorded) {
  recorded->push_back(object);
  return S_OK;
}

HRESULT DatabaseTypeOf(const Connection& connection, DatabaseType* type, std::string* message) {
  WString named = connection.Get(u"DBTYPE");
  if (named.empty() || EqualsNoCase(named, u"SQLITE")) {
    *type = DatabaseType::kSqlite;
    return S_OK;
  }
  if (EqualsNoCase(named, u"POSTGRESQL")) {
    *type = DatabaseType::kPostgres;
    return S_OK;
  }
  *message = ConnectionMessage(connection, "this build cannot deploy to " + ToUtf8(named) +
                                               " databases");
  return E_NOTIMPL;
}

HRESULT OpenDeployDriver(const Connection& connection, WStringView projectFolder,
                         std::unique_ptr<DeployDriver>* driver, std::string* message) {
  DatabaseType type;
  HRESULT hr = DatabaseTypeOf(connection, &type, message);
  if (FAILED(hr)) return hr;
  return type == DatabaseType::kPostgres
             ? OpenPostgresDriver(connection, driver, message)
             : OpenSqliteDriver(connection, projectFolder, driver, message);
}

std::string FoldAscii(std::string_view text) {
  std::string folded(text);
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return folded;
}

std::string QuoteName(std::string_view name) {
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

bool ReadQuotedName(std::string_view text, std::size_t* at, std::string* part) {
  if (*at >= text.size() || text[*at] != '"') return false;
  part->clear();
  for (std::size_t i = *at + 1; i < text.size(); ++i) {
    if (text[i] != '"') {
      *part += text[i];
    } else if (i + 1 < text.size() && text[i + 1] == '"') {
      *part += '"';
      ++i;
    } else {
      *at = i + 1;
      return true;
    }
  }
  return false;
}

bool SplitIdentity(std::string_view identity, std::string* schema, std::string* name) {
  std::size_t at = 0;
  if (!ReadQuotedName(identity, &at, schema) || at >= identity.size() || identity[at] != '.')
    return false;
  ++at;
  return ReadQuotedName(identity, &at, name) && at == identity.size();
}

std::string DropStatement(const ObjectRef& object) {
  std::string kind(KindName(object.kind));
  for (char& c : kind) c = static_cast<char>(c - 'a' + 'A');
  return "DROP " + kind + " " + object.identity;
}

std::string EncodeCreated(const std::vector<ObjectRef>& created) {
  std::string text;
  for (const ObjectRef& object : created)
    text.append(KindName(object.kind)).append(" ").append(object.identity).append("\n");
  return text;
}

bool DecodeCreated(std::string_view text, std::vector<ObjectRef>* created) {
  while (!text.empty()) {
    std::size_t space = text.find(' ');
    std::size_t end = text.find('\n');
    ObjectRef object;
    if (space > end || end == std::string_view::npos ||
        !KindFromName(text.substr(0, space), &object.kind))
      return false;
    object.identity = text.substr(space + 1, end - space - 1);
    created->push_back(std::move(object));
    text.remove_prefix(end + 1);
  }
  return true;
}

std::chrono::seconds TimeoutOf(const Connection& connection) {
  std::string text = ToUtf8(connection.Get(u"TIMEOUT"));
  long seconds = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  return std::chrono::seconds(error == std::errc() && seconds > 0 ? seconds : 0);
}

std::string TimeoutMessage(std::chrono::seconds timeout) {
  return "the statement ran longer than the connection's timeout of " +
         std::to_string(timeout.count()) + " s";
}

std::string ConnectionMessage(const Connection& connection, std::string_view why) {
  return "connection " + ToUtf8(connection.Name()) + ": " + std::string(why);
}

}  // namespace kv7::helper
