// The project's assembly records and their list.
#include "kv7/document/assembly_info.h"

#include <algorithm>
#include <cassert>
#include <utility>

#include "kv7/platform/bstr.h"
#include "kv7/trace/trace.h"
#include "kv7/util/utilities.h"
#include "kv7/util/xml_helpers.h"

namespace {

constexpr size_t kPlaceholderPrefixLength = std::size(kKV7CLRAssemblyPlaceholder) - 1;

// One placeholder met in a text: [start, end) is what it replaces.
struct Placeholder {
  size_t start = WStringView::npos;
  size_t end = WStringView::npos;
  WStringView name;          // empty unless well formed
  bool well_formed = false;
};

// The first placeholder at or after `from`; start is npos when there is
// none. One without a closing "]" on its line ends at the line end.
Placeholder NextPlaceholder(WStringView text, size_t from) {
  Placeholder found;
  found.start = text.find(kKV7CLRAssemblyPlaceholder, from);
  if (found.start == WStringView::npos) return found;
  size_t after = found.start + kPlaceholderPrefixLength;
  size_t line_end = std::min(text.find_first_of(u"\r\n", after), text.size());
  size_t close = text.find(u']', after);
  if (close == WStringView::npos || close > line_end) {
    found.end = line_end;
    return found;
  }
  found.end = close + 1;
  if (close > after + 1 && text[after] == u':') {
    found.name = text.substr(after + 1, close - after - 1);
    found.well_formed = true;
  }
  return found;
}

bool IsNameCharacter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
         c == u'_';
}

// Whether `word` stands in `text` not within a longer name; both folded.
bool ContainsWord(WStringView text, WStringView word) {
  for (size_t at = text.find(word); at != WStringView::npos; at = text.find(word, at + 1)) {
    size_t end = at + word.size();
    bool starts = at == 0 || !IsNameCharacter(text[at - 1]);
    bool ends = end == text.size() || !IsNameCharacter(text[end]);
    if (starts && ends) return true;
  }
  return false;
}

}  // namespace

// ---- CKV7AssemblyInfo --------------------------------------------------------

CKV7AssemblyInfo::CKV7AssemblyInfo() {
  KV7_TRACE_ENTRY("CKV7AssemblyInfo::CKV7AssemblyInfo", 6, "KV7AssemblyInfo");
}

CKV7AssemblyInfo::~CKV7AssemblyInfo() {
  KV7_TRACE_ENTRY("CKV7AssemblyInfo::~CKV7AssemblyInfo", 6, "KV7AssemblyInfo");
}

std::span<const CKV7AssemblyInfo::XmlField> CKV7AssemblyInfo::XmlFields() {
  using I = CKV7AssemblyInfo;
  static constexpr XmlField kFields[] = {
      {u"FullSourcePath", &I::full_source_path_, nullptr},
      {u"LastInstallSucceeded", nullptr, &I::last_install_succeeded_},
      {u"LastSuccessfullInstallTime", &I::last_successful_install_time_, nullptr},
      {u"TimestampOfInstalledDll", &I::timestamp_of_installed_dll_, nullptr},
      {u"ExternalName", &I::external_name_, nullptr},
      {u"TargetDir", &I::target_dir_, nullptr},
      {u"Guid", &I::guid_, nullptr},
      {u"DoNotInstallOnBuild", nullptr, &I::do_not_install_on_build_},
  };
  return kFields;
}

