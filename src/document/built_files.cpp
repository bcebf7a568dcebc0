// The built-files record: an XML document with an index of its
// configurations and files by case-folded name, written as text in the
// system's layout.
#include "kv7/document/built_files.h"

#include "kv7/platform/bstr.h"
#include "kv7/platform/errorinfo.h"
#include "kv7/platform/files.h"
#include "kv7/platform/localtime.h"
#include "kv7/trace/trace.h"
#include "kv7/util/path_names.h"
#include "kv7/util/utilities.h"
#include "kv7/util/xml_helpers.h"

namespace {

constexpr char16_t kRootName[] = u"KV7ProjectBuiltFiles";
constexpr char16_t kTail[] = u"\t</Configurations>\r\n</KV7ProjectBuiltFiles>";

// The record's text up to its first configuration.
WString Head() {
  WString text;
  (void)GetXMLEncoding(text);
  text.append(u"\r\n");
  text.append(kv7::FormatW(u"<%s version=\"%d\">\r\n", kRootName, CKV7BuiltFiles::kVersion));
  return text.append(u"\t<Configurations>\r\n");
}

WString Escaped(WStringView value) {
  WString text(value);
  NormalizeXML(text);
  return text;
}

WString AttributeOf(IXMLDOMNode* element, const char16_t* name) {
  WString value;
  (void)GetAttrFromNode(element, name, value);
  return value;
}

WString FileElementText(WStringView path, WStringView time) {
  return u"<File val=\"" + Escaped(path) + u"\" builttime=\"" + Escaped(time) + u"\"/>";
}

// The element of a text, in a document of its own: the DOM makes
// attributes only by parsing.
HRESULT ParseElement(const WString& text, IXMLDOMNode** element) {
  ComPtr<IXMLDOMDocument> fragment;
  HRESULT hr = CreateXMLDOMDocument(fragment.Put());
  if (FAILED(hr)) return hr;
  VARIANT_BOOL parsed = VARIANT_FALSE;
  if (fragment->loadXML(text.c_str(), &parsed) != S_OK ||
      fragment->get_documentElement(element) != S_OK)
    return E_FAIL;
  return S_OK;
}

// A local time to the second as an instant, through the same calendar
// conversion that the recorded build times take, so that equal local
// times compare equal even in an hour that daylight saving repeats.

}  // namespace

CKV7BuiltFiles::CKV7BuiltFiles() {
  KV7_TRACE_ENTRY("CKV7BuiltFiles::CKV7BuiltFiles", 6, "KV7BuiltFiles");
  Reset();
}

CKV7BuiltFiles::~CKV7BuiltFiles() {
  KV7_TRACE_ENTRY("CKV7BuiltFiles::~CKV7BuiltFiles", 6, "KV7BuiltFiles");
}

// ---- File -------------------------------------------------------------------

HRESULT CKV7BuiltFiles::LoadFromFile(const char16_t* path) {
  KV7_TRACE_ENTRY("CKV7BuiltFiles::LoadFromFile", 2, "KV7BuiltFiles");
  if (path == nullptr || *path == u'\0') return KV7_TRACE_RETURN(E_INVALIDARG);
  path_ = path;
  dirty_ = false;
  HRESULT hr = ReadDocument(path);
  if (FAILED(hr)) Reset();
  return KV7_TRACE_RETURN(hr);
}

HRESULT CKV7BuiltFiles::ReadDocument(const char16_t* path) {
  ComPtr<IXMLDOMDocument> document;
  HRESULT hr = CreateXMLDOMDocument(document.Put());
  if (FAILED(hr)) return hr;
  // The record is written from its entries (DocumentText), never from this
  // document, so the layout between its elements need not be kept.
  (void)document->put_preserveWhiteSpace(VARIANT_FALSE);
  VARIANT_BOOL loaded = VARIANT_FALSE;
  if (document->load(path, &loaded) == S_OK && loaded == VARIANT_TRUE) {
    document_ = document;
    return IndexDocument(path);
  }
  LONG code = 0;
  WString reason = DescribeParseError(document.Get(), path, &code);
  // No record yet: nothing was built.
  if (code == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
      code == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)) {
    Reset();
    return S_OK;
  }
  hr = FAILED(code) ? code : E_FAIL;
  kv7::SetErrorInfo(hr, reason);
  return hr;
}

