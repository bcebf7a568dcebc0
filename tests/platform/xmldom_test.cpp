#include "kv7/platform/xmldom.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "kv7/platform/errorinfo.h"
#include "support/test_support.h"

namespace {

using kv7::test::ReadFile;
using kv7::test::WriteFile;

ComPtr<IXMLDOMDocument> NewDocument() {
  ComPtr<IXMLDOMDocument> document;
  EXPECT_EQ(CreateXMLDOMDocument(document.Put()), S_OK);
  return document;
}

using kv7::test::ParseXml;

ComPtr<IXMLDOMNode> Select(IXMLDOMNode* from, const char16_t* path) {
  ComPtr<IXMLDOMNode> node;
  EXPECT_EQ(from->selectSingleNode(path, node.Put()), S_OK) << kv7::ToUtf8(path);
  return node;
}

template <class I>
WString Str(I* object, HRESULT (I::*getter)(BSTR*)) {
  CComBSTR text;
  EXPECT_EQ((object->*getter)(text.Put()), S_OK);
  return text.ToString();
}
template <class I>
LONG Num(I* object, HRESULT (I::*getter)(LONG*)) {
  LONG value = -1;
  EXPECT_EQ((object->*getter)(&value), S_OK);
  return value;
}
WString Xml(IXMLDOMNode* node) { return Str(node, &IXMLDOMNode::get_xml); }
WString Text(IXMLDOMNode* node) { return Str(node, &IXMLDOMNode::get_text); }
WString Name(IXMLDOMNode* node) { return Str(node, &IXMLDOMNode::get_nodeName); }
WString BaseName(IXMLDOMNode* node) { return Str(node, &IXMLDOMNode::get_baseName); }

WString Value(IXMLDOMNode* node) {
  VARIANT value;
  EXPECT_EQ(node->get_nodeValue(&value), S_OK);
  return value.vt() == VT_BSTR ? WString(value.bstrVal()) : u"<null>";
}

// The names met by nextNode until it answers S_FALSE with null.
template <class List>
WString Walk(List* list) {
  WString names;
  IXMLDOMNode* node = nullptr;
  while (list->nextNode(&node) == S_OK) {
    names += Name(node) + u" ";
    node->Release();
  }
  EXPECT_EQ(node, nullptr);
  return names;
}

struct ParseError {
  LONG code, line, linepos, filepos;
  WString reason, url, source;
};

ParseError ErrorOf(IXMLDOMDocument* document) {
  using E = IXMLDOMParseError;
  ComPtr<E> e;
  EXPECT_EQ(document->get_parseError(e.Put()), S_OK);
  return {Num(e.Get(), &E::get_errorCode), Num(e.Get(), &E::get_line),
          Num(e.Get(), &E::get_linepos),   Num(e.Get(), &E::get_filepos),
          Str(e.Get(), &E::get_reason),    Str(e.Get(), &E::get_url),
          Str(e.Get(), &E::get_srcText)};
}

// Loads text that must be refused, leaving the document empty.
ParseError Refuse(IXMLDOMDocument* document, const char16_t* xml) {
  VARIANT_BOOL ok = VARIANT_TRUE;
  EXPECT_EQ(document->loadXML(xml, &ok), S_FALSE);
  EXPECT_EQ(ok, VARIANT_FALSE);
  ComPtr<IXMLDOMNode> root;
  EXPECT_EQ(document->get_documentElement(root.Put()), S_FALSE);
  EXPECT_EQ(root, nullptr);
  return ErrorOf(document);
}

std::string Utf16Le(const WString& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) bytes += {char(unit & 0xFF), char(unit >> 8)};
  return bytes;
}

class XmlDomFiles : public kv7::test::ScratchDir {
 protected:
  ComPtr<IXMLDOMDocument> Load(const std::string& name, HRESULT expected = S_OK) {
    ComPtr<IXMLDOMDocument> document = NewDocument();
    VARIANT_BOOL ok = VARIANT_FALSE;
    EXPECT_EQ(document->load(Wide(name).c_str(), &ok), expected);
    EXPECT_EQ(ok, expected == S_OK ? VARIANT_TRUE : VARIANT_FALSE);
    return document;
  }
  HRESULT Save(IXMLDOMDocument* document, const std::string& name) {
    return document->save(Wide(name).c_str());
  }
  WString Wide(const std::string& name) { return kv7::FromUtf8(Path(name).string()); }
};

}  // namespace

