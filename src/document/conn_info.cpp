#include "kv7/document/conn_info.h"

#include <utility>
#include <vector>

#include "kv7/helper/helper.h"
#include "kv7/options/global_options.h"
#include "kv7/platform/xmldom.h"
#include "kv7/trace/trace.h"
#include "kv7/util/connection_strings.h"
#include "kv7/util/xml_helpers.h"
#include "util/connection_text.h"
#include "util/text_input.h"

namespace {

// Indices into kConnectionAttributeNames (helper.h), the attributes of the
// record's fields 2 to 16; kAttributeFields runs parallel.
constexpr size_t kAliasIndex = 0;
constexpr size_t kPasswordIndex = 3;
constexpr size_t kConnStringIndex = 4;

constexpr const char16_t* kConnStringKeys[] = {
    u"database=", u"user Id=", u"password=", u"database=", u"server=", u"Connect Timeout=",
};

constexpr const char16_t* kXmlAttributeKeys[] = {
    u"DBALIAS=\"",      u"DBUSER=\"",   u"DBPASSWORD=\"", u"DBCONNNAME=\"", u"DBCONNSTRING=\"",
    u"DATABASE=\"",     u"SERVER=\"",   u"TIMEOUT=\"",    u"DBTYPE=\"",
};

template <class T, size_t N>
constexpr bool InTable(int index, const T (&)[N]) {
  return index >= 0 && static_cast<size_t>(index) < N;
}

// The text with the value after the first `key` (up to the next
// `terminator`) replaced; unchanged when the key or the terminator is
// missing.
WString ReplaceValue(WStringView text, WStringView key, char16_t terminator, WStringView value) {
  size_t begin, end;
  WString result(text);
  if (kv7::FindValueRegion(text, key, terminator, &begin, &end))
    result.replace(begin, end - begin, value);
  return result;
}

// Rewrites one attribute of an element text with an escaped value; the
// text is kept when the rewrite gives nothing.
void RewriteAttribute(int attribute, WStringView value, WString& elementText) {
  WString escaped(value);
  CKV7ConnInfo::DoNomalize(escaped);
  WString rewritten;
  (void)CKV7ConnInfo::ReplaceInXMLString(attribute, elementText.c_str(), escaped.c_str(),
                                         rewritten);
  if (!rewritten.empty()) elementText = std::move(rewritten);
}

}  // namespace

const std::array<WString CKV7ConnInfo::*, 15> CKV7ConnInfo::kAttributeFields = {
    &CKV7ConnInfo::alias_,          &CKV7ConnInfo::conn_name_,
    &CKV7ConnInfo::user_,           &CKV7ConnInfo::password_,
    &CKV7ConnInfo::conn_string_,    &CKV7ConnInfo::platform_name_,
    &CKV7ConnInfo::platform_version_, &CKV7ConnInfo::default_owner_,
    &CKV7ConnInfo::package_owner_,  &CKV7ConnInfo::build_owner_,
    &CKV7ConnInfo::conn_is_online_, &CKV7ConnInfo::server_,
    &CKV7ConnInfo::database_,       &CKV7ConnInfo::timeout_,
    &CKV7ConnInfo::db_type_,
};

CKV7ConnInfo::CKV7ConnInfo() { KV7_TRACE_ENTRY("CKV7ConnInfo::CKV7ConnInfo", 6, "KV7ConnInfo"); }

CKV7ConnInfo::~CKV7ConnInfo() { KV7_TRACE_ENTRY("CKV7ConnInfo::~CKV7ConnInfo", 6, "KV7ConnInfo"); }

HRESULT CKV7ConnInfo::SetXML(const char16_t* text, BOOL decrypt) {
  KV7_TRACE_ENTRY("CKV7ConnInfo::SetXML", 2, "KV7ConnInfo");
  xml_ = TextOf(text);
  HRESULT hr = ParseXML(FALSE);
  // The password field was not read from this text: decoding it would
  // garble the one the record holds.
  if (hr != S_OK) return KV7_TRACE_RETURN(hr);
  if (decrypt) {
    WString password = password_;
    DecryptPassword(password);
    SetPassword(password.c_str(), TRUE, TRUE);
    hr = ParseXML(FALSE);
    decrypted_xml_ = xml_;
  }
  return KV7_TRACE_RETURN(hr);
}

