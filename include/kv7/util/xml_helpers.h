// The XML document helpers: the one small set of functions through which
// every XML document of the system is read and written, exported so that
// sibling modules follow the same rules.
//
// The rules callers depend on:
//  - Absence is never an error. A missing node or attribute shows as an
//    output left exactly as the caller set it (a default, or null) and, per
//    function, S_OK or S_FALSE. A match is recognised by the returned
//    pointer or a changed output, not by the status.
//  - Outputs are written only on success; a node handed out carries one
//    reference that the caller releases.
//  - The result is the DOM's own status, unchanged.
#pragma once

#include "kv7/platform/wstring.h"
#include "kv7/platform/xmldom.h"

// Selects the first node on the child path (e.g. "DATACONNECTIONS/DATACONNECTION").
// Stores it in *found only when the DOM answers S_OK; returns the DOM's status
// (S_FALSE when nothing matches).
HRESULT GetSingleNode(IXMLDOMNode* node, const char16_t* path, IXMLDOMNode** found);

// Selects every node on the child path; *list is set only on S_OK.
HRESULT GetMultiNodes(IXMLDOMNode* node, const char16_t* path, IXMLDOMNodeList** list);

// The first direct child whose qualified name equals `name` exactly (case
// and prefix included). Returns the status of reading the child list, so a
// missing child still gives S_OK with *found untouched.
HRESULT GetChildNodeByName(IXMLDOMNode* parent, const char16_t* name, IXMLDOMNode** found);

// The value of the first attribute whose local name (prefix ignored) equals
// `name` ignoring case, when it is a non-null string. Returns the status of
// reading that value, or of the last step through the attribute map when
// none matched; a node without attributes returns the map's status.
HRESULT GetAttrFromNode(IXMLDOMNode* node, const char16_t* name, WString& value);

// Sets the first attribute matched as GetAttrFromNode matches; never creates
// one. Always returns the status of reading the attribute map.
HRESULT SetAttrIntoNode(IXMLDOMNode* node, const char16_t* name, const char16_t* value);

// The value of the first child of the node on the path, when that child is a
// text or CDATA node. Returns the query's status when nothing was found,
// else the status of reading the first child (S_FALSE for an empty element).
HRESULT GetSimpleNodeValue(IXMLDOMNode* node, const char16_t* path, WString& value);

// The concatenated text of the node on the path and its descendants.
// Returns the query's status.
HRESULT GetBasicNodeValue(IXMLDOMNode* node, const char16_t* path, WString& value);

// A diagnostic walk over every descendant and its attributes; changes nothing.
void IterateDOMChildren(IXMLDOMNode* node);

// Removes every child of the node (its attributes stay). Always S_OK.
HRESULT RemoveAllChildNodes(IXMLDOMNode* node);
// Empties every node of the list from its current position. Always S_OK.
HRESULT RemoveAllChildNodes(IXMLDOMNodeList* list);

// Escapes & < > " ' as entities, ampersands first; existing entities are
// escaped again. DenormalizeXML undoes one level, ampersands last.
void NormalizeXML(WString& text);
void DenormalizeXML(WString& text);

// The node's qualified name; empty when it cannot be read.
WString GetNodeName(IXMLDOMNode* node);

// Calls `visit(child)`, which answers an HRESULT, for each child element of
// `parent` named exactly `name` (each child element when `name` is null),
// in document order. Stops at the first visit that fails and returns its
// status; otherwise the status of reading the child list.
template <class Visit>
HRESULT ForEachChildElement(IXMLDOMNode* parent, const char16_t* name, Visit visit) {
  ComPtr<IXMLDOMNodeList> children;
  HRESULT hr = parent->get_childNodes(children.Put());
  if (FAILED(hr) || !children) return hr;
  ComPtr<IXMLDOMNode> child;
  while (children->nextNode(child.Put()) == S_OK && child) {
    DOMNodeType type = NODE_INVALID;
    if (FAILED(child->get_nodeType(&type)) || type != NODE_ELEMENT) continue;
    if (name != nullptr && GetNodeName(child.Get()) != name) continue;
    if (HRESULT visited = visit(child.Get()); FAILED(visited)) return visited;
  }
  return S_OK;
}

// Why a document did not load, worded for the user: "<path>: line N,
// position M: <reason>"; the reason alone when the file could not be read
// at all (that reason names the file). *code, when given, receives the
// parse error's code.
WString DescribeParseError(IXMLDOMDocument* document, WStringView path, LONG* code = nullptr);

// The declaration line that starts the system's XML documents, from the
// helper library; the header is unchanged when the library gives none.
HRESULT GetXMLEncoding(WString& header);

// Saves the document to the file; returns the status of the DOM's save.
HRESULT DumpDOMDocToDisk(IXMLDOMDocument* document, const char16_t* path);