TEST(XmlDom, SelectsChildPathsFromDocumentsAndElements) {
  auto document = ParseXml(
      u"<userOptions><Editor><StatementSeparator>GO</StatementSeparator></Editor>"
      u"<Other/><Editor><StatementSeparator>;</StatementSeparator></Editor></userOptions>");
  EXPECT_EQ(Text(Select(document.Get(), u"userOptions/Editor/StatementSeparator").Get()), u"GO");
  auto root = Select(document.Get(), u"userOptions");
  EXPECT_EQ(Text(Select(root.Get(), u"Editor/StatementSeparator").Get()), u"GO");
  // Paths are relative: the root's name is no step below the root.
  IXMLDOMNode* node = reinterpret_cast<IXMLDOMNode*>(1);
  EXPECT_EQ(root->selectSingleNode(u"userOptions", &node), S_FALSE);
  EXPECT_EQ(node, nullptr);
  EXPECT_EQ(document->selectSingleNode(u"Editor", &node), S_FALSE);

  ComPtr<IXMLDOMNodeList> list;
  ASSERT_EQ(root->selectNodes(u"Editor/StatementSeparator", list.Put()), S_OK);
  EXPECT_EQ(Num(list.Get(), &IXMLDOMNodeList::get_length), 2);
  ComPtr<IXMLDOMNode> item;
  EXPECT_EQ(list->get_item(1, item.Put()), S_OK);
  EXPECT_EQ(Text(item.Get()), u";");
  EXPECT_EQ(list->get_item(2, item.Put()), S_FALSE);
  EXPECT_EQ(item, nullptr);
  ASSERT_EQ(root->selectNodes(u"Editor/Missing", list.Put()), S_OK);
  EXPECT_EQ(Num(list.Get(), &IXMLDOMNodeList::get_length), 0);

  for (const char16_t* bad : {u"", u"a//b", u"/userOptions", u"a/", u"a[1]", u"@x", u"*"}) {
    EXPECT_EQ(document->selectSingleNode(bad, item.Put()), E_INVALIDARG) << kv7::ToUtf8(bad);
    EXPECT_EQ(document->selectNodes(bad, list.Put()), E_INVALIDARG);
  }
}

TEST(XmlDom, HidesLayoutWhitespaceButKeepsTextAsWritten) {
  auto document = ParseXml(u"<r>\r\n\t<a>one</a>\r\n\t<!-- c -->\r\n\t<b>line1\r\nline2</b>\r\n"
                        u"\t<p>x <i>y</i> z</p>\r\n</r>");
  auto root = Select(document.Get(), u"r");
  ComPtr<IXMLDOMNodeList> children;
  ASSERT_EQ(root->get_childNodes(children.Put()), S_OK);
  EXPECT_EQ(Walk(children.Get()), u"a #comment b p ");
  children->reset();
  EXPECT_EQ(Walk(children.Get()), u"a #comment b p ");
  ComPtr<IXMLDOMNode> first;
  EXPECT_EQ(root->get_firstChild(first.Put()), S_OK);
  EXPECT_EQ(Name(first.Get()), u"a");
  EXPECT_EQ(Text(root.Get()), u"oneline1\nline2x y z");
  EXPECT_EQ(Xml(root.Get()).substr(0, 16), u"<r>\r\n\t<a>one</a>");
  auto blank = ParseXml(u"<r>\n  </r>");
  EXPECT_EQ(Select(blank.Get(), u"r")->get_firstChild(first.Put()), S_FALSE);
  EXPECT_EQ(first, nullptr);

  // Empty elements keep the form they were written in, and show no child.
  auto empty = ParseXml(u"<r><a></a><b/><c k='v'></c></r>");
  EXPECT_EQ(Xml(empty.Get()), u"<r><a></a><b/><c k=\"v\"></c></r>\n");
  EXPECT_EQ(Select(empty.Get(), u"r/a")->get_firstChild(first.Put()), S_FALSE);

  // Without layout the same nodes show; only a whitespace-only element
  // keeps its text, and a save writes no layout back.
  auto bare = NewDocument();
  VARIANT_BOOL preserve = VARIANT_FALSE;
  EXPECT_EQ(bare->get_preserveWhiteSpace(&preserve), S_OK);
  EXPECT_EQ(preserve, VARIANT_TRUE);
  ASSERT_EQ(bare->put_preserveWhiteSpace(VARIANT_FALSE), S_OK);
  VARIANT_BOOL ok = VARIANT_FALSE;
  ASSERT_EQ(bare->loadXML(u"<r>\n\t<a> x </a>\n\t<b> </b>\n\t<p>x <i>y</i> z</p>\n</r>", &ok),
            S_OK);
  ASSERT_EQ(Select(bare.Get(), u"r")->get_childNodes(children.Put()), S_OK);
  EXPECT_EQ(Walk(children.Get()), u"a b p ");
  EXPECT_EQ(Text(Select(bare.Get(), u"r/p").Get()), u"x y z");
  EXPECT_EQ(Xml(bare.Get()), u"<r><a> x </a><b> </b><p>x <i>y</i> z</p></r>\n");
}

