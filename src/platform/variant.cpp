#include "kv7/platform/variant.h"

#include "kv7/platform/localtime.h"

#include <cassert>
#include <cstring>

VARIANT::VARIANT(const VARIANT& other) : vt_(other.vt_) {
  switch (vt_) {
    case VT_BSTR: bstr_ = SysAllocStringLen(other.bstr_, SysStringLen(other.bstr_)); break;
    case VT_BOOL: bool_ = other.bool_; break;
    case VT_I4: long_ = other.long_; break;
    case VT_R8:
    case VT_DATE: double_ = other.double_; break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
      unknown_ = other.unknown_;
      if (unknown_) unknown_->AddRef();
      break;
    case VT_ARRAY | VT_BSTR: strings_ = new std::vector<WString>(*other.strings_); break;
    default: break;
  }
}

VARIANT::VARIANT(VARIANT&& other) noexcept { Swap(other); }

VARIANT& VARIANT::operator=(VARIANT other) noexcept {
  Swap(other);
  return *this;
}

VARIANT::~VARIANT() { Clear(); }

void VARIANT::Swap(VARIANT& other) noexcept {
  std::swap(vt_, other.vt_);
  // Every member of the value union is trivially copyable: swap the storage.
  static_assert(sizeof(double) >= sizeof(void*));
  unsigned char mine[sizeof(double)];
  std::memcpy(mine, &double_, sizeof mine);
  std::memcpy(&double_, &other.double_, sizeof mine);
  std::memcpy(&other.double_, mine, sizeof mine);
}

void VARIANT::Clear() {
  switch (vt_) {
    case VT_BSTR: SysFreeString(bstr_); break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
      if (unknown_) unknown_->Release();
      break;
    case VT_ARRAY | VT_BSTR: delete strings_; break;
    default: break;
  }
  vt_ = VT_EMPTY;
  double_ = 0;
}

VARIANT VARIANT::Null() {
  VARIANT v;
  v.vt_ = VT_NULL;
  return v;
}

VARIANT VARIANT::FromString(WStringView text) {
  VARIANT v;
  v.bstr_ = SysAllocWString(text);
  v.vt_ = VT_BSTR;
  return v;
}

VARIANT VARIANT::FromBool(bool value) {
  VARIANT v;
  v.vt_ = VT_BOOL;
  v.bool_ = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

VARIANT VARIANT::FromInt(LONG value) {
  VARIANT v;
  v.vt_ = VT_I4;
  v.long_ = value;
  return v;
}

VARIANT VARIANT::FromDouble(double value) {
  VARIANT v;
  v.vt_ = VT_R8;
  v.double_ = value;
  return v;
}

VARIANT VARIANT::FromDate(DATE value) {
  VARIANT v;
  v.vt_ = VT_DATE;
  v.double_ = value;
  return v;
}

VARIANT VARIANT::FromUnknown(IUnknown* value) {
  VARIANT v;
  v.vt_ = VT_UNKNOWN;
  v.unknown_ = value;
  if (value) value->AddRef();
  return v;
}

VARIANT VARIANT::FromDispatch(IDispatch* value) {
  VARIANT v = FromUnknown(value);
  v.vt_ = VT_DISPATCH;
  return v;
}

VARIANT VARIANT::FromStringArray(std::vector<WString> values) {
  VARIANT v;
  v.strings_ = new std::vector<WString>(std::move(values));
  v.vt_ = VT_ARRAY | VT_BSTR;
  return v;
}

BSTR VARIANT::bstrVal() const {
  assert(vt_ == VT_BSTR && "bstrVal of a variant that holds no string");
  return bstr_;
}

VARIANT_BOOL VARIANT::boolVal() const {
  assert(vt_ == VT_BOOL && "boolVal of a variant that holds no boolean");
  return bool_;
}

LONG VARIANT::lVal() const {
  assert(vt_ == VT_I4 && "lVal of a variant that holds no integer");
  return long_;
}

double VARIANT::dblVal() const {
  assert(vt_ == VT_R8 && "dblVal of a variant that holds no double");
  return double_;
}

DATE VARIANT::date() const {
  assert(vt_ == VT_DATE && "date of a variant that holds no date");
  return double_;
}

IUnknown* VARIANT::punkVal() const {
  assert((vt_ == VT_UNKNOWN || vt_ == VT_DISPATCH) && "punkVal of a variant that holds no interface");
  return unknown_;
}

const std::vector<WString>& VARIANT::strings() const {
  assert(vt_ == (VT_ARRAY | VT_BSTR) && "strings of a variant that holds no string array");
  return *strings_;
}

bool SystemTimeToVariantTime(const SYSTEMTIME& time, DATE* date) {
  if (time.wYear < 100 || time.wYear > 9999 || time.wMonth < 1 || time.wMonth > 12) return false;
  // Days from the civil date (proleptic Gregorian), counted from 1970-01-01.
  int y = time.wYear - (time.wMonth <= 2 ? 1 : 0);
  int era = (y >= 0 ? y : y - 399) / 400;
  int year_of_era = y - era * 400;
  int month = time.wMonth;
  int day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + time.wDay - 1;
  int day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  long days_since_1970 = static_cast<long>(era) * 146097 + day_of_era - 719468;
  constexpr long kDaysFrom1899To1970 = 25569;
  double fraction = (time.wHour * 3600.0 + time.wMinute * 60.0 + time.wSecond +
                     time.wMilliseconds / 1000.0) / 86400.0;
  *date = static_cast<double>(days_since_1970 + kDaysFrom1899To1970) + fraction;
  return true;
}
