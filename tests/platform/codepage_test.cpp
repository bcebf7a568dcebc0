#include "kv7/platform/codepage.h"

#include <gtest/gtest.h>

namespace kv7 {
namespace {

TEST(CodePage, PlainAsciiLocalesReadAsUtf8) {
  EXPECT_NE(AnsiCodePageName(), "ANSI_X3.4-1968");
  EXPECT_FALSE(AnsiCodePageName().empty());
  EXPECT_EQ(AnsiToWide(WideToAnsi(u"caf\u00e9")), u"caf\u00e9");
  if (AnsiCodePageName() != "UTF-8") GTEST_SKIP() << "locale charset " << AnsiCodePageName();
  EXPECT_EQ(AnsiToWide("caf\xc3\xa9"), u"caf\u00e9");
  // Not UTF-8: the whole text is read as windows-1252.
  EXPECT_EQ(AnsiToWide("caf\xc3\xa9 caf\xe9"), u"caf\u00c3\u00a9 caf\u00e9");
  EXPECT_EQ(AnsiToWide("\x80"), u"\u20ac");
}

TEST(CodePage, DecodingReportsInvalidBytes) {
  WString text;
  EXPECT_FALSE(DecodeText("caf\xe9", "UTF-8", &text));
  EXPECT_EQ(text, u"caf\uFFFD");
  EXPECT_FALSE(DecodeText("ab\xe2\x82", "UTF-8", &text));
  EXPECT_EQ(text.substr(0, 2), u"ab");
  EXPECT_TRUE(DecodeText("caf\xe9 \x80", "windows-1252", &text));
  EXPECT_EQ(text, u"caf\u00e9 \u20ac");
  EXPECT_TRUE(DecodeText(std::string_view("a\0b", 3), "UTF-8", &text));
  EXPECT_EQ(text, WString(u"a\0b", 3));
  EXPECT_FALSE(DecodeText("x", "no-such-charset", &text));
  EXPECT_EQ(text, WString(u"a\0b", 3));
}

TEST(CodePage, UnwritableCharactersBecomeQuestionMarks) {
  std::string bytes;
  ASSERT_TRUE(EncodeText(u"a\u20ac\u0100b", "windows-1252", &bytes));
  EXPECT_EQ(bytes, "a\x80?b");
  ASSERT_TRUE(EncodeText(u"\u20ac", "ISO-8859-1", &bytes));
  EXPECT_EQ(bytes, "?");
  ASSERT_TRUE(EncodeText(u"\u00e9", "US-ASCII", &bytes));
  EXPECT_EQ(bytes, "?");
  ASSERT_TRUE(EncodeText(WString(u"x") + char16_t(0xD800), "UTF-8", &bytes));
  EXPECT_EQ(bytes, "x?");
  EXPECT_FALSE(EncodeText(u"x", "no-such-charset", &bytes));
  EXPECT_EQ(bytes, "x?");
}

}  // namespace
}  // namespace kv7
