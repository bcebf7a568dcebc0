// The debugging info record: its project-file element, written and read
// back, the escaping of the parameter values document, the defaults, and
// the startup procedure's display and parameter checks.
#include "kv7/document/debugging_info.h"

#include <gtest/gtest.h>

#include <functional>

#include "kv7/options/global_options.h"
#include "kv7/util/xml_helpers.h"
#include "support/test_support.h"

namespace kv7::test {
namespace {

constexpr char16_t kParameters[] =
    u"<SP><COLUMNS><COLUMN><TYPENAME>VARCHAR</TYPENAME><PARM_MODE>Input</PARM_MODE>"
    u"<PARMNAME>NOTE</PARMNAME><PARAM_VALUE></PARAM_VALUE></COLUMN>"
    u"<COLUMN><TYPENAME>INTEGER</TYPENAME><PARM_MODE>Output</PARM_MODE>"
    u"<PARMNAME>ID</PARMNAME></COLUMN></COLUMNS></SP>";

class DebuggingInfoTest : public ScratchDir {
 protected:
  void TearDown() override {
    (void)GetKV7GlobalOptions()->SetDebuggingLoggingEnabled(FALSE);
    ScratchDir::TearDown();
  }

  // Reads the root element of the text into the record.
  static void Load(CKV7DebuggingInfo& info, const WString& text) {
    EXPECT_EQ(info.LoadFromXML(XmlElement(text).Get()), S_OK);
  }

