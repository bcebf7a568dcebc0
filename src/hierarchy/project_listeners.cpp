#include "kv7/hierarchy/project_listeners.h"

#include <algorithm>

#include "kv7/hierarchy/project_hierarchy.h"
#include "kv7/package/package_site.h"
#include "kv7/trace/trace.h"

namespace {

// The IDE's document tracking, or null when it offers none.
ComPtr<IVsTrackProjectDocuments2> Tracker() {
  ComPtr<IVsTrackProjectDocuments2> tracker;
  if (FAILED(QueryPackageService(SID_SVsTrackProjectDocuments, &tracker))) return nullptr;
  return tracker;
}

// A query's answer as the project takes it.
HRESULT Verdict(HRESULT hr, BOOL allowed) {
  if (FAILED(hr)) return hr;
  return allowed ? S_OK : E_ABORT;
}

}  // namespace

// ---- The project's listeners ----------------------------------------------

HRESULT CMyProjectHierarchy::RegisterProjectListener(IKV7ProjectListener* listener) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::RegisterProjectListener", 2, "PrjHier");
  if (listener == nullptr) return KV7_TRACE_RETURN(E_INVALIDARG);
  listeners_.push_back(listener);
  (void)listener->SetTrackingDOM(tracking_document_.Get());
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectHierarchy::UnRegisterProjectListener(IKV7ProjectListener* listener) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::UnRegisterProjectListener", 2, "PrjHier");
  auto found = std::find(listeners_.begin(), listeners_.end(), listener);
  if (found != listeners_.end()) listeners_.erase(found);
  return KV7_TRACE_RETURN(S_OK);
}

template <class Call>
void CMyProjectHierarchy::TellListeners(Call call) {
  // A listener may unregister while it is told: walk a copy.
  std::vector<IKV7ProjectListener*> listeners = listeners_;
  for (IKV7ProjectListener* listener : listeners) (void)call(listener);
}

void CMyProjectHierarchy::FileAdded(WStringView path) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::FileAdded", 2, "PrjHier");
  CComBSTR text(path);
  TellListeners([&](IKV7ProjectListener* l) { return l->FileAdded(text.Get()); });
}

void CMyProjectHierarchy::FileDeleted(WStringView path) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::FileDeleted", 2, "PrjHier");
  CComBSTR text(path);
  TellListeners([&](IKV7ProjectListener* l) { return l->FileDeleted(text.Get()); });
}

void CMyProjectHierarchy::FileRenamed(WStringView oldPath, WStringView newPath) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::FileRenamed", 2, "PrjHier");
  CComBSTR from(oldPath), to(newPath);
  TellListeners([&](IKV7ProjectListener* l) { return l->FileRenamed(from.Get(), to.Get()); });
}

void CMyProjectHierarchy::FolderAdded(WStringView path) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::FolderAdded", 2, "PrjHier");
  CComBSTR text(path);
  TellListeners([&](IKV7ProjectListener* l) { return l->FolderAdded(text.Get()); });
}

void CMyProjectHierarchy::FolderDeleted(WStringView path) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::FolderDeleted", 2, "PrjHier");
  CComBSTR text(path);
  TellListeners([&](IKV7ProjectListener* l) { return l->FolderDeleted(text.Get()); });
}

void CMyProjectHierarchy::FolderRenamed(WStringView oldPath, WStringView newPath) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::FolderRenamed", 2, "PrjHier");
  CComBSTR from(oldPath), to(newPath);
  TellListeners([&](IKV7ProjectListener* l) { return l->FolderRenamed(from.Get(), to.Get()); });
}

void CMyProjectHierarchy::ProjectAdded(WStringView name) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::ProjectAdded", 2, "PrjHier");
  CComBSTR text(name);
  TellListeners([&](IKV7ProjectListener* l) { return l->ProjectAdded(text.Get()); });
}

void CMyProjectHierarchy::ProjectDeleted(WStringView name) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::ProjectDeleted", 2, "PrjHier");
  CComBSTR text(name);
  TellListeners([&](IKV7ProjectListener* l) { return l->ProjectDeleted(text.Get()); });
}

void CMyProjectHierarchy::ProjectRenamed(WStringView oldName, WStringView newName) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::ProjectRenamed", 2, "PrjHier");
  CComBSTR from(oldName), to(newName);
  TellListeners([&](IKV7ProjectListener* l) { return l->ProjectRenamed(from.Get(), to.Get()); });
}

void CMyProjectHierarchy::TrackingDOMChanged() {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::TrackingDOMChanged", 2, "PrjHier");
  TellListeners([](IKV7ProjectListener* l) { return l->TrackingDOMChanged(); });
}