HRESULT CKV7BuiltFiles::IndexDocument(const char16_t* path) {
  last_found_ = nullptr;
  index_.clear();
  configurations_.Reset();
  ComPtr<IXMLDOMNode> root;
  (void)document_->get_documentElement(root.Put());
  WString root_name = GetNodeName(root.Get());
  if (root_name != kRootName) {
    kv7::SetErrorInfo(E_FAIL, kv7::FormatW(u"%s: not a built files record: its root is %s", path,
                                           root_name.c_str()));
    return E_FAIL;
  }
  if (GetSingleNode(root.Get(), u"Configurations", configurations_.Put()) != S_OK) {
    kv7::SetErrorInfo(E_FAIL, kv7::FormatW(u"%s: not a built files record: it has no "
                                           u"Configurations element", path));
    return E_FAIL;
  }
  return ForEachChildElement(configurations_.Get(), u"Configuration",
                        [this](IXMLDOMNode* element) { return IndexConfiguration(element); });
}

HRESULT CKV7BuiltFiles::IndexConfiguration(IXMLDOMNode* element) {
  // Lookups find the first of several elements of one name; the others
  // could never be reached, so they leave the document.
  auto [at, added] = index_.try_emplace(kv7::FoldCase(AttributeOf(element, u"val")));
  if (!added) return configurations_->removeChild(element, nullptr);
  Configuration& configuration = at->second;
  configuration.element = element;
  if (GetSingleNode(element, u"Files", configuration.files.Put()) != S_OK) {
    HRESULT hr = AppendElement(element, u"<Files/>", configuration.files.Put());
    if (FAILED(hr)) return hr;
  }
  return ForEachChildElement(configuration.files.Get(), u"File", [&](IXMLDOMNode* file) -> HRESULT {
    WString key = kv7::FoldCase(AttributeOf(file, u"val"));
    auto [entry, entered] =
        configuration.files_by_path.try_emplace(std::move(key), ComPtr<IXMLDOMNode>(file));
    if (!entered) return configuration.files->removeChild(file, nullptr);
    // The time is read now: a project's record is read on a thread of its
    // own while the project loads, and every build asks for each time.
    kv7::TimePoint built;
    (void)BuiltTime(entry->second, &built);
    return S_OK;
  });
}

HRESULT CKV7BuiltFiles::SaveToFile(const char16_t* path) {
  KV7_TRACE_ENTRY("CKV7BuiltFiles::SaveToFile", 2, "KV7BuiltFiles");
  if (path != nullptr && *path != u'\0') path_ = path;
  if (path_.empty()) return KV7_TRACE_RETURN(E_FAIL);
  // The root ends its line, as the DOM saves a document.
  HRESULT hr = kv7::WriteFileBytes(path_, kv7::ToUtf8(DocumentText() + u"\r\n"));
  if (FAILED(hr)) return KV7_TRACE_RETURN(kv7::ReportFileError(hr, u"write", path_));
  dirty_ = false;
  return KV7_TRACE_RETURN(S_OK);
}

WString CKV7BuiltFiles::DocumentText() const {
  WString text = Head();
  (void)ForEachChildElement(configurations_.Get(), u"Configuration", [&](IXMLDOMNode* element) {
    text.append(u"\t\t<Configuration val=\"")
        .append(Escaped(AttributeOf(element, u"val")))
        .append(u"\">\r\n\t\t\t<Files>\r\n");
    ComPtr<IXMLDOMNode> files;
    if (GetSingleNode(element, u"Files", files.Put()) == S_OK) {
      (void)ForEachChildElement(files.Get(), u"File", [&](IXMLDOMNode* file) {
        text.append(u"\t\t\t\t")
            .append(FileElementText(AttributeOf(file, u"val"), AttributeOf(file, u"builttime")))
            .append(u"\r\n");
        return S_OK;
      });
    }
    text.append(u"\t\t\t</Files>\r\n\t\t</Configuration>\r\n");
    return S_OK;
  });
  return text.append(kTail);
}

