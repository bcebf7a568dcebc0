// The connection record: its three forms kept in step by the setters, the
// password encoded on the way out and decoded on the way in, and the
// record re-read from the helper library's catalogue.
#include "kv7/document/conn_info.h"

#include <gtest/gtest.h>

#include "kv7/helper/helper.h"
#include "kv7/options/global_options.h"
#include "kv7/util/connection_strings.h"
#include "kv7/util/xml_helpers.h"
#include "support/test_support.h"

namespace kv7::test {
namespace {

constexpr char16_t kElement[] =
    u"<DATACONNECTION DBALIAS=\"OLD\" DBCONNNAME=\"dev\" DBUSER=\"alice\" DBPASSWORD=\"\" "
    u"DBCONNSTRING=\"database=OLD;user Id=alice;password=;\" SERVER=\"\" DATABASE=\"OLD\" "
    u"TIMEOUT=\"30\" DBTYPE=\"SQLITE\"/>";

bool Holds(const WString& text, const WString& part) { return text.find(part) != WString::npos; }

WString Encoded(const WString& plain) {
  WString encoded = plain;
  EncryptPassword(encoded);
  return encoded;
}

class ConnInfoTest : public ScratchDir {
 protected:
  void TearDown() override {
    (void)GetKV7GlobalOptions()->SetSaveUserAndPassword(TRUE);
    ScratchDir::TearDown();
  }

