#include "kv7/platform/registry.h"

#include <fcntl.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unicode/utf16.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "kv7/platform/errorinfo.h"
#include "kv7/platform/files.h"

namespace {

using kv7::FoldCase;
using kv7::FromUtf8;
using kv7::ToUtf8;

struct Value {
  WString name;
  DWORD type = REG_SZ;
  WString text;      // REG_SZ, REG_EXPAND_SZ
  DWORD number = 0;  // REG_DWORD
};

struct Key {
  WString name;
  std::map<WString, std::unique_ptr<Key>> keys;  // by folded name
  std::map<WString, Value> values;               // by folded name
};

using Path = std::vector<WString>;

constexpr std::array<HKEY, 3> kRoots = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,
                                        HKEY_LOCAL_MACHINE};
constexpr std::array<const char*, 3> kRootNames = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                                   "HKEY_LOCAL_MACHINE"};
using Roots = std::array<Key, 3>;

struct TypeName {
  DWORD type;
  const char* name;
};
constexpr TypeName kTypeNames[] = {
    {REG_SZ, "REG_SZ"}, {REG_EXPAND_SZ, "REG_EXPAND_SZ"}, {REG_DWORD, "REG_DWORD"}};

int RootIndex(HKEY root) {
  for (size_t i = 0; i < kRoots.size(); ++i)
    if (kRoots[i] == root) return static_cast<int>(i);
  return -1;
}

// ---- The tree ----

Path SplitPath(WStringView subkey) {
  Path path;
  for (size_t start = 0; start <= subkey.size();) {
    size_t end = std::min(subkey.find(u'\\', start), subkey.size());
    if (end > start) path.emplace_back(subkey.substr(start, end - start));
    start = end + 1;
  }
  return path;
}

WString JoinPath(const Path& base, WStringView subkey) {
  WString joined;
  for (const WString& name : base) joined.append(name).push_back(u'\\');
  return joined.append(subkey);
}

Key* Child(Key& key, WStringView name) {
  auto found = key.keys.find(FoldCase(name));
  return found == key.keys.end() ? nullptr : found->second.get();
}

Key* Find(Key& root, const Path& path) {
  Key* key = &root;
  for (const WString& name : path)
    if (!(key = Child(*key, name))) return nullptr;
  return key;
}

void MakePath(Key& root, const Path& path) {
  Key* key = &root;
  for (const WString& name : path) {
    std::unique_ptr<Key>& child = key->keys[FoldCase(name)];
    if (!child) {
      child = std::make_unique<Key>();
      child->name = name;
    }
    key = child.get();
  }
}

// Whether XML can carry the text: no control characters other than tab and
// line ends, no U+FFFE or U+FFFF, no unpaired surrogates.
bool IsStorable(WStringView text) {
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c < 0x20 ? c != u'\t' && c != u'\n' && c != u'\r' : c >= 0xFFFE) return false;
    if (U16_IS_LEAD(c) && i + 1 < text.size() && U16_IS_TRAIL(text[i + 1])) ++i;
    else if (U16_IS_SURROGATE(c)) return false;
  }
  return true;
}

// ---- The file ----
//
// <registry>
//   <key name="HKEY_CURRENT_USER">
//     <key name="Software">
//       <value name="Path" type="REG_SZ" data="C:\Tools"/>

void AppendAttribute(std::string& out, const char* name, std::string_view value) {
  out.append(" ").append(name).append("=\"");
  for (char c : value) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      // Escaped so that attribute normalisation keeps them.
      case '\t': out += "&#9;"; break;
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      default: out += c; break;
    }
  }
  out += '"';
}

const char* TypeNameOf(DWORD type) {
  for (const TypeName& entry : kTypeNames)
    if (entry.type == type) return entry.name;
  return "";
}

std::optional<DWORD> TypeFromName(WStringView name) {
  for (const TypeName& entry : kTypeNames)
    if (ToUtf8(name) == entry.name) return entry.type;
  return std::nullopt;
}