HRESULT CKV7AssemblyInfo::SaveAsXML(WStringView indent, WString& out) const {
  KV7_TRACE_ENTRY("CKV7AssemblyInfo::SaveAsXML", 2, "KV7AssemblyInfo");
  WString inner = WString(indent) + u"\t";
  out.append(indent).append(u"<AssemblyInfo>\r\n");
  for (const XmlField& field : XmlFields()) {
    WString flag;
    if (field.flag) BoolToString(this->*field.flag, flag);
    out.append(inner).append(u"<").append(field.element).append(u">");
    out.append(field.text ? this->*field.text : flag);
    out.append(u"</").append(field.element).append(u">\r\n");
  }
  out.append(indent).append(u"</AssemblyInfo>\r\n");
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7AssemblyInfo::LoadFromXML(IXMLDOMNode* element) {
  KV7_TRACE_ENTRY("CKV7AssemblyInfo::LoadFromXML", 2, "KV7AssemblyInfo");
  if (element == nullptr) return KV7_TRACE_RETURN(S_OK);
  for (const XmlField& field : XmlFields()) {
    ComPtr<IXMLDOMNode> child;
    if (GetSingleNode(element, field.element, child.Put()) != S_OK || !child) continue;
    CComBSTR text;
    if (FAILED(child->get_text(text.Put()))) continue;
    if (field.text)
      this->*field.text = text.ToString();
    else
      StringToBool(text.ToString().c_str(), this->*field.flag);
  }
  return KV7_TRACE_RETURN(S_OK);
}

void CKV7AssemblyInfo::CopyFrom(const CKV7AssemblyInfo& other) {
  KV7_TRACE_ENTRY("CKV7AssemblyInfo::CopyFrom", 2, "KV7AssemblyInfo");
  for (const XmlField& field : XmlFields()) {
    if (field.text)
      this->*field.text = other.*field.text;
    else
      this->*field.flag = other.*field.flag;
  }
  extra_text_ = other.extra_text_;
}

std::unique_ptr<CKV7AssemblyInfo> CKV7AssemblyInfo::Clone() const {
  KV7_TRACE_ENTRY("CKV7AssemblyInfo::Clone", 2, "KV7AssemblyInfo");
  auto copy = std::make_unique<CKV7AssemblyInfo>();
  copy->CopyFrom(*this);
  return copy;
}

void CKV7AssemblyInfo::SetAsNew() {
  KV7_TRACE_ENTRY("CKV7AssemblyInfo::SetAsNew", 2, "KV7AssemblyInfo");
  last_install_succeeded_ = FALSE;
  last_successful_install_time_.clear();
  external_name_.clear();
  timestamp_of_installed_dll_.clear();
  guid_.clear();
}

bool CKV7AssemblyInfo::ClearInstallInfo(bool respectDoNotInstall) {
  KV7_TRACE_ENTRY("CKV7AssemblyInfo::ClearInstallInfo", 2, "KV7AssemblyInfo");
  if (respectDoNotInstall && do_not_install_on_build_) return KV7_TRACE_RETURN(false);
  bool changed = last_install_succeeded_ || !last_successful_install_time_.empty() ||
                 !timestamp_of_installed_dll_.empty();
  last_install_succeeded_ = FALSE;
  last_successful_install_time_.clear();
  timestamp_of_installed_dll_.clear();
  return KV7_TRACE_RETURN(changed);
}

WStringView CKV7AssemblyInfo::GetSourceFileName(bool keepExtension) const {
  KV7_TRACE_ENTRY("CKV7AssemblyInfo::GetSourceFileName", 2, "KV7AssemblyInfo");
  WStringView name = full_source_path_;
  size_t separator = name.find_last_of(u"/\\");
  if (separator != WStringView::npos) name.remove_prefix(separator + 1);
  size_t dot = name.rfind(u'.');
  if (!keepExtension && dot != WStringView::npos) name = name.substr(0, dot);
  return name;
}

WString CKV7AssemblyInfo::GetPlaceholderReplacement() const {
  KV7_TRACE_ENTRY("CKV7AssemblyInfo::GetPlaceholderReplacement", 2, "KV7AssemblyInfo");
  if (!external_name_.empty()) return external_name_;
  return target_dir_ + u"/" + WString(GetSourceFileName(true));
}

void CKV7AssemblyInfo::SetFullSourcePath(WStringView path) {
  KV7_TRACE_ENTRY("CKV7AssemblyInfo::SetFullSourcePath", 2, "KV7AssemblyInfo");
  full_source_path_ = path;
}

void CKV7AssemblyInfo::SetLastInstallSucceeded(BOOL succeeded) {
  KV7_TRACE_ENTRY("CKV7AssemblyInfo::SetLastInstallSucceeded", 2, "KV7AssemblyInfo");
  last_install_succeeded_ = succeeded;
}

void CKV7AssemblyInfo::SetLastSuccessfulInstallTime(WStringView time) {
  KV7_TRACE_ENTRY("CKV7AssemblyInfo::SetLastSuccessfulInstallTime", 2, "KV7AssemblyInfo");
  last_successful_install_time_ = time;
}

void CKV7AssemblyInfo::SetExternalName(WStringView name) {
  KV7_TRACE_ENTRY("CKV7AssemblyInfo::SetExternalName", 2, "KV7AssemblyInfo");
  external_name_ = name;
}

void CKV7AssemblyInfo::SetExtraText(WStringView text) {
  KV7_TRACE_ENTRY("CKV7AssemblyInfo::SetExtraText", 2, "KV7AssemblyInfo");
  extra_text_ = text;
}

void CKV7AssemblyInfo::SetTimestampOfInstalledDll(WStringView time) {
  KV7_TRACE_ENTRY("CKV7AssemblyInfo::SetTimestampOfInstalledDll", 2, "KV7AssemblyInfo");
  timestamp_of_installed_dll_ = time;
}

void CKV7AssemblyInfo::SetTargetDir(WStringView directory) {
  KV7_TRACE_ENTRY("CKV7AssemblyInfo::SetTargetDir", 2, "KV7AssemblyInfo");
  target_dir_ = directory;
}

void CKV7AssemblyInfo::SetGuid(WStringView guid) {
  KV7_TRACE_ENTRY("CKV7AssemblyInfo::SetGuid", 2, "KV7AssemblyInfo");
  guid_ = guid;
}

void CKV7AssemblyInfo::SetDoNotInstallOnBuild(BOOL doNotInstall) {
  KV7_TRACE_ENTRY("CKV7AssemblyInfo::SetDoNotInstallOnBuild", 2, "KV7AssemblyInfo");
  do_not_install_on_build_ = doNotInstall;
}

// ---- CKV7AssemblyInfoList ----------------------------------------------------

CKV7AssemblyInfoList::CKV7AssemblyInfoList() {
  KV7_TRACE_ENTRY("CKV7AssemblyInfoList::CKV7AssemblyInfoList", 6, "KV7AssemblyInfo");
}

CKV7AssemblyInfoList::~CKV7AssemblyInfoList() {
  KV7_TRACE_ENTRY("CKV7AssemblyInfoList::~CKV7AssemblyInfoList", 6, "KV7AssemblyInfo");
}

HRESULT CKV7AssemblyInfoList::SaveAsXML(WStringView indent, WString& out) const {
  KV7_TRACE_ENTRY("CKV7AssemblyInfoList::SaveAsXML", 2, "KV7AssemblyInfo");
  WString inner = WString(indent) + u"\t";
  out.append(indent).append(u"<AssemblyInfos>\r\n");
  for (const auto& record : records_) {
    HRESULT hr = record->SaveAsXML(inner, out);
    if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  }
  out.append(indent).append(u"</AssemblyInfos>\r\n");
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7AssemblyInfoList::LoadFromXML(IXMLDOMNode* element) {
  KV7_TRACE_ENTRY("CKV7AssemblyInfoList::LoadFromXML", 2, "KV7AssemblyInfo");
  if (element == nullptr) return KV7_TRACE_RETURN(S_OK);
  return KV7_TRACE_RETURN(
      ForEachChildElement(element, u"AssemblyInfo", [this](IXMLDOMNode* child) {
        auto record = std::make_unique<CKV7AssemblyInfo>();
        HRESULT hr = record->LoadFromXML(child);
        if (SUCCEEDED(hr)) records_.push_back(std::move(record));
        return hr;
      }));
}

void CKV7AssemblyInfoList::CopyFrom(const CKV7AssemblyInfoList& other) {
  KV7_TRACE_ENTRY("CKV7AssemblyInfoList::CopyFrom", 2, "KV7AssemblyInfo");
  if (&other == this) return;
  DeleteAll();
  for (const auto& record : other.records_) records_.push_back(record->Clone());
}

std::vector<std::unique_ptr<CKV7AssemblyInfo>> CKV7AssemblyInfoList::RemoveAll() {
  KV7_TRACE_ENTRY("CKV7AssemblyInfoList::RemoveAll", 2, "KV7AssemblyInfo");
  return std::exchange(records_, {});
}

void CKV7AssemblyInfoList::DeleteAll() {
  KV7_TRACE_ENTRY("CKV7AssemblyInfoList::DeleteAll", 2, "KV7AssemblyInfo");
  records_.clear();
}

bool CKV7AssemblyInfoList::ClearAllTimestamps(bool respectDoNotInstall) {
  KV7_TRACE_ENTRY("CKV7AssemblyInfoList::ClearAllTimestamps", 2, "KV7AssemblyInfo");
  bool changed = false;
  for (const auto& record : records_) changed |= record->ClearInstallInfo(respectDoNotInstall);
  return KV7_TRACE_RETURN(changed);
}

CKV7AssemblyInfo* CKV7AssemblyInfoList::FindByBaseFileName(WStringView name,
                                                           bool keepExtension) const {
  KV7_TRACE_ENTRY("CKV7AssemblyInfoList::FindByBaseFileName", 2, "KV7AssemblyInfo");
  for (const auto& record : records_)
    if (kv7::EqualsNoCase(record->GetSourceFileName(keepExtension), name)) return record.get();
  return nullptr;
}

CKV7AssemblyInfo* CKV7AssemblyInfoList::FindForPlaceholder(WStringView name) const {
  CKV7AssemblyInfo* record = FindByBaseFileName(name, false);
  return record ? record : FindByBaseFileName(name, true);
}

HRESULT CKV7AssemblyInfoList::ReplacePlaceholders(WString& text, WString& note,
                                                  WString& failed) const {
  KV7_TRACE_ENTRY("CKV7AssemblyInfoList::ReplacePlaceholders", 2, "KV7AssemblyInfo");
  WString replaced;
  WString names;
  std::vector<const CKV7AssemblyInfo*> noted;
  size_t copied = 0;
  for (Placeholder at = NextPlaceholder(text, 0); at.start != WStringView::npos;
       at = NextPlaceholder(text, at.end)) {
    const CKV7AssemblyInfo* record = at.well_formed ? FindForPlaceholder(at.name) : nullptr;
    if (record == nullptr) {
      failed = text.substr(at.start, at.end - at.start);
      return KV7_TRACE_RETURN(E_FAIL);
    }
    replaced.append(text, copied, at.start - copied).append(record->GetPlaceholderReplacement());
    copied = at.end;
    // An assembly the server knows by no name yet is worth a word to the user.
    if (record->GetExternalName().empty() &&
        std::find(noted.begin(), noted.end(), record) == noted.end()) {
      noted.push_back(record);
      if (!names.empty()) names.append(u", ");
      names.append(record->GetSourceFileName(false));
    }
  }
  if (copied != 0) text = replaced.append(text, copied);
  note = std::move(names);
  return KV7_TRACE_RETURN(S_OK);
}

bool CKV7AssemblyInfoList::IsAnyReferencedIn(WStringView text) const {
  KV7_TRACE_ENTRY("CKV7AssemblyInfoList::IsAnyReferencedIn", 2, "KV7AssemblyInfo");
  for (Placeholder at = NextPlaceholder(text, 0); at.start != WStringView::npos;
       at = NextPlaceholder(text, at.end))
    if (at.well_formed && FindForPlaceholder(at.name)) return KV7_TRACE_RETURN(true);
  WString folded = kv7::FoldCase(text);
  for (const auto& record : records_) {
    for (WStringView name : {record->GetSourceFileName(true), WStringView(record->GetExternalName())})
      if (!name.empty() && ContainsWord(folded, kv7::FoldCase(name))) return KV7_TRACE_RETURN(true);
  }
  return KV7_TRACE_RETURN(false);
}

void CKV7AssemblyInfoList::Add(std::unique_ptr<CKV7AssemblyInfo> record) {
  KV7_TRACE_ENTRY("CKV7AssemblyInfoList::Add", 2, "KV7AssemblyInfo");
  records_.push_back(std::move(record));
}

CKV7AssemblyInfo* CKV7AssemblyInfoList::GetAt(int index) const {
  KV7_TRACE_ENTRY("CKV7AssemblyInfoList::GetAt", 2, "KV7AssemblyInfo");
  assert(index >= 0 && index < GetCount() && "assembly record index out of range");
  return records_[static_cast<size_t>(index)].get();
}
