// CKV7ConnInfo: the database connection of a project configuration (or of a
// stored-procedure item), held as the DATACONNECTION element that the helper
// library defines, together with each of its attributes as a field.
//
// Three forms are kept in step: the element text, which is authoritative
// and is what gets saved; the fields parsed from it; and the connection
// string, itself the DBCONNSTRING attribute (keys "database=", "user Id=",
// "password=", "server=", "Connect Timeout="; see connection_strings.h).
//
// Passwords: in saved documents the DBPASSWORD attribute and the "password="
// value of the connection string are in the encoded form of EncryptPassword;
// after SetXML(text, TRUE) the element text, the password field and the
// connection string all hold the plain password, and ExtractXML(.., TRUE, ..)
// encodes it again for saving without changing the object.
//
// Values written into the element text by the setters and by ExtractXML are
// XML-escaped (DoNomalize), so that any value survives a save and a load;
// the rewriting primitives themselves insert values as given. A value that
// holds ";" cannot be represented in the connection string.
//
// The record is owned by value by its configuration, property page or node
// and lives on the UI thread. Copies are made with CopyFrom.
#pragma once

#include <array>

#include "kv7/platform/hresult.h"
#include "kv7/platform/types.h"
#include "kv7/platform/wstring.h"
#include "kv7/platform/xmldom.h"

class CKV7ConnInfo {
 public:
  // Key numbers of ReplaceInConnString: the key that each setter rewrites.
  static constexpr int kConnStrAlias = 0;     // "database="
  static constexpr int kConnStrUser = 1;      // "user Id="
  static constexpr int kConnStrPassword = 2;  // "password="
  static constexpr int kConnStrDatabase = 3;  // "database="
  static constexpr int kConnStrServer = 4;    // "server="
  static constexpr int kConnStrTimeout = 5;   // "Connect Timeout="

  // Attribute numbers of ReplaceInXMLString.
  static constexpr int kXmlAlias = 0;       // DBALIAS
  static constexpr int kXmlUser = 1;        // DBUSER
  static constexpr int kXmlPassword = 2;    // DBPASSWORD
  static constexpr int kXmlConnName = 3;    // DBCONNNAME
  static constexpr int kXmlConnString = 4;  // DBCONNSTRING
  static constexpr int kXmlDatabase = 5;    // DATABASE
  static constexpr int kXmlServer = 6;      // SERVER
  static constexpr int kXmlTimeout = 7;     // TIMEOUT
  static constexpr int kXmlDBType = 8;      // DBTYPE

  // Every field empty.
  CKV7ConnInfo();
  ~CKV7ConnInfo();
  CKV7ConnInfo(const CKV7ConnInfo&) = delete;
  CKV7ConnInfo& operator=(const CKV7ConnInfo&) = delete;

  // Takes a new element text and parses it. With `decrypt`, the password
  // (in the field, the connection string and the element text) is decoded
  // and the resulting element text is kept as the decrypted snapshot.
  // Returns the status of the parse. The element text is the given text
  // whatever the parse answers; on anything but S_OK (E_FAIL for a text that
  // does not load, the empty text included; S_FALSE when it is not a
  // DATACONNECTION element) the fields keep their values and nothing is
  // decoded.
  HRESULT SetXML(const char16_t* text, BOOL decrypt);
  // Fills the fields from the attributes of the element text (names matched
  // ignoring case); a field whose attribute is absent keeps its value. With
  // `decrypt`, DBPASSWORD and the connection string's "password=" are
  // decoded on the way in. E_FAIL when the text does not load exactly; the
  // DOM's S_FALSE when it is not a DATACONNECTION element.
  HRESULT ParseXML(BOOL decrypt);
  // The element text for saving. With honourSaveOption and the global option
  // SaveUserAndPassword off, user and password are written empty (in their
  // attributes and in the connection string); otherwise with `encrypt` the
  // password is written encoded. With `normalize` the whole text is
  // XML-escaped, to be the text content of another element. E_FAIL (out
  // untouched) when the element text is empty, else S_OK.
  HRESULT ExtractXML(WString& out, BOOL encrypt, BOOL normalize, BOOL honourSaveOption) const;

  // Each stores its field; with updateConnString it rewrites its key in a
  // non-empty connection string (and then, with updateXml, DBCONNSTRING);
  // with updateXml it rewrites its attribute in a non-empty element text. A
  // key or attribute that is absent is not added.
  void SetAlias(const char16_t* value, BOOL updateConnString, BOOL updateXml);
  void SetDatabase(const char16_t* value, BOOL updateConnString, BOOL updateXml);
  void SetServer(const char16_t* value, BOOL updateConnString, BOOL updateXml);
  void SetTimeout(const char16_t* value, BOOL updateConnString, BOOL updateXml);
  void SetUser(const char16_t* value, BOOL updateConnString, BOOL updateXml);
  void SetPassword(const char16_t* value, BOOL updateConnString, BOOL updateXml);
  void SetDBType(const char16_t* value, BOOL updateXml);
  void SetConnName(const char16_t* value);
  // Store the field only.
  void SetConnString(const char16_t* value);
  void SetPlatformName(const char16_t* value);
  void SetPlatformVersion(const char16_t* value);
  void SetDefaultOwner(const char16_t* value);
  void SetPackageOwner(const char16_t* value);
  void SetBuildOwner(const char16_t* value);
  void SetConnIsOnline(const char16_t* value);

