#include "kv7/build/configurations.h"

#include <algorithm>

#include "kv7/build/build_manager.h"
#include "kv7/document/built_files.h"
#include "kv7/helper/helper.h"
#include "kv7/platform/messagebox.h"
#include "kv7/util/ui_strings.h"
#include "kv7/hierarchy/project_hierarchy.h"
#include "kv7/platform/errorinfo.h"
#include "kv7/trace/trace.h"
#include "kv7/util/xml_helpers.h"

namespace {

// Texts of a build that ends at once.
constexpr UINT kUpToDateText = 212;
constexpr UINT kConnectionGoneText = 1257;
constexpr UINT kConnectionGoneCaption = 1258;

// Copies names into a caller's BSTR array, as the provider's lists answer.
HRESULT CopyNames(const std::vector<WString>& from, ULONG count, BSTR* names, ULONG* actual) {
  if (actual == nullptr || (count > 0 && names == nullptr)) return E_POINTER;
  *actual = static_cast<ULONG>(from.size());
  for (ULONG i = 0; i < count && i < from.size(); ++i) names[i] = SysAllocWString(from[i]);
  return S_OK;
}

bool IsDebugName(WStringView name) { return kv7::EqualsNoCase(name, u"Debug"); }

// Advise slots: the first free one takes the object; the cookie is the
// slot number + 1. CONNECT_E_ADVISELIMIT when every slot is taken.
template <class T, size_t N>
HRESULT AdviseSlot(std::array<ComPtr<T>, N>& slots, T* object, DWORD* cookie) {
  if (object == nullptr || cookie == nullptr) return E_INVALIDARG;
  auto free_slot = std::find(slots.begin(), slots.end(), nullptr);
  if (free_slot == slots.end()) return CONNECT_E_ADVISELIMIT;
  *free_slot = object;
  *cookie = static_cast<DWORD>(free_slot - slots.begin()) + 1;
  return S_OK;
}

template <class T, size_t N>
HRESULT UnadviseSlot(std::array<ComPtr<T>, N>& slots, DWORD cookie) {
  if (cookie == 0 || cookie > N || !slots[cookie - 1]) return E_INVALIDARG;
  slots[cookie - 1].Reset();
  return S_OK;
}

}  // namespace

WString MakeCfgFullName(WStringView name, WStringView platform) {
  WString full(name);
  if (!platform.empty()) full.append(u"|").append(platform);
  return full;
}

// ---- CMyProjectCfg --------------------------------------------------------

ComPtr<CMyProjectCfg> CMyProjectCfg::CreateInstance(CMyProjectHierarchy* hierarchy,
                                                    WStringView name, WStringView platform) {
  KV7_TRACE_ENTRY("CMyProjectCfg::CreateInstance", 2, "MyProjectCfg");
  ComPtr<CMyProjectCfg> cfg = kv7::AdoptNew(new CMyProjectCfg(hierarchy, name, platform));
  if (hierarchy) (void)hierarchy->RegisterProjectListener(cfg.Get());
  return cfg;
}

CMyProjectCfg::CMyProjectCfg(CMyProjectHierarchy* hierarchy, WStringView name,
                             WStringView platform)
    : hierarchy_(hierarchy), name_(name), platform_(platform),
      full_name_(MakeCfgFullName(name, platform)) {
  KV7_TRACE_ENTRY("CMyProjectCfg::CMyProjectCfg", 6, "MyProjectCfg");
  if (IsDebugName(name_)) debugging_.SetBuildForDebug(TRUE);
}

CMyProjectCfg::~CMyProjectCfg() {
  KV7_TRACE_ENTRY("CMyProjectCfg::~CMyProjectCfg", 6, "MyProjectCfg");
  Detach();
}

void CMyProjectCfg::Detach() {
  KV7_TRACE_ENTRY("CMyProjectCfg::Detach", 2, "MyProjectCfg");
  if (hierarchy_) (void)hierarchy_->UnRegisterProjectListener(this);
  hierarchy_ = nullptr;
  (void)OnModeChange(DBGMODE_Design);  // the debugger lets go of this configuration
}