WString CKV7BuiltFiles::GenerateDefaultName(WStringView projectPath, bool remember) {
  KV7_TRACE_ENTRY("CKV7BuiltFiles::GenerateDefaultName", 2, "KV7BuiltFiles");
  WString name = WString(DirectoryWithSlash(projectPath)) + WString(BaseNameOf(projectPath)) +
                 kBuiltFilesSuffix;
  if (remember) path_ = name;
  return name;
}

void CKV7BuiltFiles::Clear() {
  KV7_TRACE_ENTRY("CKV7BuiltFiles::Clear", 2, "KV7BuiltFiles");
  Reset();
}

void CKV7BuiltFiles::Reset() {
  last_found_ = nullptr;
  index_.clear();
  configurations_.Reset();
  document_.Reset();
  // An empty record always parses; should the DOM fail for want of memory,
  // the record stays without a document and every lookup finds nothing.
  ComPtr<IXMLDOMDocument> document;
  VARIANT_BOOL loaded = VARIANT_FALSE;
  if (FAILED(CreateXMLDOMDocument(document.Put())) ||
      document->loadXML((Head() + kTail).c_str(), &loaded) != S_OK)
    return;
  document_ = document;
  (void)GetSingleNode(document_.Get(), u"KV7ProjectBuiltFiles/Configurations",
                      configurations_.Put());
}

// ---- Files --------------------------------------------------------------------

HRESULT CKV7BuiltFiles::SetFileAsBuilt(WStringView path, WStringView configuration) {
  KV7_TRACE_ENTRY("CKV7BuiltFiles::SetFileAsBuilt", 2, "KV7BuiltFiles");
  Configuration* found = Find(configuration);
  if (found == nullptr) return KV7_TRACE_RETURN(S_FALSE);
  WString now;
  GetCurrentTimeAsString(now);
  return KV7_TRACE_RETURN(MarkBuilt(*found, path, now));
}

HRESULT CKV7BuiltFiles::SetFileAsBuilt(WStringView path) {
  KV7_TRACE_ENTRY("CKV7BuiltFiles::SetFileAsBuilt", 2, "KV7BuiltFiles");
  WString now;
  GetCurrentTimeAsString(now);
  HRESULT result = S_FALSE;
  for (auto& [key, configuration] : index_) {
    result = MarkBuilt(configuration, path, now);
    if (FAILED(result)) return KV7_TRACE_RETURN(result);
  }
  return KV7_TRACE_RETURN(result);
}

HRESULT CKV7BuiltFiles::MarkBuilt(Configuration& configuration, WStringView path,
                                  WStringView time) {
  WString key = kv7::FoldCase(path);
  (void)RemoveFile(configuration, key);
  dirty_ = true;
  HRESULT hr = S_OK;
  if (!file_template_) hr = ParseElement(FileElementText(u"", u""), file_template_.Put());
  if (FAILED(hr)) return hr;
  ComPtr<IXMLDOMNode> copy, file;
  hr = file_template_->cloneNode(VARIANT_TRUE, copy.Put());
  if (SUCCEEDED(hr)) hr = SetAttrIntoNode(copy.Get(), u"val", WString(path).c_str());
  if (SUCCEEDED(hr)) hr = SetAttrIntoNode(copy.Get(), u"builttime", WString(time).c_str());
  if (SUCCEEDED(hr)) hr = configuration.files->appendChild(copy.Get(), file.Put());
  if (FAILED(hr)) return hr;
  configuration.files_by_path.emplace(std::move(key), std::move(file));
  return S_OK;
}

