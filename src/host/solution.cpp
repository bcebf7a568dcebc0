#include <algorithm>
#include <iterator>

#include "services.h"

namespace kv7::host {
namespace {

// Steps through a snapshot of the projects taken when it was made.
class ProjectEnum final : public ComObject<IEnumHierarchies> {
 public:
  explicit ProjectEnum(std::vector<ComPtr<IVsHierarchy>> projects)
      : projects_(std::move(projects)) {}

  HRESULT Next(ULONG count, IVsHierarchy** hierarchies, ULONG* fetched) override {
    if (hierarchies == nullptr && count > 0) return E_POINTER;
    ULONG filled = 0;
    for (; filled < count && next_ < projects_.size(); ++filled)
      projects_[next_++].CopyTo(&hierarchies[filled]);
    if (fetched) *fetched = filled;
    return filled == count ? S_OK : S_FALSE;
  }
  HRESULT Reset() override {
    next_ = 0;
    return S_OK;
  }

 private:
  std::vector<ComPtr<IVsHierarchy>> projects_;
  size_t next_ = 0;
};

bool IsOfType(IVsHierarchy* project, REFGUID type) {
  if (type == GUID_NULL) return true;
  GUID actual;
  return SUCCEEDED(project->GetGuidProperty(VSITEMID_ROOT, VSHPROPID_TypeGuid, &actual)) &&
         actual == type;
}

}  // namespace

// Every loaded project counts, whatever the flags ask: a headless solution
// holds no unloaded or virtual projects.
HRESULT SolutionService::GetProjectEnum(DWORD, REFGUID type, IEnumHierarchies** projects) {
  if (projects == nullptr) return E_POINTER;
  std::vector<ComPtr<IVsHierarchy>> matching;
  std::ranges::copy_if(projects_, std::back_inserter(matching),
                       [&type](const ComPtr<IVsHierarchy>& p) { return IsOfType(p.Get(), type); });
  *projects = MakeCom<ProjectEnum>(std::move(matching)).Detach();
  return S_OK;
}

HRESULT SolutionService::AddProject(IVsHierarchy* project) {
  if (project == nullptr || Contains(project)) return E_INVALIDARG;
  HRESULT hr = explorer_->Watch(project);
  if (FAILED(hr)) return hr;
  projects_.emplace_back(project);
  return S_OK;
}

// The project is named by its pointer; the host hands out no cookies.
HRESULT SolutionService::CloseSolutionElement(DWORD, IVsHierarchy* project, DWORD) {
  if (!Contains(project)) return E_INVALIDARG;
  BOOL canClose = TRUE;
  HRESULT hr = project->QueryClose(&canClose);
  if (FAILED(hr)) return hr;
  if (!canClose) return OLE_E_PROMPTSAVECANCELLED;
  return CloseProject(project);
}

bool SolutionService::Contains(IVsHierarchy* project) const {
  return std::ranges::find(projects_, project, &ComPtr<IVsHierarchy>::Get) != projects_.end();
}

void SolutionService::CloseAll() {
  while (!projects_.empty()) CloseProject(projects_.back().Get());
}

HRESULT SolutionService::CloseProject(IVsHierarchy* project) {
  // Holds the project while it closes: taking it out of the list may drop
  // the last reference.
  ComPtr<IVsHierarchy> closing(project);
  HRESULT hr = closing->Close();
  explorer_->Unwatch(project);
  std::erase(projects_, closing);
  return hr;
}

}  // namespace kv7::host
