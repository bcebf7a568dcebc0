#include "kv7/util/xml_helpers.h"

#include "kv7/helper/helper.h"
#include "kv7/trace/trace.h"

namespace {

// Reads a variant's text when it is a non-null string.
bool TakeString(const VARIANT& value, WString& out) {
  if (value.vt() != VT_BSTR || value.bstrVal() == nullptr) return false;
  out.assign(value.bstrVal(), SysStringLen(value.bstrVal()));
  return true;
}

// Steps through the node's attributes to the first whose local name equals
// `name` ignoring case. Returns the status of the last step; *match is set
// only when one matched. Attributes whose local name cannot be read are
// skipped.
HRESULT FindAttribute(IXMLDOMNamedNodeMap* map, const char16_t* name, IXMLDOMNode** match) {
  HRESULT hr;
  ComPtr<IXMLDOMNode> attribute;
  while ((hr = map->nextNode(attribute.Put())) == S_OK && attribute) {
    CComBSTR base_name;
    if (FAILED(attribute->get_baseName(base_name.Put())) || base_name.IsNull()) continue;
    if (kv7::EqualsNoCase(base_name.ToString(), name)) {
      *match = attribute.Detach();
      return hr;
    }
  }
  return hr;
}

}  // namespace

HRESULT GetSingleNode(IXMLDOMNode* node, const char16_t* path, IXMLDOMNode** found) {
  KV7_TRACE_ENTRY("GetSingleNode", 2, "XMLHelpers");
  ComPtr<IXMLDOMNode> match;
  HRESULT hr = node->selectSingleNode(path, match.Put());
  if (hr == S_OK) *found = match.Detach();
  return KV7_TRACE_RETURN(hr);
}

HRESULT GetMultiNodes(IXMLDOMNode* node, const char16_t* path, IXMLDOMNodeList** list) {
  KV7_TRACE_ENTRY("GetMultiNodes", 2, "XMLHelpers");
  ComPtr<IXMLDOMNodeList> matches;
  HRESULT hr = node->selectNodes(path, matches.Put());
  if (hr == S_OK) *list = matches.Detach();
  return KV7_TRACE_RETURN(hr);
}

HRESULT GetChildNodeByName(IXMLDOMNode* parent, const char16_t* name, IXMLDOMNode** found) {
  KV7_TRACE_ENTRY("GetChildNodeByName", 2, "XMLHelpers");
  ComPtr<IXMLDOMNodeList> children;
  HRESULT hr = parent->get_childNodes(children.Put());
  if (FAILED(hr) || !children) return KV7_TRACE_RETURN(hr);
  ComPtr<IXMLDOMNode> child;
  while (children->nextNode(child.Put()) == S_OK && child) {
    CComBSTR child_name;
    if (FAILED(child->get_nodeName(child_name.Put())) || child_name.IsNull()) continue;
    if (child_name.ToString() == name) {
      *found = child.Detach();
      break;
    }
  }
  return KV7_TRACE_RETURN(hr);
}

HRESULT GetAttrFromNode(IXMLDOMNode* node, const char16_t* name, WString& value) {
  KV7_TRACE_ENTRY("GetAttrFromNode", 2, "XMLHelpers");
  ComPtr<IXMLDOMNamedNodeMap> map;
  HRESULT hr = node->get_attributes(map.Put());
  if (FAILED(hr) || !map) return KV7_TRACE_RETURN(hr);
  ComPtr<IXMLDOMNode> attribute;
  hr = FindAttribute(map.Get(), name, attribute.Put());
  if (!attribute) return KV7_TRACE_RETURN(hr);
  VARIANT attribute_value;
  hr = attribute->get_nodeValue(&attribute_value);
  if (SUCCEEDED(hr)) TakeString(attribute_value, value);
  return KV7_TRACE_RETURN(hr);
}

HRESULT SetAttrIntoNode(IXMLDOMNode* node, const char16_t* name, const char16_t* value) {
  KV7_TRACE_ENTRY("SetAttrIntoNode", 2, "XMLHelpers");
  ComPtr<IXMLDOMNamedNodeMap> map;
  HRESULT map_status = node->get_attributes(map.Put());
  if (FAILED(map_status) || !map) return KV7_TRACE_RETURN(map_status);
  ComPtr<IXMLDOMNode> attribute;
  (void)FindAttribute(map.Get(), name, attribute.Put());
  if (attribute) {
    HRESULT set_status = attribute->put_nodeValue(VARIANT::FromString(value ? value : u""));
    if (FAILED(set_status)) KV7_TRACE_ERROR("put_nodeValue failed", set_status);
  }
  return KV7_TRACE_RETURN(map_status);
}

HRESULT GetSimpleNodeValue(IXMLDOMNode* node, const char16_t* path, WString& value) {
  KV7_TRACE_ENTRY("GetSimpleNodeValue", 2, "XMLHelpers");
  ComPtr<IXMLDOMNode> found;
  HRESULT hr = node->selectSingleNode(path, found.Put());
  if (hr != S_OK || !found) return KV7_TRACE_RETURN(hr);
  ComPtr<IXMLDOMNode> first;
  hr = found->get_firstChild(first.Put());
  if (first) {
    VARIANT child_value;
    if (SUCCEEDED(first->get_nodeValue(&child_value))) TakeString(child_value, value);
  }
  return KV7_TRACE_RETURN(hr);
}

