#include "kv7/util/connection_strings.h"

#include <cstring>
#include <vector>

#include "kv7/helper/helper.h"
#include "kv7/helper/password_cipher.h"
#include "kv7/platform/xmldom.h"
#include "kv7/trace/trace.h"
#include "kv7/util/xml_helpers.h"
#include "util/connection_text.h"
#include "util/text_input.h"

namespace kv7 {

bool FindValueRegion(WStringView text, WStringView key, char16_t terminator, size_t* begin,
                     size_t* end) {
  size_t start = text.find(key);
  if (start == WStringView::npos) return false;
  start += key.size();
  size_t stop = text.find(terminator, start);
  if (stop == WStringView::npos) return false;
  *begin = start;
  *end = stop;
  return true;
}

HRESULT TakeNamedAttributes(IXMLDOMNode* element, std::span<const char16_t* const> names,
                            const std::function<void(size_t index, WString value)>& take) {
  ComPtr<IXMLDOMNamedNodeMap> map;
  HRESULT hr = element->get_attributes(map.Put());
  if (FAILED(hr) || !map) return hr;
  std::vector<bool> taken(names.size(), false);
  size_t remaining = names.size();
  ComPtr<IXMLDOMNode> attribute;
  while (remaining > 0 && (hr = map->nextNode(attribute.Put())) == S_OK && attribute) {
    CComBSTR name;
    if (FAILED(attribute->get_baseName(name.Put())) || name.IsNull()) continue;
    for (size_t i = 0; i < names.size(); ++i) {
      if (taken[i] || !EqualsNoCase(name.ToString(), names[i])) continue;
      VARIANT value;
      hr = attribute->get_nodeValue(&value);
      if (SUCCEEDED(hr) && value.vt() == VT_BSTR && value.bstrVal() != nullptr) {
        take(i, WString(value.bstrVal(), SysStringLen(value.bstrVal())));
        taken[i] = true;
        --remaining;
      }
      break;
    }
  }
  return hr;
}

}  // namespace kv7

namespace {

// Takes the value of a connection-string key when the string has it.
void TakeValue(WStringView text, WStringView key, WString& value) {
  size_t begin, end;
  if (kv7::FindValueRegion(text, key, u';', &begin, &end)) value = text.substr(begin, end - begin);
}

// Loads a connection document; any success of the load is accepted (a text
// that does not parse leaves the document empty).
HRESULT LoadDocument(const char16_t* text, ComPtr<IXMLDOMDocument>& document) {
  HRESULT hr = CreateXMLDOMDocument(document.Put());
  if (FAILED(hr)) return hr;
  VARIANT_BOOL loaded = VARIANT_FALSE;
  return document->loadXML(text ? text : u"", &loaded);
}

constexpr char16_t kConnectionsPath[] = u"DATACONNECTIONS/DATACONNECTION";

}  // namespace

