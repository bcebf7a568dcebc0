// The registry: the platform's store of settings, a tree of keys under a few
// roots, each key holding named values (strings and 32-bit numbers).
//
// Key and value names match ignoring case and keep the case they were
// created with; the empty value name is the key's default value. The whole
// store lives in one XML file, $KV7_HOME/registry.xml, shared by every
// process of the user:
//  - opening or creating a key first re-reads the file if it changed since
//    it was last read, so a key opened afterwards sees other processes'
//    changes;
//  - every change re-reads the file and rewrites it whole and atomically
//    under a lock ($KV7_HOME/registry.lock), so concurrent writers do not
//    lose each other's changes;
//  - a file that cannot be read as a registry reads as empty and is never
//    overwritten: changes then fail with ERROR_CANTWRITE, so nothing in it
//    is lost.
// The store is safe to use from several threads.
//
// CRegKey names one open key and answers with Win32 error codes
// (ERROR_SUCCESS on success). Out-arguments are untouched on failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "kv7/platform/hresult.h"
#include "kv7/platform/types.h"
#include "kv7/platform/wstring.h"

enum HKEY : std::uint32_t {
  HKEY_CLASSES_ROOT = 0x80000000u,
  HKEY_CURRENT_USER = 0x80000001u,
  HKEY_LOCAL_MACHINE = 0x80000002u,
};

// Value types.
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;  // a string naming %VARIABLES%
inline constexpr DWORD REG_DWORD = 4;

// Access rights asked for when opening a key. Reading values needs
// KEY_QUERY_VALUE, listing subkeys KEY_ENUMERATE_SUB_KEYS, changing values
// KEY_SET_VALUE, creating or deleting subkeys KEY_CREATE_SUB_KEY; an
// operation that the key was not opened for fails with ERROR_ACCESS_DENIED.
using REGSAM = DWORD;
inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// One open key: a root and a path below it. It holds no system resource,
// so copies name the same key. Operations on a key that another process or
// key deleted fail with ERROR_KEY_DELETED; on a closed key, with
// ERROR_INVALID_HANDLE.
class CRegKey {
 public:
  // Opens an existing key; `subkey` is a path of names separated by "\"
  // (empty opens the root or parent itself). ERROR_FILE_NOT_FOUND when it
  // does not exist. On failure the key stays as it was.
  LONG Open(HKEY root, WStringView subkey, REGSAM access = KEY_READ | KEY_WRITE);
  LONG Open(const CRegKey& parent, WStringView subkey, REGSAM access = KEY_READ | KEY_WRITE);
  // Opens a key, creating it and its missing parents (the parent key needs
  // KEY_CREATE_SUB_KEY). Names holding characters that the store cannot
  // keep (control characters other than tab and line ends, unpaired
  // surrogates) fail with ERROR_INVALID_PARAMETER.
  LONG Create(HKEY root, WStringView subkey, REGSAM access = KEY_READ | KEY_WRITE);
  LONG Create(const CRegKey& parent, WStringView subkey, REGSAM access = KEY_READ | KEY_WRITE);
  LONG Close();
  bool IsOpen() const { return open_; }

  // Reads a value of any type: its type (REG_SZ, REG_EXPAND_SZ or REG_DWORD)
  // into *type, a string into *text, a number into *number; each output may
  // be null. ERROR_FILE_NOT_FOUND when there is no such value.
  LONG QueryValue(WStringView name, DWORD* type, WString* text, DWORD* number) const;
  // Reads a REG_DWORD; ERROR_INVALID_DATA for a value of another type.
  LONG QueryDWORDValue(WStringView name, DWORD& value) const;
  // Reads a REG_SZ (a REG_EXPAND_SZ is ERROR_INVALID_DATA: read it with
  // QueryValue); ERROR_MORE_DATA when it is longer than maxChars.
  LONG QueryStringValue(WStringView name, WString& value,
                        size_t maxChars = std::numeric_limits<size_t>::max()) const;

  LONG SetDWORDValue(WStringView name, DWORD value);
  // `type` is REG_SZ or REG_EXPAND_SZ (ERROR_INVALID_PARAMETER otherwise,
  // and for text holding characters the store cannot keep).
  LONG SetStringValue(WStringView name, WStringView value, DWORD type = REG_SZ);
  // ERROR_FILE_NOT_FOUND when there is no such value.
  LONG DeleteValue(WStringView name);
  // Deletes a subkey (a "\" path) that has no subkeys of its own
  // (ERROR_ACCESS_DENIED otherwise, as on the platform).
  LONG DeleteSubKey(WStringView subkey);
  // Deletes a subkey with everything below it.
  LONG RecurseDeleteKey(WStringView subkey);

  // The name of the index-th subkey or value, in name order ignoring case;
  // ERROR_NO_MORE_ITEMS past the last.
  LONG EnumKey(DWORD index, WString* name) const;
  LONG EnumValue(DWORD index, WString* name, DWORD* type = nullptr) const;

 private:
  bool open_ = false;
  HKEY root_ = HKEY_CURRENT_USER;
  std::vector<WString> path_;
  REGSAM access_ = 0;
};
