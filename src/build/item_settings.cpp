#include "kv7/build/item_settings.h"

#include <algorithm>
#include <cassert>
#include <utility>

#include "kv7/build/configurations.h"
#include "kv7/trace/trace.h"
#include "kv7/util/utilities.h"
#include "kv7/util/xml_helpers.h"

namespace {

using enum CeKV7Setting;
using Type = CeKV7SettingType;

constexpr char16_t kOptionsElement[] = u"OSM77OPTIONS";
constexpr char16_t kUtilityName[] = u"BUILD_UTILITY_NAME";

// Every setting of a record. The options block is written in this order,
// its utility list after the texts; the last four rows are read from the
// block but never written into it.
constexpr KV7ItemSetting kSettings[] = {
    {kExcludeFromBuild, u"exclude", u"ExcludeFromBuild", 6, Type::kFlag, false, false, true},
    {kUseConnectionSettings, u"use-connection-settings", u"UseConnectionSettings", 34,
     Type::kFlag, false, false, true},
    {kExternalSecurity, u"external-security", u"EXTERNAL_SECURITY", 21, Type::kText, true, true,
     true},
    {kBuildOwner, u"build-owner", u"BUILD_OWNER", 22, Type::kText, true, true, true},
    {kPrecompileOptions, u"precompile-options", u"PRECOMPILE_OPTIONS", 23, Type::kText, true,
     true, true},
    {kLinkOptions, u"link-options", u"LINK_OPTIONS", 24, Type::kText, true, true, true},
    {kBindOptions, u"bind-options", u"BIND_OPTIONS", 25, Type::kText, true, true, true},
    {kPrelinkOptions, u"prelink-options", u"PRELINK_OPTIONS", 33, Type::kText, true, true, false},
    {kCompileOptions, u"compile-options", u"COMPILE_OPTIONS", 32, Type::kText, true, true, false},
    {kSelectedBuildUtility, u"selected-build-utility", u"SELECTED_BUILT_UTILITY",
     kNoSettingDispid, Type::kText, true, true, false},
    {kBuildUtilities, u"build-utilities", u"OSM77BUILD_UTILITYLIST", 27, Type::kList, true, true,
     false},
    {kRuntimeOptions, u"runtime-options", u"RUNTIMEOPTIONS", 18, Type::kText, true, false, true},
    {kWLMEnvironment, u"wlm-environment", u"WLM_ENVIRONMENT", 19, Type::kText, true, false, true},
    {kStayResident, u"stay-resident", u"STAY_RESIDENT", 20, Type::kFlag, true, false, true},
    {kCollectionId, u"collection-id", u"COLLECTION_ID", 26, Type::kText, true, false, true},
};

const KV7ItemSetting& SettingOf(CeKV7Setting id) {
  return *std::find_if(std::begin(kSettings), std::end(kSettings),
                       [id](const KV7ItemSetting& setting) { return setting.id == id; });
}

[[maybe_unused]] constexpr bool IsText(CeKV7Setting id) {
  return static_cast<int>(id) < kOSM77TextCount;
}

// <name>value</name> on its own line at the indent.
void AppendElement(WString& out, WStringView indent, WStringView name, WStringView value) {
  out.append(indent).append(u"<").append(name).append(u">").append(value);
  out.append(u"</").append(name).append(u">\r\n");
}

void AppendFlag(WString& out, WStringView indent, WStringView name, BOOL value) {
  WString text;
  BoolToString(value, text);
  AppendElement(out, indent, name, text);
}

// The string value of a node's first child; false when it has none.
bool FirstChildText(IXMLDOMNode* node, WString& text) {
  ComPtr<IXMLDOMNode> first;
  VARIANT value;
  if (FAILED(node->get_firstChild(first.Put())) || !first ||
      FAILED(first->get_nodeValue(&value)) || value.vt() != VT_BSTR || value.bstrVal() == nullptr)
    return false;
  text.assign(value.bstrVal(), SysStringLen(value.bstrVal()));
  return true;
}

WString FlagText(BOOL value) { return value ? u"true" : u"false"; }

// Gives every record whose name part (read with `get`) equals `from`,
// ignoring case, the part `to` (written with `set`); how many changed.
int RenameNamePart(const std::vector<std::unique_ptr<CKV7BaseCfg>>& records,
                   HRESULT (*get)(WStringView, WString&), WString (*set)(WStringView, WStringView),
                   WStringView from, WStringView to) {
  int changed = 0;
  for (const auto& record : records) {
    WString part;
    if (get(record->GetName(), part) != S_OK || !kv7::EqualsNoCase(part, from)) continue;
    record->SetName(set(record->GetName(), to));
    ++changed;
  }
  return changed;
}

}  // namespace