HRESULT ParseConnectionStringInfo(const char16_t* connectionString, WString& database,
                                  WString& userId, WString& password) {
  KV7_TRACE_ENTRY("ParseConnectionStringInfo", 2, "ConnStrings");
  WString text(TextOf(connectionString));
  if (text.empty()) return KV7_TRACE_RETURN(S_OK);
  if (text.back() != u';') text += u';';
  TakeValue(text, u"database=", database);
  TakeValue(text, u"user Id=", userId);
  TakeValue(text, u"password=", password);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT ParseConnectionInfo(const char16_t* connectionXml, WString& connectionName,
                            WString& alias, WString& user, WString& password) {
  KV7_TRACE_ENTRY("ParseConnectionInfo", 2, "ConnStrings");
  ComPtr<IXMLDOMDocument> document;
  HRESULT hr = LoadDocument(connectionXml, document);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  ComPtr<IXMLDOMNode> connection;
  hr = GetSingleNode(document.Get(), kConnectionsPath, connection.Put());
  if (hr != S_OK || !connection) return KV7_TRACE_RETURN(hr);
  static constexpr const char16_t* kNames[] = {u"DBCONNNAME", u"DBALIAS", u"DBUSER",
                                               u"DBPASSWORD"};
  WString* outputs[] = {&connectionName, &alias, &user, &password};
  hr = kv7::TakeNamedAttributes(connection.Get(), kNames,
                                [&](size_t i, WString value) { *outputs[i] = std::move(value); });
  return KV7_TRACE_RETURN(hr);
}

HRESULT GetAllConnectionNames(CVxStringArray& names, CVxStringArray& aliases) {
  KV7_TRACE_ENTRY("GetAllConnectionNames", 2, "ConnStrings");
  CComBSTR catalogue;
  CTaskHelperHook helper;
  HRESULT hr = helper.GetAllConnectionInfo(catalogue.Put());
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  ComPtr<IXMLDOMDocument> document;
  hr = LoadDocument(catalogue.Get(), document);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  ComPtr<IXMLDOMNodeList> connections;
  hr = GetMultiNodes(document.Get(), kConnectionsPath, connections.Put());
  if (hr != S_OK || !connections) return KV7_TRACE_RETURN(hr);
  static constexpr const char16_t* kNames[] = {u"DBCONNNAME", u"DBALIAS"};
  CVxStringArray* outputs[] = {&names, &aliases};
  ComPtr<IXMLDOMNode> connection;
  while ((hr = connections->nextNode(connection.Put())) == S_OK && connection) {
    hr = kv7::TakeNamedAttributes(connection.Get(), kNames,
                                  [&](size_t i, WString value) { outputs[i]->Add(value); });
  }
  return KV7_TRACE_RETURN(hr);
}

HRESULT SelectConnection(const char16_t* initial, WString& chosen) {
  KV7_TRACE_ENTRY("SelectConnection", 2, "ConnStrings");
  CComBSTR result;
  CCommandHelperHook helper;
  HRESULT hr = helper.SelectConnection(initial ? initial : u"", result.Put());
  if (SUCCEEDED(hr) && !result.IsNull()) chosen = result.ToString();
  return KV7_TRACE_RETURN(hr);
}

HRESULT SelectDBAlias(const char16_t*, WString&) {
  KV7_TRACE_ENTRY("SelectDBAlias", 2, "ConnStrings");
  return KV7_TRACE_RETURN(E_FAIL);
}

void ParseOutDataConnection(const char16_t* text, WString& before, WString& element,
                            WString& after) {
  KV7_TRACE_ENTRY("ParseOutDataConnection", 2, "ConnStrings");
  WStringView whole = TextOf(text);
  size_t start = whole.find(u"<DATACONNECTION");
  if (start == WStringView::npos) return;
  before = whole.substr(0, start);
  size_t close = whole.find(u"/>", start);
  if (close == WStringView::npos) return;
  close += 2;
  element = whole.substr(start, close - start);
  after = whole.substr(close);
}

void EncryptPassword(WString& password) {
  KV7_TRACE_ENTRY("EncryptPassword", 2, "ConnStrings");
  password = kv7::helper::EncipherPassword(password);
}

void DecryptPassword(WString& password) {
  KV7_TRACE_ENTRY("DecryptPassword", 2, "ConnStrings");
  password = kv7::helper::DecipherPassword(password);
}

bool PasswordToUrlFormat(const char16_t* password, WString& encoded) {
  KV7_TRACE_ENTRY("PasswordToUrlFormat", 2, "ConnStrings");
  WStringView plain = TextOf(password);
  if (plain.empty()) encoded.clear();
  else kv7::helper::AppendHexForm(plain.data(), plain.size(), encoded);
  return KV7_TRACE_RETURN(true);
}

bool PasswordFromUrlFormat(const char16_t* encoded, WString& password) {
  KV7_TRACE_ENTRY("PasswordFromUrlFormat", 2, "ConnStrings");
  WStringView text = TextOf(encoded);
  if (text.empty()) password.clear();
  else kv7::helper::AppendFromHexForm(text.data(), text.size(), password);
  return KV7_TRACE_RETURN(true);
}

// The buffers need not be aligned for char16_t: their units are copied out.
bool BufferToUrlFormat(const BYTE* buffer, UINT unitCount, WString& encoded) {
  KV7_TRACE_ENTRY("BufferToUrlFormat", 2, "ConnStrings");
  WString units(unitCount, u'\0');
  if (unitCount > 0) std::memcpy(units.data(), buffer, unitCount * sizeof(char16_t));
  kv7::helper::AppendHexForm(units.data(), units.size(), encoded);
  return KV7_TRACE_RETURN(true);
}

bool BufferFromUrlFormat(const BYTE* buffer, UINT byteLength, WString& decoded) {
  KV7_TRACE_ENTRY("BufferFromUrlFormat", 2, "ConnStrings");
  WString text(byteLength / sizeof(char16_t), u'\0');
  if (!text.empty()) std::memcpy(text.data(), buffer, text.size() * sizeof(char16_t));
  kv7::helper::AppendFromHexForm(text.data(), text.size(), decoded);
  return KV7_TRACE_RETURN(true);
}
