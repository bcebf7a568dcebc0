// Fixture for tests that open real projects: a quiet headless host sited as
// the package's service provider, projects opened or created through the
// project factory in the scratch directory and closed with the fixture.
// Header-only: only binaries that link the system and the host include it.
#pragma once

#include <string>
#include <vector>

#include "kv7/build/configurations.h"
#include "kv7/helper/helper.h"
#include "kv7/host/host.h"
#include "kv7/host/install_paths.h"
#include "kv7/package/package_site.h"
#include "kv7/package/project_factory.h"
#include "support/test_support.h"

namespace kv7::test {

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

  // Writes `file` (a path below the scratch directory; not when `onDisk` is
  // false) and adds it to `container` (the project node when null) as
  // loading would; the new node.
  CFileVwFileNode* AddFile(CMyProjectHierarchy* project, CFileVwFolderNode* container,
                           const std::string& file, bool onDisk = true) {
    if (onDisk) WriteFile(Path(file), "--\n");
    CFileVwProjNode* root = project->GetProjectNode();
    CFileVwFileNode* node = nullptr;
    EXPECT_EQ(root->AddExistingFile(container ? container : root, W(Path(file)), &node), S_OK)
        << file;
    return node;
  }

  // Adds a SQLite connection "t" on `database` to the catalogue, as the
  // default, and gives it to `cfg` as the catalogue hands it out.
  static void ConnectSqlite(CMyProjectCfg* cfg, const std::string& database) {
    ASSERT_EQ(CCommandHelperHook().AddConnection(
                  FromUtf8("<DATACONNECTION DBCONNNAME=\"t\" DBTYPE=\"SQLITE\" DATABASE=\"" +
                           database + "\"/>").c_str(),
                  TRUE),
              S_OK);
    CComBSTR element;
    ASSERT_EQ(CTaskHelperHook().GetConnXML(u"t", element.Put()), S_OK);
    ASSERT_EQ(cfg->SetConnection(element.ToString().c_str()), S_OK);
  }

  // Renames a node as the IDE does, through its label.
  static HRESULT Rename(CMyProjectHierarchy* project, CHierNode* node, const char16_t* name) {
    return project->SetProperty(node->GetVsItemID(), VSHPROPID_EditLabel,
                                VARIANT::FromString(name));
  }

  host::CHost host_;
  std::vector<ComPtr<CMyProjectHierarchy>> projects_;
};

}  // namespace kv7::test
