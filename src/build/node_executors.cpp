// The build's node executors.
#include "kv7/build/node_executors.h"

#include <algorithm>

#include "kv7/document/assembly_info.h"
#include "kv7/document/built_files.h"
#include "kv7/hierarchy/object_nodes.h"
#include "kv7/hierarchy/project_hierarchy.h"
#include "kv7/trace/trace.h"
#include "kv7/util/utilities.h"

namespace {

// The item's build settings, or null for a node without them.
CKV7CfgListBase* SettingsOf(CFileVwFileNode* node) {
  auto* object = dynamic_cast<CKV7ObjectFileNode*>(node);
  return object ? object->GetSettingsList() : nullptr;
}

}  // namespace

WString BackslashSeparated(WStringView path) {
  WString text(path);
  std::replace(text.begin(), text.end(), u'/', u'\\');
  return text;
}

CKV7NE_FindNodeForFileName::CKV7NE_FindNodeForFileName(WStringView path, bool matchRelativePath)
    : path_(matchRelativePath ? BackslashSeparated(path) : WString(path)),
      relative_(matchRelativePath) {
  KV7_TRACE_ENTRY("CKV7NE_FindNodeForFileName::CKV7NE_FindNodeForFileName", 6, "KV7NodeExecutors");
}

CKV7NE_FindNodeForFileName::~CKV7NE_FindNodeForFileName() {
  KV7_TRACE_ENTRY("CKV7NE_FindNodeForFileName::~CKV7NE_FindNodeForFileName", 6,
                  "KV7NodeExecutors");
}

HRESULT CKV7NE_FindNodeForFileName::DoWork(CFileVwFileNode* node) {
  KV7_TRACE_ENTRY("CKV7NE_FindNodeForFileName::DoWork", 2, "KV7NodeExecutors");
  WString relative;
  if (relative_) (void)node->GetProjRelativePath(relative);
  if (!kv7::EqualsNoCase(relative_ ? relative : node->GetFullPath(), path_))
    return KV7_TRACE_RETURN(S_OK);
  found_ = node;
  return KV7_TRACE_RETURN(E_FAIL);
}

CKV7NE_DirtyIfHasAssemblyReference::CKV7NE_DirtyIfHasAssemblyReference(
    CMyProjectHierarchy* hierarchy, const CKV7AssemblyInfoList& assemblies)
    : hierarchy_(hierarchy), assemblies_(assemblies) {
  KV7_TRACE_ENTRY("CKV7NE_DirtyIfHasAssemblyReference::CKV7NE_DirtyIfHasAssemblyReference", 6,
                  "KV7NodeExecutors");
}

CKV7NE_DirtyIfHasAssemblyReference::~CKV7NE_DirtyIfHasAssemblyReference() {
  KV7_TRACE_ENTRY("CKV7NE_DirtyIfHasAssemblyReference::~CKV7NE_DirtyIfHasAssemblyReference", 6,
                  "KV7NodeExecutors");
}

HRESULT CKV7NE_DirtyIfHasAssemblyReference::DoWork(CFileVwFileNode* node) {
  KV7_TRACE_ENTRY("CKV7NE_DirtyIfHasAssemblyReference::DoWork", 2, "KV7NodeExecutors");
  WString text;
  if (FAILED(LoadTextFromFile(node->GetFullPath().c_str(), text)) ||
      !assemblies_.IsAnyReferencedIn(text))
    return KV7_TRACE_RETURN(S_OK);
  if (CKV7BuiltFiles* built = hierarchy_->GetBuiltFiles())
    (void)built->SetFileAsNotBuilt(node->GetFullPath());
  return KV7_TRACE_RETURN(S_OK);
}

CKV7NE_CfgNameRenamed::CKV7NE_CfgNameRenamed(WStringView oldName, WStringView newName)
    : old_name_(oldName), new_name_(newName) {
  KV7_TRACE_ENTRY("CKV7NE_CfgNameRenamed::CKV7NE_CfgNameRenamed", 6, "KV7NodeExecutors");
}

CKV7NE_CfgNameRenamed::~CKV7NE_CfgNameRenamed() {
  KV7_TRACE_ENTRY("CKV7NE_CfgNameRenamed::~CKV7NE_CfgNameRenamed", 6, "KV7NodeExecutors");
}

HRESULT CKV7NE_CfgNameRenamed::DoWork(CFileVwFileNode* node) {
  KV7_TRACE_ENTRY("CKV7NE_CfgNameRenamed::DoWork", 2, "KV7NodeExecutors");
  if (CKV7CfgListBase* settings = SettingsOf(node))
    (void)settings->CfgNameRenamed(old_name_, new_name_);
  return KV7_TRACE_RETURN(S_OK);
}

CKV7NE_CfgNameDeleted::CKV7NE_CfgNameDeleted(WStringView name) : name_(name) {
  KV7_TRACE_ENTRY("CKV7NE_CfgNameDeleted::CKV7NE_CfgNameDeleted", 6, "KV7NodeExecutors");
}

CKV7NE_CfgNameDeleted::~CKV7NE_CfgNameDeleted() {
  KV7_TRACE_ENTRY("CKV7NE_CfgNameDeleted::~CKV7NE_CfgNameDeleted", 6, "KV7NodeExecutors");
}

HRESULT CKV7NE_CfgNameDeleted::DoWork(CFileVwFileNode* node) {
  KV7_TRACE_ENTRY("CKV7NE_CfgNameDeleted::DoWork", 2, "KV7NodeExecutors");
  if (CKV7CfgListBase* settings = SettingsOf(node)) (void)settings->CfgNameDeleted(name_);
  return KV7_TRACE_RETURN(S_OK);
}

CKV7NE_PlatformNameDeleted::CKV7NE_PlatformNameDeleted(WStringView platform)
    : platform_(platform) {
  KV7_TRACE_ENTRY("CKV7NE_PlatformNameDeleted::CKV7NE_PlatformNameDeleted", 6,
                  "KV7NodeExecutors");
}

CKV7NE_PlatformNameDeleted::~CKV7NE_PlatformNameDeleted() {
  KV7_TRACE_ENTRY("CKV7NE_PlatformNameDeleted::~CKV7NE_PlatformNameDeleted", 6,
                  "KV7NodeExecutors");
}

HRESULT CKV7NE_PlatformNameDeleted::DoWork(CFileVwFileNode* node) {
  KV7_TRACE_ENTRY("CKV7NE_PlatformNameDeleted::DoWork", 2, "KV7NodeExecutors");
  CKV7CfgListBase* settings = SettingsOf(node);
  if (settings && settings->PlatformNameDeleted(platform_) > 0)
    static_cast<CKV7ObjectFileNode*>(node)->SetLocallyDirty();
  return KV7_TRACE_RETURN(S_OK);
}
