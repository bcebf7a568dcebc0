// The run order: its list of names, their project file form, renames, and
// the match of names to the project's file nodes.
#include "kv7/build/run_order.h"

#include <algorithm>
#include <unordered_map>

#include "kv7/build/node_executors.h"
#include "kv7/hierarchy/project_hierarchy.h"
#include "kv7/trace/trace.h"
#include "kv7/util/path_names.h"
#include "kv7/util/xml_helpers.h"

namespace {

// The project's file nodes by case-folded full path and by case-folded
// relative path, built in one walk. A name finds here the node that
// CKV7NE_FindNodeForFileName would find: the first in walk order.
class FileNodeIndex : public CKV7NodeExecutor {
 public:
  // Indexes every file node of the project; false when the hierarchy has
  // no tree to walk.
  bool Build(CMyProjectHierarchy* hierarchy) {
    return SUCCEEDED(hierarchy->ProcessEveryFileNode(this, false));
  }

  HRESULT DoWork(CFileVwFileNode* node) override {
    WString relative;
    (void)node->GetProjRelativePath(relative);
    by_full_path_.try_emplace(kv7::FoldCase(node->GetFullPath()), node);
    by_relative_path_.try_emplace(kv7::FoldCase(relative), node);
    return S_OK;
  }

  CFileVwFileNode* Find(const CRunOrderItem& item) const {
    const auto& nodes = item.IsFullPath() ? by_full_path_ : by_relative_path_;
    const WString& name = item.GetFileName();
    auto at = nodes.find(kv7::FoldCase(item.IsFullPath() ? name : BackslashSeparated(name)));
    return at == nodes.end() ? nullptr : at->second;
  }

 private:
  std::unordered_map<WString, CFileVwFileNode*> by_full_path_;
  std::unordered_map<WString, CFileVwFileNode*> by_relative_path_;
};

}  // namespace

// ---- CRunOrderItem -------------------------------------------------------------

CRunOrderItem::CRunOrderItem(WStringView fileName) : file_name_(fileName) {
  KV7_TRACE_ENTRY("CRunOrderItem::CRunOrderItem", 6, "RunOrder");
}

CRunOrderItem::~CRunOrderItem() { KV7_TRACE_ENTRY("CRunOrderItem::~CRunOrderItem", 6, "RunOrder"); }

bool CRunOrderItem::IsFullPath() const { return IsFullPathName(file_name_); }

std::unique_ptr<CRunOrderItem> CRunOrderItem::Clone() const {
  KV7_TRACE_ENTRY("CRunOrderItem::Clone", 2, "RunOrder");
  return std::make_unique<CRunOrderItem>(file_name_);
}

HRESULT CRunOrderItem::FolderRenamed(WStringView oldFolder, WStringView newFolder) {
  KV7_TRACE_ENTRY("CRunOrderItem::FolderRenamed", 4, "RunOrder");
  if (oldFolder.empty() || !file_name_.starts_with(oldFolder)) return KV7_TRACE_RETURN(S_FALSE);
  file_name_.replace(0, oldFolder.size(), newFolder);
  return KV7_TRACE_RETURN(S_OK);
}

// ---- CRunOrderItemList -----------------------------------------------------------

CRunOrderItemList::CRunOrderItemList() {
  KV7_TRACE_ENTRY("CRunOrderItemList::CRunOrderItemList", 6, "RunOrder");
}

CRunOrderItemList::~CRunOrderItemList() {
  KV7_TRACE_ENTRY("CRunOrderItemList::~CRunOrderItemList", 6, "RunOrder");
}

CRunOrderItem* CRunOrderItemList::Add(WStringView fileName) {
  KV7_TRACE_ENTRY("CRunOrderItemList::Add", 2, "RunOrder");
  return items_.emplace_back(std::make_unique<CRunOrderItem>(fileName)).get();
}

void CRunOrderItemList::CopyFrom(const CRunOrderItemList& other) {
  KV7_TRACE_ENTRY("CRunOrderItemList::CopyFrom", 2, "RunOrder");
  if (&other == this) return;
  Items copy;
  copy.reserve(other.items_.size());
  for (const auto& item : other.items_) copy.push_back(item->Clone());
  items_ = std::move(copy);
}

void CRunOrderItemList::DeleteAll() {
  KV7_TRACE_ENTRY("CRunOrderItemList::DeleteAll", 2, "RunOrder");
  items_.clear();
}

CRunOrderItem* CRunOrderItemList::FindByFileName(WStringView fileName) const {
  KV7_TRACE_ENTRY("CRunOrderItemList::FindByFileName", 2, "RunOrder");
  auto at = std::find_if(items_.begin(), items_.end(),
                         [fileName](const auto& item) { return item->GetFileName() == fileName; });
  return at == items_.end() ? nullptr : at->get();
}

HRESULT CRunOrderItemList::DeleteItem(CRunOrderItem* item) {
  KV7_TRACE_ENTRY("CRunOrderItemList::DeleteItem", 2, "RunOrder");
  return KV7_TRACE_RETURN(RemoveItem(item) ? S_OK : E_INVALIDARG);
}

std::unique_ptr<CRunOrderItem> CRunOrderItemList::RemoveItem(CRunOrderItem* item) {
  KV7_TRACE_ENTRY("CRunOrderItemList::RemoveItem", 2, "RunOrder");
  auto at = std::find_if(items_.begin(), items_.end(),
                         [item](const auto& held) { return held.get() == item; });
  if (at == items_.end()) return nullptr;
  std::unique_ptr<CRunOrderItem> removed = std::move(*at);
  items_.erase(at);
  return removed;
}

