#include "kv7/hierarchy/object_nodes.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

#include "kv7/build/configurations.h"
#include "kv7/document/built_files.h"
#include "kv7/hierarchy/project_hierarchy.h"
#include "kv7/package/package_site.h"
#include "kv7/platform/files.h"
#include "kv7/platform/messagebox.h"
#include "kv7/trace/trace.h"
#include "kv7/util/path_names.h"
#include "kv7/util/ui_strings.h"
#include "kv7/util/xml_helpers.h"

namespace {

constexpr KV7ExtraProperty kStoredProcProperties[] = {
    {12, u"SchemaName", 1110, 1111},
    {13, u"StoredProcName", 1112, 1113},
    {14, u"Parameters", 0, 0},
};
constexpr KV7ExtraProperty kUDFProperties[] = {
    {15, u"SchemaName", 1114, 1115},
    {16, u"FunctionName", 1116, 1117},
    {17, u"Parameters", 0, 0},
};

constexpr char16_t kTableKeyword[] = u"vs.qzndb.tableproperties";
constexpr char16_t kItemHelpContext[] = u"vs.envsdk.KV7Prj.kv7tabfilenode";
constexpr char16_t kTracker[] = u"KV7DOMTracker";
constexpr char16_t kProjectItem[] = u"KV7PROJECTITEM";
constexpr char16_t kSourceInfo[] = u"SOURCEINFO";

// The resource ids of the common properties' names: 1128 + 2 * (id - 1).
constexpr UINT kFirstCommonPropertyNameId = 1128;
constexpr DISPID kLastLocalizedCommonProperty = 5;
constexpr UINT kCategoryTitleId = 40;
constexpr PROPCAT kRoutineCategory = 1;

}  // namespace

const KV7ObjectKind kKV7TableKind = {
    u".kv7tbl", 0x8a00, kv7::MakeGuid("5D25BF9A-8953-42C3-8A3C-C598ACA5224B"), u"TableFile",
    u"table", kTableKeyword, u"KV7TableSourceFile", CeKV7SettingsList::kGeneric, 1, true,
    kTracker, kSourceInfo, kProjectItem, {}, -1};
const KV7ObjectKind kKV7ViewKind = {
    u".kv7vw", 0x20a00, kv7::MakeGuid("FB66DB57-9A61-4E0E-A9FB-84F19135483E"), u"ViewFile",
    u"view", kTableKeyword, u"KV7ViewSourceFile", CeKV7SettingsList::kGeneric, 1, true, kTracker,
    kSourceInfo, kProjectItem, {}, -1};
const KV7ObjectKind kKV7StoredProcKind = {
    u".kv7sp", 0x10a00, kv7::MakeGuid("13F8F134-B8C0-43F1-A388-9F2B11BCDF14"),
    u"ProcedureFile", u"procedure", u"vs.qzndb.spproperties", u"KV7StoredProcSourceFile",
    CeKV7SettingsList::kStoredProc, 2, true, kTracker, kSourceInfo, kProjectItem,
    kStoredProcProperties, 14};
const KV7ObjectKind kKV7UDFKind = {
    u".kv7udf", 0x40a00, kv7::MakeGuid("57F457B2-0A45-4B00-89BF-F58F2433B580"),
    u"FunctionFile", u"function", u"vs.qzndb.udfproperties", u"KV7UDFSourceFile",
    CeKV7SettingsList::kUDF, 1, true, kTracker, kSourceInfo, kProjectItem, kUDFProperties, 17};
const KV7ObjectKind kKV7TriggerKind = {
    u".kv7tr", 0x80a00, kv7::MakeGuid("D9689D44-754B-42FC-82DC-48AC13628CF0"), u"TriggerFile",
    u"trigger", kTableKeyword, u"KV7TriggerSourceFile", CeKV7SettingsList::kGeneric, 1, true,
    kTracker, kSourceInfo, kProjectItem, {}, -1};
const KV7ObjectKind kKV7IndexKind = {
    u".kv7ind", 0x10000a00, kv7::MakeGuid("0BC6CCE5-5A19-4BBD-8045-5424F6FCE153"),
    u"IndexFile", u"index", kTableKeyword, u"KV7IndexSourceFile", CeKV7SettingsList::kGeneric, 1,
    true, kTracker, kSourceInfo, kProjectItem, {}, -1};
const KV7ObjectKind kKV7ScriptKind = {
    u".kv7", 0x200a00, kv7::MakeGuid("3F0A3000-982B-11D6-A97A-00B0D0E90F40"), u"ScriptFile",
    u"script", u"vs.qzndb.scriptproperties", u"KV7ScriptSourceFile",
    CeKV7SettingsList::kGeneric, 1, true, kTracker, kSourceInfo, kProjectItem, {}, -1};
const KV7ObjectKind kKV7StatementKind = {
    u".kv7st", 0x100a00, kv7::MakeGuid("0B069678-B09B-4A4F-8B0B-576D120A0BD8"),
    u"StatementFile", u"statement", u"vs.qzndb.statementproperties", u"KV7StatementSourceFile",
    CeKV7SettingsList::kNone, 0, false, u"KV7DOMTracker/Statements", u"STATEMENT",
    u"KV7StatementFileInfo", {}, -1};
