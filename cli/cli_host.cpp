#include "cli_host.h"

#include "kv7/package/package_site.h"
#include "kv7/package/project_factory.h"

namespace kv7::cli {
namespace {

// The project template, as the project type registered it.
constexpr char16_t kTemplateName[] = u"KV7PrjProjects\\KV7Project.kv7p";

HRESULT AsProject(const ComPtr<IVsHierarchy>& hierarchy, ComPtr<CMyProjectHierarchy>* project) {
  auto* mine = dynamic_cast<CMyProjectHierarchy*>(hierarchy.Get());
  if (mine == nullptr) return E_NOINTERFACE;
  *project = mine;
  return S_OK;
}

}  // namespace

CliHost::CliHost() {
  SetPackageServiceProvider(host_.ServiceProvider());
  ComPtr<IVsRegisterProjectTypes> types;
  if (SUCCEEDED(QueryPackageService(SID_SVsRegisterProjectTypes, &types)))
    (void)types->RegisterProjectType(GUID_MyProjectType, MakeCom<CMyProjectFactory>().Get(),
                                     &factory_cookie_);
}

CliHost::~CliHost() {
  for (IVsHierarchy* project : host_.Projects())
    (void)host_.Solution()->CloseSolutionElement(0, project, 0);
  ComPtr<IVsRegisterProjectTypes> types;
  if (SUCCEEDED(QueryPackageService(SID_SVsRegisterProjectTypes, &types)))
    (void)types->UnregisterProjectType(factory_cookie_);
  SetPackageServiceProvider(nullptr);
}

HRESULT CliHost::OpenProject(const WString& path, ComPtr<CMyProjectHierarchy>* project) {
  ComPtr<IVsHierarchy> opened;
  HRESULT hr = host_.Solution()->CreateProject(GUID_MyProjectType, path.c_str(), u"", u"",
                                               CPF_OPENFILE, opened.Put());
  return FAILED(hr) ? hr : AsProject(opened, project);
}

HRESULT CliHost::CreateProject(const WString& path, ComPtr<CMyProjectHierarchy>* project) {
  CComBSTR template_file;
  HRESULT hr = host_.Solution()->GetProjectTemplateFile(kTemplateName, template_file.Put());
  if (FAILED(hr)) return hr;
  size_t slash = path.find_last_of(u'/');
  WString directory = path.substr(0, slash + 1), name = path.substr(slash + 1);
  ComPtr<IVsHierarchy> created;
  hr = host_.Solution()->CreateProject(GUID_MyProjectType, template_file.Get(), directory.c_str(),
                                       name.c_str(), CPF_CLONEFILE, created.Put());
  return FAILED(hr) ? hr : AsProject(created, project);
}

std::vector<CMyProjectHierarchy*> CliHost::Projects() const {
  std::vector<CMyProjectHierarchy*> projects;
  for (IVsHierarchy* project : host_.Projects())
    if (auto* mine = dynamic_cast<CMyProjectHierarchy*>(project)) projects.push_back(mine);
  return projects;
}

}  // namespace kv7::cli