HRESULT CRunOrderItemList::DeleteObsoleteItems(CMyProjectHierarchy* hierarchy) {
  KV7_TRACE_ENTRY("CRunOrderItemList::DeleteObsoleteItems", 2, "RunOrder");
  if (hierarchy == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  if (items_.empty()) return KV7_TRACE_RETURN(S_FALSE);
  FileNodeIndex index;
  // Without a tree every item would look obsolete: keep them all.
  if (!index.Build(hierarchy)) return KV7_TRACE_RETURN(E_UNEXPECTED);
  size_t deleted =
      std::erase_if(items_, [&index](const auto& item) { return index.Find(*item) == nullptr; });
  return KV7_TRACE_RETURN(deleted > 0 ? S_OK : S_FALSE);
}

std::vector<CFileVwFileNode*> CRunOrderItemList::FindEntryNodes(
    CMyProjectHierarchy* hierarchy) const {
  KV7_TRACE_ENTRY("CRunOrderItemList::FindEntryNodes", 2, "RunOrder");
  std::vector<CFileVwFileNode*> nodes(items_.size(), nullptr);
  FileNodeIndex index;
  // An empty run order needs no index of the project's fifty thousand items.
  if (items_.empty() || hierarchy == nullptr || !index.Build(hierarchy)) return nodes;
  std::transform(items_.begin(), items_.end(), nodes.begin(),
                 [&index](const auto& item) { return index.Find(*item); });
  return nodes;
}

std::vector<CFileVwFileNode*> CRunOrderItemList::FindNodes(CMyProjectHierarchy* hierarchy) const {
  KV7_TRACE_ENTRY("CRunOrderItemList::FindNodes", 2, "RunOrder");
  std::vector<CFileVwFileNode*> nodes = FindEntryNodes(hierarchy);
  std::erase(nodes, nullptr);
  return nodes;
}

// ---- CRunOrder ------------------------------------------------------------------------

CRunOrder::CRunOrder() { KV7_TRACE_ENTRY("CRunOrder::CRunOrder", 6, "RunOrder"); }

CRunOrder::~CRunOrder() { KV7_TRACE_ENTRY("CRunOrder::~CRunOrder", 6, "RunOrder"); }

HRESULT CRunOrder::LoadFromXML(IXMLDOMNode* runOrderElement) {
  KV7_TRACE_ENTRY("CRunOrder::LoadFromXML", 2, "RunOrder");
  if (runOrderElement == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  list_.DeleteAll();
  ComPtr<IXMLDOMNode> list;
  ComPtr<IXMLDOMNodeList> items;
  if (GetSingleNode(runOrderElement, u"RunOrderItemList", list.Put()) != S_OK ||
      GetMultiNodes(list.Get(), u"RunOrderItem", items.Put()) != S_OK)
    return KV7_TRACE_RETURN(S_OK);
  ComPtr<IXMLDOMNode> item;
  while (items->nextNode(item.Put()) == S_OK && item) {
    WString name;
    (void)GetSimpleNodeValue(item.Get(), u"FileName", name);
    if (!name.empty()) list_.Add(name);
  }
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CRunOrder::SaveAsXML(WStringView indent, WString& out) const {
  KV7_TRACE_ENTRY("CRunOrder::SaveAsXML", 2, "RunOrder");
  const WString list = WString(indent) + u"\t";
  const WString item = list + u"\t";
  out.append(indent).append(u"<RunOrder>\r\n");
  out.append(list).append(u"<RunOrderItemList>\r\n");
  for (const auto& entry : list_.GetItems()) {
    out.append(item).append(u"<RunOrderItem>\r\n");
    out.append(item).append(u"\t<FileName>").append(entry->GetFileName()).append(u"</FileName>\r\n");
    out.append(item).append(u"</RunOrderItem>\r\n");
  }
  out.append(list).append(u"</RunOrderItemList>\r\n");
  out.append(indent).append(u"</RunOrder>\r\n");
  return KV7_TRACE_RETURN(S_OK);
}

void CRunOrder::CopyFrom(const CRunOrder& other) {
  KV7_TRACE_ENTRY("CRunOrder::CopyFrom", 2, "RunOrder");
  list_.CopyFrom(other.list_);
}

void CRunOrder::Reset() {
  KV7_TRACE_ENTRY("CRunOrder::Reset", 2, "RunOrder");
  list_.DeleteAll();
}

HRESULT CRunOrder::FileRenamed(WStringView oldName, WStringView newName) {
  KV7_TRACE_ENTRY("CRunOrder::FileRenamed", 4, "RunOrder");
  bool renamed = false;
  for (const auto& item : list_.GetItems()) {
    if (item->GetFileName() != oldName) continue;
    item->SetFileName(newName);
    renamed = true;
  }
  return KV7_TRACE_RETURN(renamed ? S_OK : S_FALSE);
}

HRESULT CRunOrder::FolderRenamed(WStringView oldFolder, WStringView newFolder) {
  KV7_TRACE_ENTRY("CRunOrder::FolderRenamed", 4, "RunOrder");
  bool renamed = false;
  for (const auto& item : list_.GetItems())
    renamed |= item->FolderRenamed(oldFolder, newFolder) == S_OK;
  return KV7_TRACE_RETURN(renamed ? S_OK : S_FALSE);
}

HRESULT CRunOrder::DeleteObsoleteItems(CMyProjectHierarchy* hierarchy) {
  KV7_TRACE_ENTRY("CRunOrder::DeleteObsoleteItems", 2, "RunOrder");
  return KV7_TRACE_RETURN(list_.DeleteObsoleteItems(hierarchy));
}

std::vector<CFileVwFileNode*> CRunOrder::FindNodes(CMyProjectHierarchy* hierarchy) const {
  KV7_TRACE_ENTRY("CRunOrder::FindNodes", 2, "RunOrder");
  return list_.FindNodes(hierarchy);
}