TEST(XmlDom, NamesTypesAndValuesOfEachKind) {
  auto document = ParseXml(u"<q:root xmlns:q='urn:q'><q:val/><![CDATA[c<]]><?pi data?>"
                        u"<!--k-->text</q:root>");
  struct Expected { const char16_t *name, *base; DOMNodeType type; const char16_t* value; };
  const Expected expected[] = {{u"q:val", u"val", NODE_ELEMENT, u"<null>"},
                               {u"#cdata-section", u"", NODE_CDATA_SECTION, u"c<"},
                               {u"pi", u"pi", NODE_PROCESSING_INSTRUCTION, u"data"},
                               {u"#comment", u"", NODE_COMMENT, u"k"},
                               {u"#text", u"", NODE_TEXT, u"text"}};
  auto root = Select(document.Get(), u"q:root");
  ComPtr<IXMLDOMNodeList> children;
  root->get_childNodes(children.Put());
  for (LONG i = 0; i < 5; ++i) {
    ComPtr<IXMLDOMNode> child;
    ASSERT_EQ(children->get_item(i, child.Put()), S_OK);
    DOMNodeType type = NODE_INVALID;
    child->get_nodeType(&type);
    EXPECT_EQ(Name(child.Get()), expected[i].name);
    EXPECT_EQ(BaseName(child.Get()), expected[i].base);
    EXPECT_EQ(type, expected[i].type);
    EXPECT_EQ(Value(child.Get()), expected[i].value);
  }
  EXPECT_EQ(Name(document.Get()), u"#document");
  EXPECT_EQ(Value(document.Get()), u"<null>");
  EXPECT_EQ(Text(root.Get()), u"c<text");
}

