#include "kv7/util/string_array.h"

#include <cassert>

const WString& CVxStringArray::GetAt(int index) const {
  assert(index >= 0 && index < GetSize() && "CVxStringArray index out of range");
  return items_[static_cast<size_t>(index)];
}

WString& CVxStringArray::operator[](int index) {
  assert(index >= 0 && index < GetSize() && "CVxStringArray index out of range");
  return items_[static_cast<size_t>(index)];
}

void CVxStringArray::SetAt(int index, WStringView text) { (*this)[index] = text; }

int CVxStringArray::Add(WStringView text) {
  items_.emplace_back(text);
  return GetSize() - 1;
}

void CVxStringArray::InsertAt(int index, WStringView text) {
  assert(index >= 0 && index <= GetSize() && "CVxStringArray index out of range");
  items_.emplace(items_.begin() + index, text);
}

void CVxStringArray::RemoveAt(int index, int count) {
  assert(index >= 0 && count >= 0 && index + count <= GetSize() &&
         "CVxStringArray range out of range");
  items_.erase(items_.begin() + index, items_.begin() + index + count);
}
