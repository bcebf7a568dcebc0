// The XML DOM: the platform parser's document object model, with the
// interfaces, operations and observable behaviour that the system's XML
// documents rely on.
//
// Behaviour callers depend on:
//  - Whitespace-only text nodes are not shown: child lists, firstChild and
//    `text` skip them, yet `save` and `xml` reproduce a loaded document's
//    layout (its declaration as written, its line-end style) and nodes added
//    later are serialised without added whitespace.
//  - `text` is the concatenated text of the node's descendants as written,
//    less that whitespace (line breaks inside a text are kept).
//  - selectSingleNode answers S_OK with the node, or S_FALSE with null when
//    nothing matches; selectNodes answers S_OK with a (possibly empty) list.
//    Paths are child steps of qualified element names joined by "/",
//    evaluated from the node (from a document, the first step names the root).
//  - loadXML takes text that is already decoded (a declaration's encoding is
//    ignored); load reads a file honouring its byte-order mark and declared
//    encoding; save writes in the encoding that the declaration names
//    (UTF-8 when none). Both loads answer S_OK, or S_FALSE with *success
//    VARIANT_FALSE and the parse error set when the text is not well formed;
//    a document that fails to load is left empty.
//  - Untrusted input is safe: no network, no external entities, no entity
//    expansion (a document type declaration is refused), nesting bounded.
//
// Nodes, lists and maps hold their document alive. Objects live on one thread.
#pragma once

#include "kv7/platform/bstr.h"
#include "kv7/platform/com.h"
#include "kv7/platform/variant.h"

enum DOMNodeType : LONG {
  NODE_INVALID = 0,
  NODE_ELEMENT = 1,
  NODE_ATTRIBUTE = 2,
  NODE_TEXT = 3,
  NODE_CDATA_SECTION = 4,
  NODE_ENTITY_REFERENCE = 5,
  NODE_ENTITY = 6,
  NODE_PROCESSING_INSTRUCTION = 7,
  NODE_COMMENT = 8,
  NODE_DOCUMENT = 9,
  NODE_DOCUMENT_TYPE = 10,
  NODE_DOCUMENT_FRAGMENT = 11,
  NODE_NOTATION = 12,
};

struct IXMLDOMNodeList;
struct IXMLDOMNamedNodeMap;
struct IXMLDOMDocument;
struct IXMLDOMParseError;

struct IXMLDOMNode : IUnknown {
  KV7_INTERFACE(IUnknown, "2933BF80-7B36-11D2-B20E-00C04F983E60")

  // Qualified name ("q:name"); "#text", "#comment", "#cdata-section",
  // "#document" for the other kinds; a processing instruction's target.
  virtual HRESULT get_nodeName(BSTR* name) = 0;
  // Local name without prefix; empty for text, comments and the document.
  virtual HRESULT get_baseName(BSTR* name) = 0;
  virtual HRESULT get_nodeType(DOMNodeType* type) = 0;
  // A string for attributes, text, CDATA, comments and processing
  // instructions; VT_NULL for elements and documents.
  virtual HRESULT get_nodeValue(VARIANT* value) = 0;
  // Sets the value of a node that has one (converted to a string);
  // E_FAIL for elements and documents.
  virtual HRESULT put_nodeValue(const VARIANT& value) = 0;
  virtual HRESULT get_text(BSTR* text) = 0;
  // Serialises the node and its descendants.
  virtual HRESULT get_xml(BSTR* xml) = 0;
  virtual HRESULT get_childNodes(IXMLDOMNodeList** list) = 0;
  // S_FALSE with null when there is no child.
  virtual HRESULT get_firstChild(IXMLDOMNode** child) = 0;
  // S_FALSE with null for a document, an attribute or an unattached node.
  virtual HRESULT get_parentNode(IXMLDOMNode** parent) = 0;
  // S_FALSE with null for nodes that have no attributes (all but elements).
  virtual HRESULT get_attributes(IXMLDOMNamedNodeMap** map) = 0;
  virtual HRESULT get_ownerDocument(IXMLDOMDocument** document) = 0;
  virtual HRESULT selectSingleNode(const char16_t* path, IXMLDOMNode** node) = 0;
  virtual HRESULT selectNodes(const char16_t* path, IXMLDOMNodeList** list) = 0;
  // Removes a child of this node; E_INVALIDARG when it is not a child.
  virtual HRESULT removeChild(IXMLDOMNode* child, IXMLDOMNode** removed) = 0;
  // Appends a node (moving it when it is attached elsewhere); a node of
  // another document is imported as a deep copy, which *appended names.
  // E_INVALIDARG for an ancestor, a document or an attribute.
  virtual HRESULT appendChild(IXMLDOMNode* child, IXMLDOMNode** appended) = 0;
  // An unattached copy, with descendants when deep is VARIANT_TRUE.
  virtual HRESULT cloneNode(VARIANT_BOOL deep, IXMLDOMNode** clone) = 0;
};

