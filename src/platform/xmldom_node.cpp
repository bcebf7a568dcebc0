// The node operations of the XML DOM over libxml2's tree, with the node,
// list and attribute-map objects.
#include <charconv>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "xmldom_impl.h"

namespace kv7::xmldom {
namespace {

// An element, attribute, text or other node below a document.
class Node final : public NodeImpl<IXMLDOMNode> {
 public:
  Node(xmlNodePtr node, std::shared_ptr<Tree> tree, IXMLDOMDocument* owner)
      : NodeImpl(node, std::move(tree)), owner_(owner) {}

  IXMLDOMDocument* document() override { return owner_.Get(); }
  HRESULT get_ownerDocument(IXMLDOMDocument** document) override {
    return owner_.CopyTo(document);
  }

 private:
  ComPtr<IXMLDOMDocument> owner_;
};

std::string_view View(const xmlChar* text) {
  return text ? reinterpret_cast<const char*>(text) : "";
}

HRESULT ReturnUtf8(std::string_view utf8, BSTR* out) { return ReturnString(FromUtf8(utf8), out); }

// Stores a new reference in *out: S_OK with the node, S_FALSE with null.
template <class I>
HRESULT ReturnObject(ComPtr<I> object, I** out) {
  if (out == nullptr) return E_POINTER;
  *out = object.Detach();
  return *out ? S_OK : S_FALSE;
}

std::string QualifiedName(xmlNodePtr node) {
  std::string name;
  if (node->ns && node->ns->prefix) name.append(View(node->ns->prefix)).append(":");
  return name.append(View(node->name));
}

// Whether an element or attribute has the qualified name, without building it.
bool HasName(xmlNodePtr node, std::string_view name) {
  if (node->ns && node->ns->prefix) {
    std::string_view prefix = View(node->ns->prefix);
    if (name.size() <= prefix.size() || !name.starts_with(prefix) ||
        name[prefix.size()] != ':')
      return false;
    name.remove_prefix(prefix.size() + 1);
  }
  return View(node->name) == name;
}

// Layout whitespace kept by the parser, hidden from callers.
bool IsBlankText(xmlNodePtr node) {
  if (node->type != XML_TEXT_NODE) return false;
  for (const xmlChar* c = node->content; c && *c; ++c)
    if (*c != ' ' && *c != '\t' && *c != '\r' && *c != '\n') return false;
  return true;
}

// The children callers see; an attribute's value nodes are not shown.
std::vector<xmlNodePtr> VisibleChildren(xmlNodePtr node) {
  std::vector<xmlNodePtr> children;
  if (node->type == XML_ATTRIBUTE_NODE) return children;
  for (xmlNodePtr child = node->children; child; child = child->next)
    if (!IsBlankText(child)) children.push_back(child);
  return children;
}

std::string Content(xmlNodePtr node) {
  if (node->type != XML_ATTRIBUTE_NODE) return std::string(View(node->content));
  xmlChar* value = xmlNodeGetContent(node);
  std::string text(View(value));
  xmlFree(value);
  return text;
}

bool HasValue(xmlNodePtr node) {
  switch (node->type) {
    case XML_ATTRIBUTE_NODE:
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE: return true;
    default: return false;
  }
}

// The text of descendant text and CDATA nodes in document order, less
// layout whitespace.
std::string DescendantText(xmlNodePtr root) {
  std::string text;
  xmlNodePtr node = root->children;
  while (node) {
    if (node->type == XML_CDATA_SECTION_NODE ||
        (node->type == XML_TEXT_NODE && !IsBlankText(node)))
      text.append(View(node->content));
    if (node->type == XML_ELEMENT_NODE && node->children) {
      node = node->children;
      continue;
    }
    while (node != root && node->next == nullptr) node = node->parent;
    node = node == root ? nullptr : node->next;
  }
  return text;
}

// The text that put_nodeValue stores for a value; none for types without
// one. Booleans read "true"/"false", as XML data types spell them.
std::optional<std::string> VariantText(const VARIANT& value) {
  switch (value.vt()) {
    case VT_BSTR: return ToUtf8(WStringView(value.bstrVal(), SysStringLen(value.bstrVal())));
    case VT_I4: return std::to_string(value.lVal());
    case VT_BOOL: return value.boolVal() ? "true" : "false";
    case VT_R8: {
      char digits[32];  // the shortest form that reads back the same double
      return std::string(digits, std::to_chars(digits, digits + sizeof digits, value.dblVal()).ptr);
    }
    default: return std::nullopt;
  }
}

// Replaces an attribute's value with one text node: xmlNodeSetContent would
// parse entity references in the value instead of storing it as given.
void SetAttributeValue(xmlNodePtr attribute, const std::string& value) {
  xmlFreeNodeList(attribute->children);
  xmlNodePtr text = xmlNewDocText(attribute->doc, BAD_CAST value.c_str());
  text->parent = attribute;
  attribute->children = attribute->last = text;
}

// Splits "a/q:b/c" into its steps; false for an empty or malformed path.
bool ParsePath(const char16_t* path, std::vector<std::string>& steps) {
  std::string text = ToUtf8(WStringView(path ? path : u""));
  for (size_t start = 0;;) {
    size_t slash = text.find('/', start);
    steps.push_back(text.substr(start, slash - start));
    if (xmlValidateQName(BAD_CAST steps.back().c_str(), 0) != 0) return false;
    if (slash == std::string::npos) return true;
    start = slash + 1;
  }
}

// Collects, in document order, the elements reached from `node` by the
// steps; returns true once it has the first when only that is wanted.
bool Walk(xmlNodePtr node, std::span<const std::string> steps, bool first_only,
          std::vector<xmlNodePtr>& found) {
  for (xmlNodePtr child = node->children; child; child = child->next) {
    if (child->type != XML_ELEMENT_NODE || !HasName(child, steps.front())) continue;
    if (steps.size() > 1) {
      if (Walk(child, steps.subspan(1), first_only, found)) return true;
    } else {
      found.push_back(child);
      if (first_only) return true;
    }
  }
  return false;
}

// The steps of a path, parsed once per thread: callers ask for the same
// few paths over and over (an item's "FileInfo", "Reference", ...). Empty
// for a malformed path.
const std::vector<std::string>& StepsOf(const char16_t* path) {
  thread_local std::unordered_map<std::u16string, std::vector<std::string>> parsed;
  std::u16string key(path ? path : u"");
  auto at = parsed.find(key);
  if (at != parsed.end()) return at->second;
  if (parsed.size() >= 1024) parsed.clear();  // paths made from data stay few
  std::vector<std::string> steps;
  if (!ParsePath(key.c_str(), steps)) steps.clear();
  return parsed.emplace(std::move(key), std::move(steps)).first->second;
}

HRESULT Select(NodeCore& self, const char16_t* path, bool first_only,
               std::vector<xmlNodePtr>& found) {
  const std::vector<std::string>& steps = StepsOf(path);
  if (steps.empty()) return E_INVALIDARG;
  Walk(self.node(), steps, first_only, found);
  return S_OK;
}

ComPtr<IXMLDOMNode> MakeNode(const std::shared_ptr<Tree>& tree, IXMLDOMDocument* owner,
                             xmlNodePtr node) {
  if (node == nullptr) return nullptr;
  return MakeCom<Node>(node, tree, owner);
}

// A snapshot of nodes taken at creation, with the cursor of nextNode.
template <class Interface>
class Snapshot : public ComObject<Interface> {
 public:
  Snapshot(NodeCore& from, std::vector<xmlNodePtr> nodes)
      : tree_(from.tree()), owner_(from.document()), nodes_(std::move(nodes)) {}

