// Private parts of the XML DOM: the libxml2 tree that nodes share, the state
// every node object carries, and the operations that the document and node
// objects both implement.
#pragma once

#include <libxml/tree.h>

#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>

#include "kv7/platform/xmldom.h"

namespace kv7::xmldom {

// One libxml2 document and the layout its serialisation reproduces. The
// document object and every node, list and map made from it share the tree,
// so the xmlDoc outlives them all.
struct Tree {
  // Takes ownership of `document`; null makes a new empty document.
  explicit Tree(xmlDocPtr document = nullptr);
  ~Tree();
  Tree(const Tree&) = delete;
  Tree& operator=(const Tree&) = delete;

  // Remembers a node made or detached through the DOM, so that it is freed
  // with the document if it is still unattached then.
  void Adopt(xmlNodePtr node) { orphans.insert(node); }

  xmlDocPtr doc;
  std::string declaration;  // "<?xml ...?>" as written in the source (ASCII)
  bool crlf = false;        // whether the source's line ends were "\r\n"
  std::unordered_set<xmlNodePtr> orphans;
};

// What get_parseError reports about the last load.
struct ParseErrorInfo {
  LONG code = 0;
  WString reason;
  LONG line = 0;
  LONG linepos = 0;
  LONG filepos = 0;
  WString url;
  WString srcText;
};

// The outcome of a load: the new tree (empty on failure) and the error.
struct LoadResult {
  std::shared_ptr<Tree> tree;
  ParseErrorInfo error;
  bool ok = false;
};

// Parses text that is already decoded; its declared encoding is ignored.
// Layout whitespace is kept only when `keep_layout`.
LoadResult LoadText(WStringView text, bool keep_layout);
// Parses a file's bytes, honouring its byte-order mark and declared encoding.
LoadResult LoadFile(WStringView path, bool keep_layout);

// Serialises a node, or a whole document with its declaration, as UTF-8
// with the tree's line ends.
std::string SerialiseToUtf8(const Tree& tree, xmlNodePtr node);
// Writes the document in its declared encoding through a temporary file
// renamed over `path`; failures are reported to the thread's error info.
HRESULT SaveTree(const Tree& tree, WStringView path);

// The state of a node object: which libxml2 node and the tree keeping it.
class NodeCore {
 public:
  NodeCore(xmlNodePtr node, std::shared_ptr<Tree> tree)
      : node_(node), tree_(std::move(tree)) {}
  virtual ~NodeCore() = default;

  xmlNodePtr node() const { return node_; }
  const std::shared_ptr<Tree>& tree() const { return tree_; }
  // The document object that node objects made from this one name as owner.
  virtual IXMLDOMDocument* document() = 0;

 protected:
  xmlNodePtr node_;
  std::shared_ptr<Tree> tree_;
};

HRESULT GetNodeName(NodeCore& self, BSTR* name);
HRESULT GetBaseName(NodeCore& self, BSTR* name);
HRESULT GetNodeType(NodeCore& self, DOMNodeType* type);
HRESULT GetNodeValue(NodeCore& self, VARIANT* value);
HRESULT PutNodeValue(NodeCore& self, const VARIANT& value);
HRESULT GetText(NodeCore& self, BSTR* text);
HRESULT GetXml(NodeCore& self, BSTR* xml);
HRESULT GetChildNodes(NodeCore& self, IXMLDOMNodeList** list);
HRESULT GetFirstChild(NodeCore& self, IXMLDOMNode** child);
HRESULT GetParentNode(NodeCore& self, IXMLDOMNode** parent);
HRESULT GetAttributes(NodeCore& self, IXMLDOMNamedNodeMap** map);
HRESULT SelectSingleNode(NodeCore& self, const char16_t* path, IXMLDOMNode** node);
HRESULT SelectNodes(NodeCore& self, const char16_t* path, IXMLDOMNodeList** list);
HRESULT RemoveChild(NodeCore& self, IXMLDOMNode* child, IXMLDOMNode** removed);
HRESULT AppendChild(NodeCore& self, IXMLDOMNode* child, IXMLDOMNode** appended);
HRESULT CloneNode(NodeCore& self, VARIANT_BOOL deep, IXMLDOMNode** clone);
// Stores a copy of the text in *out for the caller to free.
HRESULT ReturnString(WStringView text, BSTR* out);
// A new node object for `node` of self's tree, owned by self's document.
ComPtr<IXMLDOMNode> Wrap(NodeCore& self, xmlNodePtr node);

// The IXMLDOMNode methods, shared by the node and the document objects.
template <class Interface>
class NodeImpl : public ComObject<Interface>, public NodeCore {
 public:
  using NodeCore::NodeCore;

  HRESULT get_nodeName(BSTR* name) override { return GetNodeName(*this, name); }
  HRESULT get_baseName(BSTR* name) override { return GetBaseName(*this, name); }
  HRESULT get_nodeType(DOMNodeType* type) override { return GetNodeType(*this, type); }
  HRESULT get_nodeValue(VARIANT* value) override { return GetNodeValue(*this, value); }
  HRESULT put_nodeValue(const VARIANT& value) override {
    return PutNodeValue(*this, value);
  }
  HRESULT get_text(BSTR* text) override { return GetText(*this, text); }
  HRESULT get_xml(BSTR* xml) override { return GetXml(*this, xml); }
  HRESULT get_childNodes(IXMLDOMNodeList** list) override {
    return GetChildNodes(*this, list);
  }
  HRESULT get_firstChild(IXMLDOMNode** child) override {
    return GetFirstChild(*this, child);
  }
  HRESULT get_parentNode(IXMLDOMNode** parent) override {
    return GetParentNode(*this, parent);
  }
  HRESULT get_attributes(IXMLDOMNamedNodeMap** map) override {
    return GetAttributes(*this, map);
  }
  HRESULT selectSingleNode(const char16_t* path, IXMLDOMNode** node) override {
    return SelectSingleNode(*this, path, node);
  }
  HRESULT selectNodes(const char16_t* path, IXMLDOMNodeList** list) override {
    return SelectNodes(*this, path, list);
  }
  HRESULT removeChild(IXMLDOMNode* child, IXMLDOMNode** removed) override {
    return RemoveChild(*this, child, removed);
  }
  HRESULT appendChild(IXMLDOMNode* child, IXMLDOMNode** appended) override {
    return AppendChild(*this, child, appended);
  }
  HRESULT cloneNode(VARIANT_BOOL deep, IXMLDOMNode** clone) override {
    return CloneNode(*this, deep, clone);
  }
};

}  // namespace kv7::xmldom
