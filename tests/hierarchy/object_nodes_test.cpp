#include "kv7/hierarchy/object_nodes.h"

#include <gtest/gtest.h>

#include "kv7/util/ui_strings.h"
#include "kv7/util/xml_helpers.h"
#include "support/project_fixture.h"

namespace kv7::test {
namespace {

class ObjectNodes : public ProjectFixture {
 protected:
  void SetUp() override {
    ProjectFixture::SetUp();
    project_ = Create(dir() / "p", u"P");
  }
  // Adds an item file (created on disk) at the project node.
  CFileVwFileNode* Add(const std::string& name) { return AddFile(project_, nullptr, "p/" + name); }
  template <class I>
  ComPtr<I> As(CFileVwFileNode* node) {
    ComPtr<I> out;
    (void)node->QueryInterface(I::iid(), reinterpret_cast<void**>(out.Put()));
    return out;
  }
  WString Keyword(CHierNode* node, const char16_t* attribute) {
    ComPtr<IVsUserContext> context;
    EXPECT_EQ(node->GetUserContext(context.Put()), S_OK);
    CComBSTR value;
    if (context) (void)context->GetAttribute(attribute, value.Put());
    return value.ToString();
  }

  CMyProjectHierarchy* project_ = nullptr;
};

TEST_F(ObjectNodes, KindFollowsTheExactExtension) {
  struct Expected {
    const char* name;
    DWORD code;
    const char16_t* element;
  };
  for (const Expected& e : {Expected{"a.kv7tbl", 0x8a00, u"TableFile"},
                            Expected{"b.kv7sp", 0x10a00, u"ProcedureFile"},
                            Expected{"c.kv7udf", 0x40a00, u"FunctionFile"},
                            Expected{"d.kv7cset", 0x2000a00, u"CommandSetFile"},
                            Expected{"e.kv7ind", 0x10000a00, u"IndexFile"},
                            Expected{"f.KV7SP", 0xa00, u"UnknownFile"}}) {
    CFileVwFileNode* node = Add(e.name);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->GetKindOf(), e.code) << e.name;
    EXPECT_EQ(WString(node->ProjectFileElement()), e.element) << e.name;
  }
  EXPECT_EQ(Keyword(Add("g.kv7tr"), u"keyword"), u"vs.qzndb.tableproperties");
  EXPECT_EQ(Keyword(Add("h.kv7cset"), u"Item"), u"vs.envsdk.KV7Prj.kv7tabfilenode");
}

TEST_F(ObjectNodes, RoutinePropertiesAndBrowsing) {
  CFileVwFileNode* procedure = Add("p.kv7sp");
  CFileVwFileNode* table = Add("t.kv7tbl");
  CFileVwFileNode* statement = Add("s.kv7st");

  // Empty fields read as empty strings through automation, never null.
  DISPID id = 0;
  ASSERT_EQ(procedure->GetIDsOfNames(u"storedprocname", &id), S_OK);
  EXPECT_EQ(id, 13);
  for (DISPID routine : {12, 13, 14}) {
    VARIANT value;
    ASSERT_EQ(procedure->Invoke(routine, DISPATCH_PROPERTYGET, nullptr, 0, &value), S_OK);
    ASSERT_EQ(value.vt(), VT_BSTR);
    EXPECT_EQ(SysStringLen(value.bstrVal()), 0u);
  }
  VARIANT name;
  ASSERT_EQ(table->Invoke(DISPID_KV7FileName, DISPATCH_PROPERTYGET, nullptr, 0, &name), S_OK);
  EXPECT_EQ(WString(name.bstrVal()), u"t.kv7tbl");
  EXPECT_EQ(table->Invoke(13, DISPATCH_PROPERTYGET, nullptr, 0, &name), DISP_E_MEMBERNOTFOUND);

  auto categories = As<ICategorizeProperties>(procedure);
  PROPCAT category = 0;
  ASSERT_EQ(categories->MapPropertyToCategory(12, &category), S_OK);
  EXPECT_EQ(category, 1);
  ASSERT_EQ(categories->MapPropertyToCategory(1, &category), S_OK);
  EXPECT_EQ(category, PROPCAT_Misc);
  CComBSTR title;
  EXPECT_EQ(categories->GetCategoryName(1, 0, title.Put()), S_OK);
  EXPECT_EQ(title.ToString(), LoadUIString(40));
  EXPECT_EQ(As<ICategorizeProperties>(table)->GetCategoryName(1, 0, title.Put()), E_NOTIMPL);

  auto browsing = As<IVsPerPropertyBrowsing>(procedure);
  CComBSTR localized;
  EXPECT_EQ(browsing->GetLocalizedPropertyInfo(12, 0, localized.Put(), nullptr), S_OK);
  EXPECT_EQ(localized.ToString(), LoadUIString(1110));
  EXPECT_EQ(As<IVsPerPropertyBrowsing>(table)->GetLocalizedPropertyInfo(5, 0, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(As<IVsPerPropertyBrowsing>(table)->GetLocalizedPropertyInfo(12, 0, nullptr, nullptr),
            E_NOTIMPL);
  EXPECT_EQ(browsing->HideProperty(1, nullptr), E_INVALIDARG);

  LONG type = 0;
  EXPECT_EQ(As<IProvidePropertyBuilder>(procedure)->MapPropertyToBuilder(14, &type, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(type, CTLBLDTYPE_FINTERNALBUILDER);
  EXPECT_EQ(As<IProvidePropertyBuilder>(procedure)->MapPropertyToBuilder(13, &type, nullptr, nullptr),
            E_NOTIMPL);
  for (LONG any : {1, 14})
    EXPECT_EQ(As<IProvidePropertyBuilder>(table)->MapPropertyToBuilder(any, &type, nullptr, nullptr),
              E_NOTIMPL);

  // Statements categorise but offer no per-property browsing.
  EXPECT_TRUE(As<ICategorizeProperties>(statement));
  EXPECT_FALSE(As<IVsPerPropertyBrowsing>(statement));
}

TEST_F(ObjectNodes, TrackingEntriesAreFoundByIdentity) {
  auto* table = dynamic_cast<CKV7ObjectFileNode*>(Add("t.kv7tbl"));
  auto* view = dynamic_cast<CKV7ObjectFileNode*>(Add("v.kv7vw"));
  ASSERT_TRUE(table && view);

  // Given a metadata document, the entry is a copy with the identity added.
  ComPtr<IXMLDOMDocument> metadata =
      ParseXml(u"<KV7PROJECTITEM><SOURCEINFO><NAME>T</NAME></SOURCEINFO></KV7PROJECTITEM>");
  ComPtr<IXMLDOMNode> entry;
  ASSERT_EQ(table->GenerateMainDOMInfo(metadata.Get(), entry.Put()), S_OK);
  WString identity;
  EXPECT_EQ(GetSimpleNodeValue(entry.Get(), u"KV7UNIQUEVALUE", identity), S_OK);
  EXPECT_EQ(identity, table->TrackingIdentity());

  // Entries of two items: removing one (its identity in upper case) leaves the other.
  IXMLDOMDocument* tracking = project_->GetDOMDocument();
  ComPtr<IXMLDOMNode> root;
  ASSERT_EQ(GetSingleNode(tracking, u"KV7DOMTracker", root.Put()), S_OK);
  ASSERT_EQ(root->appendChild(entry.Get(), nullptr), S_OK);
  WString view_entry = u"<SOURCEINFO><KV7UNIQUEVALUE>" + ToUpper(view->TrackingIdentity()) +
                       u"</KV7UNIQUEVALUE></SOURCEINFO>";
  ASSERT_EQ(root->appendChild(XmlElement(view_entry).Get(), nullptr), S_OK);

  EXPECT_EQ(view->RemoveInfoFromMainDOM(true), S_OK);
  ComPtr<IXMLDOMNodeList> left;
  ASSERT_EQ(GetMultiNodes(tracking, u"KV7DOMTracker/SOURCEINFO", left.Put()), S_OK);
  LONG count = 0;
  ASSERT_EQ(left->get_length(&count), S_OK);
  EXPECT_EQ(count, 1);

  // Without a metadata document, re-entering the item removes its entry and fails.
  EXPECT_EQ(table->SyncTrackingDOM(), E_FAIL);
  ASSERT_EQ(GetMultiNodes(tracking, u"KV7DOMTracker/SOURCEINFO", left.Put()), S_OK);
  ASSERT_EQ(left->get_length(&count), S_OK);
  EXPECT_EQ(count, 0);
}

TEST_F(ObjectNodes, CommandsAndProjectFileElement) {
  CFileVwFileNode* procedure = Add("p.kv7sp");
  OLECMD commands[] = {{cmdidCopy, 0}, {cmdidOpen, 0}};
  ASSERT_EQ(procedure->QueryStatus(&CMDSETID_StandardCommandSet97, 2, commands), S_OK);
  EXPECT_EQ(commands[1].cmdf, OLECMDF_SUPPORTED | OLECMDF_ENABLED);
  OLECMD item_command = {kCmdItemFirst, 0};
  EXPECT_EQ(procedure->QueryStatus(&GUID_KV7PackageCommandSet, 1, &item_command), S_OK);
  EXPECT_EQ(procedure->Exec(nullptr, cmdidOpen, 0, nullptr, nullptr), E_INVALIDARG);
  EXPECT_EQ(procedure->Exec(&CMDSETID_StandardCommandSet97, cmdidOpen, 0, nullptr, nullptr), S_OK);
  EXPECT_TRUE(host_.IsDocumentOpen(procedure->GetFullPath()));

  CFileVwFileNode* commands_item = Add("c.kv7cset");
  EXPECT_EQ(commands_item->Exec(&GUID_KV7PackageCommandSet, kCmdCommandSetRun, 0, nullptr, nullptr),
            S_OK);
  ASSERT_FALSE(host_.MessageBoxes().empty());
  EXPECT_EQ(host_.MessageBoxes().back().text, u"Add Processing for CommandSet Run here");

  // A detached item knows no command group.
  ComPtr<CFileVwFileNode> loose = CreateFileNodeForPath(u"/tmp/x.kv7sp");
  EXPECT_EQ(loose->QueryStatus(&CMDSETID_StandardCommandSet97, 2, commands),
            OLECMDERR_E_UNKNOWNGROUP);

  WString text;
  ASSERT_EQ(procedure->SaveAsXMLForProject(u"\t", text), S_OK);
  EXPECT_EQ(text,
            u"\t<ProcedureFile>\r\n\t\t<FileInfo>\r\n\t\t\t<Reference>p.kv7sp</Reference>\r\n"
            u"\t\t\t<IsReferenceRelative>1</IsReferenceRelative>\r\n\t\t</FileInfo>\r\n"
            u"\t</ProcedureFile>\r\n");
}

}  // namespace
}  // namespace kv7::test
