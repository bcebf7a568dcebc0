#include <gtest/gtest.h>

#include <climits>

#include "kv7/platform/bstr.h"
#include "kv7/platform/guid.h"
#include "kv7/platform/variant.h"
#include "kv7/platform/wstring.h"

namespace kv7 {
namespace {

TEST(FormatW, WritesTheTextsTheSystemRelies) {
  EXPECT_EQ(FormatW(u"%i", -5), u"-5");
  EXPECT_EQ(FormatW(u"%s (%u)", u"Dir", 3u), u"Dir (3)");
  EXPECT_EQ(FormatW(u"0x%x", 255), u"0xff");
  EXPECT_EQ(FormatW(u"%2.2x", 5), u"05");
  EXPECT_EQ(FormatW(u"%08X", 0xBEEFu), u"0000BEEF");
  EXPECT_EQ(FormatW(u"%.2f", 9.0), u"9.00");
  EXPECT_EQ(FormatW(u"%d", INT_MIN), u"-2147483648");
  EXPECT_EQ(FormatW(u"%-5s|%5s", u"ab", u"cd"), u"ab   |   cd");
  EXPECT_EQ(FormatW(u"%.3s", u"abcdef"), u"abc");
  EXPECT_EQ(FormatW(u"%hs", "narrow"), u"narrow");
  EXPECT_EQ(FormatW(u"%c%c", u'x', u'\u00e9'), u"x\u00e9");
  EXPECT_EQ(FormatW(u"100%%"), u"100%");
  EXPECT_EQ(FormatW(u"%lu", 4000000000ul), u"4000000000");
  EXPECT_EQ(FormatW(u"%I64d", -9000000000ll), u"-9000000000");
  EXPECT_EQ(FormatW(u"[%s]", static_cast<const char16_t*>(nullptr)), u"[(null)]");
}

TEST(ReplaceAll, ReplacesLeftToRightWithoutRescanning) {
  WString text = u"aaa";
  EXPECT_EQ(ReplaceAll(text, u"aa", u"a"), 1);
  EXPECT_EQ(text, u"aa");
  text = u"&lt;";
  EXPECT_EQ(ReplaceAll(text, u"&", u"&amp;"), 1);
  EXPECT_EQ(text, u"&amp;lt;");
  text = u"a&b&";
  EXPECT_EQ(ReplaceAll(text, u"&", u"&amp;"), 2);
  EXPECT_EQ(text, u"a&amp;b&amp;");
  EXPECT_EQ(ReplaceAll(text, u"", u"x"), 0);
  EXPECT_EQ(text, u"a&amp;b&amp;");
}

TEST(CompareNoCase, FoldsEachLetterSimply) {
  EXPECT_EQ(CompareNoCase(u"caf\u00e9", u"CAF\u00c9"), 0);
  EXPECT_TRUE(EqualsNoCase(u"\u00c9t\u00e9", u"\u00e9T\u00c9"));
  // Simple folding maps one code point to one: sharp s stays itself, and
  // the ordering agrees with EqualsNoCase and FoldCase.
  EXPECT_NE(CompareNoCase(u"stra\u00dfe", u"STRASSE"), 0);
  EXPECT_FALSE(EqualsNoCase(u"stra\u00dfe", u"STRASSE"));
  EXPECT_EQ(CompareNoCase(u"\U0001D400x", u"\U0001D400X"), 0);
  EXPECT_LT(CompareNoCase(u"apple", u"BANANA"), 0);
  EXPECT_GT(CompareNoCase(u"b", u"A"), 0);
  EXPECT_TRUE(StartsWithNoCase(u"\u00c9cole", u"\u00e9C"));
  EXPECT_FALSE(StartsWithNoCase(u"ab", u"abc"));
  EXPECT_EQ(FoldCase(u"ABC\u00c9"), u"abc\u00e9");
}

TEST(CompareLocale, OrdersNamesIgnoringCase) {
  EXPECT_LT(CompareLocale(u"apple", u"Banana"), 0);
  EXPECT_LT(CompareLocale(u"Banana", u"cherry"), 0);
  EXPECT_EQ(CompareLocale(u"apple", u"APPLE"), 0);
  EXPECT_LT(CompareLocale(u"\u00e9clair", u"zebra"), 0);
}

TEST(Utf8, ConvertsSurrogatePairsAndReplacesInvalidInput) {
  EXPECT_EQ(FromUtf8("\xF0\x9F\x98\x80!"), u"\U0001F600!");
  EXPECT_EQ(ToUtf8(u"\U0001F600!"), "\xF0\x9F\x98\x80!");
  EXPECT_EQ(FromUtf8("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(FromUtf8("end\xE2\x82"), u"end\uFFFD");
  EXPECT_EQ(ToUtf8(WString(u"x") + char16_t(0xD800) + u"y"), "x\xEF\xBF\xBDy");
  EXPECT_EQ(FromUtf8(std::string_view("a\0b", 3)), WString(u"a\0b", 3));
}

TEST(Guid, RoundTripsTheRegistryForm) {
  constexpr GUID g = MakeGuid("0123abcd-4567-89ef-0a1b-2c3d4e5f6071");
  EXPECT_EQ(GuidToString(g), u"{0123ABCD-4567-89EF-0A1B-2C3D4E5F6071}");
  GUID parsed;
  ASSERT_EQ(GuidFromString(u"{0123abcd-4567-89EF-0a1b-2C3D4E5F6071}", &parsed), S_OK);
  EXPECT_EQ(parsed, g);

  for (const char16_t* bad : {u"0123ABCD-4567-89EF-0A1B-2C3D4E5F6071",
                              u"{0123ABCD-4567-89EF-0A1B-2C3D4E5F607}",
                              u"{0123ABCD-4567-89EF-0A1B-2C3D4E5F60711}",
                              u"{0123ABCG-4567-89EF-0A1B-2C3D4E5F6071}",
                              u"{0123ABCD-456789EF-0A1B--2C3D4E5F6071}", u""}) {
    GUID untouched = g;
    EXPECT_EQ(GuidFromString(bad, &untouched), E_INVALIDARG) << ToUtf8(bad);
    EXPECT_EQ(untouched, g);
  }

  GUID a = NewGuid();
  GUID b = NewGuid();
  EXPECT_NE(a, b);
  EXPECT_EQ(a.Data3 >> 12, 4);
  EXPECT_EQ(a.Data4[0] & 0xC0, 0x80);
}

TEST(Bstr, KeepsNullApartFromEmpty) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  BSTR empty = SysAllocString(u"");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(SysStringLen(empty), 0u);
  SysFreeString(empty);

  BSTR zeros = SysAllocStringLen(nullptr, 3);
  EXPECT_EQ(WString(zeros, 3), WString(3, u'\0'));
  EXPECT_EQ(zeros[3], u'\0');
  SysFreeString(zeros);

  CComBSTR null;
  EXPECT_TRUE(CComBSTR(null).IsNull());
  EXPECT_EQ(null.Copy(), nullptr);
  CComBSTR withNul(WStringView(u"a\0b", 3));
  EXPECT_EQ(withNul.Length(), 3u);
  CComBSTR copy = withNul;
  EXPECT_NE(copy.Get(), withNul.Get());
  EXPECT_EQ(copy.ToString(), withNul.ToString());
  EXPECT_FALSE(CComBSTR(u"").IsNull());
}

class Counted : public ComObject<IUnknown> {
 public:
  explicit Counted(bool* destroyed) : destroyed_(destroyed) {}
  ~Counted() override { *destroyed_ = true; }

 private:
  bool* destroyed_;
};

ULONG RefCount(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

TEST(Variant, CopiesValuesAndCountsReferences) {
  bool destroyed = false;
  {
    ComPtr<Counted> object = MakeCom<Counted>(&destroyed);
    VARIANT held = VARIANT::FromUnknown(object.Get());
    EXPECT_EQ(RefCount(object.Get()), 2u);
    {
      VARIANT copy = held;
      EXPECT_EQ(copy.punkVal(), object.Get());
      EXPECT_EQ(RefCount(object.Get()), 3u);
      VARIANT moved = std::move(copy);
      EXPECT_EQ(copy.vt(), VT_EMPTY);
      EXPECT_EQ(RefCount(object.Get()), 3u);
    }
    EXPECT_EQ(RefCount(object.Get()), 2u);
    held = VARIANT::FromString(u"text");
    EXPECT_EQ(RefCount(object.Get()), 1u);
  }
  EXPECT_TRUE(destroyed);

  VARIANT text = VARIANT::FromString(u"text");
  VARIANT textCopy = text;
  EXPECT_NE(textCopy.bstrVal(), text.bstrVal());
  EXPECT_EQ(WString(textCopy.bstrVal()), u"text");

  VARIANT list = VARIANT::FromStringArray({u"a", u"b"});
  VARIANT listCopy = list;
  list.Clear();
  EXPECT_EQ(list.vt(), VT_EMPTY);
  EXPECT_EQ(listCopy.strings(), (std::vector<WString>{u"a", u"b"}));
}

}  // namespace
}  // namespace kv7
