// The XML DOM document object over libxml2, and the tree it shares with its
// nodes.
#include <vector>

#include "xmldom_impl.h"

namespace kv7::xmldom {

Tree::Tree(xmlDocPtr document) : doc(document ? document : xmlNewDoc(BAD_CAST "1.0")) {}

Tree::~Tree() {
  // A detached node may hang below another one: pick the unattached ones
  // before freeing any, since freeing one frees what hangs below it.
  std::vector<xmlNodePtr> loose;
  for (xmlNodePtr node : orphans)
    if (node->parent == nullptr) loose.push_back(node);
  for (xmlNodePtr node : loose) xmlFreeNode(node);
  xmlFreeDoc(doc);
}

HRESULT ReturnString(WStringView text, BSTR* out) {
  if (out == nullptr) return E_POINTER;
  *out = SysAllocWString(text);
  return S_OK;
}

namespace {

HRESULT ReturnLong(LONG value, LONG* out) {
  if (out == nullptr) return E_POINTER;
  *out = value;
  return S_OK;
}

// The error of one load, as it was when get_parseError was asked.
class ParseError final : public ComObject<IXMLDOMParseError> {
 public:
  explicit ParseError(ParseErrorInfo info) : info_(std::move(info)) {}

  HRESULT get_errorCode(LONG* code) override { return ReturnLong(info_.code, code); }
  HRESULT get_reason(BSTR* reason) override { return ReturnString(info_.reason, reason); }
  HRESULT get_line(LONG* line) override { return ReturnLong(info_.line, line); }
  HRESULT get_linepos(LONG* position) override { return ReturnLong(info_.linepos, position); }
  HRESULT get_filepos(LONG* position) override { return ReturnLong(info_.filepos, position); }
  HRESULT get_url(BSTR* url) override { return ReturnString(info_.url, url); }
  HRESULT get_srcText(BSTR* text) override { return ReturnString(info_.srcText, text); }

 private:
  ParseErrorInfo info_;
};

class Document final : public NodeImpl<IXMLDOMDocument> {
 public:
  Document() : Document(std::make_shared<Tree>()) {}

  IXMLDOMDocument* document() override { return this; }
  HRESULT get_ownerDocument(IXMLDOMDocument** document) override {
    if (document == nullptr) return E_POINTER;
    *document = nullptr;
    return S_FALSE;
  }

  HRESULT loadXML(const char16_t* text, VARIANT_BOOL* success) override {
    return Take(LoadText(text ? text : u"", keep_layout_), success);
  }
  HRESULT load(const char16_t* path, VARIANT_BOOL* success) override {
    if (path == nullptr) return E_INVALIDARG;
    return Take(LoadFile(path, keep_layout_), success);
  }
  HRESULT save(const char16_t* path) override {
    if (path == nullptr) return E_INVALIDARG;
    return SaveTree(*tree_, path);
  }
  HRESULT get_parseError(IXMLDOMParseError** error) override {
    if (error == nullptr) return E_POINTER;
    *error = MakeCom<ParseError>(error_).Detach();
    return S_OK;
  }
  HRESULT get_documentElement(IXMLDOMNode** root) override {
    if (root == nullptr) return E_POINTER;
    xmlNodePtr element = xmlDocGetRootElement(tree_->doc);
    *root = element ? Wrap(*this, element).Detach() : nullptr;
    return element ? S_OK : S_FALSE;
  }
  HRESULT createElement(const char16_t* name, IXMLDOMNode** element) override {
    if (element == nullptr) return E_POINTER;
    *element = nullptr;
    std::string qname = ToUtf8(WStringView(name ? name : u""));
    if (xmlValidateQName(BAD_CAST qname.c_str(), 0) != 0) return E_INVALIDARG;
    return Return(xmlNewDocNode(tree_->doc, nullptr, BAD_CAST qname.c_str(), nullptr), element);
  }
  HRESULT createTextNode(const char16_t* text, IXMLDOMNode** node) override {
    if (node == nullptr) return E_POINTER;
    *node = nullptr;
    std::string content = ToUtf8(WStringView(text ? text : u""));
    return Return(xmlNewDocText(tree_->doc, BAD_CAST content.c_str()), node);
  }
  HRESULT get_preserveWhiteSpace(VARIANT_BOOL* preserve) override {
    if (preserve == nullptr) return E_POINTER;
    *preserve = keep_layout_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT put_preserveWhiteSpace(VARIANT_BOOL preserve) override {
    keep_layout_ = preserve != VARIANT_FALSE;
    return S_OK;
  }

 private:
  explicit Document(std::shared_ptr<Tree> tree)
      : NodeImpl(reinterpret_cast<xmlNodePtr>(tree->doc), tree) {}

  // Switches to a freshly loaded tree; nodes of the old one keep it alive.
  HRESULT Take(LoadResult result, VARIANT_BOOL* success) {
    tree_ = std::move(result.tree);
    node_ = reinterpret_cast<xmlNodePtr>(tree_->doc);
    error_ = std::move(result.error);
    if (success) *success = result.ok ? VARIANT_TRUE : VARIANT_FALSE;
    return result.ok ? S_OK : S_FALSE;
  }

  // Hands out a node made for this document, freed with it unless attached.
  HRESULT Return(xmlNodePtr node, IXMLDOMNode** out) {
    if (node == nullptr) return E_OUTOFMEMORY;
    tree_->Adopt(node);
    *out = Wrap(*this, node).Detach();
    return S_OK;
  }

  ParseErrorInfo error_;
  bool keep_layout_ = true;
};

}  // namespace
}  // namespace kv7::xmldom

HRESULT CreateXMLDOMDocument(IXMLDOMDocument** document) {
  if (document == nullptr) return E_POINTER;
  *document = kv7::MakeCom<kv7::xmldom::Document>().Detach();
  return S_OK;
}
