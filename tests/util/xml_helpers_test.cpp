#include "kv7/util/xml_helpers.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

using kv7::test::ParseXml;

ComPtr<IXMLDOMNode> Select(IXMLDOMNode* node, const char16_t* path) {
  ComPtr<IXMLDOMNode> found;
  EXPECT_EQ(GetSingleNode(node, path, found.Put()), S_OK) << kv7::ToUtf8(path);
  return found;
}

WString Xml(IXMLDOMNode* node) {
  CComBSTR xml;
  EXPECT_EQ(node->get_xml(xml.Put()), S_OK);
  return xml.ToString();
}

TEST(XmlHelpers, SelectionLeavesOutputsUntouchedWhenNothingMatches) {
  auto doc = ParseXml(u"<a><b><c>1</c><c>2</c></b></a>");
  IXMLDOMNode* none = nullptr;
  EXPECT_EQ(GetSingleNode(doc.Get(), u"a/x", &none), S_FALSE);
  EXPECT_EQ(none, nullptr);

  WString text = u"unchanged";
  EXPECT_EQ(GetBasicNodeValue(doc.Get(), u"a/c", text), S_FALSE);
  EXPECT_EQ(text, u"unchanged");
  EXPECT_EQ(GetBasicNodeValue(doc.Get(), u"a/b/c", text), S_OK);
  EXPECT_EQ(text, u"1");

  ComPtr<IXMLDOMNodeList> list;
  EXPECT_EQ(GetMultiNodes(doc.Get(), u"a/b/c", list.Put()), S_OK);
  LONG length = 0;
  ASSERT_EQ(list->get_length(&length), S_OK);
  EXPECT_EQ(length, 2);
}

TEST(XmlHelpers, ChildByNameIsExactAndFirst) {
  auto doc = ParseXml(u"<r><name>lower</name><Name>first</Name><Name>second</Name></r>");
  auto root = Select(doc.Get(), u"r");
  IXMLDOMNode* found = nullptr;
  EXPECT_EQ(GetChildNodeByName(root.Get(), u"NAME", &found), S_OK);
  EXPECT_EQ(found, nullptr);
  EXPECT_EQ(GetChildNodeByName(root.Get(), u"Name", &found), S_OK);
  ASSERT_NE(found, nullptr);
  CComBSTR text;
  ASSERT_EQ(found->get_text(text.Put()), S_OK);
  EXPECT_EQ(text.ToString(), u"first");
  found->Release();
}

TEST(XmlHelpers, AttributesMatchLocalNameIgnoringCase) {
  auto doc = ParseXml(u"<r xmlns:q='urn:q'><a val='1'/><b q:val='2'/><c other='3'/>text</r>");
  WString value = u"default";
  EXPECT_EQ(GetAttrFromNode(Select(doc.Get(), u"r/a").Get(), u"VAL", value), S_OK);
  EXPECT_EQ(value, u"1");
  EXPECT_EQ(GetAttrFromNode(Select(doc.Get(), u"r/b").Get(), u"val", value), S_OK);
  EXPECT_EQ(value, u"2");

  value = u"default";
  EXPECT_TRUE(SUCCEEDED(GetAttrFromNode(Select(doc.Get(), u"r/c").Get(), u"val", value)));
  EXPECT_EQ(value, u"default");

  // A text node has no attribute map: its status comes back, output untouched.
  ComPtr<IXMLDOMNode> root = Select(doc.Get(), u"r");
  ComPtr<IXMLDOMNodeList> children;
  ASSERT_EQ(root->get_childNodes(children.Put()), S_OK);
  ComPtr<IXMLDOMNode> text_node;
  ASSERT_EQ(children->get_item(3, text_node.Put()), S_OK);
  EXPECT_EQ(GetAttrFromNode(text_node.Get(), u"val", value), S_FALSE);
  EXPECT_EQ(value, u"default");
}