HRESULT GetBasicNodeValue(IXMLDOMNode* node, const char16_t* path, WString& value) {
  KV7_TRACE_ENTRY("GetBasicNodeValue", 2, "XMLHelpers");
  ComPtr<IXMLDOMNode> found;
  HRESULT hr = node->selectSingleNode(path, found.Put());
  if (hr == S_OK && found) {
    CComBSTR text;
    if (SUCCEEDED(found->get_text(text.Put())) && !text.IsNull()) value = text.ToString();
  }
  return KV7_TRACE_RETURN(hr);
}

void IterateDOMChildren(IXMLDOMNode* node) {
  KV7_TRACE_ENTRY("IterateDOMChildren", 2, "XMLHelpers");
  ComPtr<IXMLDOMNodeList> children;
  if (FAILED(node->get_childNodes(children.Put())) || !children) return;
  ComPtr<IXMLDOMNode> child;
  while (children->nextNode(child.Put()) == S_OK && child) {
    CComBSTR base_name, node_name;
    DOMNodeType type;
    VARIANT value;
    (void)child->get_baseName(base_name.Put());
    (void)child->get_nodeName(node_name.Put());
    (void)child->get_nodeType(&type);
    (void)child->get_nodeValue(&value);
    ComPtr<IXMLDOMNamedNodeMap> attributes;
    if (child->get_attributes(attributes.Put()) == S_OK && attributes) {
      ComPtr<IXMLDOMNode> attribute;
      while (attributes->nextNode(attribute.Put()) == S_OK && attribute) {
        CComBSTR attribute_base, attribute_name;
        VARIANT attribute_value;
        (void)attribute->get_baseName(attribute_base.Put());
        (void)attribute->get_nodeName(attribute_name.Put());
        (void)attribute->get_nodeValue(&attribute_value);
      }
    }
    IterateDOMChildren(child.Get());
  }
}

HRESULT RemoveAllChildNodes(IXMLDOMNode* node) {
  KV7_TRACE_ENTRY("RemoveAllChildNodes", 2, "XMLHelpers");
  ComPtr<IXMLDOMNode> first;
  while (node->get_firstChild(first.Put()) == S_OK && first) {
    if (FAILED(node->removeChild(first.Get(), nullptr))) break;
  }
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT RemoveAllChildNodes(IXMLDOMNodeList* list) {
  KV7_TRACE_ENTRY("RemoveAllChildNodes", 2, "XMLHelpers");
  ComPtr<IXMLDOMNode> node;
  while (list->nextNode(node.Put()) == S_OK && node) (void)RemoveAllChildNodes(node.Get());
  return KV7_TRACE_RETURN(S_OK);
}

namespace {

struct Escape {
  const char16_t* character;
  const char16_t* entity;
};

// Ampersands go first on the way in and last on the way out, so that the
// entities written by the other passes are not escaped again.
constexpr Escape kEscapes[] = {
    {u"&", u"&amp;"}, {u"<", u"&lt;"}, {u">", u"&gt;"}, {u"\"", u"&quot;"}, {u"'", u"&apos;"},
};

}  // namespace

void NormalizeXML(WString& text) {
  KV7_TRACE_ENTRY("NormalizeXML", 2, "XMLHelpers");
  for (const Escape& escape : kEscapes) kv7::ReplaceAll(text, escape.character, escape.entity);
}

void DenormalizeXML(WString& text) {
  KV7_TRACE_ENTRY("DenormalizeXML", 2, "XMLHelpers");
  for (auto it = std::rbegin(kEscapes); it != std::rend(kEscapes); ++it)
    kv7::ReplaceAll(text, it->entity, it->character);
}

HRESULT GetXMLEncoding(WString& header) {
  KV7_TRACE_ENTRY("GetXMLEncoding", 2, "XMLHelpers");
  CComBSTR declaration;
  CCommandHelperHook helper;
  (void)helper.GetXMLEncoding(declaration.Put());
  if (!declaration.IsNull()) header = declaration.ToString();
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT DumpDOMDocToDisk(IXMLDOMDocument* document, const char16_t* path) {
  KV7_TRACE_ENTRY("DumpDOMDocToDisk", 2, "XMLHelpers");
  return KV7_TRACE_RETURN(document->save(path));
}

WString GetNodeName(IXMLDOMNode* node) {
  KV7_TRACE_ENTRY("GetNodeName", 2, "XMLHelpers");
  CComBSTR name;
  if (node == nullptr || FAILED(node->get_nodeName(name.Put()))) return {};
  return name.ToString();
}

WString DescribeParseError(IXMLDOMDocument* document, WStringView path, LONG* code) {
  KV7_TRACE_ENTRY("DescribeParseError", 2, "XMLHelpers");
  ComPtr<IXMLDOMParseError> error;
  LONG line = 0, position = 0, error_code = 0;
  CComBSTR reason;
  if (SUCCEEDED(document->get_parseError(error.Put())) && error) {
    (void)error->get_errorCode(&error_code);
    (void)error->get_reason(reason.Put());
    (void)error->get_line(&line);
    (void)error->get_linepos(&position);
  }
  if (code) *code = error_code;
  if (line <= 0) return reason.ToString();
  return kv7::FormatW(u"%s: line %d, position %d: %s", WString(path).c_str(), line, position,
                      reason.ToString().c_str());
}