  HRESULT get_length(LONG* length) override {
    if (length == nullptr) return E_POINTER;
    *length = static_cast<LONG>(nodes_.size());
    return S_OK;
  }
  HRESULT get_item(LONG index, IXMLDOMNode** node) override {
    bool inside = index >= 0 && static_cast<size_t>(index) < nodes_.size();
    return Return(inside ? nodes_[static_cast<size_t>(index)] : nullptr, node);
  }
  HRESULT nextNode(IXMLDOMNode** node) override {
    HRESULT hr = get_item(cursor_, node);
    if (hr == S_OK) ++cursor_;
    return hr;
  }
  HRESULT reset() override {
    cursor_ = 0;
    return S_OK;
  }

 protected:
  HRESULT Return(xmlNodePtr node, IXMLDOMNode** out) {
    return ReturnObject(MakeNode(tree_, owner_.Get(), node), out);
  }

  std::shared_ptr<Tree> tree_;
  ComPtr<IXMLDOMDocument> owner_;
  std::vector<xmlNodePtr> nodes_;
  LONG cursor_ = 0;
};

using NodeList = Snapshot<IXMLDOMNodeList>;

class AttributeMap final : public Snapshot<IXMLDOMNamedNodeMap> {
 public:
  using Snapshot::Snapshot;

