#include "kv7/package/project_factory.h"

#include "kv7/platform/errorinfo.h"
#include "kv7/platform/files.h"
#include "kv7/trace/trace.h"
#include "kv7/util/path_names.h"

HRESULT CMyProjectFactory::CanCreateProject(const char16_t*, DWORD, BOOL* canCreate) {
  KV7_TRACE_ENTRY("CMyProjectFactory::CanCreateProject", 2, "PrjFactory");
  if (canCreate == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *canCreate = TRUE;
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectFactory::CreateProject(const char16_t* fileName, const char16_t* location,
                                         const char16_t* name, DWORD flags,
                                         CMyProjectHierarchy** project, BOOL* canceled) {
  KV7_TRACE_ENTRY("CMyProjectFactory::CreateProject", 2, "PrjFactory");
  if (fileName == nullptr || project == nullptr || canceled == nullptr)
    return KV7_TRACE_RETURN(E_INVALIDARG);
  *project = nullptr;
  WString path(fileName);
  WString directory(location ? location : u"");
  if ((flags & CPF_OPENFILE) == 0) {
    // A new project: the template is copied to location/name.kv7p.
    WString project_name(name ? name : u"");
    if (!kv7::EndsWithNoCase(project_name, u".kv7p")) project_name += u".kv7p";
    if (!directory.empty() && directory.back() != u'/') directory += u'/';
    path = directory + project_name;
    HRESULT hr = kv7::CopyFileNoOverwrite(fileName, path);
    if (FAILED(hr)) return KV7_TRACE_RETURN(kv7::ReportError(hr));
    DWORD attributes = 0;
    if (SUCCEEDED(kv7::GetFileAttributes(path, &attributes)))
      (void)kv7::SetFileAttributes(path, attributes & ~FILE_ATTRIBUTE_READONLY);
  } else {
    directory = DirectoryWithSlash(path);
  }
  ComPtr<CMyProjectHierarchy> hierarchy = CMyProjectHierarchy::CreateInstance();
  HRESULT hr = hierarchy->Init(path.c_str(), directory.c_str(), name ? name : u"", flags, canceled);
  if (FAILED(hr)) {
    (void)hierarchy->Close();
    return KV7_TRACE_RETURN(hr);
  }
  *project = hierarchy.Detach();
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectFactory::CreateProject(const char16_t* fileName, const char16_t* location,
                                         const char16_t* name, DWORD flags,
                                         IVsHierarchy** project, BOOL* canceled) {
  KV7_TRACE_ENTRY("CMyProjectFactory::CreateProject", 2, "PrjFactory");
  if (project == nullptr) return KV7_TRACE_RETURN(E_INVALIDARG);
  ComPtr<CMyProjectHierarchy> created;
  HRESULT hr = CreateProject(fileName, location, name, flags, created.Put(), canceled);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  *project = static_cast<IVsHierarchy*>(created.Detach());
  return KV7_TRACE_RETURN(S_OK);
}