HRESULT CKV7BuiltFiles::SetFileAsNotBuilt(WStringView path, WStringView configuration) {
  KV7_TRACE_ENTRY("CKV7BuiltFiles::SetFileAsNotBuilt", 2, "KV7BuiltFiles");
  Configuration* found = Find(configuration);
  return KV7_TRACE_RETURN(Changed(found && RemoveFile(*found, kv7::FoldCase(path))));
}

HRESULT CKV7BuiltFiles::SetFileAsNotBuilt(WStringView path) {
  KV7_TRACE_ENTRY("CKV7BuiltFiles::SetFileAsNotBuilt", 2, "KV7BuiltFiles");
  WString key = kv7::FoldCase(path);
  bool changed = false;
  for (auto& [name, configuration] : index_) changed |= RemoveFile(configuration, key);
  return KV7_TRACE_RETURN(Changed(changed));
}

HRESULT CKV7BuiltFiles::SetConfigAsNotBuilt(WStringView configuration) {
  KV7_TRACE_ENTRY("CKV7BuiltFiles::SetConfigAsNotBuilt", 2, "KV7BuiltFiles");
  Configuration* found = Find(configuration);
  return KV7_TRACE_RETURN(Changed(found && RemoveFiles(*found)));
}

HRESULT CKV7BuiltFiles::SetAllConfigsAsNotBuilt() {
  KV7_TRACE_ENTRY("CKV7BuiltFiles::SetAllConfigsAsNotBuilt", 2, "KV7BuiltFiles");
  bool changed = false;
  for (auto& [name, configuration] : index_) changed |= RemoveFiles(configuration);
  return KV7_TRACE_RETURN(Changed(changed));
}

HRESULT CKV7BuiltFiles::FileRenamed(WStringView oldPath, WStringView newPath) {
  KV7_TRACE_ENTRY("CKV7BuiltFiles::FileRenamed", 2, "KV7BuiltFiles");
  WString old_key = kv7::FoldCase(oldPath);
  WString new_key = kv7::FoldCase(newPath);
  WString new_path(newPath);
  bool changed = false;
  for (auto& [name, configuration] : index_) {
    auto& files = configuration.files_by_path;
    auto at = files.find(old_key);
    if (at == files.end()) continue;
    (void)SetAttrIntoNode(at->second.element.Get(), u"val", new_path.c_str());
    changed = true;
    if (new_key == old_key) continue;
    auto entry = files.extract(at);
    (void)RemoveFile(configuration, new_key);
    entry.key() = new_key;
    files.insert(std::move(entry));
  }
  return KV7_TRACE_RETURN(Changed(changed));
}

bool CKV7BuiltFiles::RemoveFile(Configuration& configuration, const WString& key) {
  auto at = configuration.files_by_path.find(key);
  if (at == configuration.files_by_path.end()) return false;
  (void)configuration.files->removeChild(at->second.element.Get(), nullptr);
  configuration.files_by_path.erase(at);
  return true;
}

bool CKV7BuiltFiles::RemoveFiles(Configuration& configuration) {
  if (configuration.files_by_path.empty()) return false;
  for (auto& [key, file] : configuration.files_by_path)
    (void)configuration.files->removeChild(file.element.Get(), nullptr);
  configuration.files_by_path.clear();
  return true;
}

// ---- Configurations -------------------------------------------------------------

HRESULT CKV7BuiltFiles::ConfigAdded(WStringView name) {
  KV7_TRACE_ENTRY("CKV7BuiltFiles::ConfigAdded", 2, "KV7BuiltFiles");
  if (!configurations_) return KV7_TRACE_RETURN(E_UNEXPECTED);
  WString key = kv7::FoldCase(name);
  if (auto at = index_.find(key); at != index_.end()) {
    bool renamed = AttributeOf(at->second.element.Get(), u"val") != name;
    if (renamed) (void)SetAttrIntoNode(at->second.element.Get(), u"val", WString(name).c_str());
    bool emptied = RemoveFiles(at->second);
    return KV7_TRACE_RETURN(Changed(renamed || emptied));
  }
  ComPtr<IXMLDOMNode> element;
  HRESULT hr = AppendElement(configurations_.Get(),
                             u"<Configuration val=\"" + Escaped(name) + u"\"><Files/></Configuration>",
                             element.Put());
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  Configuration& configuration = index_[std::move(key)];
  configuration.element = element;
  (void)GetSingleNode(element.Get(), u"Files", configuration.files.Put());
  return KV7_TRACE_RETURN(Changed(true));
}

