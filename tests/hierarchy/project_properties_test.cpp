// What the project hierarchy answers the IDE beyond the tree itself: the
// project identifier and owner key properties, icons, the current file,
// whether an item may be removed or deleted, and the project's editor map.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "kv7/hierarchy/object_nodes.h"
#include "kv7/platform/registry.h"
#include "support/project_fixture.h"

namespace kv7::test {
namespace {

constexpr GUID kSomeProject = MakeGuid("0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0");
constexpr GUID kOtherProject = MakeGuid("11111111-2222-3333-4444-555555555555");

class ProjectPropertiesTest : public ProjectFixture {
 protected:
  // A new project with one table item, added to the host's solution so
  // that the host records what the project tells it.
  void SetUp() override {
    ProjectFixture::SetUp();
    project_ = Create(Path("p"), u"Props");
    ASSERT_NE(project_, nullptr);
    ASSERT_EQ(host_.Solution()->AddProject(project_), S_OK);
    root_ = project_->GetProjectNode();
    item_ = AddFile(project_, project_->FindFolder(u"Tables"), "p/Tables/orders.kv7tbl");
    ASSERT_NE(item_, nullptr);
  }

  // How many times the project told the host that the property changed.
  size_t PropertyChanges(VSITEMID item, VSHPROPID property) const {
    const auto& events = host_.HierarchyEvents();
    return static_cast<size_t>(
        std::count_if(events.begin(), events.end(), [&](const host::HierarchyEvent& event) {
          return event.kind == host::HierarchyEvent::Kind::PropertyChanged &&
                 event.hierarchy == project_ && event.item == item && event.property == property;
        }));
  }

  WString OwnerKey() {
    VARIANT value;
    EXPECT_EQ(project_->GetProperty(VSITEMID_ROOT, VSHPROPID_OwnerKey, &value), S_OK);
    return WString(value.bstrVal(), SysStringLen(value.bstrVal()));
  }

