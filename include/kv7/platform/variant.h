// A small VARIANT: the values that cross the system's automation and DOM
// interfaces. Copying copies strings and arrays and adds a reference to
// interface pointers; the destructor releases what it holds.
#pragma once

#include <vector>

#include "kv7/platform/bstr.h"
#include "kv7/platform/com.h"
#include "kv7/platform/types.h"

enum VARENUM : std::uint16_t {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I4 = 3,
  VT_R8 = 5,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_BOOL = 11,
  VT_UNKNOWN = 13,
  VT_ARRAY = 0x2000,
};
using VARTYPE = std::uint16_t;
// Days since 30 December 1899, the fraction being the time of day.
using DATE = double;

struct SYSTEMTIME;
// The DATE of a calendar time (the day of the week is not read); false for
// a calendar time outside the years 100 to 9999.
bool SystemTimeToVariantTime(const SYSTEMTIME& time, DATE* date);

class VARIANT {
 public:
  VARIANT() = default;
  VARIANT(const VARIANT& other);
  VARIANT(VARIANT&& other) noexcept;
  VARIANT& operator=(VARIANT other) noexcept;
  ~VARIANT();

  static VARIANT Null();
  static VARIANT FromString(WStringView text);
  static VARIANT FromBool(bool value);  // VT_BOOL: VARIANT_TRUE or VARIANT_FALSE
  static VARIANT FromInt(LONG value);
  static VARIANT FromDouble(double value);
  static VARIANT FromDate(DATE value);
  static VARIANT FromUnknown(IUnknown* value);
  static VARIANT FromDispatch(IDispatch* value);
  static VARIANT FromStringArray(std::vector<WString> values);  // VT_ARRAY|VT_BSTR

  VARTYPE vt() const { return vt_; }
  // Typed reads; each is valid only for its own type (checked by assertion).
  BSTR bstrVal() const;           // VT_BSTR; never null for a string variant
  VARIANT_BOOL boolVal() const;   // VT_BOOL
  LONG lVal() const;              // VT_I4
  double dblVal() const;          // VT_R8
  DATE date() const;              // VT_DATE
  IUnknown* punkVal() const;      // VT_UNKNOWN or VT_DISPATCH
  const std::vector<WString>& strings() const;  // VT_ARRAY|VT_BSTR

  // Back to VT_EMPTY, releasing what was held.
  void Clear();

 private:
  void Swap(VARIANT& other) noexcept;

  VARTYPE vt_ = VT_EMPTY;
  union {
    BSTR bstr_;
    VARIANT_BOOL bool_;
    LONG long_;
    double double_ = 0;
    IUnknown* unknown_;
    std::vector<WString>* strings_;
  };
};