void CMyProjectCfg::SetCfgName(WStringView name) {
  KV7_TRACE_ENTRY("CMyProjectCfg::SetCfgName", 2, "MyProjectCfg");
  name_ = name;
  full_name_ = MakeCfgFullName(name_, platform_);
}

HRESULT CMyProjectCfg::SetConnection(const char16_t* connectionXml) {
  KV7_TRACE_ENTRY("CMyProjectCfg::SetConnection", 2, "MyProjectCfg");
  CKV7ConnInfo connection;
  HRESULT hr = connection.SetXML(connectionXml, FALSE);
  if (hr != S_OK) return KV7_TRACE_RETURN(FAILED(hr) ? hr : E_FAIL);
  hr = connection_.CopyFrom(connection);
  if (FAILED(hr) || hierarchy_ == nullptr) return KV7_TRACE_RETURN(hr);
  (void)hierarchy_->GetBuiltFiles()->SetAllConfigsAsNotBuilt();
  hierarchy_->SetDirty();
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectCfg::CopyFrom(CMyProjectCfg* other) {
  KV7_TRACE_ENTRY("CMyProjectCfg::CopyFrom", 2, "MyProjectCfg");
  if (other == nullptr) return KV7_TRACE_RETURN(E_INVALIDARG);
  if (!other->connection_.GetXML().empty()) {
    HRESULT hr = connection_.CopyFrom(other->connection_);
    if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  }
  run_order_.CopyFrom(other->run_order_);
  debugging_.CopyFrom(other->debugging_);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectCfg::SaveAsXML(WStringView indent, WString& buffer) const {
  KV7_TRACE_ENTRY("CMyProjectCfg::SaveAsXML", 2, "MyProjectCfg");
  const WString inner = WString(indent) + u"\t";
  WString connection;
  // An empty connection extracts as nothing: the element stays empty.
  (void)connection_.ExtractXML(connection, TRUE, TRUE, TRUE);
  buffer.append(indent).append(u"<Configuration>\r\n");
  buffer.append(inner).append(u"<Name>").append(full_name_).append(u"</Name>\r\n");
  buffer.append(inner).append(u"<ConnInfo>").append(connection).append(u"</ConnInfo>\r\n");
  WString run_order, debugging;
  run_order_.SaveAsXML(inner, run_order);
  buffer.append(run_order);
  HRESULT hr = debugging_.SaveAsXML(inner, debugging, true);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  buffer.append(debugging);
  buffer.append(indent).append(u"</Configuration>\r\n");
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectCfg::LoadFromXML(IXMLDOMNode* element, LONG formatVersion) {
  KV7_TRACE_ENTRY("CMyProjectCfg::LoadFromXML", 2, "MyProjectCfg");
  ComPtr<IXMLDOMNode> child;
  if (GetSingleNode(element, u"ConnInfo", child.Put()) == S_OK && child) {
    BOOL changed = FALSE;
    (void)LoadConnInfoFromXML(child.Get(), formatVersion, connection_, &changed);
    if (changed && hierarchy_) hierarchy_->SetDirty();
  }
  if (GetSingleNode(element, u"RunOrder", child.Put()) == S_OK && child) {
    HRESULT hr = run_order_.LoadFromXML(child.Get());
    if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  }
  if (GetSingleNode(element, u"DebuggingInfo", child.Put()) == S_OK && child) {
    HRESULT hr = debugging_.LoadFromXML(child.Get());
    if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  }
  return KV7_TRACE_RETURN(S_OK);
}

void CMyProjectCfg::FireBuildBegin(BOOL* continueBuild) {
  KV7_TRACE_ENTRY("CMyProjectCfg::FireBuildBegin", 2, "MyProjectCfg");
  *continueBuild = TRUE;
  for (const ComPtr<IVsBuildStatusCallback>& callback : callbacks_) {
    if (!callback) continue;
    (void)callback->BuildBegin(continueBuild);
    if (!*continueBuild) return;
  }
}

void CMyProjectCfg::FireBuildEnd(BOOL success) {
  KV7_TRACE_ENTRY("CMyProjectCfg::FireBuildEnd", 2, "MyProjectCfg");
  for (const ComPtr<IVsBuildStatusCallback>& callback : callbacks_)
    if (callback) (void)callback->BuildEnd(success);
}

HRESULT CMyProjectCfg::get_DisplayName(BSTR* name) {
  KV7_TRACE_ENTRY("CMyProjectCfg::get_DisplayName", 2, "MyProjectCfg");
  if (name == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *name = SysAllocWString(full_name_);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectCfg::get_CanonicalName(BSTR* name) {
  KV7_TRACE_ENTRY("CMyProjectCfg::get_CanonicalName", 2, "MyProjectCfg");
  return KV7_TRACE_RETURN(get_DisplayName(name));
}

HRESULT CMyProjectCfg::get_IsDebugOnly(BOOL* debugOnly) {
  KV7_TRACE_ENTRY("CMyProjectCfg::get_IsDebugOnly", 2, "MyProjectCfg");
  if (debugOnly == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *debugOnly = FALSE;
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectCfg::get_IsReleaseOnly(BOOL* releaseOnly) {
  KV7_TRACE_ENTRY("CMyProjectCfg::get_IsReleaseOnly", 2, "MyProjectCfg");
  if (releaseOnly == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *releaseOnly = FALSE;
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectCfg::AdviseBuildStatusCallback(IVsBuildStatusCallback* callback,
                                                 DWORD* cookie) {
  KV7_TRACE_ENTRY("CMyProjectCfg::AdviseBuildStatusCallback", 2, "MyProjectCfg");
  return KV7_TRACE_RETURN(AdviseSlot(callbacks_, callback, cookie));
}

HRESULT CMyProjectCfg::UnadviseBuildStatusCallback(DWORD cookie) {
  KV7_TRACE_ENTRY("CMyProjectCfg::UnadviseBuildStatusCallback", 2, "MyProjectCfg");
  return KV7_TRACE_RETURN(UnadviseSlot(callbacks_, cookie));
}

namespace {

HRESULT SupportedAndReady(BOOL* supported, BOOL* ready) {
  if (supported) *supported = TRUE;
  if (ready) *ready = TRUE;
  return S_OK;
}

}  // namespace

HRESULT CMyProjectCfg::QueryStartBuild(DWORD, BOOL* supported, BOOL* ready) {
  KV7_TRACE_ENTRY("CMyProjectCfg::QueryStartBuild", 2, "MyProjectCfg");
  return KV7_TRACE_RETURN(SupportedAndReady(supported, ready));
}

HRESULT CMyProjectCfg::QueryStartClean(DWORD, BOOL* supported, BOOL* ready) {
  KV7_TRACE_ENTRY("CMyProjectCfg::QueryStartClean", 2, "MyProjectCfg");
  return KV7_TRACE_RETURN(SupportedAndReady(supported, ready));
}

HRESULT CMyProjectCfg::QueryStartUpToDateCheck(DWORD, BOOL* supported, BOOL* ready) {
  KV7_TRACE_ENTRY("CMyProjectCfg::QueryStartUpToDateCheck", 2, "MyProjectCfg");
  return KV7_TRACE_RETURN(SupportedAndReady(supported, ready));
}

HRESULT CMyProjectCfg::GetDeploymentConnection(WString& connectionXml) {
  KV7_TRACE_ENTRY("CMyProjectCfg::GetDeploymentConnection", 2, "MyProjectCfg");
  BOOL changed = FALSE;
  HRESULT hr = connection_.SyncWithModel(&changed);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  if (changed && hierarchy_) hierarchy_->SetDirty();
  (void)connection_.ExtractXML(connectionXml, FALSE, FALSE, FALSE);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectCfg::StartBuild(IVsOutputWindowPane*, DWORD options) {
  KV7_TRACE_ENTRY("CMyProjectCfg::StartBuild", 2, "MyProjectCfg");
  BOOL go = TRUE;
  FireBuildBegin(&go);
  if (!go) return KV7_TRACE_RETURN(S_OK);
  auto pane = std::make_shared<CKV7OutputWindow>(true, eKV7PaneBuild, false, false);
  CKV7BuildManager manager;
  const bool rebuild = (options & kBuildOptionRebuild) != 0;
  if (!rebuild) {
    BOOL upToDate = FALSE;
    (void)manager.IsBuildUpToDate(this, &upToDate);
    if (upToDate) {
      (void)pane->OutputString((LoadUIString(kUpToDateText) + u"\n").c_str());
      FireBuildEnd(TRUE);
      return KV7_TRACE_RETURN(S_OK);
    }
  } else {
    (void)manager.Clean(hierarchy_, this);
  }
  manager.SetRedeployUnchanged(rebuild);
  HRESULT hr = manager.Build(full_name_, this, pane, hierarchy_);
  if (hr == S_OK) return KV7_TRACE_RETURN(S_OK);  // build-end comes with the last completion
  if (hr == KV7_E_CONNECTION_NOT_FOUND)
    (void)MessageBoxW(nullptr, LoadUIString(kConnectionGoneText).c_str(),
                      LoadUIString(kConnectionGoneCaption).c_str(), MB_OK | MB_ICONEXCLAMATION);
  FireBuildEnd(hr == KV7_S_BUILD_SUCCEEDED ? TRUE : FALSE);
  return KV7_TRACE_RETURN(SUCCEEDED(hr) ? S_OK : hr);
}

HRESULT CMyProjectCfg::StartClean(IVsOutputWindowPane*, DWORD) {
  KV7_TRACE_ENTRY("CMyProjectCfg::StartClean", 2, "MyProjectCfg");
  BOOL go = TRUE;
  FireBuildBegin(&go);
  if (!go) return KV7_TRACE_RETURN(S_OK);
  HRESULT hr = CKV7BuildManager().Clean(hierarchy_, this);
  FireBuildEnd(SUCCEEDED(hr) ? TRUE : FALSE);
  return KV7_TRACE_RETURN(hr);
}

HRESULT CMyProjectCfg::StartUpToDateCheck(IVsOutputWindowPane*, DWORD) {
  KV7_TRACE_ENTRY("CMyProjectCfg::StartUpToDateCheck", 2, "MyProjectCfg");
  BOOL go = TRUE;
  FireBuildBegin(&go);
  if (!go) return KV7_TRACE_RETURN(S_OK);
  BOOL upToDate = FALSE;
  HRESULT hr = CKV7BuildManager().IsBuildUpToDate(this, &upToDate);
  FireBuildEnd(upToDate);
  return KV7_TRACE_RETURN(hr);
}

HRESULT CMyProjectCfg::QueryStatus(BOOL* done) {
  KV7_TRACE_ENTRY("CMyProjectCfg::QueryStatus", 2, "MyProjectCfg");
  if (done) *done = FALSE;
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectCfg::Stop(BOOL) {
  KV7_TRACE_ENTRY("CMyProjectCfg::Stop", 2, "MyProjectCfg");
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectCfg::Wait(DWORD, BOOL) {
  KV7_TRACE_ENTRY("CMyProjectCfg::Wait", 2, "MyProjectCfg");
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectCfg::QueryDebugLaunch(ULONG, BOOL* canLaunch) {
  KV7_TRACE_ENTRY("CMyProjectCfg::QueryDebugLaunch", 2, "MyProjectCfg");
  if (canLaunch == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *canLaunch = TRUE;
  return KV7_TRACE_RETURN(S_OK);
}

WString CMyProjectCfg::RunOrderName(WStringView path) const {
  const WString& folder = hierarchy_ ? hierarchy_->GetProjectFolderPath() : WString();
  if (folder.empty() || path.substr(0, folder.size()) != folder) return WString(path);
  WString relative(path.substr(folder.size()));
  std::replace(relative.begin(), relative.end(), u'/', u'\\');
  return relative;
}

HRESULT CMyProjectCfg::FileRenamed(const char16_t* oldPath, const char16_t* newPath) {
  KV7_TRACE_ENTRY("CMyProjectCfg::FileRenamed", 2, "MyProjectCfg");
  if (oldPath == nullptr || newPath == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  // An entry names the file relative to the project folder, or in full.
  run_order_.FileRenamed(RunOrderName(oldPath), RunOrderName(newPath));
  run_order_.FileRenamed(oldPath, newPath);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectCfg::FolderRenamed(const char16_t* oldPath, const char16_t* newPath) {
  KV7_TRACE_ENTRY("CMyProjectCfg::FolderRenamed", 2, "MyProjectCfg");
  if (oldPath == nullptr || newPath == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  // The prefix of the entries below the folder, separator included, so
  // that a sibling folder whose name extends this one's keeps its entries.
  run_order_.FolderRenamed(RunOrderName(oldPath) + u"\\", RunOrderName(newPath) + u"\\");
  run_order_.FolderRenamed(WString(oldPath) + u"/", WString(newPath) + u"/");
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectCfg::ShuttingDown() {
  KV7_TRACE_ENTRY("CMyProjectCfg::ShuttingDown", 2, "MyProjectCfg");
  // The project forgets its listeners after this call.
  hierarchy_ = nullptr;
  return KV7_TRACE_RETURN(S_OK);
}

// ---- CCfgProvider ---------------------------------------------------------

ComPtr<CCfgProvider> CCfgProvider::CreateInstance(CMyProjectHierarchy* hierarchy) {
  KV7_TRACE_ENTRY("CCfgProvider::CreateInstance", 2, "CfgProvider");
  return kv7::AdoptNew(new CCfgProvider(hierarchy));
}

CCfgProvider::CCfgProvider(CMyProjectHierarchy* hierarchy) : hierarchy_(hierarchy) {
  KV7_TRACE_ENTRY("CCfgProvider::CCfgProvider", 6, "CfgProvider");
}

CCfgProvider::~CCfgProvider() {
  KV7_TRACE_ENTRY("CCfgProvider::~CCfgProvider", 6, "CfgProvider");
  Close();
}

HRESULT CCfgProvider::Initialize() {
  KV7_TRACE_ENTRY("CCfgProvider::Initialize", 2, "CfgProvider");
  NotePlatform(kDefaultPlatform);
  return KV7_TRACE_RETURN(S_OK);
}

void CCfgProvider::Close() {
  KV7_TRACE_ENTRY("CCfgProvider::Close", 2, "CfgProvider");
  for (const ComPtr<CMyProjectCfg>& cfg : cfgs_) cfg->Detach();
  for (ComPtr<IVsCfgProviderEvents>& sink : sinks_) sink.Reset();
  hierarchy_ = nullptr;
}

void CCfgProvider::NoteName(WStringView name) {
  if (!HasCfgName(name)) names_.emplace_back(name);
}

void CCfgProvider::NotePlatform(WStringView platform) {
  if (std::none_of(platforms_.begin(), platforms_.end(),
                   [&](const WString& known) { return kv7::EqualsNoCase(known, platform); }))
    platforms_.emplace_back(platform);
}

bool CCfgProvider::HasCfgName(WStringView name) const {
  return std::any_of(names_.begin(), names_.end(),
                     [&](const WString& known) { return kv7::EqualsNoCase(known, name); });
}

CMyProjectCfg* CCfgProvider::FindCfg(WStringView fullName) const {
  for (const ComPtr<CMyProjectCfg>& cfg : cfgs_)
    if (kv7::EqualsNoCase(cfg->GetName(), fullName)) return cfg.Get();
  return nullptr;
}

CMyProjectCfg* CCfgProvider::Append(WStringView name, WStringView platform, bool record) {
  cfgs_.push_back(CMyProjectCfg::CreateInstance(hierarchy_, name, platform));
  NoteName(name);
  NotePlatform(platform);
  if (record && hierarchy_) (void)hierarchy_->GetBuiltFiles()->ConfigAdded(cfgs_.back()->GetName());
  return cfgs_.back().Get();
}

HRESULT CCfgProvider::CreateDefaultConfigurations() {
  KV7_TRACE_ENTRY("CCfgProvider::CreateDefaultConfigurations", 2, "CfgProvider");
  if (!cfgs_.empty()) return KV7_TRACE_RETURN(S_FALSE);
  for (const char16_t* name : kDefaultConfigurations)
    for (const WString& platform : platforms_) (void)Append(name, platform, false);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CCfgProvider::SaveAsXML(WStringView indent, WString& buffer) const {
  KV7_TRACE_ENTRY("CCfgProvider::SaveAsXML", 2, "CfgProvider");
  const WString inner = WString(indent) + u"\t";
  buffer.append(indent).append(u"<Configurations>\r\n");
  for (const ComPtr<CMyProjectCfg>& cfg : cfgs_) {
    HRESULT hr = cfg->SaveAsXML(inner, buffer);
    if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  }
  buffer.append(indent).append(u"</Configurations>\r\n");
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CCfgProvider::LoadFromXML(IXMLDOMNode* element, LONG formatVersion) {
  KV7_TRACE_ENTRY("CCfgProvider::LoadFromXML", 2, "CfgProvider");
  ComPtr<IXMLDOMNodeList> configurations;
  HRESULT hr = GetMultiNodes(element, u"Configuration", configurations.Put());
  if (hr != S_OK) return KV7_TRACE_RETURN(FAILED(hr) ? hr : S_OK);
  ComPtr<IXMLDOMNode> configuration;
  while (configurations->nextNode(configuration.Put()) == S_OK && configuration) {
    WString full_name;
    (void)GetSimpleNodeValue(configuration.Get(), u"Name", full_name);
    if (full_name.empty()) continue;
    size_t bar = full_name.find(u'|');
    WStringView name = WStringView(full_name).substr(0, bar);
    WStringView platform =
        bar == WString::npos ? WStringView() : WStringView(full_name).substr(bar + 1);
    CMyProjectCfg* cfg = FindCfg(full_name);
    if (cfg == nullptr) cfg = Append(name, platform, false);
    hr = cfg->LoadFromXML(configuration.Get(), formatVersion);
    if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  }
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CCfgProvider::Refuse(HRESULT status, WStringView text) const {
  kv7::SetErrorInfo(status, text);
  return status;
}

template <class Call>
void CCfgProvider::TellSinks(Call call) {
  // A sink may unadvise while it is told: walk a copy.
  auto sinks = sinks_;
  for (const ComPtr<IVsCfgProviderEvents>& sink : sinks)
    if (sink) (void)call(sink.Get());
}

HRESULT CCfgProvider::AddConfigurations(WStringView name, const WString* cloneName) {
  const size_t first_added = cfgs_.size();
  HRESULT hr = S_OK;
  for (const WString& platform : std::vector<WString>(platforms_)) {
    CMyProjectCfg* cfg = Append(name, platform, false);
    CMyProjectCfg* source = cloneName ? FindCfg(MakeCfgFullName(*cloneName, platform)) : nullptr;
    if (source != nullptr) hr = cfg->CopyFrom(source);
    if (FAILED(hr)) break;
  }
  // The record takes the new configurations once all of them are made.
  for (size_t i = first_added; SUCCEEDED(hr) && i < cfgs_.size(); ++i)
    if (hierarchy_) hr = hierarchy_->GetBuiltFiles()->ConfigAdded(cfgs_[i]->GetName());
  if (SUCCEEDED(hr)) return S_OK;
  // Undo every configuration of the name made so far, in the record too.
  for (size_t i = first_added; i < cfgs_.size(); ++i) {
    ComPtr<IXMLDOMNode> entered;
    if (hierarchy_ &&
        hierarchy_->GetBuiltFiles()->GetConfigNode(cfgs_[i]->GetName(), entered.Put()) == S_OK)
      (void)hierarchy_->GetBuiltFiles()->ConfigDeleted(cfgs_[i]->GetName());
    cfgs_[i]->Detach();
  }
  cfgs_.erase(cfgs_.begin() + static_cast<std::ptrdiff_t>(first_added), cfgs_.end());
  std::erase_if(names_, [&](const WString& known) { return kv7::EqualsNoCase(known, name); });
  return hr;
}

HRESULT CCfgProvider::AddCfgsOfCfgName(const char16_t* name, const char16_t* cloneName, BOOL) {
  KV7_TRACE_ENTRY("CCfgProvider::AddCfgsOfCfgName", 2, "CfgProvider");
  if (name == nullptr || *name == 0) return KV7_TRACE_RETURN(E_INVALIDARG);
  if (HasCfgName(name))
    return KV7_TRACE_RETURN(Refuse(HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS),
                                   u"a configuration named '" + WString(name) + u"' exists already"));
  const bool cloning = cloneName != nullptr && *cloneName != 0;
  if (cloning && !HasCfgName(cloneName))
    return KV7_TRACE_RETURN(Refuse(HRESULT_FROM_WIN32(ERROR_NOT_FOUND),
                                   u"no configuration named '" + WString(cloneName) + u"'"));
  if (hierarchy_ && !hierarchy_->QueryEditProjectFile())
    return KV7_TRACE_RETURN(OLE_E_PROMPTSAVECANCELLED);
  WString clone = cloning ? WString(cloneName) : WString();
  HRESULT hr = AddConfigurations(name, cloning ? &clone : nullptr);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  TellSinks([&](IVsCfgProviderEvents* sink) { return sink->OnCfgNameAdded(name); });
  if (hierarchy_) hierarchy_->SetDirty();
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CCfgProvider::DeleteCfgsOfCfgName(const char16_t* name) {
  KV7_TRACE_ENTRY("CCfgProvider::DeleteCfgsOfCfgName", 2, "CfgProvider");
  if (name == nullptr || !HasCfgName(name))
    return KV7_TRACE_RETURN(Refuse(HRESULT_FROM_WIN32(ERROR_NOT_FOUND),
                                   u"no configuration named '" + WString(name ? name : u"") + u"'"));
  if (hierarchy_ && !hierarchy_->QueryEditProjectFile())
    return KV7_TRACE_RETURN(OLE_E_PROMPTSAVECANCELLED);
  WString deleted = *std::find_if(names_.begin(), names_.end(),
                                  [&](const WString& known) { return kv7::EqualsNoCase(known, name); });
  std::erase_if(cfgs_, [&](const ComPtr<CMyProjectCfg>& cfg) {
    if (!kv7::EqualsNoCase(cfg->GetCfgName(), deleted)) return false;
    if (hierarchy_) (void)hierarchy_->GetBuiltFiles()->ConfigDeleted(cfg->GetName());
    cfg->Detach();
    return true;
  });
  std::erase_if(names_, [&](const WString& known) { return kv7::EqualsNoCase(known, deleted); });
  TellSinks([&](IVsCfgProviderEvents* sink) { return sink->OnCfgNameDeleted(deleted.c_str()); });
  if (hierarchy_) hierarchy_->SetDirty();
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CCfgProvider::RenameCfgsOfCfgName(const char16_t* oldName, const char16_t* newName) {
  KV7_TRACE_ENTRY("CCfgProvider::RenameCfgsOfCfgName", 2, "CfgProvider");
  if (oldName == nullptr || newName == nullptr || *newName == 0)
    return KV7_TRACE_RETURN(E_INVALIDARG);
  if (!HasCfgName(oldName))
    return KV7_TRACE_RETURN(Refuse(HRESULT_FROM_WIN32(ERROR_NOT_FOUND),
                                   u"no configuration named '" + WString(oldName) + u"'"));
  if (HasCfgName(newName))
    return KV7_TRACE_RETURN(Refuse(HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS),
                                   u"a configuration named '" + WString(newName) + u"' exists already"));
  if (hierarchy_ && !hierarchy_->QueryEditProjectFile())
    return KV7_TRACE_RETURN(OLE_E_PROMPTSAVECANCELLED);
  WString old_name;
  for (const ComPtr<CMyProjectCfg>& cfg : cfgs_) {
    if (!kv7::EqualsNoCase(cfg->GetCfgName(), oldName)) continue;
    old_name = cfg->GetCfgName();
    WString old_full = cfg->GetName();
    cfg->SetCfgName(newName);
    if (hierarchy_) (void)hierarchy_->GetBuiltFiles()->ConfigRenamed(old_full, cfg->GetName());
  }
  for (WString& known : names_)
    if (kv7::EqualsNoCase(known, oldName)) known = newName;
  TellSinks([&](IVsCfgProviderEvents* sink) {
    return sink->OnCfgNameRenamed(old_name.c_str(), newName);
  });
  if (hierarchy_) hierarchy_->SetDirty();
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CCfgProvider::AddCfgsOfPlatformName(const char16_t*, const char16_t*) {
  KV7_TRACE_ENTRY("CCfgProvider::AddCfgsOfPlatformName", 2, "CfgProvider");
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CCfgProvider::DeleteCfgsOfPlatformName(const char16_t*) {
  KV7_TRACE_ENTRY("CCfgProvider::DeleteCfgsOfPlatformName", 2, "CfgProvider");
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CCfgProvider::GetCfgs(ULONG count, IVsCfg** cfgs, ULONG* actual, DWORD* flags) {
  KV7_TRACE_ENTRY("CCfgProvider::GetCfgs", 2, "CfgProvider");
  if (actual == nullptr || (count > 0 && cfgs == nullptr)) return KV7_TRACE_RETURN(E_POINTER);
  *actual = static_cast<ULONG>(cfgs_.size());
  for (ULONG i = 0; i < count && i < cfgs_.size(); ++i)
    (void)ComPtr<IVsCfg>(static_cast<IVsProjectCfg*>(cfgs_[i].Get())).CopyTo(&cfgs[i]);
  if (flags) *flags = 0;
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CCfgProvider::GetCfgNames(ULONG count, BSTR* names, ULONG* actual) {
  KV7_TRACE_ENTRY("CCfgProvider::GetCfgNames", 2, "CfgProvider");
  return KV7_TRACE_RETURN(CopyNames(names_, count, names, actual));
}

HRESULT CCfgProvider::GetPlatformNames(ULONG count, BSTR* names, ULONG* actual) {
  KV7_TRACE_ENTRY("CCfgProvider::GetPlatformNames", 2, "CfgProvider");
  return KV7_TRACE_RETURN(CopyNames(platforms_, count, names, actual));
}

HRESULT CCfgProvider::GetSupportedPlatformNames(ULONG count, BSTR* names, ULONG* actual) {
  KV7_TRACE_ENTRY("CCfgProvider::GetSupportedPlatformNames", 2, "CfgProvider");
  return KV7_TRACE_RETURN(CopyNames(platforms_, count, names, actual));
}

HRESULT CCfgProvider::GetCfgOfName(const char16_t* name, const char16_t* platform,
                                   IVsCfg** cfg) {
  KV7_TRACE_ENTRY("CCfgProvider::GetCfgOfName", 2, "CfgProvider");
  if (cfg == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *cfg = nullptr;
  CMyProjectCfg* found =
      FindCfg(MakeCfgFullName(name ? name : u"", platform ? platform : u""));
  if (found == nullptr) return KV7_TRACE_RETURN(E_INVALIDARG);
  return KV7_TRACE_RETURN(ComPtr<IVsCfg>(static_cast<IVsProjectCfg*>(found)).CopyTo(cfg));
}

HRESULT CCfgProvider::OpenProjectCfg(const char16_t* fullName, IVsProjectCfg** cfg) {
  KV7_TRACE_ENTRY("CCfgProvider::OpenProjectCfg", 2, "CfgProvider");
  if (cfg == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *cfg = nullptr;
  CMyProjectCfg* found = FindCfg(fullName ? fullName : u"");
  if (found == nullptr) return KV7_TRACE_RETURN(E_INVALIDARG);
  return KV7_TRACE_RETURN(ComPtr<IVsProjectCfg>(found).CopyTo(cfg));
}

HRESULT CCfgProvider::GetCfgProviderProperty(LONG property, VARIANT* value) {
  KV7_TRACE_ENTRY("CCfgProvider::GetCfgProviderProperty", 2, "CfgProvider");
  if (value == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  const bool supported =
      property == -16002 || property == -16003 || property == -16004 || property == 1;
  *value = VARIANT::FromBool(supported);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CCfgProvider::AdviseCfgProviderEvents(IVsCfgProviderEvents* sink, DWORD* cookie) {
  KV7_TRACE_ENTRY("CCfgProvider::AdviseCfgProviderEvents", 2, "CfgProvider");
  return KV7_TRACE_RETURN(AdviseSlot(sinks_, sink, cookie));
}

HRESULT CCfgProvider::UnadviseCfgProviderEvents(DWORD cookie) {
  KV7_TRACE_ENTRY("CCfgProvider::UnadviseCfgProviderEvents", 2, "CfgProvider");
  return KV7_TRACE_RETURN(UnadviseSlot(sinks_, cookie));
}

HRESULT CCfgProvider::get_UsesIndependentConfigurations(BOOL* independent) {
  KV7_TRACE_ENTRY("CCfgProvider::get_UsesIndependentConfigurations", 2, "CfgProvider");
  if (independent == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *independent = TRUE;
  return KV7_TRACE_RETURN(S_OK);
}