void CMyProjectHierarchy::ShutDownListeners() {
  TellListeners([](IKV7ProjectListener* l) { return l->ShuttingDown(); });
  listeners_.clear();
}

// ---- Document tracking ----------------------------------------------------

CVsTrackProjectDocuments2Helper::CVsTrackProjectDocuments2Helper(IVsHierarchy* project)
    : project_(project) {}

HRESULT CVsTrackProjectDocuments2Helper::CanAddItem(const char16_t* path, DWORD flags) {
  KV7_TRACE_ENTRY("CVsTrackProjectDocuments2Helper::CanAddItem", 2, "TrackPrjDocs");
  if (path == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  ComPtr<IVsTrackProjectDocuments2> tracker = Tracker();
  if (!tracker) return KV7_TRACE_RETURN(S_OK);
  BOOL allowed = TRUE;
  DWORD ide_flags = (flags & 1) != 0 ? VSQUERYADDFILEFLAGS_IsSpecialFile : 0;
  HRESULT hr = tracker->OnQueryAddFiles(project_.Get(), path, ide_flags, &allowed);
  return KV7_TRACE_RETURN(Verdict(hr, allowed));
}

HRESULT CVsTrackProjectDocuments2Helper::OnItemAdded(const char16_t* path, DWORD flags) {
  KV7_TRACE_ENTRY("CVsTrackProjectDocuments2Helper::OnItemAdded", 2, "TrackPrjDocs");
  if (path == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  ComPtr<IVsTrackProjectDocuments2> tracker = Tracker();
  if (!tracker) return KV7_TRACE_RETURN(S_OK);
  return KV7_TRACE_RETURN(tracker->OnAfterAddFilesEx(project_.Get(), path, flags));
}

HRESULT CVsTrackProjectDocuments2Helper::CanRenameItem(const char16_t* oldPath,
                                                       const char16_t* newPath, DWORD flags) {
  KV7_TRACE_ENTRY("CVsTrackProjectDocuments2Helper::CanRenameItem", 2, "TrackPrjDocs");
  if (oldPath == nullptr || newPath == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  ComPtr<IVsTrackProjectDocuments2> tracker = Tracker();
  if (!tracker) return KV7_TRACE_RETURN(S_OK);
  BOOL allowed = TRUE;
  HRESULT hr = tracker->OnQueryRenameFile(project_.Get(), oldPath, newPath, flags, &allowed);
  return KV7_TRACE_RETURN(Verdict(hr, allowed));
}

HRESULT CVsTrackProjectDocuments2Helper::OnAfterItemRenamed(const char16_t* oldPath,
                                                            const char16_t* newPath, DWORD flags) {
  KV7_TRACE_ENTRY("CVsTrackProjectDocuments2Helper::OnAfterItemRenamed", 2, "TrackPrjDocs");
  if (oldPath == nullptr || newPath == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  ComPtr<IVsTrackProjectDocuments2> tracker = Tracker();
  if (!tracker) return KV7_TRACE_RETURN(S_OK);
  return KV7_TRACE_RETURN(tracker->OnAfterRenameFile(project_.Get(), oldPath, newPath, flags));
}

HRESULT CVsTrackProjectDocuments2Helper::CanDeleteItem(const char16_t* path, DWORD flags) {
  KV7_TRACE_ENTRY("CVsTrackProjectDocuments2Helper::CanDeleteItem", 2, "TrackPrjDocs");
  if (path == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  ComPtr<IVsTrackProjectDocuments2> tracker = Tracker();
  if (!tracker) return KV7_TRACE_RETURN(S_OK);
  BOOL allowed = TRUE;
  HRESULT hr = tracker->OnQueryRemoveFiles(project_.Get(), path, flags, &allowed);
  return KV7_TRACE_RETURN(Verdict(hr, allowed));
}

HRESULT CVsTrackProjectDocuments2Helper::OnItemDeleted(const char16_t* path, DWORD flags) {
  KV7_TRACE_ENTRY("CVsTrackProjectDocuments2Helper::OnItemDeleted", 2, "TrackPrjDocs");
  if (path == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  ComPtr<IVsTrackProjectDocuments2> tracker = Tracker();
  if (!tracker) return KV7_TRACE_RETURN(S_OK);
  DWORD ide_flags = (flags & 1) != 0 ? VSREMOVEFILEFLAGS_IsDirectoryBased : 0;
  return KV7_TRACE_RETURN(tracker->OnAfterRemoveFiles(project_.Get(), path, ide_flags));
}