HRESULT CKV7ConnInfo::ParseXML(BOOL decrypt) {
  KV7_TRACE_ENTRY("CKV7ConnInfo::ParseXML", 2, "KV7ConnInfo");
  ComPtr<IXMLDOMDocument> document;
  HRESULT hr = CreateXMLDOMDocument(document.Put());
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  VARIANT_BOOL loaded = VARIANT_FALSE;
  if (document->loadXML(xml_.c_str(), &loaded) != S_OK) return KV7_TRACE_RETURN(E_FAIL);
  ComPtr<IXMLDOMNode> connection;
  hr = GetSingleNode(document.Get(), u"DATACONNECTION", connection.Put());
  if (hr != S_OK || !connection) return KV7_TRACE_RETURN(hr);
  auto take = [&](size_t i, WString value) {
    if (decrypt && i == kPasswordIndex) {
      DecryptPassword(value);
    } else if (decrypt && i == kConnStringIndex) {
      WString stored = value;
      CryptConnStringPassword(TRUE, stored.c_str(), value);
    }
    this->*kAttributeFields[i] = std::move(value);
  };
  hr = kv7::TakeNamedAttributes(connection.Get(), kConnectionAttributeNames, take);
  return KV7_TRACE_RETURN(FAILED(hr) ? hr : S_OK);
}

HRESULT CKV7ConnInfo::ExtractXML(WString& out, BOOL encrypt, BOOL normalize,
                                 BOOL honourSaveOption) const {
  KV7_TRACE_ENTRY("CKV7ConnInfo::ExtractXML", 2, "KV7ConnInfo");
  if (xml_.empty()) return KV7_TRACE_RETURN(E_FAIL);
  BOOL save_credentials = TRUE;
  if (honourSaveOption) (void)GetKV7GlobalOptions()->GetSaveUserAndPassword(&save_credentials);

  struct Credential {
    int connStringKey;
    int attribute;
    WString value;
  };
  std::vector<Credential> rewrites;
  if (!save_credentials) {
    rewrites.push_back({kConnStrUser, kXmlUser, WString()});
    rewrites.push_back({kConnStrPassword, kXmlPassword, WString()});
  } else if (encrypt) {
    WString encoded = password_;
    EncryptPassword(encoded);
    rewrites.push_back({kConnStrPassword, kXmlPassword, std::move(encoded)});
  }

  WString text = xml_;
  WString conn_string = conn_string_;
  for (const Credential& credential : rewrites) {
    RewriteAttribute(credential.attribute, credential.value, text);
    if (!conn_string.empty())
      (void)ReplaceInConnString(credential.connStringKey, conn_string.c_str(),
                                credential.value.c_str(), conn_string);
  }
  if (!rewrites.empty() && !conn_string.empty())
    RewriteAttribute(kXmlConnString, conn_string, text);
  if (normalize) DoNomalize(text);
  out = std::move(text);
  return KV7_TRACE_RETURN(S_OK);
}

void CKV7ConnInfo::SetRewriting(WString CKV7ConnInfo::*field, const char16_t* value,
                                int connStringKey, int attribute, BOOL updateConnString,
                                BOOL updateXml) {
  this->*field = TextOf(value);
  if (updateConnString && !conn_string_.empty()) {
    WString rewritten;
    (void)ReplaceInConnString(connStringKey, conn_string_.c_str(), (this->*field).c_str(),
                              rewritten);
    if (!rewritten.empty()) {
      conn_string_ = std::move(rewritten);
      if (updateXml) RewriteAttribute(kXmlConnString, conn_string_, xml_);
    }
  }
  if (updateXml) RewriteAttribute(attribute, this->*field, xml_);
}

void CKV7ConnInfo::SetAlias(const char16_t* value, BOOL updateConnString, BOOL updateXml) {
  KV7_TRACE_ENTRY("CKV7ConnInfo::SetAlias", 2, "KV7ConnInfo");
  SetRewriting(&CKV7ConnInfo::alias_, value, kConnStrAlias, kXmlAlias, updateConnString,
               updateXml);
}

void CKV7ConnInfo::SetDatabase(const char16_t* value, BOOL updateConnString, BOOL updateXml) {
  KV7_TRACE_ENTRY("CKV7ConnInfo::SetDatabase", 2, "KV7ConnInfo");
  SetRewriting(&CKV7ConnInfo::database_, value, kConnStrDatabase, kXmlDatabase,
               updateConnString, updateXml);
}

void CKV7ConnInfo::SetServer(const char16_t* value, BOOL updateConnString, BOOL updateXml) {
  KV7_TRACE_ENTRY("CKV7ConnInfo::SetServer", 2, "KV7ConnInfo");
  SetRewriting(&CKV7ConnInfo::server_, value, kConnStrServer, kXmlServer, updateConnString,
               updateXml);
}

