// The helper library's connection catalogue, through the library's hooks:
// what is added is answered back with the password plain and stored in the
// file enciphered; names are matched ignoring case; a broken file is
// reported and never overwritten.
#include <gtest/gtest.h>

#include "kv7/helper/helper.h"
#include "kv7/helper/password_cipher.h"
#include "kv7/platform/errorinfo.h"
#include "support/test_support.h"

namespace kv7::test {
namespace {

class ConnectionCatalogueTest : public ScratchDir {
 protected:
  std::filesystem::path CatalogueFile() const { return Path("home/connections.xml"); }

  // `password` as written in the element (escaped).
  HRESULT Add(const std::string& name, const std::string& password = "", BOOL makeDefault = FALSE) {
    WString element = u"<DATACONNECTION DBCONNNAME=\"" + FromUtf8(name) +
                      u"\" DBALIAS=\"" + FromUtf8(name) + u".db\" DBPASSWORD=\"" +
                      FromUtf8(password) + u"\" DBCONNSTRING=\"password=x\"/>";
    return command_.AddConnection(element.c_str(), makeDefault);
  }

  WString Catalogue() {
    CComBSTR text;
    EXPECT_EQ(task_.GetAllConnectionInfo(text.Put()), S_OK);
    return text.ToString();
  }

  WString Chosen(const char16_t* preset) {
    CComBSTR chosen;
    EXPECT_EQ(command_.SelectConnection(preset, chosen.Put()), S_OK);
    return chosen.ToString();
  }

  static bool Holds(const WString& text, const WString& part) {
    return text.find(part) != WString::npos;
  }

