#include "connection_catalogue.h"

#include <algorithm>
#include <string>

#include "helper_trace.h"
#include "kv7/helper/helper.h"
#include "kv7/helper/password_cipher.h"
#include "kv7/platform/errorinfo.h"
#include "kv7/platform/files.h"
#include "kv7/platform/xmldom.h"

namespace kv7::helper {
namespace {

constexpr char16_t kPasswordAttribute[] = u"DBPASSWORD";

WString CataloguePath() { return Kv7HomeDirectory() + u"/connections.xml"; }

// The same entities as the system's NormalizeXML, so that an element the
// system rewrites compares equal to the one the catalogue answers.
WString Escaped(WStringView value) {
  WString text;
  text.reserve(value.size());
  for (char16_t c : value) {
    switch (c) {
      case u'&': text += u"&amp;"; break;
      case u'<': text += u"&lt;"; break;
      case u'>': text += u"&gt;"; break;
      case u'"': text += u"&quot;"; break;
      case u'\'': text += u"&apos;"; break;
      default: text += c;
    }
  }
  return text;
}

// Appends every attribute of the element (qualified name, string value).
HRESULT ReadAttributes(IXMLDOMNode* element, Connection* connection) {
  ComPtr<IXMLDOMNamedNodeMap> map;
  HRESULT hr = element->get_attributes(map.Put());
  if (FAILED(hr)) return hr;
  if (!map) return E_FAIL;
  ComPtr<IXMLDOMNode> attribute;
  while (map->nextNode(attribute.Put()) == S_OK && attribute) {
    CComBSTR name;
    VARIANT value;
    if (FAILED(attribute->get_nodeName(name.Put())) || FAILED(attribute->get_nodeValue(&value)) ||
        value.vt() != VT_BSTR)
      continue;
    connection->attributes.emplace_back(name.ToString(),
                                        WString(value.bstrVal(), SysStringLen(value.bstrVal())));
  }
  return S_OK;
}

HRESULT BadCatalogue(const WString& path, IXMLDOMDocument* document) {
  WString detail = u"the root element is not DATACONNECTIONS";
  ComPtr<IXMLDOMParseError> error;
  LONG code = 0, line = 0;
  CComBSTR reason;
  if (SUCCEEDED(document->get_parseError(error.Put())) && error &&
      SUCCEEDED(error->get_errorCode(&code)) && code != 0 && SUCCEEDED(error->get_line(&line)) &&
      SUCCEEDED(error->get_reason(reason.Put())))
    detail = FormatW(u"line %d: %s", static_cast<int>(line), reason.ToString().c_str());
  SetErrorInfo(E_FAIL, path + u": not a connection catalogue (" + detail + u")");
  return E_FAIL;
}

}  // namespace

const WString* Connection::Find(WStringView name) const {
  for (const auto& [attribute, value] : attributes)
    if (EqualsNoCase(attribute, name)) return &value;
  return nullptr;
}

WString Connection::Get(WStringView name) const {
  const WString* value = Find(name);
  return value ? *value : WString();
}

void Connection::Set(WStringView name, WStringView value) {
  for (auto& [attribute, held] : attributes) {
    if (EqualsNoCase(attribute, name)) {
      held = value;
      return;
    }
  }
  attributes.emplace_back(name, value);
}

HRESULT ReadConnectionElement(WStringView text, Connection* connection) {
  ComPtr<IXMLDOMDocument> document;
  HRESULT hr = CreateXMLDOMDocument(document.Put());
  if (FAILED(hr)) return hr;
  VARIANT_BOOL loaded = VARIANT_FALSE;
  if (document->loadXML(WString(text).c_str(), &loaded) != S_OK) return E_FAIL;
  ComPtr<IXMLDOMNode> element;
  if (document->selectSingleNode(u"DATACONNECTION", element.Put()) != S_OK &&
      document->selectSingleNode(u"DATACONNECTIONS/DATACONNECTION", element.Put()) != S_OK)
    return E_FAIL;
  Connection read;
  hr = ReadAttributes(element.Get(), &read);
  if (FAILED(hr)) return hr;
  *connection = std::move(read);
  return S_OK;
}

void CompleteConnection(Connection* connection) {
  Connection completed;
  for (const char16_t* name : kConnectionAttributeNames) {
    WString value;
    if (const WString* held = connection->Find(name)) value = *held;
    else if (WStringView(name) == u"DATABASE") value = connection->Get(u"DBALIAS");
    else if (WStringView(name) == u"DBTYPE") value = u"SQLITE";
    completed.attributes.emplace_back(name, std::move(value));
  }
  for (auto& attribute : connection->attributes)
    if (completed.Find(attribute.first) == nullptr)
      completed.attributes.push_back(std::move(attribute));
  *connection = std::move(completed);
}

WString ConnectionElementText(const Connection& connection, bool encipherPassword) {
  WString text = u"<DATACONNECTION";
  for (const auto& [name, value] : connection.attributes) {
    bool encipher = encipherPassword && EqualsNoCase(name, kPasswordAttribute);
    text += u' ';
    text += name;
    text += u"=\"";
    text += Escaped(encipher ? EncipherPassword(value) : value);
    text += u'"';
  }
  text += u"/>";
  return text;
}

WString ConnectionsDocumentText(std::span<const Connection> connections, WStringView defaultName,
                                bool encipherPasswords) {
  WString text = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<DATACONNECTIONS";
  if (!defaultName.empty()) text += u" DEFAULT=\"" + Escaped(defaultName) + u"\"";
  text += u">\r\n";
  for (const Connection& connection : connections)
    text += u"\t" + ConnectionElementText(connection, encipherPasswords) + u"\r\n";
  text += u"</DATACONNECTIONS>\r\n";
  return text;
}

HRESULT ConnectionNotFound(WStringView name) {
  SetErrorInfo(KV7_E_CONNECTION_NOT_FOUND, u"no connection named '" + WString(name) + u"'");
  return KV7_E_CONNECTION_NOT_FOUND;
}

HRESULT ConnectionCatalogue::Load() {
  KV7_HELPER_TRACE_ENTRY("ConnectionCatalogue::Load", "ConnectionCatalogue");
  connections_.clear();
  default_name_.clear();
  WString path = CataloguePath();
  if (!FileExists(path)) return KV7_TRACE_RETURN(S_OK);
  std::string bytes;
  HRESULT hr = ReadFileBytes(path, &bytes);
  if (FAILED(hr)) return KV7_TRACE_RETURN(ReportFileError(hr, u"read", path));
  if (bytes.empty()) return KV7_TRACE_RETURN(S_OK);

  ComPtr<IXMLDOMDocument> document;
  hr = CreateXMLDOMDocument(document.Put());
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  VARIANT_BOOL loaded = VARIANT_FALSE;
  ComPtr<IXMLDOMNode> root;
  if (document->loadXML(FromUtf8(bytes).c_str(), &loaded) != S_OK ||
      document->selectSingleNode(u"DATACONNECTIONS", root.Put()) != S_OK)
    return KV7_TRACE_RETURN(BadCatalogue(path, document.Get()));

  ComPtr<IXMLDOMNamedNodeMap> root_attributes;
  ComPtr<IXMLDOMNode> default_attribute;
  VARIANT default_value;
  if (root->get_attributes(root_attributes.Put()) == S_OK && root_attributes &&
      root_attributes->getNamedItem(u"DEFAULT", default_attribute.Put()) == S_OK &&
      SUCCEEDED(default_attribute->get_nodeValue(&default_value)) && default_value.vt() == VT_BSTR)
    default_name_.assign(default_value.bstrVal(), SysStringLen(default_value.bstrVal()));

  ComPtr<IXMLDOMNodeList> elements;
  hr = root->selectNodes(u"DATACONNECTION", elements.Put());
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  ComPtr<IXMLDOMNode> element;
  while (elements->nextNode(element.Put()) == S_OK && element) {
    Connection connection;
    hr = ReadAttributes(element.Get(), &connection);
    if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
    for (auto& [name, value] : connection.attributes)
      if (EqualsNoCase(name, kPasswordAttribute)) value = DecipherPassword(value);
    connections_.push_back(std::move(connection));
  }
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT ConnectionCatalogue::Save() const {
  KV7_HELPER_TRACE_ENTRY("ConnectionCatalogue::Save", "ConnectionCatalogue");
  HRESULT hr = CreateDirectories(Kv7HomeDirectory());
  if (FAILED(hr)) return KV7_TRACE_RETURN(ReportFileError(hr, u"create", Kv7HomeDirectory()));
  const Connection* default_connection = Default();
  WString text = ConnectionsDocumentText(
      connections_, default_connection ? default_connection->Name() : WString(), true);
  hr = WritePrivateFileBytes(CataloguePath(), ToUtf8(text));
  if (FAILED(hr)) return KV7_TRACE_RETURN(ReportFileError(hr, u"write", CataloguePath()));
  return KV7_TRACE_RETURN(S_OK);
}

std::vector<Connection>::const_iterator ConnectionCatalogue::Position(WStringView name) const {
  return std::find_if(connections_.begin(), connections_.end(), [&](const Connection& connection) {
    return EqualsNoCase(connection.Name(), name);
  });
}

const Connection* ConnectionCatalogue::Find(WStringView name) const {
  auto found = Position(name);
  return found == connections_.end() ? nullptr : &*found;
}

const Connection* ConnectionCatalogue::Default() const {
  if (const Connection* named = Find(default_name_)) return named;
  return connections_.empty() ? nullptr : &connections_.front();
}

HRESULT ConnectionCatalogue::Add(Connection connection, bool makeDefault) {
  KV7_HELPER_TRACE_ENTRY("ConnectionCatalogue::Add", "ConnectionCatalogue");
  WString name = connection.Name();
  if (name.empty()) return KV7_TRACE_RETURN(E_INVALIDARG);
  if (Find(name) != nullptr) {
    HRESULT exists = HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
    SetErrorInfo(exists, u"a connection named '" + name + u"' exists already");
    return KV7_TRACE_RETURN(exists);
  }
  if (connections_.empty() || makeDefault) default_name_ = name;
  connections_.push_back(std::move(connection));
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT ConnectionCatalogue::Remove(WStringView name) {
  KV7_HELPER_TRACE_ENTRY("ConnectionCatalogue::Remove", "ConnectionCatalogue");
  auto found = Position(name);
  if (found == connections_.end()) return KV7_TRACE_RETURN(ConnectionNotFound(name));
  bool was_default = &*found == Default();
  connections_.erase(found);
  if (was_default) default_name_ = connections_.empty() ? WString() : connections_.front().Name();
  return KV7_TRACE_RETURN(S_OK);
}

WString ConnectionCatalogue::Document() const {
  const Connection* default_connection = Default();
  return ConnectionsDocumentText(
      connections_, default_connection ? default_connection->Name() : WString(), false);
}

}  // namespace kv7::helper
