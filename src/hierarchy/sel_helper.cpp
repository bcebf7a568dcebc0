#include "kv7/hierarchy/sel_helper.h"

#include "kv7/hierarchy/project_hierarchy.h"
#include "kv7/package/package_site.h"
#include "kv7/trace/trace.h"

namespace {

// Whether an item of this hierarchy can still be selected: a project of
// this package must still have its project node.
bool IsOpen(IVsHierarchy* hierarchy) {
  auto* project = dynamic_cast<CMyProjectHierarchy*>(hierarchy);
  return hierarchy != nullptr && (project == nullptr || project->GetProjectNode() != nullptr);
}

}  // namespace

HRESULT CKV7SelHelper::Remember() {
  KV7_TRACE_ENTRY("CKV7SelHelper::Remember", 2, "SelHelper");
  ComPtr<IVsMonitorSelection> monitor;
  HRESULT hr = QueryPackageService(SID_SVsShellMonitorSelection, &monitor);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  hr = monitor->GetCurrentSelection(hierarchy_.Put(), &item_, multi_.Put());
  if (FAILED(hr) || !multi_) return KV7_TRACE_RETURN(hr);
  BOOL single_hierarchy = FALSE;
  hr = multi_->GetSelectionInfo(&count_, &single_hierarchy);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  std::vector<VSITEMSELECTION> selected(count_);
  hr = multi_->GetSelectedItems(0, count_, selected.data());
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  for (const VSITEMSELECTION& entry : selected) {
    ComPtr<IVsHierarchy> owner;
    owner.Attach(entry.pHier);
    items_.emplace_back(std::move(owner), entry.itemid);
  }
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7SelHelper::Restore() {
  KV7_TRACE_ENTRY("CKV7SelHelper::Restore", 2, "SelHelper");
  ComPtr<IVsUIHierarchyWindow> window;
  HRESULT hr = QueryPackageService(SID_SVsUIHierarchyWindow, &window);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  if (!multi_) {
    if (IsOpen(hierarchy_.Get())) hr = window->ExpandItem(hierarchy_.Get(), item_, EXPF_SelectItem);
    return KV7_TRACE_RETURN(hr);
  }
  DWORD flags = EXPF_SelectItem;
  for (const auto& [hierarchy, item] : items_) {
    if (!IsOpen(hierarchy.Get())) continue;
    (void)window->ExpandItem(hierarchy.Get(), item, flags);
    flags = EXPF_AddSelectItem;
  }
  return KV7_TRACE_RETURN(S_OK);
}
