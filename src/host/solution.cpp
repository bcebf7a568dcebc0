#include <algorithm>
#include <iterator>

#include "kv7/host/install_paths.h"
#include "kv7/platform/files.h"
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

HRESULT SolutionService::CreateSolution(const char16_t* folder, const char16_t*, DWORD) {
  if (folder == nullptr) return E_INVALIDARG;
  return projects_.empty() ? S_OK : VS_E_SOLUTIONALREADYOPEN;
}

HRESULT SolutionService::CreateProject(REFGUID type, const char16_t* path,
                                       const char16_t* location, const char16_t* name,
                                       DWORD flags, IVsHierarchy** project) {
  if (path == nullptr) return E_INVALIDARG;
  IVsProjectFactory* factory = types_->Find(type);
  if (factory == nullptr) return E_NOINTERFACE;
  ComPtr<IVsHierarchy> created;
  BOOL canceled = FALSE;
  HRESULT hr = factory->CreateProject(path, location, name, flags, created.Put(), &canceled);
  if (FAILED(hr)) return hr;
  if ((flags & CPF_CLONEFILE) != 0) {
    ComPtr<IPersistFileFormat> file;
    hr = created->QueryInterface(IPersistFileFormat::iid(), reinterpret_cast<void**>(file.Put()));
    if (SUCCEEDED(hr)) hr = file->InitNew(0);
    if (SUCCEEDED(hr)) hr = file->Save(nullptr, FALSE, 0);
    if (FAILED(hr)) {
      (void)created->Close();
      return hr;
    }
  }
  hr = AddProject(created.Get());
  if (FAILED(hr)) return hr;
  return project ? created.CopyTo(project) : S_OK;
}

HRESULT SolutionService::GetProjectTemplateFile(const char16_t* templateName, BSTR* fullPath) {
  if (templateName == nullptr || fullPath == nullptr) return E_POINTER;
  std::string root = TemplatesDirectory();
  if (root.empty()) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
  WString name(templateName);
  std::replace(name.begin(), name.end(), u'\\', u'/');
  WString path = FromUtf8(root) + u"/" + name;
  if (!FileExists(path)) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  *fullPath = SysAllocWString(path);
  return S_OK;
}

IVsProjectFactory* ProjectTypesService::Find(REFGUID type) const {
  auto found = std::ranges::find(registrations_, type, &Registration::type);
  return found == registrations_.end() ? nullptr : found->factory.Get();
}

HRESULT ProjectTypesService::RegisterProjectType(REFGUID type, IVsProjectFactory* factory,
                                                 DWORD* cookie) {
  if (factory == nullptr || cookie == nullptr) return E_INVALIDARG;
  if (Find(type) != nullptr) return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
  *cookie = next_cookie_++;
  registrations_.push_back({type, factory, *cookie});
  return S_OK;
}

HRESULT ProjectTypesService::UnregisterProjectType(DWORD cookie) {
  return std::erase_if(registrations_, [cookie](const Registration& r) {
           return r.cookie == cookie;
         }) == 1
             ? S_OK
             : E_INVALIDARG;
}

}  // namespace kv7::host