std::span<const KV7ItemSetting> ItemSettings() { return kSettings; }

const KV7ItemSetting* FindItemSetting(WStringView option, WString* validNames) {
  KV7_TRACE_ENTRY("FindItemSetting", 2, "KV7ItemSettings");
  for (const KV7ItemSetting& setting : kSettings)
    if (kv7::EqualsNoCase(setting.option, option)) return &setting;
  if (validNames != nullptr) {
    validNames->clear();
    for (const KV7ItemSetting& setting : kSettings)
      validNames->append(validNames->empty() ? u"" : u", ").append(setting.option);
  }
  return nullptr;
}

const KV7ItemSetting* FindItemSettingByDispid(DISPID dispid) {
  KV7_TRACE_ENTRY("FindItemSettingByDispid", 2, "KV7ItemSettings");
  if (dispid == kNoSettingDispid) return nullptr;
  for (const KV7ItemSetting& setting : kSettings)
    if (setting.dispid == dispid) return &setting;
  return nullptr;
}

// ---- COSM77Settings -------------------------------------------------------------

COSM77Settings::COSM77Settings() {
  KV7_TRACE_ENTRY("COSM77Settings::COSM77Settings", 6, "KV7ItemSettings");
}

COSM77Settings::~COSM77Settings() {
  KV7_TRACE_ENTRY("COSM77Settings::~COSM77Settings", 6, "KV7ItemSettings");
}

const WString& COSM77Settings::GetText(CeKV7Setting id) const {
  assert(IsText(id) && "COSM77Settings::GetText: not a text of the options");
  return texts_[static_cast<int>(id)];
}

void COSM77Settings::SetText(CeKV7Setting id, WStringView value) {
  KV7_TRACE_ENTRY("COSM77Settings::SetText", 2, "KV7ItemSettings");
  assert(IsText(id) && "COSM77Settings::SetText: not a text of the options");
  texts_[static_cast<int>(id)] = value;
}

void COSM77Settings::SetStayResident(BOOL value) {
  KV7_TRACE_ENTRY("COSM77Settings::SetStayResident", 2, "KV7ItemSettings");
  stay_resident_ = value;
}

void COSM77Settings::SetBuildUtilityNames(const CVxStringArray& names) {
  KV7_TRACE_ENTRY("COSM77Settings::SetBuildUtilityNames", 2, "KV7ItemSettings");
  build_utilities_ = names;
}

void COSM77Settings::Reset() {
  KV7_TRACE_ENTRY("COSM77Settings::Reset", 2, "KV7ItemSettings");
  for (WString& text : texts_) text.clear();
  stay_resident_ = FALSE;
  build_utilities_.RemoveAll();
}

void COSM77Settings::CopyFrom(const COSM77Settings& other) {
  KV7_TRACE_ENTRY("COSM77Settings::CopyFrom", 2, "KV7ItemSettings");
  std::copy(std::begin(other.texts_), std::end(other.texts_), std::begin(texts_));
  stay_resident_ = other.stay_resident_;
  build_utilities_ = other.build_utilities_;
}