TEST(XmlDom, WalksAndSetsAttributes) {
  auto document = ParseXml(u"<e b='1' a='2' q:c='3' xmlns:q='urn:q'>t</e>");
  auto element = Select(document.Get(), u"e");
  ComPtr<IXMLDOMNamedNodeMap> map;
  ASSERT_EQ(element->get_attributes(map.Put()), S_OK);
  EXPECT_EQ(Walk(map.Get()), u"b a q:c ");
  map->reset();
  EXPECT_EQ(Walk(map.Get()), u"b a q:c ");
  ComPtr<IXMLDOMNode> attribute;
  EXPECT_EQ(map->get_item(3, attribute.Put()), S_FALSE);
  ASSERT_EQ(map->getNamedItem(u"q:c", attribute.Put()), S_OK);
  EXPECT_EQ(BaseName(attribute.Get()), u"c");
  EXPECT_EQ(map->getNamedItem(u"c", attribute.Put()), S_FALSE);

  ASSERT_EQ(map->getNamedItem(u"a", attribute.Put()), S_OK);
  const char16_t* raw = u"x & y < \"z\" &amp;";
  ASSERT_EQ(attribute->put_nodeValue(VARIANT::FromString(raw)), S_OK);
  EXPECT_EQ(Value(attribute.Get()), raw);
  EXPECT_EQ(Xml(attribute.Get()), u"a=\"x &amp; y &lt; &quot;z&quot; &amp;amp;\"");
  auto reloaded = ParseXml(Xml(element.Get()).c_str());
  ASSERT_EQ(Select(reloaded.Get(), u"e")->get_attributes(map.Put()), S_OK);
  ASSERT_EQ(map->getNamedItem(u"a", attribute.Put()), S_OK);
  EXPECT_EQ(Value(attribute.Get()), raw);

  EXPECT_EQ(attribute->put_nodeValue(VARIANT::FromInt(42)), S_OK);
  EXPECT_EQ(Value(attribute.Get()), u"42");
  EXPECT_EQ(attribute->put_nodeValue(VARIANT::FromBool(true)), S_OK);
  EXPECT_EQ(Text(attribute.Get()), u"true");
  EXPECT_EQ(element->put_nodeValue(VARIANT::FromString(u"v")), E_FAIL);
  ComPtr<IXMLDOMNode> text;
  element->get_firstChild(text.Put());
  EXPECT_EQ(text->get_attributes(map.Put()), S_FALSE);
  EXPECT_EQ(map, nullptr);
}

TEST(XmlDom, EditsWithoutAddingWhitespace) {
  auto document = ParseXml(u"<r k='v'>text<!--c--><x/></r>");
  auto root = Select(document.Get(), u"r");
  auto x = Select(root.Get(), u"x");
  ComPtr<IXMLDOMNode> child, removed;
  while (root->get_firstChild(child.Put()) == S_OK) {
    ASSERT_EQ(root->removeChild(child.Get(), removed.Put()), S_OK);
    EXPECT_EQ(removed, child);
  }
  EXPECT_EQ(Xml(root.Get()), u"<r k=\"v\"/>");
  EXPECT_EQ(root->removeChild(x.Get(), nullptr), E_INVALIDARG);

  ComPtr<IXMLDOMNode> n, first, second, deep, shallow;
  ASSERT_EQ(document->createElement(u"n", n.Put()), S_OK);
  ASSERT_EQ(document->createTextNode(u"a", first.Put()), S_OK);
  ASSERT_EQ(document->createTextNode(u"b", second.Put()), S_OK);
  EXPECT_EQ(n->appendChild(first.Get(), nullptr), S_OK);
  EXPECT_EQ(n->appendChild(second.Get(), child.Put()), S_OK);
  EXPECT_EQ(child, second);
  // Adjacent texts stay two nodes: both remain usable.
  EXPECT_EQ(second->put_nodeValue(VARIANT::FromString(u"c")), S_OK);
  EXPECT_EQ(root->appendChild(n.Get(), nullptr), S_OK);
  ASSERT_EQ(n->cloneNode(VARIANT_TRUE, deep.Put()), S_OK);
  ASSERT_EQ(n->cloneNode(VARIANT_FALSE, shallow.Put()), S_OK);
  EXPECT_EQ(root->appendChild(deep.Get(), nullptr), S_OK);
  EXPECT_EQ(root->appendChild(shallow.Get(), nullptr), S_OK);
  EXPECT_EQ(root->appendChild(x.Get(), nullptr), S_OK);
  EXPECT_EQ(Xml(root.Get()), u"<r k=\"v\"><n>ac</n><n>ac</n><n/><x/></r>");
  EXPECT_EQ(shallow->appendChild(x.Get(), nullptr), S_OK);  // moves it
  EXPECT_EQ(Xml(root.Get()), u"<r k=\"v\"><n>ac</n><n>ac</n><n><x/></n></r>");

  for (IXMLDOMNode* refused : {root.Get(), n.Get(), static_cast<IXMLDOMNode*>(document.Get())})
    EXPECT_EQ(n->appendChild(refused, nullptr), E_INVALIDARG);
  // A node of another document is imported; the original stays.
  auto other = ParseXml(u"<o><p/></o>");
  auto foreign = Select(other.Get(), u"o");
  ComPtr<IXMLDOMNode> imported;
  EXPECT_EQ(shallow->appendChild(foreign.Get(), imported.Put()), S_OK);
  EXPECT_NE(imported, foreign);
  EXPECT_EQ(Xml(other.Get()), u"<o><p/></o>\n");
  EXPECT_EQ(shallow->removeChild(imported.Get(), nullptr), S_OK);
  EXPECT_EQ(document->appendChild(shallow.Get(), nullptr), E_INVALIDARG);  // a second root

  // Nodes keep their document alive; unattached ones are freed with it.
  document->createElement(u"loose", child.Put());
  document = nullptr;
  EXPECT_EQ(Xml(root.Get()), u"<r k=\"v\"><n>ac</n><n>ac</n><n><x/></n></r>");
}

