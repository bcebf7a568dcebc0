// The platform's COM string (BSTR): a length-prefixed wide text that may be
// null, which is not the same as empty. Outputs of the system's interfaces
// are BSTRs that the caller frees with SysFreeString; CComBSTR owns one.
#pragma once

#include <cstdint>
#include <utility>

#include "kv7/platform/types.h"
#include "kv7/platform/wstring.h"

using BSTR = char16_t*;

// Allocates a copy of a null-terminated text; null in gives null out.
BSTR SysAllocString(const char16_t* text);
// Allocates a copy of `length` units (text may be null: zero-filled).
BSTR SysAllocStringLen(const char16_t* text, UINT length);
void SysFreeString(BSTR text);
// Allocates a copy of a wide text (which may hold zero units).
inline BSTR SysAllocWString(WStringView text) {
  return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}
UINT SysStringLen(BSTR text);

// Owns one BSTR. A default-constructed CComBSTR holds null.
class CComBSTR {
 public:
  CComBSTR() = default;
  explicit CComBSTR(const char16_t* text) : str_(SysAllocString(text)) {}
  explicit CComBSTR(WStringView text)
      : str_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  CComBSTR(const CComBSTR& other)
      : str_(other.str_ ? SysAllocStringLen(other.str_, other.Length()) : nullptr) {}
  CComBSTR(CComBSTR&& other) noexcept : str_(std::exchange(other.str_, nullptr)) {}
  ~CComBSTR() { SysFreeString(str_); }

  CComBSTR& operator=(CComBSTR other) noexcept {
    std::swap(str_, other.str_);
    return *this;
  }

  bool IsNull() const { return str_ == nullptr; }
  UINT Length() const { return SysStringLen(str_); }
  // The text, or an empty text when null.
  WString ToString() const { return str_ ? WString(str_, Length()) : WString(); }
  BSTR Get() const { return str_; }
  // Frees the held text and returns the address for an out-parameter.
  BSTR* Put() {
    Reset();
    return &str_;
  }
  void Attach(BSTR text) {
    Reset();
    str_ = text;
  }
  [[nodiscard]] BSTR Detach() { return std::exchange(str_, nullptr); }
  // A new copy for an out-parameter (null stays null).
  [[nodiscard]] BSTR Copy() const {
    return str_ ? SysAllocStringLen(str_, Length()) : nullptr;
  }
  void Reset() { SysFreeString(std::exchange(str_, nullptr)); }

 private:
  BSTR str_ = nullptr;
};