void CKV7ConnInfo::SetTimeout(const char16_t* value, BOOL updateConnString, BOOL updateXml) {
  KV7_TRACE_ENTRY("CKV7ConnInfo::SetTimeout", 2, "KV7ConnInfo");
  SetRewriting(&CKV7ConnInfo::timeout_, value, kConnStrTimeout, kXmlTimeout, updateConnString,
               updateXml);
}

void CKV7ConnInfo::SetUser(const char16_t* value, BOOL updateConnString, BOOL updateXml) {
  KV7_TRACE_ENTRY("CKV7ConnInfo::SetUser", 2, "KV7ConnInfo");
  SetRewriting(&CKV7ConnInfo::user_, value, kConnStrUser, kXmlUser, updateConnString,
               updateXml);
}

void CKV7ConnInfo::SetPassword(const char16_t* value, BOOL updateConnString, BOOL updateXml) {
  KV7_TRACE_ENTRY("CKV7ConnInfo::SetPassword", 2, "KV7ConnInfo");
  SetRewriting(&CKV7ConnInfo::password_, value, kConnStrPassword, kXmlPassword,
               updateConnString, updateXml);
}

void CKV7ConnInfo::SetDBType(const char16_t* value, BOOL updateXml) {
  KV7_TRACE_ENTRY("CKV7ConnInfo::SetDBType", 2, "KV7ConnInfo");
  db_type_ = TextOf(value);
  if (updateXml) RewriteAttribute(kXmlDBType, db_type_, xml_);
}

void CKV7ConnInfo::SetConnName(const char16_t* value) {
  KV7_TRACE_ENTRY("CKV7ConnInfo::SetConnName", 2, "KV7ConnInfo");
  conn_name_ = TextOf(value);
}

void CKV7ConnInfo::SetConnString(const char16_t* value) {
  KV7_TRACE_ENTRY("CKV7ConnInfo::SetConnString", 2, "KV7ConnInfo");
  conn_string_ = TextOf(value);
}

void CKV7ConnInfo::SetPlatformName(const char16_t* value) {
  KV7_TRACE_ENTRY("CKV7ConnInfo::SetPlatformName", 2, "KV7ConnInfo");
  platform_name_ = TextOf(value);
}

void CKV7ConnInfo::SetPlatformVersion(const char16_t* value) {
  KV7_TRACE_ENTRY("CKV7ConnInfo::SetPlatformVersion", 2, "KV7ConnInfo");
  platform_version_ = TextOf(value);
}

void CKV7ConnInfo::SetDefaultOwner(const char16_t* value) {
  KV7_TRACE_ENTRY("CKV7ConnInfo::SetDefaultOwner", 2, "KV7ConnInfo");
  default_owner_ = TextOf(value);
}

void CKV7ConnInfo::SetPackageOwner(const char16_t* value) {
  KV7_TRACE_ENTRY("CKV7ConnInfo::SetPackageOwner", 2, "KV7ConnInfo");
  package_owner_ = TextOf(value);
}

void CKV7ConnInfo::SetBuildOwner(const char16_t* value) {
  KV7_TRACE_ENTRY("CKV7ConnInfo::SetBuildOwner", 2, "KV7ConnInfo");
  build_owner_ = TextOf(value);
}

void CKV7ConnInfo::SetConnIsOnline(const char16_t* value) {
  KV7_TRACE_ENTRY("CKV7ConnInfo::SetConnIsOnline", 2, "KV7ConnInfo");
  conn_is_online_ = TextOf(value);
}