  static WString Saved(const CKV7DebuggingInfo& info) {
    WString text;
    EXPECT_EQ(info.SaveAsXML(u"", text, true), S_OK);
    return text;
  }
};

TEST_F(DebuggingInfoTest, WritesTheElementLineByLine) {
  CKV7DebuggingInfo info;
  info.SetBuildForDebug(TRUE);
  info.SetExtraSettings(u"<Extra>1</Extra>");
  info.SetProcSchema(u"S");
  info.SetProcName(u"P&Q");
  ASSERT_EQ(info.SetParametersXML(u"<SP/>"), S_OK);
  WString text = u"before\r\n";
  ASSERT_EQ(info.SaveAsXML(u"\t\t", text, true), S_OK);
  EXPECT_EQ(text,
            u"before\r\n"
            u"\t\t<DebuggingInfo>\r\n"
            u"\t\t\t<Extra>1</Extra>\r\n"
            u"\t\t\t<BuildForDebug>TRUE</BuildForDebug>\r\n"
            u"\t\t\t<DebugSessionTimeout>60</DebugSessionTimeout>\r\n"
            u"\t\t\t<MaxVariableLengthDisplay>80</MaxVariableLengthDisplay>\r\n"
            u"\t\t\t<LogXML>FALSE</LogXML>\r\n"
            u"\t\t\t<ParametersXML>&lt;SP/&gt;</ParametersXML>\r\n"
            u"\t\t\t<ProcName>P&amp;Q</ProcName>\r\n"
            u"\t\t\t<ProcSchema>S</ProcSchema>\r\n"
            u"\t\t</DebuggingInfo>\r\n");

  // Unescaped, values go in as held; without extra settings there is no line.
  CKV7DebuggingInfo plain;
  ASSERT_EQ(plain.SetParametersXML(u"<SP/>"), S_OK);
  WString unescaped;
  ASSERT_EQ(plain.SaveAsXML(u"", unescaped, false), S_OK);
  EXPECT_EQ(unescaped.find(u"<DebuggingInfo>\r\n\t<BuildForDebug>FALSE</BuildForDebug>\r\n"), 0u);
  EXPECT_NE(unescaped.find(u"\r\n\t<ParametersXML><SP/></ParametersXML>\r\n"), WString::npos);
}

TEST_F(DebuggingInfoTest, RoundTripKeepsMarkupInParameterValues) {
  CKV7DebuggingInfo info;
  info.SetDebugSessionTimeout(120);
  info.SetMaxVariableLengthDisplay(0);
  info.SetProcSchema(u"Sales");
  info.SetProcName(u"add_order");
  ASSERT_EQ(info.SetParametersXML(kParameters), S_OK);
  ASSERT_EQ(info.SetParameterValue(u"NOTE", u"a<b & c>d \"q\" 'x' &amp;"), S_OK);

  CKV7DebuggingInfo reread;
  Load(reread, Saved(info));
  EXPECT_EQ(reread.Compare(info), 0);
  EXPECT_EQ(reread.GetParametersXML(), info.GetParametersXML());
  EXPECT_EQ(reread.GetDebugSessionTimeout(), 120);
  EXPECT_EQ(reread.GetMaxVariableLengthDisplay(), 0);
  ASSERT_EQ(reread.GetStoredProcedure().GetParameters().size(), 2u);
  EXPECT_EQ(reread.GetStoredProcedure().GetParameters()[0].value, u"a<b & c>d \"q\" 'x' &amp;");

  // Read twice more: nothing is unescaped a second time.
  CKV7DebuggingInfo again;
  Load(again, Saved(reread));
  EXPECT_EQ(again.Compare(info), 0);

  // The standalone document is the same element behind the declaration.
  WString document;
  ASSERT_EQ(info.AsXmlDocument(document), S_OK);
  WString declaration;
  ASSERT_EQ(GetXMLEncoding(declaration), S_OK);
  EXPECT_EQ(document, declaration + u"\r\n" + Saved(info));
  CKV7DebuggingInfo standalone;
  Load(standalone, document);
  EXPECT_EQ(standalone.Compare(info), 0);
}

TEST_F(DebuggingInfoTest, MissingEmptyOrUnreadableElementsKeepTheFields) {
  CKV7DebuggingInfo defaults;
  Load(defaults, u"<DebuggingInfo/>");
  EXPECT_EQ(defaults.GetDebugSessionTimeout(), 60);
  EXPECT_EQ(defaults.GetMaxVariableLengthDisplay(), 80);
  EXPECT_EQ(defaults.GetBuildForDebug(), FALSE);
  EXPECT_EQ(defaults.LoadFromXML(nullptr), S_OK);

  CKV7DebuggingInfo info;
  info.SetBuildForDebug(TRUE);
  info.SetDebugSessionTimeout(5);
  info.SetProcName(u"KEEP");
  ASSERT_EQ(info.SetParametersXML(kParameters), S_OK);
  Load(info,
       u"<DebuggingInfo><BuildForDebug></BuildForDebug><DebugSessionTimeout>soon"
       u"</DebugSessionTimeout><MaxVariableLengthDisplay> 200</MaxVariableLengthDisplay>"
       u"<ParametersXML/><ProcName></ProcName><ProcSchema>NEW</ProcSchema>"
       u"<LogXML>TRUE</LogXML></DebuggingInfo>");
  EXPECT_EQ(info.GetBuildForDebug(), TRUE);
  EXPECT_EQ(info.GetDebugSessionTimeout(), 5);
  EXPECT_EQ(info.GetMaxVariableLengthDisplay(), 200);
  EXPECT_EQ(info.GetParametersXML(), kParameters);
  EXPECT_EQ(info.GetProcName(), u"KEEP");
  EXPECT_EQ(info.GetProcSchema(), u"NEW");

  // "TRUE" in any case is true; any other text is false.
  Load(info, u"<DebuggingInfo><BuildForDebug>yes</BuildForDebug></DebuggingInfo>");
  EXPECT_EQ(info.GetBuildForDebug(), FALSE);
  Load(info, u"<DebuggingInfo><BuildForDebug>true</BuildForDebug></DebuggingInfo>");
  EXPECT_EQ(info.GetBuildForDebug(), TRUE);
}

TEST_F(DebuggingInfoTest, LogXmlFollowsTheGlobalOptionWithoutChangingTheRecord) {
  CKV7DebuggingInfo info;
  CKV7DebuggingInfo copy;
  copy.CopyFrom(info);
  WString before = Saved(info);
  ASSERT_EQ(GetKV7GlobalOptions()->SetDebuggingLoggingEnabled(TRUE), S_OK);
  WString after = Saved(info);
  WString expected = before;
  ASSERT_EQ(kv7::ReplaceAll(expected, u"<LogXML>FALSE</LogXML>", u"<LogXML>TRUE</LogXML>"), 1);
  EXPECT_EQ(after, expected);
  EXPECT_EQ(info.Compare(copy), 0);
}

TEST_F(DebuggingInfoTest, CopyAndCompareCoverEveryField) {
  CKV7DebuggingInfo original;
  original.SetBuildForDebug(TRUE);
  original.SetDebugSessionTimeout(1);
  original.SetMaxVariableLengthDisplay(2);
  original.SetExtraSettings(u"<X/>");
  original.SetProcSchema(u"S");
  original.SetProcName(u"P");
  ASSERT_EQ(original.SetParametersXML(kParameters), S_OK);

  CKV7DebuggingInfo copy;
  EXPECT_EQ(copy.Compare(original), 1);
  copy.CopyFrom(original);
  EXPECT_EQ(copy.Compare(original), 0);
  EXPECT_EQ(Saved(copy), Saved(original));
  EXPECT_EQ(copy.GetStoredProcedure().GetParameters().size(), 2u);

  // Each field on its own makes the records differ.
  const std::function<void(CKV7DebuggingInfo&)> changes[] = {
      [](CKV7DebuggingInfo& i) { i.SetBuildForDebug(FALSE); },
      [](CKV7DebuggingInfo& i) { i.SetDebugSessionTimeout(3); },
      [](CKV7DebuggingInfo& i) { i.SetMaxVariableLengthDisplay(3); },
      [](CKV7DebuggingInfo& i) { i.SetExtraSettings(u""); },
      [](CKV7DebuggingInfo& i) { i.SetProcSchema(u"s"); },
      [](CKV7DebuggingInfo& i) { i.SetProcName(u"p"); },
      [](CKV7DebuggingInfo& i) { (void)i.SetParametersXML(u"<SP/>"); },
  };
  for (const auto& change : changes) {
    CKV7DebuggingInfo changed;
    changed.CopyFrom(original);
    change(changed);
    EXPECT_EQ(changed.Compare(original), 1);
  }
}

TEST_F(DebuggingInfoTest, StartupProcedureDisplayAndParameterChecks) {
  CKV7DebuggingInfo info;
  WString display = u"stale";
  info.GetStartupProcedure(display);
  EXPECT_EQ(display, u"");
  EXPECT_FALSE(info.HasProcName());

  info.SetProcSchema(u"Sales");
  info.SetProcName(u"add_order");
  EXPECT_TRUE(info.HasProcName());
  info.GetStartupProcedure(display);
  EXPECT_EQ(display, u"\"Sales\".add_order");
  info.SetProcSchema(u"");
  info.SetProcName(u"select");
  info.GetStartupProcedure(display);
  EXPECT_EQ(display, u"\"select\"");

  EXPECT_FALSE(info.NeedsParameters());
  EXPECT_TRUE(info.HasParameters());
  ASSERT_EQ(info.SetParametersXML(kParameters), S_OK);
  EXPECT_TRUE(info.NeedsParameters());
  EXPECT_FALSE(info.HasParameters());
  ASSERT_EQ(info.SetParameterValue(u"NOTE", u"hello"), S_OK);
  EXPECT_TRUE(info.HasParameters());

  // A procedure from the server model replaces schema, name and document.
  CStoredProcedure chosen(u"S", u"Q");
  ASSERT_EQ(chosen.SetXml(u"<SP/>"), S_OK);
  info.SetStoredProcedure(chosen);
  EXPECT_EQ(info.GetProcSchema(), u"S");
  EXPECT_EQ(info.GetProcName(), u"Q");
  EXPECT_EQ(info.GetParametersXML(), u"<SP/>");
  EXPECT_FALSE(info.NeedsParameters());
}

}  // namespace
}  // namespace kv7::test