const KV7ObjectKind kKV7CommandSetKind = {
    u".kv7cset", 0x2000a00, kv7::MakeGuid("A00E9323-CB45-11D6-A98B-00B0D0E90F40"),
    u"CommandSetFile", u"command set", nullptr, u"KV7CommandSetSourceFile",
    CeKV7SettingsList::kNone, 0, false, u"KV7DOMTracker/CommandSets", u"COMMANDSET",
    u"KV7CommandSetFileInfo", {}, -1};
const KV7ObjectKind kKV7XMLKind = {
    nullptr, 0x1000a00, kv7::MakeGuid("3F0A2FFC-982B-11D6-A97A-00B0D0E90F40"), u"UnknownFile",
    u"xml", nullptr, u"KV7XMLSourceFile", CeKV7SettingsList::kNone, 0, false, nullptr, nullptr,
    nullptr, {}, -1};

namespace {

// A help context holding the item context attribute.
HRESULT MakeItemHelpContext(IVsUserContext** context) {
  ComPtr<IVsMonitorUserContext> help;
  HRESULT hr = QueryPackageService(SID_SVsMonitorUserContext, &help);
  if (FAILED(hr)) return hr;
  hr = help->CreateEmptyContext(context);
  if (FAILED(hr) || *context == nullptr) return E_FAIL;
  return (*context)->AddAttribute(0, u"Item", kItemHelpContext);
}

std::unique_ptr<CKV7CfgListBase> NewSettingsList(CeKV7SettingsList kind) {
  switch (kind) {
    case CeKV7SettingsList::kGeneric: return std::make_unique<CKV7GenericCfgList>();
    case CeKV7SettingsList::kStoredProc: return std::make_unique<CKV7StoredProcCfgList>();
    case CeKV7SettingsList::kUDF: return std::make_unique<CKV7UDFCfgList>();
    case CeKV7SettingsList::kNone: break;
  }
  return nullptr;
}

// Builds a help context once and hands it out with a reference.
template <class Build>
HRESULT CachedUserContext(ComPtr<IVsUserContext>& cache, IVsUserContext** context, Build build) {
  if (context == nullptr) return E_POINTER;
  if (!cache && FAILED(build(cache.Put()))) {
    cache.Reset();
    return E_FAIL;
  }
  return cache.CopyTo(context);
}

bool IsStandardGroup(const GUID* group) {
  return group != nullptr && *group == CMDSETID_StandardCommandSet97;
}
bool IsProductGroup(const GUID* group) {
  return group != nullptr && *group == GUID_KV7PackageCommandSet;
}

// The tracking document of the project a node is in, or null.
IXMLDOMDocument* TrackingDocumentOf(CFileVwFileNode* node) {
  CMyProjectHierarchy* hierarchy = node->GetCVsHierarchy();
  return hierarchy ? hierarchy->GetDOMDocument() : nullptr;
}

// The element at a child path below a document, created (with the missing
// steps) when absent.
HRESULT EnsureElement(IXMLDOMDocument* document, WStringView path, IXMLDOMNode** element) {
  ComPtr<IXMLDOMNode> current(document);
  size_t start = 0;
  while (start <= path.size()) {
    size_t slash = path.find(u'/', start);
    WString step(path.substr(start, slash == WStringView::npos ? WStringView::npos : slash - start));
    ComPtr<IXMLDOMNode> next;
    if (current->selectSingleNode(step.c_str(), next.Put()) != S_OK) {
      HRESULT hr = document->createElement(step.c_str(), next.Put());
      if (SUCCEEDED(hr)) hr = current->appendChild(next.Get(), nullptr);
      if (FAILED(hr)) return hr;
    }
    current = next;
    if (slash == WStringView::npos) break;
    start = slash + 1;
  }
  *element = current.Detach();
  return S_OK;
}

}  // namespace

// ---- CKV7Object -------------------------------------------------------------

CKV7Object::~CKV7Object() = default;

HRESULT CKV7Object::GenerateXMLMetadata(WString&) {
  KV7_TRACE_ENTRY("CKV7Object::GenerateXMLMetadata", 2, "KV7Object");
  return KV7_TRACE_RETURN(S_OK);
}

WString CKV7Object::TrackingIdentity() {
  KV7_TRACE_ENTRY("CKV7Object::TrackingIdentity", 2, "KV7Object");
  return kv7::FormatW(u"0x%x", static_cast<unsigned>(ObjectNode()->RegisteredID()));
}

bool CKV7Object::LoadXMLMetadata(WStringView sourcePath) {
  KV7_TRACE_ENTRY("CKV7Object::LoadXMLMetadata", 2, "KV7Object");
  if (!UsesXMLMetadata()) return KV7_TRACE_RETURN(false);
  WString path = WString(sourcePath) + u"x";
  if (!kv7::FileExists(path)) return KV7_TRACE_RETURN(false);
  if (!metadata_) metadata_ = kv7::MakeCom<CKV7XMLFileNode>();
  return KV7_TRACE_RETURN(metadata_->LoadDocument(path));
}