  CTaskHelperHook task_;
  CCommandHelperHook command_;
};

TEST_F(ConnectionCatalogueTest, AddsFindsAndStoresPasswordsEnciphered) {
  EXPECT_EQ(Catalogue(), u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<DATACONNECTIONS>\r\n"
                         u"</DATACONNECTIONS>\r\n");
  ASSERT_EQ(Add("dev", "p&quot;&amp;&lt;w"), S_OK);
  ASSERT_EQ(Add("prod"), S_OK);
  EXPECT_EQ(Add("DEV"), HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(command_.AddConnection(u"<DATACONNECTION DBALIAS=\"x\"/>", FALSE), E_INVALIDARG);
  EXPECT_EQ(command_.AddConnection(u"<OTHER/>", FALSE), E_INVALIDARG);

  CComBSTR element;
  ASSERT_EQ(task_.GetConnXML(u"Dev", element.Put()), S_OK);
  EXPECT_EQ(
      element.ToString(),
      u"<DATACONNECTION DBALIAS=\"dev.db\" DBCONNNAME=\"dev\" DBUSER=\"\" "
      u"DBPASSWORD=\"p&quot;&amp;&lt;w\" DBCONNSTRING=\"\" DBPLATFORMNAME=\"\" "
      u"DBPLATFORMVERSION=\"\" DBDEFAULTOWNER=\"\" DBPACKAGEOWNER=\"\" DBBUILDOWNER=\"\" "
      u"DBCONNISONLINE=\"\" SERVER=\"\" DATABASE=\"dev.db\" TIMEOUT=\"\" DBTYPE=\"SQLITE\"/>");

  std::string file = ReadFile(CatalogueFile());
  EXPECT_EQ(file.find("p&quot;"), std::string::npos);
  EXPECT_NE(file.find("DBPASSWORD=\"" + ToUtf8(helper::EncipherPassword(u"p\"&<w")) + "\""),
            std::string::npos);
  EXPECT_NE(file.find("<DATACONNECTIONS DEFAULT=\"dev\">"), std::string::npos);

  CComBSTR missing;
  EXPECT_EQ(task_.GetConnXML(u"nowhere", missing.Put()), KV7_E_CONNECTION_NOT_FOUND);
  EXPECT_TRUE(missing.IsNull());
  EXPECT_TRUE(Holds(ErrorText(), u"'nowhere'"));
}

TEST_F(ConnectionCatalogueTest, ChooserAnswersThePresetOrTheDefault) {
  CComBSTR none;
  EXPECT_EQ(command_.SelectConnection(u"", none.Put()), S_FALSE);
  EXPECT_TRUE(none.IsNull());

  ASSERT_EQ(Add("a"), S_OK);
  ASSERT_EQ(Add("b"), S_OK);
  ASSERT_EQ(Add("c", "", TRUE), S_OK);
  EXPECT_TRUE(Holds(Catalogue(), u"<DATACONNECTIONS DEFAULT=\"c\">"));
  EXPECT_TRUE(Holds(Chosen(u"<DATACONNECTION DBCONNNAME=\"B\"/>"), u"DBCONNNAME=\"b\""));
  EXPECT_TRUE(
      Holds(Chosen(u"<DATACONNECTIONS><DATACONNECTION DBCONNNAME=\"a\"/></DATACONNECTIONS>"),
            u"DBCONNNAME=\"a\""));
  EXPECT_TRUE(Holds(Chosen(u"<DATACONNECTION DBCONNNAME=\"gone\"/>"), u"DBCONNNAME=\"c\""));
  EXPECT_TRUE(Holds(Chosen(u"not xml"), u"DBCONNNAME=\"c\""));

  // The default passes to the first remaining connection.
  ASSERT_EQ(command_.RemoveConnection(u"C"), S_OK);
  EXPECT_TRUE(Holds(Chosen(u""), u"DBCONNNAME=\"a\""));
  EXPECT_EQ(command_.RemoveConnection(u"c"), KV7_E_CONNECTION_NOT_FOUND);
  EXPECT_FALSE(Holds(Catalogue(), u"DBCONNNAME=\"c\""));
}

TEST_F(ConnectionCatalogueTest, BrokenCatalogueIsReportedAndKept) {
  WriteFile(CatalogueFile(), "<DATACONNECTIONS><DATACONNECTION");
  CComBSTR text;
  EXPECT_EQ(task_.GetAllConnectionInfo(text.Put()), E_FAIL);
  EXPECT_TRUE(Holds(ErrorText(), u"connections.xml: not a connection catalogue"));
  EXPECT_EQ(Add("x"), E_FAIL);
  EXPECT_EQ(ReadFile(CatalogueFile()), "<DATACONNECTIONS><DATACONNECTION");

  WriteFile(CatalogueFile(), "<userOptions/>");
  EXPECT_EQ(task_.GetAllConnectionInfo(text.Put()), E_FAIL);
}

TEST_F(ConnectionCatalogueTest, ConvertsFormatOneToTwo) {
  CComBSTR converted;
  ASSERT_EQ(
      command_.ConvertConnectionXML(
          u"1", u"2",
          u"<DATACONNECTION EXTRA=\"e\" dbalias=\"SAMPLE\" DBCONNNAME=\"n\" DBPASSWORD=\"pw\"/>",
          converted.Put()),
      S_OK);
  EXPECT_EQ(converted.ToString(),
            u"<DATACONNECTION DBALIAS=\"SAMPLE\" DBCONNNAME=\"n\" DBUSER=\"\" DBPASSWORD=\"pw\" "
            u"DBCONNSTRING=\"\" DBPLATFORMNAME=\"\" DBPLATFORMVERSION=\"\" DBDEFAULTOWNER=\"\" "
            u"DBPACKAGEOWNER=\"\" DBBUILDOWNER=\"\" DBCONNISONLINE=\"\" SERVER=\"\" "
            u"DATABASE=\"SAMPLE\" TIMEOUT=\"\" DBTYPE=\"SQLITE\" EXTRA=\"e\"/>");
  CComBSTR untouched;
  EXPECT_EQ(command_.ConvertConnectionXML(u"2", u"3", u"<DATACONNECTION/>", untouched.Put()),
            E_INVALIDARG);
  EXPECT_EQ(command_.ConvertConnectionXML(u"1", u"2", u"<OTHER/>", untouched.Put()), E_FAIL);
  EXPECT_TRUE(untouched.IsNull());
}

TEST_F(ConnectionCatalogueTest, QuotesNamesAsSqlNeedsThem) {
  auto quoted = [this](const char16_t* name) {
    CComBSTR text;
    EXPECT_EQ(command_.GetQuotedNameForObject(name, text.Put()), S_OK);
    return text.ToString();
  };
  EXPECT_EQ(quoted(u"orders_2"), u"orders_2");
  EXPECT_EQ(quoted(u"_ORDERS"), u"_ORDERS");
  EXPECT_EQ(quoted(u"Orders"), u"\"Orders\"");
  EXPECT_EQ(quoted(u"order"), u"\"order\"");
  EXPECT_EQ(quoted(u"2nd"), u"\"2nd\"");
  EXPECT_EQ(quoted(u"my \"big\" table"), u"\"my \"\"big\"\" table\"");
  EXPECT_EQ(quoted(u"a.b"), u"\"a.b\"");
  EXPECT_EQ(quoted(u""), u"");

  auto formatted = [this](const char16_t* identifier) {
    CComBSTR text;
    EXPECT_EQ(command_.FormatModelIdentifier(identifier, text.Put()), S_OK);
    return text.ToString();
  };
  EXPECT_EQ(formatted(u"sales.Orders"), u"sales.\"Orders\"");
  EXPECT_EQ(formatted(u"\"My.Schema\".select"), u"\"My.Schema\".\"select\"");
  EXPECT_EQ(formatted(u"plain"), u"plain");
}

}  // namespace
}  // namespace kv7::test