  // The catalogue's element for a connection, as SyncWithModel compares it.
  WString CatalogueElement(const char16_t* name) {
    CComBSTR element;
    EXPECT_EQ(CTaskHelperHook().GetConnXML(name, element.Put()), S_OK);
    return element.ToString();
  }
};

TEST_F(ConnInfoTest, SettersKeepElementFieldsAndConnectionStringInStep) {
  CKV7ConnInfo info;
  ASSERT_EQ(info.SetXML(kElement, FALSE), S_OK);
  EXPECT_EQ(info.GetTimeout(), u"30");

  info.SetAlias(u"NEW", TRUE, TRUE);
  EXPECT_EQ(info.GetConnString(), u"database=NEW;user Id=alice;password=;");
  EXPECT_TRUE(Holds(info.GetXML(), u"DBALIAS=\"NEW\""));
  EXPECT_TRUE(Holds(info.GetXML(), u"DBCONNSTRING=\"database=NEW;user Id=alice;password=;\""));
  EXPECT_TRUE(Holds(info.GetXML(), u"DATABASE=\"OLD\""));

  // No "server=" key: only the attribute changes.
  info.SetServer(u"db.example:5432", TRUE, TRUE);
  EXPECT_EQ(info.GetConnString(), u"database=NEW;user Id=alice;password=;");
  EXPECT_TRUE(Holds(info.GetXML(), u"SERVER=\"db.example:5432\""));

  info.SetDBType(u"POSTGRESQL", TRUE);
  info.SetTimeout(u"5", TRUE, FALSE);
  EXPECT_TRUE(Holds(info.GetXML(), u"DBTYPE=\"POSTGRESQL\"/>"));
  EXPECT_TRUE(Holds(info.GetXML(), u"TIMEOUT=\"30\""));

  // Values are escaped in the element and read back whole.
  info.SetUser(u"a\"b&c", TRUE, TRUE);
  ASSERT_EQ(info.ParseXML(FALSE), S_OK);
  EXPECT_EQ(info.GetUser(), u"a\"b&c");
  EXPECT_EQ(info.GetConnString(), u"database=NEW;user Id=a\"b&c;password=;");
  EXPECT_EQ(info.GetTimeout(), u"30");

  // Without a trailing ";" the string keeps having none.
  info.SetConnString(u"database=X;user Id=u");
  info.SetUser(u"bob", TRUE, FALSE);
  EXPECT_EQ(info.GetConnString(), u"database=X;user Id=bob");

  WString out = u"-";
  EXPECT_EQ(CKV7ConnInfo::ReplaceInConnString(6, u"a=b", u"v", out), E_INVALIDARG);
  EXPECT_EQ(CKV7ConnInfo::ReplaceInConnString(CKV7ConnInfo::kConnStrUser, u"", u"v", out), S_FALSE);
  EXPECT_EQ(CKV7ConnInfo::ReplaceInXMLString(9, kElement, u"v", out), E_INVALIDARG);
  EXPECT_EQ(CKV7ConnInfo::ReplaceInXMLString(CKV7ConnInfo::kXmlServer, u"", u"v", out), S_FALSE);
  EXPECT_EQ(out, u"-");
  EXPECT_EQ(CKV7ConnInfo::ReplaceInXMLString(CKV7ConnInfo::kXmlServer, u"<D A=\"1\"/>", u"v", out),
            S_OK);
  EXPECT_EQ(out, u"<D A=\"1\"/>");

  CKV7ConnInfo::CryptConnStringPassword(FALSE, u"database=D;password=ab", out);
  EXPECT_EQ(out, u"database=D;password=" + Encoded(u"ab"));
  CKV7ConnInfo::CryptConnStringPassword(TRUE, out.c_str(), out);
  EXPECT_EQ(out, u"database=D;password=ab");
}

// The element text is always the text given; the fields keep their values
// unless it parses as a connection.
TEST_F(ConnInfoTest, TextThatIsNotAConnectionKeepsTheFields) {
  CKV7ConnInfo info;
  ASSERT_EQ(info.SetXML(kElement, FALSE), S_OK);
  info.SetPassword(u"pw", TRUE, FALSE);
  const WString broken = u"<DATACONNECTION DBCONNNAME=\"x\"";
  EXPECT_EQ(info.SetXML(broken.c_str(), FALSE), E_FAIL);
  EXPECT_EQ(info.GetXML(), broken);
  EXPECT_EQ(info.GetConnName(), u"dev");

  // Decrypting on the way in does not touch a password it did not read.
  EXPECT_EQ(info.SetXML(u"<OTHER DBCONNNAME=\"x\"/>", TRUE), S_FALSE);
  EXPECT_EQ(info.GetXML(), u"<OTHER DBCONNNAME=\"x\"/>");
  EXPECT_EQ(info.GetConnName(), u"dev");
  EXPECT_EQ(info.GetPassword(), u"pw");
  EXPECT_EQ(info.GetConnString(), u"database=OLD;user Id=alice;password=pw;");

  // An empty text does not parse either: nothing is left to save.
  EXPECT_EQ(info.SetXML(u"", FALSE), E_FAIL);
  EXPECT_EQ(info.GetConnName(), u"dev");
  WString out = u"-";
  EXPECT_EQ(info.ExtractXML(out, TRUE, TRUE, TRUE), E_FAIL);
  EXPECT_EQ(out, u"-");

  // Copying an empty record is the same as taking its empty text.
  CKV7ConnInfo copy, empty;
  ASSERT_EQ(copy.SetXML(kElement, FALSE), S_OK);
  EXPECT_EQ(copy.CopyFrom(empty), E_FAIL);
  EXPECT_EQ(copy.GetXML(), u"");
  EXPECT_EQ(copy.GetUser(), u"alice");
}

TEST_F(ConnInfoTest, SavedPasswordIsEncodedAndReloadsPlain) {
  const WString password = u"s3cr&t<\"";
  CKV7ConnInfo info;
  ASSERT_EQ(info.SetXML(kElement, FALSE), S_OK);
  info.SetPassword(password.c_str(), TRUE, TRUE);

  WString saved;
  ASSERT_EQ(info.ExtractXML(saved, TRUE, TRUE, TRUE), S_OK);
  EXPECT_FALSE(Holds(saved, u"s3cr"));
  EXPECT_FALSE(Holds(saved, u"<DATACONNECTION"));  // escaped as element content
  DenormalizeXML(saved);
  EXPECT_TRUE(Holds(saved, u"DBPASSWORD=\"" + Encoded(password) + u"\""));
  EXPECT_TRUE(Holds(saved, u"password=" + Encoded(password) + u";"));
  EXPECT_EQ(info.GetPassword(), password);

  CKV7ConnInfo reloaded;
  ASSERT_EQ(reloaded.SetXML(saved.c_str(), TRUE), S_OK);
  EXPECT_EQ(reloaded.GetPassword(), password);
  EXPECT_EQ(reloaded.GetConnString(), u"database=OLD;user Id=alice;password=" + password + u";");
  EXPECT_EQ(reloaded.GetXML(), info.GetXML());
  EXPECT_EQ(reloaded.GetDecryptedXML(), reloaded.GetXML());
  EXPECT_EQ(reloaded.Compare(info), 0);

  WString unchanged;
  ASSERT_EQ(info.ExtractXML(unchanged, FALSE, FALSE, FALSE), S_OK);
  EXPECT_EQ(unchanged, info.GetXML());
}

TEST_F(ConnInfoTest, SaveOptionOffLeavesCredentialsOutOfTheSavedElement) {
  CKV7ConnInfo info;
  ASSERT_EQ(info.SetXML(kElement, FALSE), S_OK);
  info.SetPassword(u"pw", TRUE, TRUE);
  ASSERT_EQ(GetKV7GlobalOptions()->SetSaveUserAndPassword(FALSE), S_OK);

  WString saved;
  ASSERT_EQ(info.ExtractXML(saved, TRUE, FALSE, TRUE), S_OK);
  EXPECT_TRUE(Holds(saved, u"DBUSER=\"\""));
  EXPECT_TRUE(Holds(saved, u"DBPASSWORD=\"\""));
  EXPECT_TRUE(Holds(saved, u"DBCONNSTRING=\"database=OLD;user Id=;password=;\""));
  EXPECT_EQ(info.GetUser(), u"alice");
  EXPECT_EQ(info.GetPassword(), u"pw");

  ASSERT_EQ(info.ExtractXML(saved, TRUE, FALSE, FALSE), S_OK);
  EXPECT_TRUE(Holds(saved, u"DBUSER=\"alice\""));
}

TEST_F(ConnInfoTest, SyncWithModelFollowsTheCatalogue) {
  CCommandHelperHook helper;
  ASSERT_EQ(helper.AddConnection(u"<DATACONNECTION DBCONNNAME=\"dev\" DBALIAS=\"a.db\" "
                                 u"DBUSER=\"u\" DBPASSWORD=\"p&amp;w\"/>",
                                 FALSE),
            S_OK);
  BOOL changed = TRUE;
  CKV7ConnInfo unnamed;
  ASSERT_EQ(unnamed.SetXML(u"<DATACONNECTION DBALIAS=\"x\"/>", FALSE), S_OK);
  EXPECT_EQ(unnamed.SyncWithModel(&changed), S_OK);
  EXPECT_FALSE(changed);

  // A project saved with the password encoded and loaded again is in step.
  CKV7ConnInfo picked;
  ASSERT_EQ(picked.SetXML(CatalogueElement(u"dev").c_str(), FALSE), S_OK);
  WString saved;
  ASSERT_EQ(picked.ExtractXML(saved, TRUE, FALSE, TRUE), S_OK);
  CKV7ConnInfo info;
  ASSERT_EQ(info.SetXML(saved.c_str(), TRUE), S_OK);
  changed = TRUE;
  EXPECT_EQ(info.SyncWithModel(&changed), S_OK);
  EXPECT_FALSE(changed);
  EXPECT_EQ(info.GetPassword(), u"p&w");

  ASSERT_EQ(helper.RemoveConnection(u"dev"), S_OK);
  ASSERT_EQ(helper.AddConnection(u"<DATACONNECTION DBCONNNAME=\"dev\" DBALIAS=\"b.db\" "
                                 u"DBUSER=\"u\" DBPASSWORD=\"p&amp;w\"/>",
                                 FALSE),
            S_OK);
  EXPECT_EQ(info.SyncWithModel(&changed), S_OK);
  EXPECT_TRUE(changed);
  EXPECT_EQ(info.GetDatabase(), u"b.db");
  EXPECT_EQ(info.GetXML(), CatalogueElement(u"dev"));

  ASSERT_EQ(helper.RemoveConnection(u"dev"), S_OK);
  WString before = info.GetXML();
  EXPECT_EQ(info.SyncWithModel(&changed), KV7_E_CONNECTION_NOT_FOUND);
  EXPECT_FALSE(changed);
  EXPECT_EQ(info.GetXML(), before);
  EXPECT_EQ(info.GetDatabase(), u"b.db");
}

TEST_F(ConnInfoTest, UpgradeCompletesAFormatOneElement) {
  const WString encoded = Encoded(u"pw");
  const WString v1 = u"<DATACONNECTION DBALIAS=\"SAMPLE\" DBCONNNAME=\"old\" DBUSER=\"u\" "
                     u"DBPASSWORD=\"" + encoded + u"\" DBCONNSTRING=\"database=SAMPLE;password=" +
                     encoded + u"\"/>";
  CKV7ConnInfo info;
  ASSERT_EQ(info.SetXML(v1.c_str(), TRUE), S_OK);
  WString loaded = info.GetXML();
  EXPECT_EQ(info.Upgrade(2), S_OK);
  EXPECT_EQ(info.GetXML(), loaded);

  EXPECT_EQ(info.Upgrade(1), S_OK);
  EXPECT_EQ(info.GetDatabase(), u"SAMPLE");
  EXPECT_EQ(info.GetDBType(), u"SQLITE");
  EXPECT_EQ(info.GetPassword(), u"pw");
  EXPECT_EQ(info.GetConnString(), u"database=SAMPLE;password=pw");
  for (const char16_t* attribute : {u" DATABASE=\"SAMPLE\"", u" SERVER=\"\"", u" TIMEOUT=\"\"",
                                    u" DBTYPE=\"SQLITE\"", u" DBPLATFORMNAME=\"\""})
    EXPECT_TRUE(Holds(info.GetXML(), attribute)) << ToUtf8(attribute);

  CKV7ConnInfo no_alias;
  ASSERT_EQ(no_alias.SetXML(u"<DATACONNECTION DBCONNNAME=\"x\"/>", FALSE), S_OK);
  EXPECT_EQ(no_alias.Upgrade(1), S_OK);
  EXPECT_EQ(no_alias.GetXML(), u"<DATACONNECTION DBCONNNAME=\"x\"/>");
}

TEST_F(ConnInfoTest, CompareIgnoresCaseAliasAndSnapshot) {
  CKV7ConnInfo info, copy;
  ASSERT_EQ(info.SetXML(kElement, FALSE), S_OK);
  ASSERT_EQ(copy.CopyFrom(info), S_OK);
  EXPECT_EQ(copy.Compare(info), 0);
  copy.SetUser(u"ALICE", FALSE, FALSE);
  copy.SetAlias(u"elsewhere", FALSE, FALSE);
  EXPECT_EQ(copy.Compare(info), 0);
  copy.SetPlatformName(u"other");
  EXPECT_EQ(copy.Compare(info), 1);
  copy.SetPlatformName(u"");
  copy.SetDBType(u"POSTGRESQL", TRUE);
  EXPECT_EQ(copy.Compare(info), 1);
}

}  // namespace
}  // namespace kv7::test