TEST(XmlDom, NewDocumentsStartEmpty) {
  auto document = NewDocument();
  ComPtr<IXMLDOMNode> root, parent;
  EXPECT_EQ(document->get_documentElement(root.Put()), S_FALSE);
  EXPECT_EQ(root, nullptr);
  EXPECT_EQ(Xml(document.Get()), u"");
  EXPECT_EQ(document->createElement(u"bad name", root.Put()), E_INVALIDARG);
  document->createElement(u"p:root", root.Put());
  EXPECT_EQ(BaseName(root.Get()), u"root");
  ASSERT_EQ(document->appendChild(root.Get(), nullptr), S_OK);
  EXPECT_EQ(root->get_parentNode(parent.Put()), S_OK);
  EXPECT_EQ(Name(parent.Get()), u"#document");
  EXPECT_EQ(Xml(document.Get()), u"<p:root/>\n");
}

TEST(XmlDom, RefusesDocumentTypesAndDeepNesting) {
  auto document = ParseXml(u"<ok/>");
  EXPECT_EQ(ErrorOf(document.Get()).code, 0);
  const char16_t* hostile[] = {
      u"<?xml version='1.0'?>\n<!DOCTYPE lolz [\n<!ENTITY lol 'lol'>\n"
      u"<!ENTITY lol2 '&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;'>\n"
      u"]>\n<lolz>&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;</lolz>",
      u"<?xml version='1.0'?>\n<!DOCTYPE f [<!ENTITY x SYSTEM 'file:///etc/passwd'>]><f>&x;</f>",
      u"<?xml version='1.0'?>\n<!DOCTYPE f SYSTEM 'file:///etc/passwd'><f/>"};
  for (const char16_t* xml : hostile) {
    ParseError e = Refuse(document.Get(), xml);
    EXPECT_EQ(e.reason, u"DTD is prohibited.");
    EXPECT_EQ(e.line, 2);
    EXPECT_LT(e.code, 0);
  }
  WString open, close;
  for (int i = 0; i < 100000; ++i) open += u"<a>", close += u"</a>";
  EXPECT_LT(Refuse(document.Get(), (open + close).c_str()).code, 0);
  document->loadXML(u"<ok/>", nullptr);
  EXPECT_EQ(ErrorOf(document.Get()).code, 0);
}

TEST_F(XmlDomFiles, ParseErrorsCountCharactersInEveryEncoding) {
  const WString text = u"<a>\r\n  <b>\u00e9\r\n  </c>\r\n</a>";
  const std::string cp1252 = "<?xml version='1.0' encoding='windows-1252'?>";
  ParseError e = Refuse(NewDocument().Get(), text.c_str());
  EXPECT_NE(e.reason.find(u"mismatch"), WString::npos);
  EXPECT_EQ(e.line, 3);
  EXPECT_EQ(e.linepos, 7);
  EXPECT_EQ(e.filepos, 19);  // the character after "</c>"
  EXPECT_EQ(e.source, u"  </c>");
  EXPECT_EQ(e.url, u"");
  const std::pair<std::string, std::string> files[] = {
      {"utf-8.xml", "\xEF\xBB\xBF" + kv7::ToUtf8(text)},
      {"utf-16.xml", Utf16Le(text)},
      {"cp1252.xml", cp1252 + "<a>\r\n  <b>\xE9\r\n  </c>\r\n</a>"}};
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    WriteFile(Path(name), bytes);
    ParseError from_file = ErrorOf(Load(name, S_FALSE).Get());
    EXPECT_EQ(from_file.linepos, e.linepos);
    EXPECT_EQ(from_file.filepos, e.filepos + (name == "cp1252.xml" ? LONG(cp1252.size()) : 0));
    EXPECT_EQ(from_file.source, e.source);
    EXPECT_EQ(from_file.url, Wide(name));
  }
}

