// Observers of a project. Other components register project listeners with
// a project (CMyProjectHierarchy::RegisterProjectListener) and hear, in
// registration order and on the UI thread, what happens to its files,
// folders and the project itself. The IDE's document tracking, in turn, is
// asked before a file is added, renamed or removed and told afterwards,
// through CVsTrackProjectDocuments2Helper.
#pragma once

#include "kv7/host/ide.h"
#include "kv7/platform/xmldom.h"

// A project listener. Paths are full paths; names are project names. What
// the operations return is ignored by the project.
struct IKV7ProjectListener : IUnknown {
  KV7_INTERFACE(IUnknown, "A3C9E5D1-6B27-4F0E-8D14-5C7B2E9F0A31")

  virtual HRESULT FileAdded(const char16_t* path) = 0;
  virtual HRESULT FileDeleted(const char16_t* path) = 0;
  virtual HRESULT FileRenamed(const char16_t* oldPath, const char16_t* newPath) = 0;
  virtual HRESULT FolderAdded(const char16_t* path) = 0;
  virtual HRESULT FolderDeleted(const char16_t* path) = 0;
  virtual HRESULT FolderRenamed(const char16_t* oldPath, const char16_t* newPath) = 0;
  virtual HRESULT ProjectAdded(const char16_t* name) = 0;
  virtual HRESULT ProjectDeleted(const char16_t* name) = 0;
  virtual HRESULT ProjectRenamed(const char16_t* oldName, const char16_t* newName) = 0;
  // The project is closing; the listener is forgotten after this call.
  virtual HRESULT ShuttingDown() = 0;
  // An item entered, updated or removed its information in the project's
  // tracking document.
  virtual HRESULT TrackingDOMChanged() = 0;
  // The project's tracking document, handed over at registration.
  virtual HRESULT SetTrackingDOM(IXMLDOMDocument* document) = 0;
};

// Carries a project's calls to the IDE's document tracking. Each call asks
// for the service at the time of the call; without it the call does
// nothing and succeeds, so adds, renames and removals go ahead.
class CVsTrackProjectDocuments2Helper {
 public:
  // Keeps a reference to the project while it lives.
  explicit CVsTrackProjectDocuments2Helper(IVsHierarchy* project);

  // Caller flag 1 marks a special file. E_ABORT when the IDE refuses;
  // E_POINTER for a missing path.
  HRESULT CanAddItem(const char16_t* path, DWORD flags = 0);
  HRESULT OnItemAdded(const char16_t* path, DWORD flags = 0);
  HRESULT CanRenameItem(const char16_t* oldPath, const char16_t* newPath, DWORD flags = 0);
  HRESULT OnAfterItemRenamed(const char16_t* oldPath, const char16_t* newPath, DWORD flags = 0);
  HRESULT CanDeleteItem(const char16_t* path, DWORD flags = 0);
  // Caller flag 1 marks a directory.
  HRESULT OnItemDeleted(const char16_t* path, DWORD flags = 0);

 private:
  ComPtr<IVsHierarchy> project_;
};