HRESULT CKV7BuiltFiles::ConfigDeleted(WStringView name) {
  KV7_TRACE_ENTRY("CKV7BuiltFiles::ConfigDeleted", 2, "KV7BuiltFiles");
  auto at = index_.find(kv7::FoldCase(name));
  if (at == index_.end()) return KV7_TRACE_RETURN(S_FALSE);
  RemoveConfiguration(at);
  return KV7_TRACE_RETURN(Changed(true));
}

HRESULT CKV7BuiltFiles::ConfigRenamed(WStringView oldName, WStringView newName) {
  KV7_TRACE_ENTRY("CKV7BuiltFiles::ConfigRenamed", 2, "KV7BuiltFiles");
  auto at = index_.find(kv7::FoldCase(oldName));
  if (at == index_.end()) return KV7_TRACE_RETURN(S_FALSE);
  if (AttributeOf(at->second.element.Get(), u"val") == newName) return KV7_TRACE_RETURN(S_FALSE);
  (void)SetAttrIntoNode(at->second.element.Get(), u"val", WString(newName).c_str());
  WString new_key = kv7::FoldCase(newName);
  if (new_key != at->first) {
    last_found_ = nullptr;
    auto entry = index_.extract(at);
    if (auto stale = index_.find(new_key); stale != index_.end()) RemoveConfiguration(stale);
    entry.key() = std::move(new_key);
    index_.insert(std::move(entry));
  }
  return KV7_TRACE_RETURN(Changed(true));
}

void CKV7BuiltFiles::RemoveConfiguration(ConfigurationIndex::iterator at) {
  (void)configurations_->removeChild(at->second.element.Get(), nullptr);
  last_found_ = nullptr;
  index_.erase(at);
}

// ---- Queries --------------------------------------------------------------------

HRESULT CKV7BuiltFiles::HasFileBeenUpdatedSinceLastBuildTime(WStringView configuration,
                                                             WStringView path, BOOL* updated) {
  KV7_TRACE_ENTRY("CKV7BuiltFiles::HasFileBeenUpdatedSinceLastBuildTime", 2, "KV7BuiltFiles");
  return KV7_TRACE_RETURN(
      HasFileBeenUpdatedSinceLastBuildTime(configuration, path, kv7::GetFileStatus(path), updated));
}