HRESULT CKV7ConnInfo::ReplaceInConnString(int key, const char16_t* connString,
                                          const char16_t* value, WString& out) {
  KV7_TRACE_ENTRY("CKV7ConnInfo::ReplaceInConnString", 2, "KV7ConnInfo");
  if (!InTable(key, kConnStringKeys)) return KV7_TRACE_RETURN(E_INVALIDARG);
  WString text(TextOf(connString));
  if (text.empty()) return KV7_TRACE_RETURN(S_FALSE);
  bool appended = text.back() != u';';
  if (appended) text += u';';
  text = ReplaceValue(text, kConnStringKeys[key], u';', TextOf(value));
  if (appended) text.pop_back();
  out = std::move(text);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7ConnInfo::ReplaceInXMLString(int attribute, const char16_t* elementText,
                                         const char16_t* value, WString& out) {
  KV7_TRACE_ENTRY("CKV7ConnInfo::ReplaceInXMLString", 2, "KV7ConnInfo");
  if (!InTable(attribute, kXmlAttributeKeys)) return KV7_TRACE_RETURN(E_INVALIDARG);
  WStringView text = TextOf(elementText);
  if (text.empty()) return KV7_TRACE_RETURN(S_FALSE);
  out = ReplaceValue(text, kXmlAttributeKeys[attribute], u'"', TextOf(value));
  return KV7_TRACE_RETURN(S_OK);
}

void CKV7ConnInfo::CryptConnStringPassword(BOOL decrypt, const char16_t* connString,
                                           WString& out) {
  KV7_TRACE_ENTRY("CKV7ConnInfo::CryptConnStringPassword", 2, "KV7ConnInfo");
  WString database, user, password;
  (void)ParseConnectionStringInfo(connString, database, user, password);
  if (decrypt) DecryptPassword(password);
  else EncryptPassword(password);
  (void)ReplaceInConnString(kConnStrPassword, connString, password.c_str(), out);
}

void CKV7ConnInfo::DoNomalize(WString& text) {
  KV7_TRACE_ENTRY("CKV7ConnInfo::DoNomalize", 2, "KV7ConnInfo");
  NormalizeXML(text);
}

HRESULT CKV7ConnInfo::Upgrade(LONG projectVersion) {
  KV7_TRACE_ENTRY("CKV7ConnInfo::Upgrade", 2, "KV7ConnInfo");
  if (xml_.empty() || projectVersion >= 2 || alias_.empty()) return KV7_TRACE_RETURN(S_OK);
  database_ = alias_;
  CComBSTR converted;
  CCommandHelperHook helper;
  HRESULT hr = helper.ConvertConnectionXML(u"1", u"2", xml_.c_str(), converted.Put());
  if (SUCCEEDED(hr) && !converted.IsNull()) xml_ = converted.ToString();
  (void)ParseXML(FALSE);
  return KV7_TRACE_RETURN(hr);
}

HRESULT CKV7ConnInfo::SyncWithModel(BOOL* changed) {
  KV7_TRACE_ENTRY("CKV7ConnInfo::SyncWithModel", 2, "KV7ConnInfo");
  if (changed == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *changed = FALSE;
  if (conn_name_.empty()) return KV7_TRACE_RETURN(S_OK);
  CComBSTR element;
  CTaskHelperHook helper;
  HRESULT hr = helper.GetConnXML(conn_name_.c_str(), element.Put());
  if (FAILED(hr) || element.IsNull()) return KV7_TRACE_RETURN(KV7_E_CONNECTION_NOT_FOUND);
  if (element.ToString() == xml_) return KV7_TRACE_RETURN(S_OK);
  (void)SetXML(element.Get(), FALSE);
  *changed = TRUE;
  return KV7_TRACE_RETURN(S_OK);
}

int CKV7ConnInfo::Compare(const CKV7ConnInfo& other) const {
  KV7_TRACE_ENTRY("CKV7ConnInfo::Compare", 2, "KV7ConnInfo");
  if (!kv7::EqualsNoCase(xml_, other.xml_)) return KV7_TRACE_RETURN(1);
  for (size_t i = 0; i < kAttributeFields.size(); ++i) {
    if (i == kAliasIndex) continue;  // the alias is part of the element text
    if (!kv7::EqualsNoCase(this->*kAttributeFields[i], other.*kAttributeFields[i]))
      return KV7_TRACE_RETURN(1);
  }
  return KV7_TRACE_RETURN(0);
}

HRESULT CKV7ConnInfo::CopyFrom(const CKV7ConnInfo& other) {
  KV7_TRACE_ENTRY("CKV7ConnInfo::CopyFrom", 2, "KV7ConnInfo");
  return KV7_TRACE_RETURN(SetXML(other.xml_.c_str(), FALSE));
}

HRESULT LoadConnInfoFromXML(IXMLDOMNode* connInfo, LONG formatVersion, CKV7ConnInfo& connection,
                            BOOL* changed) {
  KV7_TRACE_ENTRY("LoadConnInfoFromXML", 2, "KV7ConnInfo");
  *changed = FALSE;
  ComPtr<IXMLDOMNode> element;
  CComBSTR text;
  if (GetSingleNode(connInfo, u"DATACONNECTION", element.Put()) == S_OK && element)
    (void)element->get_xml(text.Put());
  else
    (void)connInfo->get_text(text.Put());
  if (text.IsNull() || text.ToString().empty()) return KV7_TRACE_RETURN(S_FALSE);
  HRESULT hr = connection.SetXML(text.Get(), TRUE);
  if (hr != S_OK) return KV7_TRACE_RETURN(hr);
  // A connection the catalogue no longer has is kept as it was read.
  (void)connection.SyncWithModel(changed);
  return KV7_TRACE_RETURN(connection.Upgrade(formatVersion));
}