TEST(XmlHelpers, SetAttributeNeverCreatesOne) {
  auto doc = ParseXml(u"<r><a val='old' x='1'/><b/></r>");
  auto a = Select(doc.Get(), u"r/a");
  EXPECT_EQ(SetAttrIntoNode(a.Get(), u"VAL", u"new & <better>"), S_OK);
  WString value;
  EXPECT_EQ(GetAttrFromNode(a.Get(), u"val", value), S_OK);
  EXPECT_EQ(value, u"new & <better>");

  auto b = Select(doc.Get(), u"r/b");
  EXPECT_EQ(SetAttrIntoNode(b.Get(), u"val", u"x"), S_OK);
  EXPECT_EQ(Xml(b.Get()), u"<b/>");
}

TEST(XmlHelpers, SimpleValueTakesOnlyALeadingTextChild) {
  auto doc = ParseXml(u"<r><mixed>text<empty/></mixed><nested><x>x</x></nested><none/>"
                  u"<cdata><![CDATA[a<b]]></cdata></r>");
  WString value = u"unchanged";
  EXPECT_EQ(GetSimpleNodeValue(doc.Get(), u"r/mixed", value), S_OK);
  EXPECT_EQ(value, u"text");

  value = u"unchanged";
  EXPECT_EQ(GetSimpleNodeValue(doc.Get(), u"r/nested", value), S_OK);
  EXPECT_EQ(value, u"unchanged");
  EXPECT_EQ(GetBasicNodeValue(doc.Get(), u"r/nested", value), S_OK);
  EXPECT_EQ(value, u"x");

  value = u"unchanged";
  EXPECT_EQ(GetSimpleNodeValue(doc.Get(), u"r/none", value), S_FALSE);
  EXPECT_EQ(GetSimpleNodeValue(doc.Get(), u"r/missing", value), S_FALSE);
  EXPECT_EQ(value, u"unchanged");

  EXPECT_EQ(GetSimpleNodeValue(doc.Get(), u"r/cdata", value), S_OK);
  EXPECT_EQ(value, u"a<b");
}

TEST(XmlHelpers, RemoveAllChildrenKeepsAttributes) {
  auto doc = ParseXml(u"<r><e a='1'>text<!-- note --><child/>more</e><k><g/></k><k>t</k></r>");
  auto e = Select(doc.Get(), u"r/e");
  EXPECT_EQ(RemoveAllChildNodes(e.Get()), S_OK);
  EXPECT_EQ(Xml(e.Get()), u"<e a=\"1\"/>");

  // The list form empties every node from the list's current position.
  ComPtr<IXMLDOMNodeList> list;
  ASSERT_EQ(GetMultiNodes(doc.Get(), u"r/k", list.Put()), S_OK);
  EXPECT_EQ(RemoveAllChildNodes(list.Get()), S_OK);
  EXPECT_EQ(Xml(Select(doc.Get(), u"r").Get()), u"<r><e a=\"1\"/><k/><k/></r>");
}

TEST(XmlHelpers, NormalizeEscapesOneLevel) {
  WString text = u"a & b < c > d \" e ' f &lt;";
  NormalizeXML(text);
  EXPECT_EQ(text, u"a &amp; b &lt; c &gt; d &quot; e &apos; f &amp;lt;");
  DenormalizeXML(text);
  EXPECT_EQ(text, u"a & b < c > d \" e ' f &lt;");
  WString twice = u"&amp;lt;";
  DenormalizeXML(twice);
  EXPECT_EQ(twice, u"&lt;");
}

class XmlHelpersFiles : public kv7::test::ScratchDir {};

TEST_F(XmlHelpersFiles, EncodingHeaderAndDump) {
  WString header = u"unchanged";
  EXPECT_EQ(GetXMLEncoding(header), S_OK);
  EXPECT_EQ(header, u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>");

  auto doc = ParseXml(u"<r><a>1</a></r>");
  auto path = Path("out.xml");
  EXPECT_EQ(DumpDOMDocToDisk(doc.Get(), kv7::FromUtf8(path.string()).c_str()), S_OK);
  EXPECT_EQ(kv7::test::ReadFile(path), "<r><a>1</a></r>\n");

  EXPECT_TRUE(FAILED(DumpDOMDocToDisk(
      doc.Get(), kv7::FromUtf8(Path("missing/out.xml").string()).c_str())));
}

}  // namespace
