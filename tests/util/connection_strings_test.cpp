#include "kv7/util/connection_strings.h"

#include <gtest/gtest.h>

#include "kv7/helper/helper.h"
#include "support/test_support.h"

namespace {

struct ConnectionString {
  WString database = u"-", user = u"-", password = u"-";
};

ConnectionString Parse(const char16_t* text) {
  ConnectionString parsed;
  EXPECT_EQ(ParseConnectionStringInfo(text, parsed.database, parsed.user, parsed.password), S_OK);
  return parsed;
}

TEST(ConnectionStrings, ParsesKeysLiterallyUpToTheNextSemicolon) {
  EXPECT_EQ(Parse(u"database=SAMPLE").database, u"SAMPLE");

  ConnectionString empty_user = Parse(u"database=DB;user Id=;password=secret");
  EXPECT_EQ(empty_user.user, u"");
  EXPECT_EQ(empty_user.password, u"secret");

  ConnectionString capital = Parse(u"database=DB;Password=secret;");
  EXPECT_EQ(capital.password, u"-");
  EXPECT_EQ(capital.user, u"-");

  // A key is found anywhere, even inside a longer key.
  EXPECT_EQ(Parse(u"olddatabase=A;database=B;").database, u"A");

  ConnectionString none = Parse(u"");
  EXPECT_EQ(none.database, u"-");
  EXPECT_EQ(Parse(nullptr).password, u"-");
}

TEST(ConnectionStrings, ParseConnectionInfoReadsTheFirstConnectionOnly) {
  WString name = u"-", alias = u"-", user = u"-", password = u"-";
  EXPECT_EQ(
      ParseConnectionInfo(u"<DATACONNECTIONS>"
                          u"<DATACONNECTION dbconnname=\"one\" DBALIAS=\"A\" DBPASSWORD=\"0a\"/>"
                          u"<DATACONNECTION DBCONNNAME=\"two\" DBUSER=\"u2\"/>"
                          u"</DATACONNECTIONS>",
                          name, alias, user, password),
      S_FALSE);
  EXPECT_EQ(name, u"one");
  EXPECT_EQ(alias, u"A");
  EXPECT_EQ(user, u"-");
  EXPECT_EQ(password, u"0a");  // as stored, still encoded

  WString untouched = u"-";
  EXPECT_EQ(ParseConnectionInfo(u"not xml", untouched, untouched, untouched, untouched), S_FALSE);
  EXPECT_EQ(ParseConnectionInfo(u"<DATACONNECTION DBCONNNAME=\"bare\"/>", untouched, untouched,
                                untouched, untouched),
            S_FALSE);
  EXPECT_EQ(untouched, u"-");
}

TEST(ConnectionStrings, ParseOutDataConnectionSplitsAroundTheFirstElement) {
  WString before = u"-", element = u"-", after = u"-";
  ParseOutDataConnection(u"<A><DATACONNECTION X=\"1\"/><DATACONNECTION/></A>", before, element,
                         after);
  EXPECT_EQ(before, u"<A>");
  EXPECT_EQ(element, u"<DATACONNECTION X=\"1\"/>");
  EXPECT_EQ(after, u"<DATACONNECTION/></A>");

  WString b = u"-", e = u"-", a = u"-";
  ParseOutDataConnection(u"<A/>", b, e, a);
  EXPECT_EQ(b + e + a, u"---");
  ParseOutDataConnection(u"x<DATACONNECTION>", b, e, a);
  EXPECT_EQ(b, u"x");
  EXPECT_EQ(e + a, u"--");
}

bool IsLowerHex(const WString& text) {
  return text.find_first_not_of(u"0123456789abcdef") == WString::npos;
}

TEST(ConnectionStrings, PasswordsRoundTripThroughTheEncodedForm) {
  WString empty;
  EncryptPassword(empty);
  EXPECT_EQ(empty, u"");
  DecryptPassword(empty);
  EXPECT_EQ(empty, u"");

  for (size_t length : {1u, 30u, 31u, 32u, 64u, 65u, 150u}) {
    WString plain;
    for (size_t i = 0; i < length; ++i) plain += static_cast<char16_t>(0x20 + (i * 37) % 0xE0);
    WString encoded = plain;
    EncryptPassword(encoded);
    EXPECT_EQ(encoded.size(), 2 * length);
    EXPECT_TRUE(IsLowerHex(encoded)) << kv7::ToUtf8(encoded);
    WString plain_hex;
    PasswordToUrlFormat(plain.c_str(), plain_hex);
    EXPECT_NE(encoded.substr(0, 2 * std::min<size_t>(length, 64)),
              plain_hex.substr(0, 2 * std::min<size_t>(length, 64)));
    // From the 65th character on the password is stored unenciphered.
    if (length > 64) {
      EXPECT_EQ(encoded.substr(128), plain_hex.substr(128));
    }
    DecryptPassword(encoded);
    EXPECT_EQ(encoded, plain) << length;
  }
}

// Stored forms worked out by hand from the program's key text and pad: every
// stored password depends on each key character, each pad entry's low byte
// and the 64-character limit, so none of them may change.
TEST(ConnectionStrings, PasswordsEncodeToTheStoredForm) {
  const WString alphabet = u"0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-_";
  ASSERT_EQ(alphabet.size(), 64u);
  const WString alphabet_stored =
      u"9e9c9ed8ebab6a7466f675e402b7c8a749f818cfdd6c3c30e65da0b9765f0ec7"
      u"363b95cbc033e48007a70718a79485e86f7cdcbd685059652cf24c6cde8491bf";
  struct Vector {
    WString plain, stored;
  };
  const Vector vectors[] = {
      {u"secret", u"ddc8cf99baea"},
      {alphabet, alphabet_stored},
      // From the 65th character on the units are stored as they are.
      {alphabet + u"tail\u0141", alphabet_stored + u"7461696c41"},
      // Only the low 8 bits of the enciphered units are kept.
      {u"\u0141\u20ac\u00e9", u"ef0145"},
  };
  for (const Vector& vector : vectors) {
    WString encoded = vector.plain;
    EncryptPassword(encoded);
    EXPECT_EQ(encoded, vector.stored) << kv7::ToUtf8(vector.plain);
  }

  // Reading back uses only the low byte of each pad entry.
  WString decoded = alphabet_stored;
  DecryptPassword(decoded);
  EXPECT_EQ(decoded, alphabet);
  decoded = u"ddc8cf99baea";
  DecryptPassword(decoded);
  EXPECT_EQ(decoded, u"secret");
  decoded = u"ef0145";
  DecryptPassword(decoded);
  EXPECT_EQ(decoded, u"A\u00ac\u00e9");
}

TEST(ConnectionStrings, HexadecimalTextForms) {
  WString encoded = u"ff";
  EXPECT_TRUE(PasswordToUrlFormat(u"A\u01ff", encoded));
  EXPECT_EQ(encoded, u"ff41ff");  // appended to, high byte dropped
  EXPECT_TRUE(PasswordToUrlFormat(u"", encoded));
  EXPECT_EQ(encoded, u"");

  WString decoded = u"x";
  EXPECT_TRUE(PasswordFromUrlFormat(u"41Fa7", decoded));
  EXPECT_EQ(decoded, WString(u"xA\u00fa\u0007"));  // an odd final digit is read alone
  EXPECT_TRUE(PasswordFromUrlFormat(u"", decoded));
  EXPECT_EQ(decoded, u"");

  const char16_t units[] = u"\u1261\u0062";
  WString buffer_hex;
  EXPECT_TRUE(BufferToUrlFormat(reinterpret_cast<const BYTE*>(units), 2, buffer_hex));
  EXPECT_EQ(buffer_hex, u"6162");
  WString buffer_text;
  EXPECT_TRUE(BufferFromUrlFormat(reinterpret_cast<const BYTE*>(buffer_hex.data()),
                                  static_cast<UINT>(buffer_hex.size() * 2), buffer_text));
  EXPECT_EQ(buffer_text, u"ab");
}

class CatalogueConnections : public kv7::test::ScratchDir {};

TEST_F(CatalogueConnections, NamesAliasesAndTheChooser) {
  CVxStringArray names, aliases;
  names.Add(u"kept");
  EXPECT_EQ(GetAllConnectionNames(names, aliases), S_FALSE);  // the end of the empty list
  EXPECT_EQ(names.GetSize(), 1);
  WString chosen = u"-";
  EXPECT_EQ(SelectConnection(u"", chosen), S_FALSE);
  EXPECT_EQ(chosen, u"-");

  CCommandHelperHook helper;
  ASSERT_EQ(helper.AddConnection(u"<DATACONNECTION DBCONNNAME=\"a\" DBALIAS=\"sales\"/>", FALSE),
            S_OK);
  ASSERT_EQ(helper.AddConnection(u"<DATACONNECTION DBCONNNAME=\"b\" DBALIAS=\"stock\"/>", FALSE),
            S_OK);
  EXPECT_EQ(GetAllConnectionNames(names, aliases), S_FALSE);
  ASSERT_EQ(names.GetSize(), 3);
  EXPECT_EQ(names[1], u"a");
  EXPECT_EQ(names[2], u"b");
  ASSERT_EQ(aliases.GetSize(), 2);
  EXPECT_EQ(aliases[1], u"stock");

  WString name, alias, user, password;
  EXPECT_EQ(SelectConnection(u"<DATACONNECTION DBCONNNAME=\"B\"/>", chosen), S_OK);
  EXPECT_EQ(ParseConnectionInfo(chosen.c_str(), name, alias, user, password), S_OK);
  EXPECT_EQ(name, u"b");

  WString alias_choice = u"-";
  EXPECT_EQ(SelectDBAlias(u"sales", alias_choice), E_FAIL);
  EXPECT_EQ(alias_choice, u"-");
}

}  // namespace
