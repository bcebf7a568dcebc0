// Fixture for tests that open real projects: a quiet headless host sited as
// the package's service provider, projects opened or created through the
// project factory in the scratch directory and closed with the fixture.
// Header-only: only binaries that link the system and the host include it.
#pragma once

#include <string>
#include <vector>

#include "kv7/host/host.h"
#include "kv7/host/install_paths.h"
#include "kv7/package/package_site.h"
#include "kv7/package/project_factory.h"
#include "support/test_support.h"

namespace kv7::test {

// A native path as the system's wide string.
inline WString W(const std::filesystem::path& path) { return FromUtf8(path.string()); }

// Names of a container's children, in tree order.
inline std::vector<std::string> ChildNames(CHierContainer* container) {
  std::vector<std::string> names;
  for (CHierNode* child = container->FirstChildNoPopulate(); child; child = child->GetNext())
    names.push_back(ToUtf8(child->GetName()));
  return names;
}

// Whether the project or its built-files record needs saving.
inline bool Dirty(CMyProjectHierarchy* project) {
  BOOL dirty = FALSE;
  EXPECT_EQ(project->IsDirty(&dirty), S_OK);
  return dirty != FALSE;
}

class ProjectFixture : public ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    host_.SetQuiet(true);
    SetPackageServiceProvider(host_.ServiceProvider());
  }
  void TearDown() override {
    for (auto& project : projects_) (void)project->Close();
    projects_.clear();
    SetPackageServiceProvider(nullptr);
    ScratchDir::TearDown();
  }

  // Opens an existing project file; null (with *status set) on failure.
  CMyProjectHierarchy* Open(const std::filesystem::path& file, HRESULT* status = nullptr) {
    CMyProjectFactory factory;
    ComPtr<CMyProjectHierarchy> project;
    BOOL canceled = FALSE;
    HRESULT hr =
        factory.CreateProject(W(file).c_str(), u"", u"", CPF_OPENFILE, project.Put(), &canceled);
    if (status)
      *status = hr;
    else
      EXPECT_EQ(hr, S_OK) << file;
    if (FAILED(hr)) return nullptr;
    projects_.push_back(project);
    return project.Get();
  }
  // Writes a project file and opens it.
  CMyProjectHierarchy* OpenText(const std::filesystem::path& file, const std::string& text) {
    WriteFile(file, text);
    return Open(file);
  }
  // Creates a new project NAME.kv7p in `directory` from the template.
  CMyProjectHierarchy* Create(const std::filesystem::path& directory, const std::u16string& name) {
    std::filesystem::create_directories(directory);
    WString source = FromUtf8(host::TemplatesDirectory()) + u"/" + kKV7ProjectTemplate;
    CMyProjectFactory factory;
    ComPtr<CMyProjectHierarchy> project;
    BOOL canceled = FALSE;
    EXPECT_EQ(factory.CreateProject(source.c_str(), W(directory).c_str(), name.c_str(),
                                    CPF_CLONEFILE, project.Put(), &canceled),
              S_OK);
    if (!project) return nullptr;
    projects_.push_back(project);
    return project.Get();
  }

  host::CHost host_;
  std::vector<ComPtr<CMyProjectHierarchy>> projects_;
};

}  // namespace kv7::test
