#include "kv7/platform/codepage.h"

#include <langinfo.h>
#include <locale.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ustring.h>

#include <memory>

namespace kv7 {

namespace {

struct CloseConverter {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, CloseConverter>;

// Converters are opened per call: ICU shares the tables between them, and
// opening one costs microseconds, against milliseconds for a large file.
Converter OpenConverter(const char* charset) {
  UErrorCode status = U_ZERO_ERROR;
  Converter converter(ucnv_open(charset, &status));
  return U_SUCCESS(status) ? std::move(converter) : Converter();
}

// Writes U+FFFD for an invalid or unmapped byte sequence and notes that the
// text was not valid. ICU's own substitution would write U+001A for some
// single-byte charsets.
void SubstituteAndFlag(const void* context, UConverterToUnicodeArgs* args, const char*,
                       int32_t, UConverterCallbackReason reason, UErrorCode* status) {
  if (reason > UCNV_IRREGULAR) return;  // reset, close and clone notifications
  *static_cast<bool*>(const_cast<void*>(context)) = true;
  *status = U_ZERO_ERROR;
  static constexpr UChar kReplacement = 0xFFFD;
  ucnv_cbToUWriteUChars(args, &kReplacement, 1, 0, status);
}

// Converts into `out`, sized first by `estimate`, then by the length that
// ICU reports when the estimate is too small. Large outputs are not
// over-allocated: touching fresh memory is what a large conversion costs.
template <class String, class Convert>
bool ConvertInto(String& out, size_t estimate, Convert convert) {
  out.resize(estimate);
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = convert(out, &status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    out.resize(static_cast<size_t>(length));
    status = U_ZERO_ERROR;
    length = convert(out, &status);
  }
  if (U_FAILURE(status)) return false;
  out.resize(static_cast<size_t>(length));
  return true;
}

std::string FindAnsiCodePage() {
  locale_t user = newlocale(LC_CTYPE_MASK, "", locale_t{});
  std::string name = user ? nl_langinfo_l(CODESET, user) : "";
  if (user) freelocale(user);
  // The C locale's charset is plain ASCII, which would turn every accented
  // letter into "?": UTF-8 keeps such text intact (and build machines run
  // in the C locale).
  if (name.empty() || name == "ANSI_X3.4-1968" || !OpenConverter(name.c_str())) name = "UTF-8";
  return name;
}

}  // namespace

const std::string& AnsiCodePageName() {
  static const std::string name = FindAnsiCodePage();
  return name;
}

WString AnsiToWide(std::string_view bytes) {
  WString text;
  if (!DecodeText(bytes, AnsiCodePageName().c_str(), &text))
    DecodeText(bytes, "windows-1252", &text);
  return text;
}

std::string WideToAnsi(WStringView text) {
  std::string bytes;
  EncodeText(text, AnsiCodePageName().c_str(), &bytes);
  return bytes;
}

// UTF-8, the code page of almost every system, needs no converter: an item
// file read per deployed item costs its bytes, not a converter's setup.
bool DecodeUtf8(std::string_view bytes, WString* text) {
  WString out;
  int32_t substituted = 0;
  if (!ConvertInto(out, bytes.size(), [&](WString& buffer, UErrorCode* error) {
        int32_t length = 0;
        u_strFromUTF8WithSub(buffer.data(), static_cast<int32_t>(buffer.size()), &length,
                             bytes.data(), static_cast<int32_t>(bytes.size()), 0xFFFD,
                             &substituted, error);
        return length;
      }))
    return false;
  text->swap(out);
  return substituted == 0;
}

bool DecodeText(std::string_view bytes, const char* charset, WString* text) {
  if (std::string_view(charset) == "UTF-8") return DecodeUtf8(bytes, text);
  Converter converter = OpenConverter(charset);
  if (!converter) return false;
  bool invalid = false;
  UErrorCode status = U_ZERO_ERROR;
  ucnv_setToUCallBack(converter.get(), SubstituteAndFlag, &invalid, nullptr, nullptr, &status);
  WString out;
  // Most charsets give at most one UTF-16 unit a byte; others convert twice.
  if (U_FAILURE(status) ||
      !ConvertInto(out, bytes.size(), [&](WString& buffer, UErrorCode* error) {
        return ucnv_toUChars(converter.get(), buffer.data(), static_cast<int32_t>(buffer.size()),
                             bytes.data(), static_cast<int32_t>(bytes.size()), error);
      }))
    return false;
  text->swap(out);
  return !invalid;
}

bool EncodeText(WStringView text, const char* charset, std::string* bytes) {
  Converter converter = OpenConverter(charset);
  if (!converter) return false;
  UErrorCode status = U_ZERO_ERROR;
  ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_SUBSTITUTE, nullptr, nullptr,
                        nullptr, &status);
  // Some converters substitute 0x1A (SUB); the platform writes "?".
  ucnv_setSubstChars(converter.get(), "?", 1, &status);
  std::string out;
  // Sized for one byte a unit, as most text is; longer output converts twice.
  if (U_FAILURE(status) ||
      !ConvertInto(out, text.size(), [&](std::string& buffer, UErrorCode* error) {
        return ucnv_fromUChars(converter.get(), buffer.data(), static_cast<int32_t>(buffer.size()),
                               text.data(), static_cast<int32_t>(text.size()), error);
      }))
    return false;
  bytes->swap(out);
  return true;
}

}  // namespace kv7