  // Replaces the value of key number `key` (first occurrence, up to the next
  // ";") in a connection string; a string without the key comes back
  // unchanged, and one without a trailing ";" keeps having none. S_OK with
  // `out` written; S_FALSE (out untouched) for an empty string; E_INVALIDARG
  // (out untouched) for a key number outside 0..5.
  static HRESULT ReplaceInConnString(int key, const char16_t* connString, const char16_t* value,
                                     WString& out);
  // The same for attribute number `attribute` (0..8) of an element text:
  // the value between `NAME="` and the next `"` is replaced, unescaped.
  static HRESULT ReplaceInXMLString(int attribute, const char16_t* elementText,
                                    const char16_t* value, WString& out);
  // Decodes (decrypt TRUE) or encodes the "password=" value of a connection
  // string. `out` is untouched for an empty string.
  static void CryptConnStringPassword(BOOL decrypt, const char16_t* connString, WString& out);
  // XML-escapes a text in place, as NormalizeXML does.
  static void DoNomalize(WString& text);

  // Converts an element written by a project file of format version 1 (one
  // that has an alias): the alias becomes the database and the helper
  // library completes the element to connection format 2. Returns the
  // conversion's status, or S_OK when there was nothing to convert.
  HRESULT Upgrade(LONG projectVersion);
  // Re-reads this connection's element from the helper library's catalogue.
  // *changed is TRUE when the catalogue's element differed and replaced the
  // record. S_OK (changed FALSE, no call) without a connection name;
  // KV7_E_CONNECTION_NOT_FOUND, with the record unchanged, when the
  // catalogue no longer has the connection.
  HRESULT SyncWithModel(BOOL* changed);
  // 0 when the element text and every field but the alias and the decrypted
  // snapshot are equal ignoring case; 1 otherwise.
  int Compare(const CKV7ConnInfo& other) const;
  // SetXML(other's element text, FALSE): E_FAIL, with the fields kept, when
  // the other record is empty.
  HRESULT CopyFrom(const CKV7ConnInfo& other);

  const WString& GetXML() const { return xml_; }
  const WString& GetAlias() const { return alias_; }
  const WString& GetConnName() const { return conn_name_; }
  const WString& GetUser() const { return user_; }
  const WString& GetPassword() const { return password_; }
  const WString& GetConnString() const { return conn_string_; }
  const WString& GetPlatformName() const { return platform_name_; }
  const WString& GetPlatformVersion() const { return platform_version_; }
  const WString& GetDefaultOwner() const { return default_owner_; }
  const WString& GetPackageOwner() const { return package_owner_; }
  const WString& GetBuildOwner() const { return build_owner_; }
  const WString& GetConnIsOnline() const { return conn_is_online_; }
  const WString& GetServer() const { return server_; }
  const WString& GetDatabase() const { return database_; }
  const WString& GetTimeout() const { return timeout_; }
  const WString& GetDBType() const { return db_type_; }
  // The element text as SetXML(.., TRUE) left it.
  const WString& GetDecryptedXML() const { return decrypted_xml_; }

 private:
  // Fields 2 to 16 in the order of their attributes (see the .cpp).
  static const std::array<WString CKV7ConnInfo::*, 15> kAttributeFields;

  void SetRewriting(WString CKV7ConnInfo::*field, const char16_t* value, int connStringKey,
                    int attribute, BOOL updateConnString, BOOL updateXml);

  WString xml_;
  WString alias_;
  WString conn_name_;
  WString user_;
  WString password_;
  WString conn_string_;
  WString platform_name_;
  WString platform_version_;
  WString default_owner_;
  WString package_owner_;
  WString build_owner_;
  WString conn_is_online_;
  WString server_;
  WString database_;
  WString timeout_;
  WString db_type_;
  WString decrypted_xml_;
};

// Reads the connection that a ConnInfo element of the project file holds
// (its text, escaped as the writer leaves it, or a DATACONNECTION element
// written in it): decrypted, brought up to date with the helper library's
// catalogue (*changed TRUE when that replaced it) and, for a project file
// of an older format version, upgraded. S_FALSE, the record untouched, for
// an empty element; the parse's status for text that is not a connection.
HRESULT LoadConnInfoFromXML(IXMLDOMNode* connInfo, LONG formatVersion, CKV7ConnInfo& connection,
                            BOOL* changed);