void AppendKey(std::string& out, const Key& key, std::string_view name, size_t depth) {
  out.append(depth * 2, ' ').append("<key");
  AppendAttribute(out, "name", name);
  if (key.keys.empty() && key.values.empty()) {
    out += "/>\n";
    return;
  }
  out += ">\n";
  for (const auto& [folded, value] : key.values) {
    out.append(depth * 2 + 2, ' ').append("<value");
    AppendAttribute(out, "name", ToUtf8(value.name));
    AppendAttribute(out, "type", TypeNameOf(value.type));
    AppendAttribute(out, "data",
                    value.type == REG_DWORD ? std::to_string(value.number) : ToUtf8(value.text));
    out += "/>\n";
  }
  for (const auto& [folded, child] : key.keys) AppendKey(out, *child, ToUtf8(child->name), depth + 1);
  out.append(depth * 2, ' ').append("</key>\n");
}

std::string Serialize(const Roots& roots) {
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<registry>\n";
  for (size_t i = 0; i < roots.size(); ++i) AppendKey(out, roots[i], kRootNames[i], 1);
  return out += "</registry>\n";
}

std::optional<WString> Attribute(xmlNode* element, const char* name) {
  xmlChar* value = xmlGetProp(element, reinterpret_cast<const xmlChar*>(name));
  if (value == nullptr) return std::nullopt;
  WString text = FromUtf8(reinterpret_cast<const char*>(value));
  xmlFree(value);
  return text;
}

bool IsNamed(const xmlNode* element, const char* name) {
  return xmlStrcmp(element->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

// Calls `read` on each child element; false as soon as one fails, or when
// the node holds content other than layout whitespace and comments, which a
// rewrite would lose.
bool ForEachElement(xmlNode* parent, const std::function<bool(xmlNode*)>& read) {
  for (xmlNode* node = parent->children; node; node = node->next) {
    bool ok = node->type == XML_ELEMENT_NODE ? read(node)
                                             : node->type == XML_COMMENT_NODE || xmlIsBlankNode(node);
    if (!ok) return false;
  }
  return true;
}

std::optional<DWORD> ParseDword(WStringView text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  std::uint64_t number = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    number = number * 10 + static_cast<std::uint64_t>(c - u'0');
  }
  if (number > 0xFFFFFFFFu) return std::nullopt;
  return static_cast<DWORD>(number);
}

bool ReadValue(xmlNode* element, Value& value) {
  std::optional<WString> type = Attribute(element, "type");
  std::optional<WString> data = Attribute(element, "data");
  std::optional<DWORD> known = type ? TypeFromName(*type) : std::nullopt;
  if (!known || !data) return false;
  value.type = *known;
  if (value.type != REG_DWORD) {
    value.text = std::move(*data);
    return true;
  }
  std::optional<DWORD> number = ParseDword(*data);
  if (number) value.number = *number;
  return number.has_value();
}

bool ReadKey(xmlNode* element, Key& key) {
  return ForEachElement(element, [&](xmlNode* child) {
    std::optional<WString> name = Attribute(child, "name");
    if (!name) return false;
    if (IsNamed(child, "key")) {
      if (name->empty() || name->find(u'\\') != WString::npos) return false;
      auto [entry, added] = key.keys.try_emplace(FoldCase(*name), std::make_unique<Key>());
      entry->second->name = std::move(*name);
      return added && ReadKey(child, *entry->second);
    }
    Value value;
    value.name = *name;
    return IsNamed(child, "value") && ReadValue(child, value) &&
           key.values.try_emplace(FoldCase(*name), std::move(value)).second;
  });
}

// Reads a registry file into empty roots; false when it is not one.
bool Parse(const std::string& bytes, Roots& roots) {
  std::unique_ptr<xmlDoc, void (*)(xmlDoc*)> doc(
      xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), "registry.xml", nullptr,
                    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
      xmlFreeDoc);
  if (!doc || doc->intSubset) return false;
  xmlNode* top = xmlDocGetRootElement(doc.get());
  if (top == nullptr || !IsNamed(top, "registry")) return false;
  std::array<bool, 3> seen{};
  return ForEachElement(top, [&](xmlNode* child) {
    std::optional<WString> name = Attribute(child, "name");
    for (size_t i = 0; i < roots.size(); ++i) {
      if (IsNamed(child, "key") && name == FromUtf8(kRootNames[i]) && !seen[i]) {
        seen[i] = true;
        return ReadKey(child, roots[i]);
      }
    }
    return false;
  });
}