HRESULT COSM77Settings::LoadFromXML(IXMLDOMNode* optionsElement) {
  KV7_TRACE_ENTRY("COSM77Settings::LoadFromXML", 2, "KV7ItemSettings");
  if (optionsElement == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  for (const KV7ItemSetting& setting : kSettings) {
    if (!setting.inOptions || setting.type == Type::kList) continue;
    // An absent setting leaves the text empty and keeps its default.
    WString text;
    (void)GetSimpleNodeValue(optionsElement, setting.element, text);
    if (text.empty()) continue;
    if (setting.type == Type::kFlag)
      StringToBool(text.c_str(), stay_resident_);
    else
      texts_[static_cast<int>(setting.id)] = std::move(text);
  }
  const WString path = WString(SettingOf(kBuildUtilities).element) + u"/" + kUtilityName;
  ComPtr<IXMLDOMNodeList> names;
  HRESULT hr = GetMultiNodes(optionsElement, path.c_str(), names.Put());
  if (hr != S_OK || !names) return KV7_TRACE_RETURN(hr);
  ComPtr<IXMLDOMNode> name;
  while (names->nextNode(name.Put()) == S_OK && name) {
    WString text;
    if (FirstChildText(name.Get(), text)) build_utilities_.Add(text);
  }
  return KV7_TRACE_RETURN(hr);
}

HRESULT COSM77Settings::SaveAsXML(WStringView indent, WString& out) const {
  KV7_TRACE_ENTRY("COSM77Settings::SaveAsXML", 2, "KV7ItemSettings");
  const WString inner = WString(indent) + u"\t";
  out.append(indent).append(u"<").append(kOptionsElement).append(u">\r\n");
  for (const KV7ItemSetting& setting : kSettings) {
    if (!setting.written) continue;
    if (setting.type == Type::kText) {
      AppendElement(out, inner, setting.element, texts_[static_cast<int>(setting.id)]);
      continue;
    }
    out.append(inner).append(u"<").append(setting.element).append(u">\r\n");
    for (const WString& name : build_utilities_)
      AppendElement(out, inner + u"\t", kUtilityName, name);
    out.append(inner).append(u"</").append(setting.element).append(u">\r\n");
  }
  out.append(indent).append(u"</").append(kOptionsElement).append(u">\r\n");
  return KV7_TRACE_RETURN(S_OK);
}

// ---- CKV7BaseCfg ------------------------------------------------------------------

CKV7BaseCfg::CKV7BaseCfg(WStringView name, COSM77Settings* options, BOOL* useConnectionSettings)
    : name_(name), options_(options), use_connection_settings_(useConnectionSettings) {
  KV7_TRACE_ENTRY("CKV7BaseCfg::CKV7BaseCfg", 6, "KV7ItemSettings");
}

CKV7BaseCfg::~CKV7BaseCfg() {
  KV7_TRACE_ENTRY("CKV7BaseCfg::~CKV7BaseCfg", 6, "KV7ItemSettings");
}

HRESULT CKV7BaseCfg::GetConfigName(WStringView name, WString& config) {
  KV7_TRACE_ENTRY("CKV7BaseCfg::GetConfigName", 2, "KV7ItemSettings");
  const size_t bar = name.find(u'|');
  if (name.empty() || bar == 0) return KV7_TRACE_RETURN(S_FALSE);
  config = name.substr(0, bar);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7BaseCfg::GetPlatformName(WStringView name, WString& platform) {
  KV7_TRACE_ENTRY("CKV7BaseCfg::GetPlatformName", 2, "KV7ItemSettings");
  const size_t bar = name.find(u'|');
  if (bar == WStringView::npos) {
    KV7_TRACE_ERROR("configuration name without a platform", S_FALSE);
    return KV7_TRACE_RETURN(S_FALSE);
  }
  platform = name.substr(bar + 1);
  return KV7_TRACE_RETURN(S_OK);
}

WString CKV7BaseCfg::SetConfigName(WStringView name, WStringView newConfig) {
  KV7_TRACE_ENTRY("CKV7BaseCfg::SetConfigName", 2, "KV7ItemSettings");
  WString platform;
  (void)GetPlatformName(name, platform);
  return MakeCfgFullName(newConfig, platform);
}

WString CKV7BaseCfg::SetPlatformName(WStringView name, WStringView newPlatform) {
  KV7_TRACE_ENTRY("CKV7BaseCfg::SetPlatformName", 2, "KV7ItemSettings");
  WString config;
  (void)GetConfigName(name, config);
  return MakeCfgFullName(config, newPlatform);
}

void CKV7BaseCfg::SetName(WStringView name) {
  KV7_TRACE_ENTRY("CKV7BaseCfg::SetName", 2, "KV7ItemSettings");
  name_ = name;
}

void CKV7BaseCfg::SetExcludeFromBuild(BOOL value) {
  KV7_TRACE_ENTRY("CKV7BaseCfg::SetExcludeFromBuild", 2, "KV7ItemSettings");
  exclude_ = value;
}

void CKV7BaseCfg::Reset() {
  KV7_TRACE_ENTRY("CKV7BaseCfg::Reset", 2, "KV7ItemSettings");
  name_.clear();
  exclude_ = FALSE;
  if (use_connection_settings_) *use_connection_settings_ = TRUE;
  if (options_) options_->Reset();
}

void CKV7BaseCfg::CopyFrom(const CKV7BaseCfg& other) {
  KV7_TRACE_ENTRY("CKV7BaseCfg::CopyFrom", 2, "KV7ItemSettings");
  name_ = other.name_;
  exclude_ = other.exclude_;
  if (use_connection_settings_ && other.use_connection_settings_)
    *use_connection_settings_ = *other.use_connection_settings_;
  if (options_ && other.options_) options_->CopyFrom(*other.options_);
}

HRESULT CKV7BaseCfg::LoadFromXML(IXMLDOMNode* element) {
  KV7_TRACE_ENTRY("CKV7BaseCfg::LoadFromXML", 2, "KV7ItemSettings");
  if (element == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  WString name;
  HRESULT hr = GetSimpleNodeValue(element, u"Name", name);
  if (!name.empty()) name_ = std::move(name);
  for (const KV7ItemSetting& setting : kSettings) {
    if (setting.inOptions || !HasSetting(setting.id)) continue;
    WString text;
    BOOL value = FALSE;
    hr = GetSimpleNodeValue(element, setting.element, text);
    StringToBool(text.c_str(), value);
    SetFlag(setting.id, value);
  }
  if (options_ == nullptr) return KV7_TRACE_RETURN(hr);
  ComPtr<IXMLDOMNode> options;
  hr = GetSingleNode(element, kOptionsElement, options.Put());
  if (options) (void)options_->LoadFromXML(options.Get());
  return KV7_TRACE_RETURN(hr);
}

HRESULT CKV7BaseCfg::SaveAsXML(WStringView indent, WString& out, bool optionsOnly) const {
  KV7_TRACE_ENTRY("CKV7BaseCfg::SaveAsXML", 2, "KV7ItemSettings");
  if (optionsOnly) {
    if (options_) (void)options_->SaveAsXML(indent, out);
    return KV7_TRACE_RETURN(S_OK);
  }
  const WString inner = WString(indent) + u"\t";
  out.append(indent).append(u"<Configuration>\r\n");
  AppendElement(out, inner, u"Name", name_);
  for (const KV7ItemSetting& setting : kSettings)
    if (!setting.inOptions && HasSetting(setting.id))
      AppendFlag(out, inner, setting.element, GetFlag(setting.id));
  if (options_) (void)options_->SaveAsXML(inner, out);
  out.append(indent).append(u"</Configuration>\r\n");
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7BaseCfg::ConfigurationDocumentOptions(WStringView indent, WString& out) const {
  KV7_TRACE_ENTRY("CKV7BaseCfg::ConfigurationDocumentOptions", 2, "KV7ItemSettings");
  // A procedure that uses its connection's settings gets them from the
  // connection when it is deployed; its own would contradict them.
  if (use_connection_settings_ && *use_connection_settings_) return KV7_TRACE_RETURN(S_OK);
  return KV7_TRACE_RETURN(SaveAsXML(indent, out, true));
}

bool CKV7BaseCfg::HasSetting(CeKV7Setting id) const {
  KV7_TRACE_ENTRY("CKV7BaseCfg::HasSetting", 2, "KV7ItemSettings");
  if (id == kExcludeFromBuild) return KV7_TRACE_RETURN(true);
  if (id == kUseConnectionSettings) return KV7_TRACE_RETURN(use_connection_settings_ != nullptr);
  return KV7_TRACE_RETURN(options_ != nullptr);
}

BOOL CKV7BaseCfg::GetFlag(CeKV7Setting id) const {
  if (id == kExcludeFromBuild) return exclude_;
  if (id == kUseConnectionSettings) return *use_connection_settings_;
  return options_->GetStayResident();
}

void CKV7BaseCfg::SetFlag(CeKV7Setting id, BOOL value) {
  if (id == kExcludeFromBuild)
    exclude_ = value;
  else if (id == kUseConnectionSettings)
    *use_connection_settings_ = value;
  else
    options_->SetStayResident(value);
}

WString CKV7BaseCfg::GetSettingText(CeKV7Setting id) const {
  KV7_TRACE_ENTRY("CKV7BaseCfg::GetSettingText", 2, "KV7ItemSettings");
  if (!HasSetting(id)) return WString();
  switch (SettingOf(id).type) {
    case Type::kFlag: return FlagText(GetFlag(id));
    case Type::kText: return options_->GetText(id);
    case Type::kList: break;
  }
  WString joined;
  for (const WString& name : options_->GetBuildUtilityNames())
    joined.append(joined.empty() ? u"" : u",").append(name);
  return joined;
}

HRESULT CKV7BaseCfg::SetSettingText(CeKV7Setting id, WStringView value) {
  KV7_TRACE_ENTRY("CKV7BaseCfg::SetSettingText", 2, "KV7ItemSettings");
  if (!HasSetting(id)) return KV7_TRACE_RETURN(E_INVALIDARG);
  switch (SettingOf(id).type) {
    case Type::kFlag:
      if (value != FlagText(TRUE) && value != FlagText(FALSE))
        return KV7_TRACE_RETURN(E_INVALIDARG);
      SetFlag(id, value == FlagText(TRUE));
      return KV7_TRACE_RETURN(S_OK);
    case Type::kText:
      options_->SetText(id, value);
      return KV7_TRACE_RETURN(S_OK);
    case Type::kList: break;
  }
  CVxStringArray names;
  for (size_t start = 0; !value.empty() && start <= value.size();) {
    const size_t comma = std::min(value.find(u',', start), value.size());
    names.Add(value.substr(start, comma - start));
    start = comma + 1;
  }
  options_->SetBuildUtilityNames(names);
  return KV7_TRACE_RETURN(S_OK);
}

void CKV7BaseCfg::PrintSettings(WString& out) const {
  KV7_TRACE_ENTRY("CKV7BaseCfg::PrintSettings", 2, "KV7ItemSettings");
  for (const KV7ItemSetting& setting : kSettings)
    if (HasSetting(setting.id))
      out.append(setting.option).append(u" = ").append(GetSettingText(setting.id)).append(u"\n");
}

bool CKV7BaseCfg::SameSetting(const CKV7BaseCfg& other, CeKV7Setting id) const {
  return GetSettingText(id) == other.GetSettingText(id);
}

// ---- The three records --------------------------------------------------------------

CKV7GenericCfg::CKV7GenericCfg(WStringView name) : CKV7BaseCfg(name, nullptr, nullptr) {
  KV7_TRACE_ENTRY("CKV7GenericCfg::CKV7GenericCfg", 6, "KV7ItemSettings");
}

CKV7GenericCfg::~CKV7GenericCfg() {
  KV7_TRACE_ENTRY("CKV7GenericCfg::~CKV7GenericCfg", 6, "KV7ItemSettings");
}

CKV7StoredProcCfg::CKV7StoredProcCfg(WStringView name)
    : CKV7BaseCfg(name, &options_, &use_connection_settings_) {
  KV7_TRACE_ENTRY("CKV7StoredProcCfg::CKV7StoredProcCfg", 6, "KV7ItemSettings");
}

CKV7StoredProcCfg::~CKV7StoredProcCfg() {
  KV7_TRACE_ENTRY("CKV7StoredProcCfg::~CKV7StoredProcCfg", 6, "KV7ItemSettings");
}

void CKV7StoredProcCfg::SetUseConnectionSettings(BOOL value) {
  KV7_TRACE_ENTRY("CKV7StoredProcCfg::SetUseConnectionSettings", 2, "KV7ItemSettings");
  use_connection_settings_ = value;
}

CKV7UDFCfg::CKV7UDFCfg(WStringView name) : CKV7BaseCfg(name, &options_, nullptr) {
  KV7_TRACE_ENTRY("CKV7UDFCfg::CKV7UDFCfg", 6, "KV7ItemSettings");
}

CKV7UDFCfg::~CKV7UDFCfg() {
  KV7_TRACE_ENTRY("CKV7UDFCfg::~CKV7UDFCfg", 6, "KV7ItemSettings");
}

// ---- Lists ----------------------------------------------------------------------------

CKV7CfgListBase::CKV7CfgListBase() {
  KV7_TRACE_ENTRY("CKV7CfgListBase::CKV7CfgListBase", 6, "KV7ItemSettings");
}

CKV7CfgListBase::~CKV7CfgListBase() {
  KV7_TRACE_ENTRY("CKV7CfgListBase::~CKV7CfgListBase", 6, "KV7ItemSettings");
}

CKV7BaseCfg* CKV7CfgListBase::FindByName(WStringView name) const {
  KV7_TRACE_ENTRY("CKV7CfgListBase::FindByName", 2, "KV7ItemSettings");
  for (const auto& record : records_)
    if (kv7::EqualsNoCase(record->GetName(), name)) return record.get();
  return nullptr;
}

bool CKV7CfgListBase::Contains(const CKV7BaseCfg* record) const {
  KV7_TRACE_ENTRY("CKV7CfgListBase::Contains", 2, "KV7ItemSettings");
  return KV7_TRACE_RETURN(std::any_of(records_.begin(), records_.end(),
                                      [record](const auto& own) { return own.get() == record; }));
}

CKV7BaseCfg* CKV7CfgListBase::Add(WStringView name) {
  KV7_TRACE_ENTRY("CKV7CfgListBase::Add", 2, "KV7ItemSettings");
  records_.push_back(NewRecord(name));
  return records_.back().get();
}

CKV7BaseCfg* CKV7CfgListBase::FindOrAdd(WStringView name) {
  KV7_TRACE_ENTRY("CKV7CfgListBase::FindOrAdd", 2, "KV7ItemSettings");
  CKV7BaseCfg* record = FindByName(name);
  return record ? record : Add(name);
}

bool CKV7CfgListBase::Remove(const CKV7BaseCfg* record) {
  KV7_TRACE_ENTRY("CKV7CfgListBase::Remove", 2, "KV7ItemSettings");
  return KV7_TRACE_RETURN(
      std::erase_if(records_, [record](const auto& own) { return own.get() == record; }) != 0);
}

HRESULT CKV7CfgListBase::LoadFromXML(IXMLDOMNode* element) {
  KV7_TRACE_ENTRY("CKV7CfgListBase::LoadFromXML", 2, "KV7ItemSettings");
  if (element == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  return KV7_TRACE_RETURN(
      ForEachChildElement(element, u"Configuration", [this](IXMLDOMNode* child) {
        std::unique_ptr<CKV7BaseCfg> record = NewRecord(u"");
        HRESULT hr = record->LoadFromXML(child);
        if (SUCCEEDED(hr)) records_.push_back(std::move(record));
        return hr;
      }));
}

bool CKV7CfgListBase::AreAllValuesTheSame(DISPID dispid) const {
  KV7_TRACE_ENTRY("CKV7CfgListBase::AreAllValuesTheSame", 2, "KV7ItemSettings");
  if (records_.empty()) return KV7_TRACE_RETURN(true);
  const KV7ItemSetting* setting = FindItemSettingByDispid(dispid);
  const CKV7BaseCfg& first = *records_.front();
  if (setting == nullptr || !setting->merged || !first.HasSetting(setting->id))
    return KV7_TRACE_RETURN(false);
  const bool same = std::all_of(records_.begin() + 1, records_.end(), [&](const auto& record) {
    return record->SameSetting(first, setting->id);
  });
  return KV7_TRACE_RETURN(same);
}

void CKV7CfgListBase::GenMergedCfg(CKV7BaseCfg& out) const {
  KV7_TRACE_ENTRY("CKV7CfgListBase::GenMergedCfg", 2, "KV7ItemSettings");
  if (records_.empty()) return;
  const CKV7BaseCfg& first = *records_.front();
  if (records_.size() == 1) {
    out.CopyFrom(first);
    return;
  }
  for (const KV7ItemSetting& setting : kSettings)
    if (setting.merged && out.HasSetting(setting.id) && AreAllValuesTheSame(setting.dispid))
      (void)out.SetSettingText(setting.id, first.GetSettingText(setting.id));
}

int CKV7CfgListBase::CfgNameRenamed(WStringView oldName, WStringView newName) {
  KV7_TRACE_ENTRY("CKV7CfgListBase::CfgNameRenamed", 2, "KV7ItemSettings");
  return KV7_TRACE_RETURN(RenameNamePart(records_, &CKV7BaseCfg::GetConfigName,
                                         &CKV7BaseCfg::SetConfigName, oldName, newName));
}

int CKV7CfgListBase::CfgNameDeleted(WStringView name) {
  KV7_TRACE_ENTRY("CKV7CfgListBase::CfgNameDeleted", 2, "KV7ItemSettings");
  return KV7_TRACE_RETURN(static_cast<int>(std::erase_if(records_, [name](const auto& record) {
    WString config;
    return CKV7BaseCfg::GetConfigName(record->GetName(), config) == S_OK &&
           kv7::EqualsNoCase(config, name);
  })));
}

int CKV7CfgListBase::PlatformNameDeleted(WStringView platform) {
  KV7_TRACE_ENTRY("CKV7CfgListBase::PlatformNameDeleted", 2, "KV7ItemSettings");
  return KV7_TRACE_RETURN(RenameNamePart(records_, &CKV7BaseCfg::GetPlatformName,
                                         &CKV7BaseCfg::SetPlatformName, platform, u""));
}