  CMyProjectHierarchy* project_ = nullptr;
  CFileVwProjNode* root_ = nullptr;
  CFileVwFileNode* item_ = nullptr;
};

TEST_F(ProjectPropertiesTest, ProjectIdentifierIsStoredByTheNodeItIsSetOn) {
  GUID id = kOtherProject;
  EXPECT_EQ(project_->GetGuidProperty(VSITEMID_ROOT, VSHPROPID_ProjectIDGuid, &id), E_FAIL);
  EXPECT_EQ(id, kOtherProject);
  EXPECT_EQ(project_->GetGuidProperty(VSITEMID_ROOT, VSHPROPID_ProjectIDGuid, nullptr),
            E_INVALIDARG);

  ASSERT_EQ(project_->SetGuidProperty(VSITEMID_ROOT, VSHPROPID_ProjectIDGuid, kSomeProject), S_OK);
  EXPECT_EQ(project_->GetGuidProperty(VSITEMID_ROOT, VSHPROPID_ProjectIDGuid, &id), S_OK);
  EXPECT_EQ(id, kSomeProject);
  EXPECT_EQ(PropertyChanges(VSITEMID_ROOT, VSHPROPID_ProjectIDGuid), 1u);

  // Items and folders are nodes of the file view too: each keeps its own,
  // and the project's stays as it was.
  CFileVwFolderNode* tables = project_->FindFolder(u"Tables");
  for (CFileVwBaseNode* node : {static_cast<CFileVwBaseNode*>(item_),
                                static_cast<CFileVwBaseNode*>(tables)}) {
    EXPECT_EQ(
        project_->SetGuidProperty(node->GetVsItemID(), VSHPROPID_ProjectIDGuid, kOtherProject),
        S_OK);
    EXPECT_EQ(node->GetProjectGuid(), kOtherProject);
    EXPECT_EQ(PropertyChanges(node->GetVsItemID(), VSHPROPID_ProjectIDGuid), 1u);
  }
  EXPECT_EQ(root_->GetProjectGuid(), kSomeProject);

  EXPECT_EQ(project_->SetGuidProperty(VSITEMID_ROOT, VSHPROPID_TypeGuid, kOtherProject),
            DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(project_->GetGuidProperty(item_->GetVsItemID(), VSHPROPID_CmdUIGuid, &id), S_OK);
  EXPECT_EQ(id, GUID_KV7CmdUI);

  ASSERT_EQ(project_->Close(), S_OK);
  EXPECT_EQ(project_->SetGuidProperty(VSITEMID_ROOT, VSHPROPID_ProjectIDGuid, kOtherProject),
            E_UNEXPECTED);
}

TEST_F(ProjectPropertiesTest, OwnerKeyChangesWhenItDiffersAndTheFileMayBeEdited) {
  ASSERT_EQ(project_->Save(nullptr, FALSE, 0), S_OK);
  EXPECT_EQ(OwnerKey(), u"");

  ASSERT_EQ(project_->SetProperty(VSITEMID_ROOT, VSHPROPID_OwnerKey, VARIANT::FromString(u"Key")),
            S_OK);
  EXPECT_EQ(OwnerKey(), u"Key");
  EXPECT_TRUE(Dirty(project_));
  EXPECT_EQ(PropertyChanges(VSITEMID_ROOT, VSHPROPID_OwnerKey), 1u);

  // The same key in other letters is no change.
  ASSERT_EQ(project_->Save(nullptr, FALSE, 0), S_OK);
  ASSERT_EQ(project_->SetProperty(VSITEMID_ROOT, VSHPROPID_OwnerKey, VARIANT::FromString(u"KEY")),
            S_OK);
  EXPECT_EQ(OwnerKey(), u"Key");
  EXPECT_FALSE(Dirty(project_));

  host_.RefuseEdits(true);
  ASSERT_EQ(
      project_->SetProperty(VSITEMID_ROOT, VSHPROPID_OwnerKey, VARIANT::FromString(u"Other")),
      S_OK);
  EXPECT_EQ(OwnerKey(), u"Key");
  EXPECT_FALSE(Dirty(project_));
  host_.RefuseEdits(false);

  EXPECT_EQ(project_->SetProperty(VSITEMID_ROOT, VSHPROPID_OwnerKey, VARIANT::FromInt(1)),
            E_INVALIDARG);
}

TEST_F(ProjectPropertiesTest, IconsComeFromTheImageListOnly) {
  VARIANT value;
  CFileVwFolderNode* tables = project_->FindFolder(u"Tables");
  EXPECT_EQ(project_->GetProperty(tables->GetVsItemID(), VSHPROPID_StateIconIndex, &value), S_OK);
  EXPECT_EQ(value.lVal(), 0);
  // The package has no shared image list: no image for any state.
  for (VSHPROPID icon : {VSHPROPID_IconIndex, VSHPROPID_OpenFolderIconIndex}) {
    EXPECT_EQ(project_->GetProperty(tables->GetVsItemID(), icon, &value), S_OK);
    EXPECT_EQ(value.lVal(), -1);
  }
  EXPECT_EQ(project_->GetProperty(VSITEMID_ROOT, VSHPROPID_IconImgList, &value),
            DISP_E_MEMBERNOTFOUND);
}

TEST_F(ProjectPropertiesTest, CurrentFileIsACopyOfTheProjectFilePath) {
  CComBSTR file;
  DWORD format = 7;
  ASSERT_EQ(project_->GetCurFile(file.Put(), &format), S_OK);
  EXPECT_EQ(file.ToString(), W(Path("p/Props.kv7p")));
  EXPECT_EQ(format, 0u);
  EXPECT_EQ(project_->GetCurFile(nullptr, &format), E_INVALIDARG);
  CComBSTR untouched;
  EXPECT_EQ(project_->GetCurFile(untouched.Put(), nullptr), E_INVALIDARG);
  EXPECT_TRUE(untouched.IsNull());
}

TEST_F(ProjectPropertiesTest, OnlyTheProjectItselfCannotBeDeletedFromDisk) {
  BOOL allowed = TRUE;
  EXPECT_EQ(project_->QueryDeleteItem(DELITEMOP_DeleteFromStorage, VSITEMID_ROOT, &allowed), S_OK);
  EXPECT_FALSE(allowed);
  EXPECT_EQ(project_->QueryDeleteItem(DELITEMOP_RemoveFromProject, VSITEMID_ROOT, &allowed), S_OK);
  EXPECT_TRUE(allowed);

  const VSITEMID folder = project_->FindFolder(u"Tables")->GetVsItemID();
  for (VSITEMID item : {item_->GetVsItemID(), folder}) {
    for (DWORD operation : {DELITEMOP_DeleteFromStorage, DELITEMOP_RemoveFromProject}) {
      allowed = FALSE;
      EXPECT_EQ(project_->QueryDeleteItem(operation, item, &allowed), S_OK);
      EXPECT_TRUE(allowed);
    }
    EXPECT_EQ(project_->QueryDeleteItem(3, item, &allowed), S_OK);
    EXPECT_FALSE(allowed);
  }

  EXPECT_EQ(project_->QueryDeleteItem(DELITEMOP_RemoveFromProject, folder, nullptr), E_POINTER);
  EXPECT_EQ(project_->QueryDeleteItem(DELITEMOP_RemoveFromProject, VSITEMID_SELECTION, &allowed),
            E_UNEXPECTED);
  EXPECT_EQ(project_->QueryDeleteItem(DELITEMOP_RemoveFromProject, 0x7ffe1234u, &allowed), E_FAIL);
  // Asking changes nothing.
  EXPECT_EQ(project_->VSITEMID2FileNode(item_->GetVsItemID()), item_);
}

TEST_F(ProjectPropertiesTest, ScriptsProceduresAndFunctionsOpenInThePackagesEditor) {
  for (const char16_t* path : {u"/p/a.kv7", u"/p/b.KV7SP", u"/p/c.kv7udf", u"/p.kv7sp/d.Kv7Udf"}) {
    GUID editor = GUID_NULL, language = GUID_NULL;
    EXPECT_EQ(project_->GetSpecificEditorType(path, &editor), S_OK) << ToUtf8(path);
    EXPECT_EQ(editor, GUID_KV7SqlEditorFactory);
    EXPECT_EQ(project_->GetSpecificLanguageService(path, &language), S_OK);
    EXPECT_EQ(language, GUID_KV7SqlEditorFactory);
  }
  for (const char16_t* path : {u"/p/e.kv7tbl", u"/p/f.kv7sp.bak", u"/p.kv7/noext", u"kv7sp"}) {
    GUID editor = GUID_NULL;
    EXPECT_EQ(project_->GetSpecificEditorType(path, &editor), E_FAIL) << ToUtf8(path);
    EXPECT_EQ(project_->GetSpecificLanguageService(path, &editor), E_FAIL);
    EXPECT_EQ(editor, GUID_NULL);
  }
  GUID editor;
  EXPECT_EQ(project_->GetSpecificEditorType(nullptr, &editor), E_POINTER);
  EXPECT_EQ(project_->GetSpecificEditorType(u"a.kv7", nullptr), E_POINTER);
  EXPECT_EQ(project_->GetSpecificLanguageService(nullptr, &editor), E_POINTER);
}

TEST_F(ProjectPropertiesTest, EditorMapReadsTheUsersChoicesUnderTheProjectTypesKey) {
  WString key;
  ASSERT_EQ(project_->GetProjectEditorsKeyStringW(key), S_OK);
  EXPECT_EQ(key, WString(host::kIdeRegistryRoot) +
                     u"\\Projects\\{DE64B6B2-0658-11D7-A99C-00B0D0E90F40}\\Editors");

  // No key: nothing uses the global editor.
  EXPECT_EQ(project_->InitProjectSpecificEditorMap(), S_FALSE);
  EXPECT_FALSE(project_->UsesGlobalEditorByDefault(u".kv7sp"));

  for (auto [extension, value] : {std::pair{u".kv7sp", 1u}, {u".kv7", 0u}, {u".kv7tbl", 1u}}) {
    CRegKey settings;
    ASSERT_EQ(settings.Create(HKEY_CURRENT_USER, key + u"\\" + extension), ERROR_SUCCESS);
    ASSERT_EQ(settings.SetDWORDValue(u"UseGlobalEditorByDefault", value), ERROR_SUCCESS);
  }
  CRegKey text;
  ASSERT_EQ(text.Create(HKEY_CURRENT_USER, key + u"\\.kv7udf"), ERROR_SUCCESS);
  ASSERT_EQ(text.SetStringValue(u"UseGlobalEditorByDefault", u"1"), ERROR_SUCCESS);

  EXPECT_EQ(project_->InitProjectSpecificEditorMap(), S_OK);
  EXPECT_TRUE(project_->UsesGlobalEditorByDefault(u".kv7sp"));
  EXPECT_TRUE(project_->UsesGlobalEditorByDefault(u".KV7SP"));
  EXPECT_FALSE(project_->UsesGlobalEditorByDefault(u".kv7"));
  EXPECT_FALSE(project_->UsesGlobalEditorByDefault(u".kv7udf"));  // not a number
  EXPECT_FALSE(project_->UsesGlobalEditorByDefault(u".kv7tbl"));  // not in the map

  // Without the IDE's registry root there is no key to read.
  SetPackageServiceProvider(nullptr);
  EXPECT_TRUE(FAILED(project_->GetProjectEditorsKeyStringW(key)));
  EXPECT_TRUE(FAILED(project_->InitProjectSpecificEditorMap()));
  EXPECT_FALSE(project_->UsesGlobalEditorByDefault(u".kv7sp"));
  SetPackageServiceProvider(host_.ServiceProvider());
}

}  // namespace
}  // namespace kv7::test
