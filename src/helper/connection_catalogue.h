// The connection catalogue: the database connections a person has set up,
// kept by the helper library in $KV7_HOME/connections.xml.
//
// The file is a DATACONNECTIONS document, its DEFAULT attribute naming the
// default connection, holding one DATACONNECTION element per connection
// with the attributes of the system's connection record (DBTYPE SQLITE or
// POSTGRESQL chooses the driver). Passwords are stored in the enciphered
// form that project files use (password_cipher.h); in memory, and in every
// document the library answers, they are plain. The file is replaced
// atomically on every change; there is no cache between calls.
//
// Connection names are matched ignoring case.
#pragma once

#include <span>
#include <utility>
#include <vector>

#include "kv7/platform/hresult.h"
#include "kv7/platform/wstring.h"

namespace kv7::helper {

// One connection: its attributes in the order they are written.
struct Connection {
  std::vector<std::pair<WString, WString>> attributes;

  // The value of the attribute (name ignoring case): null / empty when absent.
  const WString* Find(WStringView name) const;
  WString Get(WStringView name) const;
  // Sets the attribute, appending it when absent.
  void Set(WStringView name, WStringView value);
  WString Name() const { return Get(u"DBCONNNAME"); }
};

// Reads a text that is a DATACONNECTION element, or a DATACONNECTIONS
// document whose first DATACONNECTION is taken. E_FAIL when it is neither.
[[nodiscard]] HRESULT ReadConnectionElement(WStringView text, Connection* connection);

// Completes a connection to connection format 2: kConnectionAttributeNames
// first, in their order, the missing ones added (DATABASE with the
// value of DBALIAS, DBTYPE with "SQLITE", the others empty); then any other
// attributes as they were.
void CompleteConnection(Connection* connection);

// The element in empty-element form, values XML-escaped; the password
// enciphered when `encipherPassword`.
WString ConnectionElementText(const Connection& connection, bool encipherPassword);

// A DATACONNECTIONS document of the connections in the library's text
// layout, with DEFAULT when `defaultName` is not empty.
WString ConnectionsDocumentText(std::span<const Connection> connections, WStringView defaultName,
                                bool encipherPasswords);

// Sets this thread's error information to name the unknown connection and
// returns KV7_E_CONNECTION_NOT_FOUND.
HRESULT ConnectionNotFound(WStringView name);

class ConnectionCatalogue {
 public:
  // Reads the catalogue file; a missing or empty file is an empty
  // catalogue. A file that is not a DATACONNECTIONS document is E_FAIL with
  // error information naming the file; the catalogue is then empty.
  [[nodiscard]] HRESULT Load();
  // Replaces the catalogue file; the old one stays whole when writing fails.
  [[nodiscard]] HRESULT Save() const;

  // The connection of that name, or null.
  const Connection* Find(WStringView name) const;
  // The named default connection, else the first one; null when empty.
  const Connection* Default() const;

  // Appends a completed connection; the first one, or one added with
  // makeDefault, becomes the default. ERROR_ALREADY_EXISTS (with error
  // information) when the name is taken, E_INVALIDARG when it is empty.
  [[nodiscard]] HRESULT Add(Connection connection, bool makeDefault);
  // Removes a connection; the default passes to the first remaining one.
  [[nodiscard]] HRESULT Remove(WStringView name);

  // The catalogue as the library answers it: passwords plain.
  WString Document() const;

 private:
  std::vector<Connection>::const_iterator Position(WStringView name) const;

  std::vector<Connection> connections_;
  WString default_name_;
};

}  // namespace kv7::helper
