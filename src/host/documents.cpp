#include <algorithm>

#include <cerrno>

#include "kv7/platform/errorinfo.h"
#include "kv7/platform/files.h"
#include "services.h"

namespace kv7::host {

HRESULT DocumentService::OpenDocumentViaProject(const char16_t* path, REFGUID, IVsHierarchy*,
                                                VSITEMID) {
  if (path == nullptr) return E_INVALIDARG;
  if (!FileExists(path)) return HResultFromErrno(ENOENT);
  Open(path);
  return S_OK;
}

HRESULT DocumentService::RenameDocument(const char16_t* oldPath, const char16_t* newPath,
                                        IVsHierarchy*, VSITEMID) {
  if (oldPath == nullptr || newPath == nullptr) return E_INVALIDARG;
  renames_.push_back({oldPath, newPath});
  if (auto open = open_.find(WStringView(oldPath)); open != open_.end()) {
    std::optional<WString> unsaved = std::move(open->second);
    open_.erase(open);
    open_[WString(newPath)] = std::move(unsaved);
  }
  return S_OK;
}

HRESULT DocumentService::IsDocumentDirty(const char16_t* path, BOOL* dirty) {
  if (path == nullptr || dirty == nullptr) return E_POINTER;
  auto open = open_.find(WStringView(path));
  *dirty = open != open_.end() && open->second.has_value();
  return open == open_.end() ? S_FALSE : S_OK;
}

HRESULT DocumentService::SaveDocument(const char16_t* path) {
  if (path == nullptr) return E_POINTER;
  auto open = open_.find(WStringView(path));
  if (open == open_.end()) return E_INVALIDARG;
  if (!open->second) return S_OK;
  const std::string bytes = ToUtf8(*open->second);
  HRESULT hr = WriteFileBytes(path, bytes);
  if (SUCCEEDED(hr)) open->second.reset();
  return hr;
}

EnvironmentOptionsService::EnvironmentOptionsService() {
  options_[Key(u"Environment", u"ProjectsAndSolution", u"OnRunOrPreview")] = kSaveChangesAlways;
}

WString EnvironmentOptionsService::Key(WStringView category, WStringView page,
                                       WStringView name) {
  return WString(category) + u"/" + WString(page) + u"/" + WString(name);
}

bool EnvironmentOptionsService::Set(WStringView category, WStringView page, WStringView name,
                                    LONG value) {
  auto found = options_.find(Key(category, page, name));
  if (found == options_.end()) return false;
  found->second = value;
  return true;
}

HRESULT EnvironmentOptionsService::GetOption(const char16_t* category, const char16_t* page,
                                             const char16_t* name, VARIANT* value) {
  if (category == nullptr || page == nullptr || name == nullptr || value == nullptr)
    return E_POINTER;
  auto found = options_.find(Key(category, page, name));
  if (found == options_.end()) return E_INVALIDARG;
  *value = VARIANT::FromInt(found->second);
  return S_OK;
}

HRESULT QueryEditService::QueryEditFiles(DWORD, ULONG count, const char16_t* const* paths,
                                         DWORD* verdict) {
  if (verdict == nullptr || (paths == nullptr && count > 0)) return E_POINTER;
  const auto end = paths + count;
  if (std::find(paths, end, nullptr) != end) return E_INVALIDARG;
  bool mayEdit = std::all_of(paths, end, [this](const char16_t* path) { return MayEdit(path); });
  *verdict = mayEdit ? QER_EditOK : QER_NoEdit_UserCanceled;
  return S_OK;
}

// Without a user to ask, a file the user cannot write stays so: the edit is
// refused as if the user had cancelled the prompt to make it writable. A
// file that does not exist yet may be created.
bool QueryEditService::MayEdit(const char16_t* path) const {
  return !refuseAll_ && SUCCEEDED(CheckFileWritable(path));
}

HRESULT TrackingService::Note(TrackedChange::Kind kind, const char16_t* path,
                              const char16_t* newPath, DWORD flags, BOOL* allowed) {
  if (path == nullptr) return E_POINTER;
  changes_.push_back({kind, path, newPath ? WString(newPath) : WString(), flags});
  if (allowed) *allowed = refuse_ ? FALSE : TRUE;
  return S_OK;
}

HRESULT TrackingService::OnQueryAddFiles(IVsHierarchy*, const char16_t* path, DWORD flags,
                                         BOOL* allowed) {
  return Note(TrackedChange::Kind::QueryAdd, path, nullptr, flags, allowed);
}

HRESULT TrackingService::OnAfterAddFilesEx(IVsHierarchy*, const char16_t* path, DWORD flags) {
  return Note(TrackedChange::Kind::Added, path, nullptr, flags, nullptr);
}

HRESULT TrackingService::OnQueryRenameFile(IVsHierarchy*, const char16_t* oldPath,
                                           const char16_t* newPath, DWORD flags, BOOL* allowed) {
  return Note(TrackedChange::Kind::QueryRename, oldPath, newPath, flags, allowed);
}

HRESULT TrackingService::OnAfterRenameFile(IVsHierarchy*, const char16_t* oldPath,
                                           const char16_t* newPath, DWORD flags) {
  return Note(TrackedChange::Kind::Renamed, oldPath, newPath, flags, nullptr);
}

HRESULT TrackingService::OnQueryRemoveFiles(IVsHierarchy*, const char16_t* path, DWORD flags,
                                            BOOL* allowed) {
  return Note(TrackedChange::Kind::QueryRemove, path, nullptr, flags, allowed);
}

HRESULT TrackingService::OnAfterRemoveFiles(IVsHierarchy*, const char16_t* path, DWORD flags) {
  return Note(TrackedChange::Kind::Removed, path, nullptr, flags, nullptr);
}

HRESULT BuildManagerService::FindActiveProjectCfg(IVsHierarchy* project, IVsProjectCfg** cfg) {
  if (project == nullptr || cfg == nullptr) return E_POINTER;
  *cfg = nullptr;
  if (active_.empty()) return S_FALSE;
  VARIANT value;
  if (FAILED(project->GetProperty(VSITEMID_ROOT, VSHPROPID_ConfigurationProvider, &value)) ||
      value.vt() != VT_UNKNOWN || value.punkVal() == nullptr)
    return S_FALSE;
  ComPtr<IVsCfgProvider2> provider;
  if (FAILED(value.punkVal()->QueryInterface(IVsCfgProvider2::iid(),
                                             reinterpret_cast<void**>(provider.Put()))))
    return S_FALSE;
  return SUCCEEDED(provider->OpenProjectCfg(active_.c_str(), cfg)) ? S_OK : S_FALSE;
}

HRESULT FileChangeService::IgnoreFile(const char16_t* path, BOOL ignore) {
  if (path == nullptr) return E_INVALIDARG;
  if (ignore) {
    ++ignored_[WString(path)];
  } else if (auto found = ignored_.find(WStringView(path));
             found != ignored_.end() && --found->second == 0) {
    ignored_.erase(found);
  }
  return S_OK;
}

}  // namespace kv7::host