bool CKV7Object::GenXMLMetadataAndSave(WStringView sourcePath) {
  KV7_TRACE_ENTRY("CKV7Object::GenXMLMetadataAndSave", 2, "KV7Object");
  if (!UsesXMLMetadata()) return KV7_TRACE_RETURN(false);
  WString text;
  if (FAILED(GenerateXMLMetadata(text))) return KV7_TRACE_RETURN(false);
  if (!metadata_) metadata_ = kv7::MakeCom<CKV7XMLFileNode>();
  return KV7_TRACE_RETURN(metadata_->SaveDocument(WString(sourcePath) + u"x", text));
}

HRESULT CKV7Object::GenerateMainDOMInfo(IXMLDOMDocument* metadata, IXMLDOMNode** entry) {
  KV7_TRACE_ENTRY("CKV7Object::GenerateMainDOMInfo", 2, "KV7Object");
  if (metadata == nullptr || entry == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  const KV7ObjectKind& kind = ObjectKind();
  WString path = WString(kind.metadataSource) + u"/" + kind.entryName;
  ComPtr<IXMLDOMNode> source, clone, unique, text;
  HRESULT hr = GetSingleNode(metadata, path.c_str(), source.Put());
  if (!source) return KV7_TRACE_RETURN(FAILED(hr) ? hr : E_FAIL);
  hr = source->cloneNode(VARIANT_TRUE, clone.Put());
  if (SUCCEEDED(hr)) hr = metadata->createElement(u"KV7UNIQUEVALUE", unique.Put());
  if (SUCCEEDED(hr)) hr = metadata->createTextNode(TrackingIdentity().c_str(), text.Put());
  if (SUCCEEDED(hr)) hr = unique->appendChild(text.Get(), nullptr);
  if (SUCCEEDED(hr)) hr = clone->appendChild(unique.Get(), nullptr);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  *entry = clone.Detach();
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7Object::RemoveInfoFromMainDOM(bool notify) {
  KV7_TRACE_ENTRY("CKV7Object::RemoveInfoFromMainDOM", 2, "KV7Object");
  IXMLDOMDocument* tracking = TrackingDocumentOf(ObjectNode());
  if (tracking == nullptr) return KV7_TRACE_RETURN(E_FAIL);
  const KV7ObjectKind& kind = ObjectKind();
  ComPtr<IXMLDOMNode> parent;
  if (GetSingleNode(tracking, kind.trackingPath, parent.Put()) != S_OK)
    return KV7_TRACE_RETURN(S_OK);
  const WString identity = TrackingIdentity();
  ComPtr<IXMLDOMNodeList> children;
  HRESULT hr = parent->get_childNodes(children.Put());
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  ComPtr<IXMLDOMNode> child;
  while (children->nextNode(child.Put()) == S_OK && child) {
    CComBSTR name;
    WString value;
    if (FAILED(child->get_nodeName(name.Put())) || name.ToString() != kind.entryName) continue;
    (void)GetSimpleNodeValue(child.Get(), u"KV7UNIQUEVALUE", value);
    if (value.empty() || !kv7::EqualsNoCase(value, identity)) continue;
    hr = parent->removeChild(child.Get(), nullptr);
    if (SUCCEEDED(hr) && notify) ObjectNode()->GetCVsHierarchy()->TrackingDOMChanged();
    break;
  }
  return KV7_TRACE_RETURN(hr);
}

HRESULT CKV7Object::SyncTrackingDOM() {
  KV7_TRACE_ENTRY("CKV7Object::SyncTrackingDOM", 2, "KV7Object");
  CFileVwFileNode* node = ObjectNode();
  IXMLDOMDocument* tracking = TrackingDocumentOf(node);
  if (tracking == nullptr) return KV7_TRACE_RETURN(E_FAIL);
  // While the project loads, the document holds no entry of this new node.
  if (!node->GetCVsHierarchy()->IsLoading()) (void)RemoveInfoFromMainDOM(false);
  if (!LoadXMLMetadata(node->GetFullPath()) && !GenXMLMetadataAndSave(node->GetFullPath()))
    return KV7_TRACE_RETURN(E_FAIL);
  ComPtr<IXMLDOMNode> entry, parent;
  HRESULT hr = GenerateMainDOMInfo(metadata_->GetDocument(), entry.Put());
  if (SUCCEEDED(hr)) hr = EnsureElement(tracking, ObjectKind().trackingPath, parent.Put());
  if (SUCCEEDED(hr)) hr = parent->appendChild(entry.Get(), nullptr);
  if (SUCCEEDED(hr)) node->GetCVsHierarchy()->TrackingDOMChanged();
  return KV7_TRACE_RETURN(hr);
}

// ---- CKV7ObjectFileNode -------------------------------------------------------

CKV7ObjectFileNode::CKV7ObjectFileNode(const KV7ObjectKind& kind)
    : kind_(kind),
      metadata_version_(kind.metadataVersion),
      settings_(NewSettingsList(kind.settingsList)) {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::CKV7ObjectFileNode", 6, "KV7ObjectFileNode");
}

CKV7ObjectFileNode::~CKV7ObjectFileNode() {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::~CKV7ObjectFileNode", 6, "KV7ObjectFileNode");
  (void)RemoveInfoFromMainDOM(true);
}

HRESULT CKV7ObjectFileNode::QueryInterface(REFIID riid, void** object) {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::QueryInterface", 5, "KV7ObjectFileNode");
  if (object == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  void* found = nullptr;
  if (riid == ICategorizeProperties::iid()) found = static_cast<ICategorizeProperties*>(this);
  else if (riid == IVsGetCfgProvider::iid()) found = static_cast<IVsGetCfgProvider*>(this);
  else if (kind_.browsesProperties && riid == IPerPropertyBrowsing::iid())
    found = static_cast<IPerPropertyBrowsing*>(this);
  else if (kind_.browsesProperties && riid == IVsPerPropertyBrowsing::iid())
    found = static_cast<IVsPerPropertyBrowsing*>(this);
  else if (kind_.browsesProperties && riid == IProvidePropertyBuilder::iid())
    found = static_cast<IProvidePropertyBuilder*>(this);
  if (found == nullptr) return KV7_TRACE_RETURN(CFileVwFileNode::QueryInterface(riid, object));
  *object = found;
  AddRef();
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7ObjectFileNode::QueryStatus(const GUID* group, ULONG count, OLECMD* commands) {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::QueryStatus", 2, "KV7ObjectFileNode");
  if (GetProjectNode() == nullptr) return KV7_TRACE_RETURN(OLECMDERR_E_UNKNOWNGROUP);
  bool handled = false;
  for (ULONG i = 0; i < count; ++i) {
    ULONG id = commands[i].cmdID;
    bool ours = (IsStandardGroup(group) && (id == cmdidCopy || id == cmdidCut ||
                                            id == cmdidOpenWith || id == cmdidOpen)) ||
                (IsProductGroup(group) && id >= kCmdItemFirst && id <= kCmdItemLast);
    if (!ours) return KV7_TRACE_RETURN(CFileVwFileNode::QueryStatus(group, count, commands));
    commands[i].cmdf = OLECMDF_SUPPORTED | OLECMDF_ENABLED;
    handled = true;
  }
  return KV7_TRACE_RETURN(handled ? S_OK : CFileVwFileNode::QueryStatus(group, count, commands));
}

HRESULT CKV7ObjectFileNode::Exec(const GUID* group, DWORD command, DWORD options,
                                 const VARIANT* in, VARIANT* out) {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::Exec", 2, "KV7ObjectFileNode");
  if (group == nullptr) return KV7_TRACE_RETURN(E_INVALIDARG);
  if (IsProductGroup(group) && command >= kCmdItemFirst && command <= kCmdItemLast)
    return KV7_TRACE_RETURN(S_OK);  // carried out by the hierarchy over the selection
  if (IsStandardGroup(group)) {
    HRESULT hr = OLECMDERR_E_NOTSUPPORTED;
    switch (command) {
      case cmdidOpenWith: hr = OnCmdOpenWith(); break;
      case cmdidOpen: hr = OnCmdOpen(); break;
      case cmdidViewForm: hr = OnCmdViewForm(); break;
      case cmdidViewCode: hr = OnCmdViewCode(); break;
      default: break;
    }
    if (hr != OLECMDERR_E_NOTSUPPORTED) return KV7_TRACE_RETURN(hr);
  }
  return KV7_TRACE_RETURN(CFileVwFileNode::Exec(group, command, options, in, out));
}

HRESULT CKV7ObjectFileNode::GetUserContext(IVsUserContext** context) {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::GetUserContext", 2, "KV7ObjectFileNode");
  return KV7_TRACE_RETURN(
      CachedUserContext(user_context_, context, [this](IVsUserContext** built) {
        return kind_.helpKeyword ? SetupF1KeywordContext(kind_.helpKeyword, built)
                                 : MakeItemHelpContext(built);
      }));
}

HRESULT CKV7ObjectFileNode::LoadFromXMLForProject(IXMLDOMNode*) {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::LoadFromXMLForProject", 2, "KV7ObjectFileNode");
  // One item without its metadata never stops a project load.
  (void)LoadFromXMLSourceFile();
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7ObjectFileNode::LoadFromXMLSourceFile() {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::LoadFromXMLSourceFile", 2, "KV7ObjectFileNode");
  if (!LoadXMLMetadata(GetFullPath())) return KV7_TRACE_RETURN(E_FAIL);
  IXMLDOMDocument* metadata = MetadataHolder()->GetDocument();
  if (metadata == nullptr) return KV7_TRACE_RETURN(S_OK);
  ComPtr<IXMLDOMNode> item;
  if (GetChildNodeByName(metadata, kProjectItem, item.Put()) != S_OK || !item)
    return KV7_TRACE_RETURN(S_OK);
  WString version;
  (void)GetAttrFromNode(item.Get(), u"version", version);
  metadata_version_ =
      version.empty() ? 1 : static_cast<LONG>(std::strtol(kv7::ToUtf8(version).c_str(), nullptr, 10));
  ComPtr<IXMLDOMNode> configurations;
  (void)GetChildNodeByName(item.Get(), u"Configurations", configurations.Put());
  if (settings_ && configurations) (void)settings_->LoadFromXML(configurations.Get());
  // (A procedure takes its CLR description from "KV7_CLR_DESC", with the
  // procedure metadata.)
  return KV7_TRACE_RETURN(S_OK);
}

// ---- Build settings -----------------------------------------------------------

CKV7BaseCfg* CKV7ObjectFileNode::FindSettings(WStringView configuration) const {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::FindSettings", 2, "KV7ObjectFileNode");
  return settings_ ? settings_->FindByName(configuration) : nullptr;
}

HRESULT CKV7ObjectFileNode::GetOrCreateSettings(WStringView configuration, CKV7BaseCfg** record) {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::GetOrCreateSettings", 2, "KV7ObjectFileNode");
  if (record == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *record = settings_ ? settings_->FindOrAdd(configuration) : nullptr;
  return KV7_TRACE_RETURN(*record ? S_OK : E_NOTIMPL);
}

HRESULT CKV7ObjectFileNode::SettingsChanged(WStringView configuration) {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::SettingsChanged", 2, "KV7ObjectFileNode");
  SetLocallyDirty();
  // What the item deployed there was built with the old settings.
  CMyProjectHierarchy* hierarchy = GetCVsHierarchy();
  if (hierarchy && hierarchy->GetBuiltFiles())
    (void)hierarchy->GetBuiltFiles()->SetFileAsNotBuilt(GetFullPath(), configuration);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7ObjectFileNode::EditSetting(WStringView configuration, CeKV7Setting setting,
                                        WStringView value) {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::EditSetting", 2, "KV7ObjectFileNode");
  if (!settings_) return KV7_TRACE_RETURN(E_NOTIMPL);
  CKV7BaseCfg* existing = settings_->FindByName(configuration);
  CKV7BaseCfg* record = existing ? existing : settings_->Add(configuration);
  HRESULT hr = record->SetSettingText(setting, value);
  if (FAILED(hr)) {
    // A refused value leaves no record behind.
    if (!existing) (void)settings_->Remove(record);
    return KV7_TRACE_RETURN(hr);
  }
  return KV7_TRACE_RETURN(SettingsChanged(configuration));
}

void CKV7ObjectFileNode::OnPropertyChanged(DISPID id, DWORD) {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::OnPropertyChanged", 2, "KV7ObjectFileNode");
  local_dirty_ = 1;
  if (CMyProjectHierarchy* hierarchy = GetCVsHierarchy())
    hierarchy->NotifyPropertyChanged(this, static_cast<VSHPROPID>(id));
}

const KV7ExtraProperty* CKV7ObjectFileNode::FindExtraProperty(DISPID id) const {
  for (const KV7ExtraProperty& property : kind_.extraProperties)
    if (property.id == id) return &property;
  return nullptr;
}

WString CKV7ObjectFileNode::ExtraPropertyText(DISPID) const { return {}; }

HRESULT CKV7ObjectFileNode::GetIDsOfNames(const char16_t* name, DISPID* id) {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::GetIDsOfNames", 2, "KV7ObjectFileNode");
  if (name == nullptr || id == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  for (const KV7ExtraProperty& property : kind_.extraProperties) {
    if (kv7::EqualsNoCase(property.name, name)) {
      *id = property.id;
      return KV7_TRACE_RETURN(S_OK);
    }
  }
  return KV7_TRACE_RETURN(CFileVwFileNode::GetIDsOfNames(name, id));
}

HRESULT CKV7ObjectFileNode::Invoke(DISPID id, WORD flags, const VARIANT* args, UINT argCount,
                                   VARIANT* result) {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::Invoke", 2, "KV7ObjectFileNode");
  if (FindExtraProperty(id) != nullptr) {
    if ((flags & DISPATCH_PROPERTYPUT) != 0)
      return KV7_TRACE_RETURN(DISP_E_MEMBERNOTFOUND);  // read-only
    if (result) *result = VARIANT::FromString(ExtraPropertyText(id));
    return KV7_TRACE_RETURN(S_OK);
  }
  HRESULT hr = InvokeFileProperty(id, flags, args, argCount, result);
  if (SUCCEEDED(hr) && (flags & DISPATCH_PROPERTYPUT) != 0) OnPropertyChanged(id, 0);
  return KV7_TRACE_RETURN(hr);
}

// ---- Property browsing ----------------------------------------------------------

HRESULT CKV7ObjectFileNode::MapPropertyToCategory(DISPID id, PROPCAT* category) {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::MapPropertyToCategory", 2, "KV7ObjectFileNode");
  if (category == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *category = FindExtraProperty(id) ? kRoutineCategory : PROPCAT_Misc;
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7ObjectFileNode::GetCategoryName(PROPCAT category, LCID, BSTR* name) {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::GetCategoryName", 2, "KV7ObjectFileNode");
  if (name == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  if (kind_.extraProperties.empty() || category != kRoutineCategory)
    return KV7_TRACE_RETURN(E_NOTIMPL);
  *name = SysAllocString(LoadUIString(kCategoryTitleId).c_str());
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7ObjectFileNode::GetDisplayString(DISPID, BSTR* text) {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::GetDisplayString", 2, "KV7ObjectFileNode");
  if (text == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *text = nullptr;
  return KV7_TRACE_RETURN(E_NOTIMPL);
}

HRESULT CKV7ObjectFileNode::MapPropertyToPage(DISPID, CLSID*) {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::MapPropertyToPage", 2, "KV7ObjectFileNode");
  return KV7_TRACE_RETURN(E_NOTIMPL);
}

HRESULT CKV7ObjectFileNode::GetPredefinedStrings(DISPID, VARIANT* strings, VARIANT* cookies) {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::GetPredefinedStrings", 2, "KV7ObjectFileNode");
  if (strings == nullptr || cookies == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  strings->Clear();
  cookies->Clear();
  return KV7_TRACE_RETURN(E_NOTIMPL);
}

HRESULT CKV7ObjectFileNode::GetPredefinedValue(DISPID, DWORD, VARIANT*) {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::GetPredefinedValue", 2, "KV7ObjectFileNode");
  return KV7_TRACE_RETURN(E_NOTIMPL);
}

HRESULT CKV7ObjectFileNode::HideProperty(DISPID, BOOL* hide) {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::HideProperty", 2, "KV7ObjectFileNode");
  return KV7_TRACE_RETURN(hide == nullptr ? E_INVALIDARG : E_NOTIMPL);
}

HRESULT CKV7ObjectFileNode::DisplayChildProperties(DISPID, BOOL* display) {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::DisplayChildProperties", 2, "KV7ObjectFileNode");
  return KV7_TRACE_RETURN(display == nullptr ? E_INVALIDARG : E_NOTIMPL);
}

HRESULT CKV7ObjectFileNode::GetLocalizedPropertyInfo(DISPID id, LCID, BSTR* name,
                                                     BSTR* description) {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::GetLocalizedPropertyInfo", 2, "KV7ObjectFileNode");
  UINT name_id = 0;
  if (id >= 1 && id <= kLastLocalizedCommonProperty)
    name_id = kFirstCommonPropertyNameId + 2 * static_cast<UINT>(id - 1);
  else if (const KV7ExtraProperty* extra = FindExtraProperty(id))
    name_id = extra->nameId;
  if (name_id == 0) return KV7_TRACE_RETURN(E_NOTIMPL);
  if (name) *name = SysAllocString(LoadUIString(name_id).c_str());
  if (description) *description = SysAllocString(LoadUIString(name_id + 1).c_str());
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7ObjectFileNode::HasDefaultValue(DISPID, BOOL*) {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::HasDefaultValue", 2, "KV7ObjectFileNode");
  return KV7_TRACE_RETURN(E_NOTIMPL);
}

HRESULT CKV7ObjectFileNode::IsPropertyReadOnly(DISPID, BOOL* readOnly) {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::IsPropertyReadOnly", 2, "KV7ObjectFileNode");
  return KV7_TRACE_RETURN(readOnly == nullptr ? E_INVALIDARG : E_NOTIMPL);
}

HRESULT CKV7ObjectFileNode::GetClassName(BSTR*) {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::GetClassName", 2, "KV7ObjectFileNode");
  return KV7_TRACE_RETURN(E_NOTIMPL);
}

HRESULT CKV7ObjectFileNode::CanResetPropertyValue(DISPID, BOOL*) {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::CanResetPropertyValue", 2, "KV7ObjectFileNode");
  return KV7_TRACE_RETURN(E_NOTIMPL);
}

HRESULT CKV7ObjectFileNode::ResetPropertyValue(DISPID) {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::ResetPropertyValue", 2, "KV7ObjectFileNode");
  return KV7_TRACE_RETURN(E_NOTIMPL);
}

HRESULT CKV7ObjectFileNode::MapPropertyToBuilder(LONG id, LONG* builderType, BSTR* builderGuid,
                                                 VARIANT_BOOL* canBuild) {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::MapPropertyToBuilder", 2, "KV7ObjectFileNode");
  if (id != kind_.builderProperty || kind_.builderProperty < 0) return KV7_TRACE_RETURN(E_NOTIMPL);
  if (builderType) *builderType = CTLBLDTYPE_FINTERNALBUILDER;
  if (builderGuid) *builderGuid = nullptr;
  if (canBuild) *canBuild = VARIANT_TRUE;
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7ObjectFileNode::ExecuteBuilder(LONG id, const char16_t*, IDispatch*, HWND, VARIANT*,
                                           VARIANT_BOOL*) {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::ExecuteBuilder", 2, "KV7ObjectFileNode");
  if (id != kind_.builderProperty || kind_.builderProperty < 0) return KV7_TRACE_RETURN(E_NOTIMPL);
  MessageBoxW(nullptr, u"TO DO - Dialog to display parameters", u"", MB_OK);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7ObjectFileNode::GetCfgProvider(IVsCfgProvider** provider) {
  KV7_TRACE_ENTRY("CKV7ObjectFileNode::GetCfgProvider", 2, "KV7ObjectFileNode");
  if (provider == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *provider = nullptr;
  CMyProjectHierarchy* hierarchy = GetCVsHierarchy();
  CCfgProvider* cfgs = hierarchy ? hierarchy->GetCfgProvider() : nullptr;
  if (cfgs == nullptr) return KV7_TRACE_RETURN(E_NOINTERFACE);
  return KV7_TRACE_RETURN(ComPtr<IVsCfgProvider>(cfgs).CopyTo(provider));
}

// ---- Routines, command sets, XML ------------------------------------------------

void CKV7RoutineFileNode::SetRoutine(WStringView schema, WStringView name,
                                     WStringView parameters) {
  KV7_TRACE_ENTRY("CKV7RoutineFileNode::SetRoutine", 2, "KV7RoutineFileNode");
  schema_name_ = schema;
  routine_name_ = name;
  parameters_ = parameters;
}

WString CKV7RoutineFileNode::ExtraPropertyText(DISPID id) const {
  // The kind's three properties, in order: schema, name, parameters.
  const auto& properties = Kind().extraProperties;
  if (id == properties[0].id) return schema_name_;
  if (id == properties[1].id) return routine_name_;
  return parameters_;
}

HRESULT CKV7StoredProcFileNode::CreateXMLSettings(WStringView settingsXml) {
  KV7_TRACE_ENTRY("CKV7StoredProcFileNode::CreateXMLSettings", 2, "KV7StoredProcFileNode");
  ComPtr<IXMLDOMDocument> document;
  ComPtr<IXMLDOMNode> options;
  VARIANT_BOOL parsed = VARIANT_FALSE;
  const WString text(settingsXml);
  if (FAILED(CreateXMLDOMDocument(document.Put())) ||
      document->loadXML(text.c_str(), &parsed) != S_OK || parsed != VARIANT_TRUE ||
      GetSingleNode(document.Get(), u"SP/SP_SPECIFIC_DESCRIPTION/OSM77OPTIONS", options.Put()) !=
          S_OK)
    return KV7_TRACE_RETURN(S_FALSE);
  CMyProjectHierarchy* hierarchy = GetCVsHierarchy();
  CCfgProvider* cfgs = hierarchy ? hierarchy->GetCfgProvider() : nullptr;
  if (cfgs == nullptr) return KV7_TRACE_RETURN(S_OK);
  for (const ComPtr<CMyProjectCfg>& cfg : cfgs->GetConfigurations())
    (void)GetSettingsList()->FindOrAdd(cfg->GetName())->GetOptions()->LoadFromXML(options.Get());
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7CommandSetFileNode::QueryStatus(const GUID* group, ULONG count, OLECMD* commands) {
  KV7_TRACE_ENTRY("CKV7CommandSetFileNode::QueryStatus", 2, "KV7CommandSetFileNode");
  if (!IsProductGroup(group) || GetProjectNode() == nullptr)
    return KV7_TRACE_RETURN(CKV7ObjectFileNode::QueryStatus(group, count, commands));
  for (ULONG i = 0; i < count; ++i) {
    ULONG id = commands[i].cmdID;
    if (id < kCmdCommandSetParse || id > kCmdCommandSetRunWithDebug)
      return KV7_TRACE_RETURN(CKV7ObjectFileNode::QueryStatus(group, count, commands));
    commands[i].cmdf = OLECMDF_SUPPORTED | OLECMDF_ENABLED;
  }
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7CommandSetFileNode::Exec(const GUID* group, DWORD command, DWORD options,
                                     const VARIANT* in, VARIANT* out) {
  KV7_TRACE_ENTRY("CKV7CommandSetFileNode::Exec", 2, "KV7CommandSetFileNode");
  const char16_t* text = nullptr;
  if (IsStandardGroup(group) && (command == cmdidOpenWith || command == cmdidOpen))
    text = u"Add CommandSet edit dialog here";
  else if (IsProductGroup(group) && command == kCmdCommandSetParse)
    text = u"Add Processing for CommandSet Parse here";
  else if (IsProductGroup(group) && command == kCmdCommandSetRun)
    text = u"Add Processing for CommandSet Run here";
  else if (IsProductGroup(group) && command == kCmdCommandSetRunWithDebug)
    text = u"Add Processing for CommandSet RunWithDebug here";
  if (text == nullptr)
    return KV7_TRACE_RETURN(CKV7ObjectFileNode::Exec(group, command, options, in, out));
  MessageBoxW(nullptr, text, u"", MB_OK);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7XMLFileNode::GetUserContext(IVsUserContext** context) {
  KV7_TRACE_ENTRY("CKV7XMLFileNode::GetUserContext", 2, "KV7XMLFileNode");
  return KV7_TRACE_RETURN(CachedUserContext(user_context_, context, MakeItemHelpContext));
}

bool CKV7XMLFileNode::LoadDocument(WStringView path) {
  KV7_TRACE_ENTRY("CKV7XMLFileNode::LoadDocument", 2, "KV7XMLFileNode");
  ComPtr<IXMLDOMDocument> document;
  VARIANT_BOOL loaded = VARIANT_FALSE;
  WString file(path);
  if (FAILED(CreateXMLDOMDocument(document.Put())) ||
      document->load(file.c_str(), &loaded) != S_OK || loaded != VARIANT_TRUE)
    return KV7_TRACE_RETURN(false);
  CComBSTR xml;
  (void)document->get_xml(xml.Put());
  text_ = xml.ToString();
  document_ = document;
  SetFullPath(path);
  return KV7_TRACE_RETURN(true);
}

bool CKV7XMLFileNode::SaveDocument(WStringView path, WStringView text) {
  KV7_TRACE_ENTRY("CKV7XMLFileNode::SaveDocument", 2, "KV7XMLFileNode");
  ComPtr<IXMLDOMDocument> document;
  VARIANT_BOOL parsed = VARIANT_FALSE;
  WString source(text), file(path);
  if (FAILED(CreateXMLDOMDocument(document.Put())) ||
      document->loadXML(source.c_str(), &parsed) != S_OK || parsed != VARIANT_TRUE ||
      FAILED(document->save(file.c_str())))
    return KV7_TRACE_RETURN(false);
  text_ = source;
  document_ = document;
  SetFullPath(path);
  return KV7_TRACE_RETURN(true);
}

// ---- Choosing the class ---------------------------------------------------------

namespace {

template <class Node>
ComPtr<CFileVwFileNode> Make() {
  return kv7::MakeCom<Node>();
}

struct ExtensionClass {
  const KV7ObjectKind& kind;
  ComPtr<CFileVwFileNode> (*create)();
};

const ExtensionClass kClasses[] = {
    {kKV7TableKind, Make<CKV7TabFileNode>},         {kKV7StoredProcKind, Make<CKV7StoredProcFileNode>},
    {kKV7ViewKind, Make<CKV7ViewFileNode>},         {kKV7TriggerKind, Make<CKV7TriggerFileNode>},
    {kKV7UDFKind, Make<CKV7UDFFileNode>},           {kKV7StatementKind, Make<CKV7StatementFileNode>},
    {kKV7ScriptKind, Make<CKV7ScriptFileNode>},     {kKV7CommandSetKind, Make<CKV7CommandSetFileNode>},
    {kKV7IndexKind, Make<CKV7IndexFileNode>},
};

// The class of an item file by its extension (compared exactly); null for
// a plain file.
const ExtensionClass* ClassForPath(WStringView path) {
  WStringView extension = ExtensionOf(path);
  for (const ExtensionClass& entry : kClasses)
    if (extension == entry.kind.extension) return &entry;
  return nullptr;
}

}  // namespace

ComPtr<CFileVwFileNode> CreateFileNodeForPath(WStringView path) {
  KV7_TRACE_ENTRY("CreateFileNodeForPath", 2, "KV7ObjectFileNode");
  const ExtensionClass* found = ClassForPath(path);
  ComPtr<CFileVwFileNode> node = found ? found->create() : CFileVwFileNode::CreateInstance(path);
  node->SetFullPath(path);
  return node;
}

const char16_t* ItemKindNameForPath(WStringView path) {
  KV7_TRACE_ENTRY("ItemKindNameForPath", 2, "KV7ObjectFileNode");
  const ExtensionClass* found = ClassForPath(path);
  return found ? found->kind.displayName : u"file";
}

WString ItemFileNameForKind(WStringView kindName) {
  KV7_TRACE_ENTRY("ItemFileNameForKind", 2, "KV7ObjectFileNode");
  WString wanted(kindName);
  std::replace(wanted.begin(), wanted.end(), u'-', u' ');
  for (const ExtensionClass& entry : kClasses) {
    if (!kv7::EqualsNoCase(entry.kind.displayName, wanted)) continue;
    WString base;
    GetBaseFileNameForFolder(base, FolderTypeForExtension(entry.kind.extension));
    return base + entry.kind.extension;
  }
  return {};
}

WString ItemKindNames() {
  KV7_TRACE_ENTRY("ItemKindNames", 2, "KV7ObjectFileNode");
  WString names;
  for (const ExtensionClass& entry : kClasses)
    names.append(names.empty() ? u"" : u", ").append(entry.kind.displayName);
  return names;
}

const char16_t* ItemKindName(const CFileVwFileNode* node) {
  KV7_TRACE_ENTRY("ItemKindName", 2, "KV7ObjectFileNode");
  if (const auto* object = dynamic_cast<const CKV7ObjectFileNode*>(node))
    return object->Kind().displayName;
  if (dynamic_cast<const CKV7XMLFileNode*>(node)) return kKV7XMLKind.displayName;
  return u"file";
}