TEST_F(XmlDomFiles, EncodingsRoundTrip) {
  const std::pair<std::string, std::string> files[] = {
      {"utf-8", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a>\xC3\xA9\xE2\x82\xAC</a>\n"},
      {"utf-16", Utf16Le(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<a>\u00e9\u20ac</a>\n")},
      {"latin-1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<a>\xE9&#8364;</a>\n"},
      {"cp1252", "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<a>\xE9\x80</a>\n"}};
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    WriteFile(Path(name), bytes);
    auto document = Load(name);
    EXPECT_EQ(Text(document.Get()), u"\u00e9\u20ac");
    ASSERT_EQ(Save(document.Get(), name + ".copy"), S_OK);
    EXPECT_EQ(ReadFile(Path(name + ".copy")), bytes);
    EXPECT_EQ(Text(Load(name + ".copy").Get()), u"\u00e9\u20ac");
  }
  // Text given to loadXML is already decoded, whatever its declaration says.
  for (WString declared : {u"UTF-16", u"ISO-8859-1"}) {
    WString xml = u"<?xml version='1.0' encoding='" + declared + u"'?><a>\u00e9\u20ac</a>";
    EXPECT_EQ(Text(ParseXml(xml.c_str()).Get()), u"\u00e9\u20ac");
  }
}

TEST_F(XmlDomFiles, KeepsDeclarationAndCrlfByteForByte) {
  const std::string bytes =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!-- top -->\r\n<A>\r\n"
      "\t<B x=\"1\">x</B>\r\n\t<C/>\r\n</A>\r\n";
  WriteFile(Path("in.xml"), bytes);
  auto document = Load("in.xml");
  EXPECT_EQ(Xml(document.Get()), kv7::FromUtf8(bytes));
  EXPECT_EQ(Xml(Select(document.Get(), u"A/B").Get()), u"<B x=\"1\">x</B>");
  ASSERT_EQ(Save(document.Get(), "once.xml"), S_OK);
  EXPECT_EQ(ReadFile(Path("once.xml")), bytes);
  ASSERT_EQ(Save(Load("once.xml").Get(), "twice.xml"), S_OK);
  EXPECT_EQ(ReadFile(Path("twice.xml")), bytes);
}

TEST_F(XmlDomFiles, FailedFileOperationsReportTheSystemError) {
  ParseError e = ErrorOf(Load("none.xml", S_FALSE).Get());
  EXPECT_EQ(e.code, kv7::HResultFromErrno(ENOENT));
  EXPECT_NE(e.reason.find(Wide("none.xml")), WString::npos);
  EXPECT_EQ(e.url, Wide("none.xml"));

  auto document = ParseXml(u"<a/>");
  kv7::ClearErrorInfo();
  EXPECT_EQ(Save(document.Get(), "no-such-dir/out.xml"), kv7::HResultFromErrno(ENOENT));
  HRESULT status = S_OK;
  WString description;
  EXPECT_TRUE(kv7::GetErrorInfo(&status, &description));
  EXPECT_EQ(status, kv7::HResultFromErrno(ENOENT));
  EXPECT_FALSE(std::filesystem::exists(Path("no-such-dir/out.xml")));
  // A directory opens but cannot be read; nor can a save replace it, and
  // that leaves no file beside it.
  std::filesystem::create_directory(Path("dir.xml"));
  EXPECT_EQ(ErrorOf(Load("dir.xml", S_FALSE).Get()).code, kv7::HResultFromErrno(EISDIR));
  EXPECT_TRUE(FAILED(Save(document.Get(), "dir.xml")));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir()), {}), 1);
}