HRESULT CKV7BuiltFiles::HasFileBeenUpdatedSinceLastBuildTime(WStringView configuration,
                                                             WStringView path,
                                                             const kv7::FileStatus& file,
                                                             BOOL* updated) {
  KV7_TRACE_ENTRY("CKV7BuiltFiles::HasFileBeenUpdatedSinceLastBuildTime", 2, "KV7BuiltFiles");
  if (updated == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *updated = TRUE;
  FileEntry* entry = FindFile(configuration, path);
  kv7::TimePoint built;
  // A time that does not read counts as no time: the file is deployed again.
  if (entry == nullptr || !BuiltTime(*entry, &built)) return KV7_TRACE_RETURN(S_OK);
  if (FAILED(file.result)) return KV7_TRACE_RETURN(file.result);
  // Times compare to the second, as the record keeps them.
  const auto modified = std::chrono::floor<std::chrono::seconds>(kv7::FromFileTime(file.written));
  *updated = modified > built ? TRUE : FALSE;
  return KV7_TRACE_RETURN(S_OK);
}

bool CKV7BuiltFiles::BuiltTime(FileEntry& entry, kv7::TimePoint* built) {
  if (entry.time_state == FileEntry::Time::kUnread) {
    WString text = AttributeOf(entry.element.Get(), u"builttime");
    auto [at, added] = read_times_.try_emplace(std::move(text));
    if (added) {
      kv7::TimePoint time;
      if (!at->first.empty() && SUCCEEDED(kv7::ParseLocalTime(at->first, &time)))
        at->second = time;
    }
    entry.time_state = at->second ? FileEntry::Time::kRead : FileEntry::Time::kNone;
    if (at->second) entry.built = *at->second;
  }
  *built = entry.built;
  return entry.time_state == FileEntry::Time::kRead;
}

HRESULT CKV7BuiltFiles::GetConfigNode(WStringView configuration, IXMLDOMNode** node) {
  KV7_TRACE_ENTRY("CKV7BuiltFiles::GetConfigNode", 2, "KV7BuiltFiles");
  if (node == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *node = nullptr;
  Configuration* found = Find(configuration);
  if (found == nullptr) return KV7_TRACE_RETURN(S_FALSE);
  return KV7_TRACE_RETURN(found->element.CopyTo(node));
}

HRESULT CKV7BuiltFiles::GetFileNode(WStringView configuration, WStringView path,
                                    IXMLDOMNode** node) {
  KV7_TRACE_ENTRY("CKV7BuiltFiles::GetFileNode", 2, "KV7BuiltFiles");
  if (node == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *node = nullptr;
  FileEntry* entry = FindFile(configuration, path);
  if (entry == nullptr) return KV7_TRACE_RETURN(S_FALSE);
  return KV7_TRACE_RETURN(entry->element.CopyTo(node));
}

CKV7BuiltFiles::FileEntry* CKV7BuiltFiles::FindFile(WStringView configuration, WStringView path) {
  Configuration* found = Find(configuration);
  if (found == nullptr) return nullptr;
  auto at = found->files_by_path.find(kv7::FoldCase(path));
  return at == found->files_by_path.end() ? nullptr : &at->second;
}

HRESULT CKV7BuiltFiles::GetBuiltTime(WStringView configuration, WStringView path, WString* time) {
  KV7_TRACE_ENTRY("CKV7BuiltFiles::GetBuiltTime", 2, "KV7BuiltFiles");
  if (time == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  ComPtr<IXMLDOMNode> file;
  HRESULT hr = GetFileNode(configuration, path, file.Put());
  if (hr != S_OK) return KV7_TRACE_RETURN(hr);
  *time = AttributeOf(file.Get(), u"builttime");
  return KV7_TRACE_RETURN(S_OK);
}

int CKV7BuiltFiles::BuiltFileCount(WStringView configuration) const {
  KV7_TRACE_ENTRY("CKV7BuiltFiles::BuiltFileCount", 2, "KV7BuiltFiles");
  auto at = index_.find(kv7::FoldCase(configuration));
  return at == index_.end() ? 0 : static_cast<int>(at->second.files_by_path.size());
}

CKV7BuiltFiles::Configuration* CKV7BuiltFiles::Find(WStringView configuration) {
  // A build asks about one configuration fifty thousand times in a row.
  if (last_found_ && configuration == last_name_) return last_found_;
  auto at = index_.find(kv7::FoldCase(configuration));
  if (at == index_.end()) return nullptr;
  last_name_ = configuration;
  last_found_ = &at->second;
  return last_found_;
}

HRESULT CKV7BuiltFiles::AppendElement(IXMLDOMNode* parent, const WString& text,
                                      IXMLDOMNode** appended) {
  ComPtr<IXMLDOMNode> element;
  HRESULT hr = ParseElement(text, element.Put());
  return FAILED(hr) ? hr : parent->appendChild(element.Get(), appended);
}

HRESULT CKV7BuiltFiles::Changed(bool changed) {
  if (!changed) return S_FALSE;
  dirty_ = true;
  return S_OK;
}
