// CVxStringArray: an ordered, growable array of wide strings, the list type
// of names, folders and connections that the system's exported functions
// fill and that sibling modules read. Indices run from 0 to GetSize() - 1;
// an index outside that range is a caller's error, checked by assertion.
#pragma once

#include <vector>

#include "kv7/platform/wstring.h"

class CVxStringArray {
 public:
  int GetSize() const { return static_cast<int>(items_.size()); }

  const WString& GetAt(int index) const;
  WString& operator[](int index);
  const WString& operator[](int index) const { return GetAt(index); }
  void SetAt(int index, WStringView text);

  // Appends the text and returns its index.
  int Add(WStringView text);
  // Inserts the text before `index`; GetSize() appends.
  void InsertAt(int index, WStringView text);
  // Removes `count` entries starting at `index`; later entries move up.
  void RemoveAt(int index, int count = 1);
  void RemoveAll() { items_.clear(); }

  std::vector<WString>::const_iterator begin() const { return items_.begin(); }
  std::vector<WString>::const_iterator end() const { return items_.end(); }

 private:
  std::vector<WString> items_;
};