// What tells a changed file apart: a rewrite renames a new file in place.
struct FileIdentity {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  time_t seconds = 0;
  long nanoseconds = 0;

  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

FileIdentity IdentityOf(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return FileIdentity();
  return {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

// An exclusive flock on the lock file, held while the object lives.
class FileLock {
 public:
  FileLock() = default;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock() {
    if (fd_ >= 0) close(fd_);
  }

  HRESULT Acquire(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) return kv7::HResultFromErrno(errno);
    while (flock(fd_, LOCK_EX) != 0)
      if (errno != EINTR) return kv7::HResultFromErrno(errno);
    return S_OK;
  }

 private:
  int fd_ = -1;
};

LONG Win32ErrorOf(HRESULT hr) {
  DWORD error = Win32FromHResult(hr);
  return static_cast<LONG>(error != 0 ? error : ERROR_CANTWRITE);
}

// The process's copy of the registry file, with the lock that guards it.
class Store {
 public:
  // Never destroyed: keys may still be used by other objects' destructors
  // at exit.
  static Store& Get() {
    static Store& store = *new Store;
    return store;
  }

  // Runs `read` on the tree; `refresh` first re-reads a changed file.
  LONG Read(bool refresh, const std::function<LONG(Roots&)>& read) {
    std::lock_guard lock(mutex_);
    if (refresh) Refresh(FileIn(kv7::Kv7HomeDirectory()));
    return read(roots_);
  }

  // Applies `change` to the file's current content and saves the result;
  // a change that fails must leave the tree as it was.
  LONG Write(const std::function<LONG(Roots&)>& change) {
    std::lock_guard lock(mutex_);
    WString home = kv7::Kv7HomeDirectory();
    if (HRESULT hr = kv7::CreateDirectories(home); FAILED(hr)) return Win32ErrorOf(hr);
    FileLock fileLock;
    if (HRESULT hr = fileLock.Acquire(ToUtf8(home) + "/registry.lock"); FAILED(hr))
      return Win32ErrorOf(hr);
    Refresh(FileIn(home));
    if (malformed_) return ERROR_CANTWRITE;
    if (LONG result = change(roots_); result != ERROR_SUCCESS) return result;
    if (HRESULT hr = kv7::WriteFileBytes(FromUtf8(path_), Serialize(roots_)); FAILED(hr)) {
      // Drop the change that did not reach the file.
      loaded_ = false;
      Refresh(path_);
      return Win32ErrorOf(hr);
    }
    identity_ = IdentityOf(path_);
    return ERROR_SUCCESS;
  }

 private:
  Store() { xmlInitParser(); }

  static std::string FileIn(const WString& home) { return ToUtf8(home) + "/registry.xml"; }

  void Refresh(const std::string& path) {
    FileIdentity now = IdentityOf(path);
    if (loaded_ && path == path_ && now == identity_) return;
    path_ = path;
    identity_ = now;
    loaded_ = true;
    std::string bytes;
    Roots fresh;
    HRESULT hr = now.exists ? kv7::ReadFileBytes(FromUtf8(path), &bytes) : S_OK;
    // An empty file holds nothing to lose: it reads as an empty registry.
    malformed_ = FAILED(hr) || (!bytes.empty() && !Parse(bytes, fresh));
    roots_ = malformed_ ? Roots() : std::move(fresh);
  }

  std::mutex mutex_;
  std::string path_;
  FileIdentity identity_;
  bool loaded_ = false;
  bool malformed_ = false;
  Roots roots_;
};

// ERROR_SUCCESS when an open key allows the access, else its error.
LONG Allowed(bool open, REGSAM access, REGSAM needed) {
  if (!open) return ERROR_INVALID_HANDLE;
  return (access & needed) == needed ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// Runs `use` on the open key's node, or answers ERROR_KEY_DELETED.
LONG ReadKeyNode(HKEY root, const Path& path, const std::function<LONG(Key&)>& use) {
  return Store::Get().Read(false, [&](Roots& roots) {
    Key* key = Find(roots[static_cast<size_t>(RootIndex(root))], path);
    return key ? use(*key) : ERROR_KEY_DELETED;
  });
}

LONG WriteKeyNode(HKEY root, const Path& path, const std::function<LONG(Key&)>& change) {
  return Store::Get().Write([&](Roots& roots) {
    Key* key = Find(roots[static_cast<size_t>(RootIndex(root))], path);
    return key ? change(*key) : ERROR_KEY_DELETED;
  });
}

// The subkey at `subkey` below `key` and its parent, for deletion.
LONG FindForDelete(Key& key, WStringView subkey, Key** parent, Key** target) {
  Path path = SplitPath(subkey);
  if (path.empty()) return ERROR_INVALID_PARAMETER;
  WString last = path.back();
  path.pop_back();
  *parent = Find(key, path);
  *target = *parent ? Child(**parent, last) : nullptr;
  return *target ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

// Stores a value, keeping the case of an existing value's name.
LONG PutValue(HKEY root, const Path& path, WStringView name, Value value) {
  if (!IsStorable(name)) return ERROR_INVALID_PARAMETER;
  return WriteKeyNode(root, path, [&](Key& key) {
    auto [entry, added] = key.values.try_emplace(FoldCase(name));
    value.name = added ? WString(name) : entry->second.name;
    entry->second = std::move(value);
    return static_cast<LONG>(ERROR_SUCCESS);
  });
}

// The name of the index-th entry of a map; ERROR_NO_MORE_ITEMS past the end.
template <class Map, class Use>
LONG NthEntry(const Map& entries, DWORD index, Use use) {
  if (index >= entries.size()) return ERROR_NO_MORE_ITEMS;
  use(std::next(entries.begin(), index)->second);
  return ERROR_SUCCESS;
}

}  // namespace

LONG CRegKey::Open(HKEY root, WStringView subkey, REGSAM access) {
  int index = RootIndex(root);
  if (index < 0) return ERROR_INVALID_HANDLE;
  Path path = SplitPath(subkey);
  LONG result = Store::Get().Read(true, [&](Roots& roots) {
    return Find(roots[static_cast<size_t>(index)], path) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  });
  if (result != ERROR_SUCCESS) return result;
  open_ = true;
  root_ = root;
  path_ = std::move(path);
  access_ = access;
  return ERROR_SUCCESS;
}

LONG CRegKey::Open(const CRegKey& parent, WStringView subkey, REGSAM access) {
  if (!parent.open_) return ERROR_INVALID_HANDLE;
  return Open(parent.root_, JoinPath(parent.path_, subkey), access);
}

LONG CRegKey::Create(HKEY root, WStringView subkey, REGSAM access) {
  int index = RootIndex(root);
  if (index < 0) return ERROR_INVALID_HANDLE;
  Path path = SplitPath(subkey);
  for (const WString& name : path)
    if (!IsStorable(name)) return ERROR_INVALID_PARAMETER;
  LONG result = Open(root, subkey, access);
  if (result != ERROR_FILE_NOT_FOUND) return result;
  result = Store::Get().Write([&](Roots& roots) {
    MakePath(roots[static_cast<size_t>(index)], path);
    return ERROR_SUCCESS;
  });
  return result == ERROR_SUCCESS ? Open(root, subkey, access) : result;
}

LONG CRegKey::Create(const CRegKey& parent, WStringView subkey, REGSAM access) {
  if (LONG result = Allowed(parent.open_, parent.access_, KEY_CREATE_SUB_KEY)) return result;
  return Create(parent.root_, JoinPath(parent.path_, subkey), access);
}

LONG CRegKey::Close() {
  open_ = false;
  path_.clear();
  access_ = 0;
  return ERROR_SUCCESS;
}

LONG CRegKey::QueryValue(WStringView name, DWORD* type, WString* text, DWORD* number) const {
  if (LONG result = Allowed(open_, access_, KEY_QUERY_VALUE)) return result;
  return ReadKeyNode(root_, path_, [&](Key& key) {
    auto found = key.values.find(FoldCase(name));
    if (found == key.values.end()) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
    const Value& value = found->second;
    if (type) *type = value.type;
    if (text && value.type != REG_DWORD) *text = value.text;
    if (number && value.type == REG_DWORD) *number = value.number;
    return static_cast<LONG>(ERROR_SUCCESS);
  });
}

LONG CRegKey::QueryDWORDValue(WStringView name, DWORD& value) const {
  DWORD type = 0;
  DWORD number = 0;
  if (LONG result = QueryValue(name, &type, nullptr, &number)) return result;
  if (type != REG_DWORD) return ERROR_INVALID_DATA;
  value = number;
  return ERROR_SUCCESS;
}

LONG CRegKey::QueryStringValue(WStringView name, WString& value, size_t maxChars) const {
  DWORD type = 0;
  WString text;
  if (LONG result = QueryValue(name, &type, &text, nullptr)) return result;
  if (type != REG_SZ) return ERROR_INVALID_DATA;
  if (text.size() > maxChars) return ERROR_MORE_DATA;
  value.swap(text);
  return ERROR_SUCCESS;
}

LONG CRegKey::SetDWORDValue(WStringView name, DWORD value) {
  Value stored;
  stored.type = REG_DWORD;
  stored.number = value;
  if (LONG result = Allowed(open_, access_, KEY_SET_VALUE)) return result;
  return PutValue(root_, path_, name, std::move(stored));
}

LONG CRegKey::SetStringValue(WStringView name, WStringView value, DWORD type) {
  if ((type != REG_SZ && type != REG_EXPAND_SZ) || !IsStorable(value))
    return ERROR_INVALID_PARAMETER;
  Value stored;
  stored.type = type;
  stored.text = value;
  if (LONG result = Allowed(open_, access_, KEY_SET_VALUE)) return result;
  return PutValue(root_, path_, name, std::move(stored));
}

LONG CRegKey::DeleteValue(WStringView name) {
  if (LONG result = Allowed(open_, access_, KEY_SET_VALUE)) return result;
  return WriteKeyNode(root_, path_, [&](Key& key) {
    return static_cast<LONG>(key.values.erase(FoldCase(name)) ? ERROR_SUCCESS
                                                               : ERROR_FILE_NOT_FOUND);
  });
}

LONG CRegKey::DeleteSubKey(WStringView subkey) {
  if (LONG result = Allowed(open_, access_, KEY_CREATE_SUB_KEY)) return result;
  return WriteKeyNode(root_, path_, [&](Key& key) {
    Key* parent = nullptr;
    Key* target = nullptr;
    if (LONG result = FindForDelete(key, subkey, &parent, &target)) return result;
    if (!target->keys.empty()) return static_cast<LONG>(ERROR_ACCESS_DENIED);
    parent->keys.erase(FoldCase(target->name));
    return static_cast<LONG>(ERROR_SUCCESS);
  });
}

LONG CRegKey::RecurseDeleteKey(WStringView subkey) {
  if (LONG result = Allowed(open_, access_, KEY_CREATE_SUB_KEY)) return result;
  return WriteKeyNode(root_, path_, [&](Key& key) {
    Key* parent = nullptr;
    Key* target = nullptr;
    if (LONG result = FindForDelete(key, subkey, &parent, &target)) return result;
    parent->keys.erase(FoldCase(target->name));
    return static_cast<LONG>(ERROR_SUCCESS);
  });
}

LONG CRegKey::EnumKey(DWORD index, WString* name) const {
  if (LONG result = Allowed(open_, access_, KEY_ENUMERATE_SUB_KEYS)) return result;
  return ReadKeyNode(root_, path_, [&](Key& key) {
    return NthEntry(key.keys, index, [&](const std::unique_ptr<Key>& child) {
      *name = child->name;
    });
  });
}

LONG CRegKey::EnumValue(DWORD index, WString* name, DWORD* type) const {
  if (LONG result = Allowed(open_, access_, KEY_QUERY_VALUE)) return result;
  return ReadKeyNode(root_, path_, [&](Key& key) {
    return NthEntry(key.values, index, [&](const Value& value) {
      *name = value.name;
      if (type) *type = value.type;
    });
  });
}