  HRESULT getNamedItem(const char16_t* name, IXMLDOMNode** node) override {
    std::string wanted = ToUtf8(WStringView(name ? name : u""));
    for (xmlNodePtr attribute : nodes_)
      if (HasName(attribute, wanted)) return Return(attribute, node);
    return Return(nullptr, node);
  }
};

// Whether `child` may become the last child of `parent`: same document, a
// kind that can be a child there, and not `parent` or one of its ancestors.
bool CanAppend(xmlNodePtr parent, xmlNodePtr child) {
  if (child->doc != parent->doc) return false;
  for (xmlNodePtr above = parent; above; above = above->parent)
    if (above == child) return false;
  switch (child->type) {
    case XML_COMMENT_NODE:
    case XML_PI_NODE: return parent->type == XML_ELEMENT_NODE || parent->type == XML_DOCUMENT_NODE;
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE: return parent->type == XML_ELEMENT_NODE;
    case XML_ELEMENT_NODE: {
      if (parent->type == XML_ELEMENT_NODE) return true;
      xmlNodePtr root = xmlDocGetRootElement(parent->doc);
      return parent->type == XML_DOCUMENT_NODE && (root == nullptr || root == child);
    }
    default: return false;
  }
}

// Links a detached node as the last child. xmlAddChild would merge a text
// node into a text sibling and free it under its node object.
void LinkLast(xmlNodePtr parent, xmlNodePtr child) {
  child->parent = parent;
  child->prev = parent->last;
  if (parent->last) parent->last->next = child;
  else parent->children = child;
  parent->last = child;
}

NodeCore* CoreOf(IXMLDOMNode* node) { return dynamic_cast<NodeCore*>(node); }

}  // namespace

ComPtr<IXMLDOMNode> Wrap(NodeCore& self, xmlNodePtr node) {
  if (node == reinterpret_cast<xmlNodePtr>(self.tree()->doc))
    return ComPtr<IXMLDOMNode>(self.document());
  return MakeNode(self.tree(), self.document(), node);
}

HRESULT GetNodeName(NodeCore& self, BSTR* name) {
  xmlNodePtr node = self.node();
  switch (node->type) {
    case XML_TEXT_NODE: return ReturnUtf8("#text", name);
    case XML_CDATA_SECTION_NODE: return ReturnUtf8("#cdata-section", name);
    case XML_COMMENT_NODE: return ReturnUtf8("#comment", name);
    case XML_DOCUMENT_NODE: return ReturnUtf8("#document", name);
    default: return ReturnUtf8(QualifiedName(node), name);
  }
}

HRESULT GetBaseName(NodeCore& self, BSTR* name) {
  xmlNodePtr node = self.node();
  switch (node->type) {
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_DOCUMENT_NODE: return ReturnUtf8("", name);
    default: {
      // A prefix without a namespace declaration stays in the name.
      std::string_view local = View(node->name);
      return ReturnUtf8(local.substr(local.find(':') + 1), name);
    }
  }
}

HRESULT GetNodeType(NodeCore& self, DOMNodeType* type) {
  if (type == nullptr) return E_POINTER;
  // libxml2 numbers its node kinds as the DOM does, up to notations.
  int kind = self.node()->type;
  *type = kind <= NODE_NOTATION ? static_cast<DOMNodeType>(kind) : NODE_INVALID;
  return S_OK;
}

HRESULT GetNodeValue(NodeCore& self, VARIANT* value) {
  if (value == nullptr) return E_POINTER;
  xmlNodePtr node = self.node();
  *value = HasValue(node) ? VARIANT::FromString(FromUtf8(Content(node))) : VARIANT::Null();
  return S_OK;
}

HRESULT PutNodeValue(NodeCore& self, const VARIANT& value) {
  xmlNodePtr node = self.node();
  if (!HasValue(node)) return E_FAIL;
  std::optional<std::string> text = VariantText(value);
  if (!text) return E_INVALIDARG;
  if (node->type == XML_ATTRIBUTE_NODE) SetAttributeValue(node, *text);
  else xmlNodeSetContent(node, BAD_CAST text->c_str());
  return S_OK;
}

HRESULT GetText(NodeCore& self, BSTR* text) {
  xmlNodePtr node = self.node();
  return ReturnUtf8(HasValue(node) ? Content(node) : DescendantText(node), text);
}

HRESULT GetXml(NodeCore& self, BSTR* xml) {
  return ReturnUtf8(SerialiseToUtf8(*self.tree(), self.node()), xml);
}

HRESULT GetChildNodes(NodeCore& self, IXMLDOMNodeList** list) {
  return ReturnObject<IXMLDOMNodeList>(MakeCom<NodeList>(self, VisibleChildren(self.node())),
                                       list);
}

HRESULT GetFirstChild(NodeCore& self, IXMLDOMNode** child) {
  xmlNodePtr node = self.node();
  xmlNodePtr first = node->type == XML_ATTRIBUTE_NODE ? nullptr : node->children;
  while (first && IsBlankText(first)) first = first->next;
  return ReturnObject(first ? Wrap(self, first) : nullptr, child);
}

HRESULT GetParentNode(NodeCore& self, IXMLDOMNode** parent) {
  xmlNodePtr node = self.node();
  xmlNodePtr above = node->type == XML_ATTRIBUTE_NODE ? nullptr : node->parent;
  return ReturnObject(above ? Wrap(self, above) : nullptr, parent);
}

HRESULT GetAttributes(NodeCore& self, IXMLDOMNamedNodeMap** map) {
  xmlNodePtr node = self.node();
  if (node->type != XML_ELEMENT_NODE) return ReturnObject<IXMLDOMNamedNodeMap>(nullptr, map);
  std::vector<xmlNodePtr> attributes;
  for (xmlAttrPtr attribute = node->properties; attribute; attribute = attribute->next)
    attributes.push_back(reinterpret_cast<xmlNodePtr>(attribute));
  return ReturnObject<IXMLDOMNamedNodeMap>(MakeCom<AttributeMap>(self, std::move(attributes)),
                                           map);
}

HRESULT SelectSingleNode(NodeCore& self, const char16_t* path, IXMLDOMNode** node) {
  if (node == nullptr) return E_POINTER;
  *node = nullptr;
  std::vector<xmlNodePtr> found;
  HRESULT hr = Select(self, path, true, found);
  if (FAILED(hr)) return hr;
  return ReturnObject(found.empty() ? nullptr : Wrap(self, found.front()), node);
}

HRESULT SelectNodes(NodeCore& self, const char16_t* path, IXMLDOMNodeList** list) {
  if (list == nullptr) return E_POINTER;
  *list = nullptr;
  std::vector<xmlNodePtr> found;
  HRESULT hr = Select(self, path, false, found);
  if (FAILED(hr)) return hr;
  *list = MakeCom<NodeList>(self, std::move(found)).Detach();
  return S_OK;
}

HRESULT RemoveChild(NodeCore& self, IXMLDOMNode* child, IXMLDOMNode** removed) {
  if (removed) *removed = nullptr;
  NodeCore* core = CoreOf(child);
  if (core == nullptr || core->node()->parent != self.node() ||
      core->node()->type == XML_ATTRIBUTE_NODE)
    return E_INVALIDARG;
  xmlUnlinkNode(core->node());
  self.tree()->Adopt(core->node());
  if (removed) {
    child->AddRef();
    *removed = child;
  }
  return S_OK;
}

HRESULT AppendChild(NodeCore& self, IXMLDOMNode* child, IXMLDOMNode** appended) {
  if (appended) *appended = nullptr;
  NodeCore* core = CoreOf(child);
  if (core == nullptr) return E_INVALIDARG;
  xmlNodePtr node = core->node();
  // A node of another document is imported: a deep copy is appended and the
  // original stays where it is.
  if (node->doc != self.node()->doc) {
    if (node->type == XML_DOCUMENT_NODE || node->type == XML_ATTRIBUTE_NODE) return E_INVALIDARG;
    node = xmlDocCopyNode(node, self.node()->doc, 1);
    if (node == nullptr) return E_OUTOFMEMORY;
    self.tree()->Adopt(node);
  }
  if (!CanAppend(self.node(), node)) return E_INVALIDARG;
  xmlUnlinkNode(node);
  LinkLast(self.node(), node);
  if (appended == nullptr) return S_OK;
  if (node == core->node()) {
    child->AddRef();
    *appended = child;
  } else {
    *appended = Wrap(self, node).Detach();
  }
  return S_OK;
}

HRESULT CloneNode(NodeCore& self, VARIANT_BOOL deep, IXMLDOMNode** clone) {
  if (clone == nullptr) return E_POINTER;
  *clone = nullptr;
  xmlNodePtr node = self.node();
  if (node->type == XML_DOCUMENT_NODE) return E_NOTIMPL;
  // 1 copies descendants; 2 copies an element with its attributes only.
  xmlNodePtr copy = xmlDocCopyNode(node, node->doc, deep != VARIANT_FALSE ? 1 : 2);
  if (copy == nullptr) return E_OUTOFMEMORY;
  self.tree()->Adopt(copy);
  *clone = Wrap(self, copy).Detach();
  return S_OK;
}

}  // namespace kv7::xmldom
