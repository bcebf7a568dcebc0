// The project factory: a new project is a copy of the template named after
// the project; an existing one is opened where it is; a project that cannot
// be set up is closed again and never handed out.
#include "kv7/package/project_factory.h"

#include <gtest/gtest.h>

#include "kv7/platform/files.h"
#include "support/project_fixture.h"
#include "support/project_text.h"

namespace kv7::test {
namespace {

class ProjectFactoryTest : public ProjectFixture {
 protected:
  WString Template() const {
    return FromUtf8(host::TemplatesDirectory()) + u"/" + kKV7ProjectTemplate;
  }

  // Runs the factory; keeps what it hands out for the fixture to close.
  HRESULT Make(const WString& file, const std::filesystem::path& location, const char16_t* name,
               DWORD flags, CMyProjectHierarchy** made = nullptr) {
    CMyProjectFactory factory;
    CMyProjectHierarchy* project = reinterpret_cast<CMyProjectHierarchy*>(0x1);
    BOOL canceled = TRUE;
    HRESULT hr = factory.CreateProject(file.c_str(), W(location).c_str(), name, flags, &project,
                                       &canceled);
    if (FAILED(hr)) {
      EXPECT_EQ(project, nullptr);
      return hr;
    }
    EXPECT_FALSE(canceled);
    projects_.emplace_back(project);
    project->Release();  // the fixture's reference is enough
    if (made) *made = project;
    return hr;
  }
};

TEST_F(ProjectFactoryTest, AnyFileMayBecomeAProject) {
  CMyProjectFactory factory;
  BOOL can = FALSE;
  EXPECT_EQ(factory.CanCreateProject(u"/nowhere/notes.txt", CPF_OPENFILE, &can), S_OK);
  EXPECT_TRUE(can);
  EXPECT_EQ(factory.CanCreateProject(u"x.kv7p", CPF_CLONEFILE, nullptr), E_POINTER);
}

TEST_F(ProjectFactoryTest, NewProjectsAreWritableCopiesOfTheTemplateNamedAfterTheProject) {
  // A read-only template still gives a project that can be saved.
  const std::filesystem::path locked = Path("templates/Locked.kv7p");
  std::filesystem::create_directories(locked.parent_path());
  std::filesystem::copy_file(ToUtf8(Template()), locked);
  ASSERT_EQ(SetFileAttributes(W(locked), FILE_ATTRIBUTE_READONLY), S_OK);
  std::filesystem::create_directories(Path("a"));
  std::filesystem::create_directories(Path("b"));

  CMyProjectHierarchy* project = nullptr;
  ASSERT_EQ(Make(W(locked), Path("a"), u"Sales", CPF_CLONEFILE, &project), S_OK);
  EXPECT_EQ(project->GetProjectFilePath(), W(Path("a/Sales.kv7p")));
  EXPECT_EQ(project->GetProjectNode()->GetName(), u"Sales");
  EXPECT_NE(project->GetProjectNode()->FirstChildNoPopulate(), nullptr);  // default folders
  DWORD attributes = FILE_ATTRIBUTE_READONLY;
  ASSERT_EQ(GetFileAttributes(W(Path("a/Sales.kv7p")), &attributes), S_OK);
  EXPECT_EQ(attributes & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_EQ(project->Save(nullptr, FALSE, 0), S_OK);

  // A name that has the extension keeps it once; a location may end in "/".
  ASSERT_EQ(Make(Template(), Path("b/"), u"Stock.kv7p", CPF_CLONEFILE, &project), S_OK);
  EXPECT_EQ(project->GetProjectFilePath(), W(Path("b/Stock.kv7p")));

  // An existing file is never replaced.
  const std::string before = ReadFile(Path("a/Sales.kv7p"));
  EXPECT_TRUE(FAILED(Make(Template(), Path("a"), u"Sales", CPF_CLONEFILE)));
  EXPECT_EQ(ReadFile(Path("a/Sales.kv7p")), before);

  CMyProjectFactory factory;
  CMyProjectHierarchy* none = nullptr;
  BOOL canceled = FALSE;
  EXPECT_EQ(factory.CreateProject(nullptr, u"/tmp", u"X", CPF_CLONEFILE, &none, &canceled),
            E_INVALIDARG);
  EXPECT_EQ(factory.CreateProject(Template().c_str(), u"/tmp", u"X", CPF_CLONEFILE,
                                  static_cast<CMyProjectHierarchy**>(nullptr), &canceled),
            E_INVALIDARG);
  EXPECT_EQ(factory.CreateProject(Template().c_str(), u"/tmp", u"X", CPF_CLONEFILE, &none,
                                  nullptr),
            E_INVALIDARG);
}

TEST_F(ProjectFactoryTest, ExistingProjectsOpenWhereTheyAreOrNotAtAll) {
  WriteFile(Path("here/Open.kv7p"), Layout(Project("Open", "", "")));
  CMyProjectHierarchy* project = nullptr;
  ASSERT_EQ(Make(W(Path("here/Open.kv7p")), Path("elsewhere"), u"", CPF_OPENFILE, &project), S_OK);
  EXPECT_EQ(project->GetProjectFilePath(), W(Path("here/Open.kv7p")));
  EXPECT_EQ(project->GetProjectFolderPath(), W(Path("here")) + u"/");
  EXPECT_FALSE(std::filesystem::exists(Path("elsewhere")));

  // A file that does not load: the half-made project is let go, not listed.
  WriteFile(Path("here/Broken.kv7p"), "<KV7Project><Files>");
  EXPECT_TRUE(FAILED(Make(W(Path("here/Broken.kv7p")), Path("here"), u"", CPF_OPENFILE)));
  EXPECT_EQ(CMyProjectHierarchy::GlobalFindProjectByName(u"Broken"), nullptr);
  EXPECT_EQ(ReadFile(Path("here/Broken.kv7p")), "<KV7Project><Files>");
}

}  // namespace
}  // namespace kv7::test