// A live-at-creation snapshot of nodes with a cursor for nextNode.
struct IXMLDOMNodeList : IUnknown {
  KV7_INTERFACE(IUnknown, "2933BF82-7B36-11D2-B20E-00C04F983E60")

  virtual HRESULT get_length(LONG* length) = 0;
  // S_FALSE with null when the index is out of range.
  virtual HRESULT get_item(LONG index, IXMLDOMNode** node) = 0;
  // The node at the cursor, advancing it; S_FALSE with null past the end.
  virtual HRESULT nextNode(IXMLDOMNode** node) = 0;
  virtual HRESULT reset() = 0;
};

// An element's attributes in document order.
struct IXMLDOMNamedNodeMap : IUnknown {
  KV7_INTERFACE(IUnknown, "2933BF83-7B36-11D2-B20E-00C04F983E60")

  virtual HRESULT get_length(LONG* length) = 0;
  virtual HRESULT get_item(LONG index, IXMLDOMNode** node) = 0;
  // By qualified name, exactly; S_FALSE with null when absent.
  virtual HRESULT getNamedItem(const char16_t* name, IXMLDOMNode** node) = 0;
  virtual HRESULT nextNode(IXMLDOMNode** node) = 0;
  virtual HRESULT reset() = 0;
};

struct IXMLDOMParseError : IUnknown {
  KV7_INTERFACE(IUnknown, "3EFAA426-272F-11D2-836F-0000F87A7782")

  // 0 when the last load succeeded.
  virtual HRESULT get_errorCode(LONG* code) = 0;
  virtual HRESULT get_reason(BSTR* reason) = 0;
  virtual HRESULT get_line(LONG* line) = 0;
  virtual HRESULT get_linepos(LONG* position) = 0;
  // Character offset of the error from the start of the text.
  virtual HRESULT get_filepos(LONG* position) = 0;
  virtual HRESULT get_url(BSTR* url) = 0;
  virtual HRESULT get_srcText(BSTR* text) = 0;
};

struct IXMLDOMDocument : IXMLDOMNode {
  KV7_INTERFACE(IXMLDOMNode, "2933BF81-7B36-11D2-B20E-00C04F983E60")

  virtual HRESULT loadXML(const char16_t* text, VARIANT_BOOL* success) = 0;
  virtual HRESULT load(const char16_t* path, VARIANT_BOOL* success) = 0;
  // Writes the document to a file; a failing write is a Win32 status and
  // leaves the thread's error information.
  virtual HRESULT save(const char16_t* path) = 0;
  virtual HRESULT get_parseError(IXMLDOMParseError** error) = 0;
  // S_FALSE with null when the document is empty.
  virtual HRESULT get_documentElement(IXMLDOMNode** root) = 0;
  virtual HRESULT createElement(const char16_t* name, IXMLDOMNode** element) = 0;
  virtual HRESULT createTextNode(const char16_t* text, IXMLDOMNode** node) = 0;
  // Whether the next load keeps layout whitespace, which saving writes back
  // as it was; true unless set false. Callers never see it either way, so a
  // document that is only read loads faster without it.
  virtual HRESULT get_preserveWhiteSpace(VARIANT_BOOL* preserve) = 0;
  virtual HRESULT put_preserveWhiteSpace(VARIANT_BOOL preserve) = 0;
};

inline constexpr CLSID CLSID_DOMDocument =
    kv7::MakeGuid("2933BF90-7B36-11D2-B20E-00C04F983E60");

// Creates an empty document, as the platform's document class does.
HRESULT CreateXMLDOMDocument(IXMLDOMDocument** document);
