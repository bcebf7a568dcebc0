// Item build settings on their own: configuration names, the options block
// and the three records in their exact text, the lists' lookups, merges and
// the configuration changes they follow, and settings named as the command
// line names them.
#include "kv7/build/item_settings.h"

#include <gtest/gtest.h>

#include "support/project_text.h"
#include "support/test_support.h"

namespace kv7::test {
namespace {

using enum CeKV7Setting;

std::vector<std::string> Names(const CVxStringArray& names) {
  std::vector<std::string> out;
  for (const WString& name : names) out.push_back(ToUtf8(name));
  return out;
}

std::vector<std::string> Names(const CKV7CfgListBase& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.GetCount(); ++i) out.push_back(ToUtf8(list.GetAt(i)->GetName()));
  return out;
}

// Options with a distinct value in every field.
void Fill(COSM77Settings& options) {
  const std::pair<CeKV7Setting, const char16_t*> texts[] = {
      {kRuntimeOptions, u"rt"},     {kWLMEnvironment, u"wlm"},   {kExternalSecurity, u"es"},
      {kBuildOwner, u"own"},        {kPrecompileOptions, u"pc"}, {kLinkOptions, u"ln"},
      {kBindOptions, u"bd"},        {kCollectionId, u"col"},     {kCompileOptions, u"cc"},
      {kPrelinkOptions, u"pl"},     {kSelectedBuildUtility, u"u2"},
  };
  for (const auto& [id, value] : texts) options.SetText(id, value);
  options.SetStayResident(TRUE);
  CVxStringArray utilities;
  utilities.Add(u"u1");
  utilities.Add(u"u2");
  options.SetBuildUtilityNames(utilities);
}

// The block Fill's options write at one tab: prelink before compile, the
// four read-only values left out.
const std::string kFilledBlock = Layout(
    "  <OSM77OPTIONS>\n"
    "    <EXTERNAL_SECURITY>es</EXTERNAL_SECURITY>\n"
    "    <BUILD_OWNER>own</BUILD_OWNER>\n"
    "    <PRECOMPILE_OPTIONS>pc</PRECOMPILE_OPTIONS>\n"
    "    <LINK_OPTIONS>ln</LINK_OPTIONS>\n"
    "    <BIND_OPTIONS>bd</BIND_OPTIONS>\n"
    "    <PRELINK_OPTIONS>pl</PRELINK_OPTIONS>\n"
    "    <COMPILE_OPTIONS>cc</COMPILE_OPTIONS>\n"
    "    <SELECTED_BUILT_UTILITY>u2</SELECTED_BUILT_UTILITY>\n"
    "    <OSM77BUILD_UTILITYLIST>\n"
    "      <BUILD_UTILITY_NAME>u1</BUILD_UTILITY_NAME>\n"
    "      <BUILD_UTILITY_NAME>u2</BUILD_UTILITY_NAME>\n"
    "    </OSM77BUILD_UTILITYLIST>\n"
    "  </OSM77OPTIONS>\n");

TEST(ItemSettingsTest, ConfigurationNamesSplitAtTheFirstBar) {
  WString part = u"kept";
  EXPECT_EQ(CKV7BaseCfg::GetConfigName(u"Debug|Win32", part), S_OK);
  EXPECT_EQ(part, u"Debug");
  EXPECT_EQ(CKV7BaseCfg::GetConfigName(u"Release", part), S_OK);
  EXPECT_EQ(part, u"Release");
  part = u"kept";
  EXPECT_EQ(CKV7BaseCfg::GetConfigName(u"", part), S_FALSE);
  EXPECT_EQ(CKV7BaseCfg::GetConfigName(u"|Win32", part), S_FALSE);
  EXPECT_EQ(part, u"kept");

  EXPECT_EQ(CKV7BaseCfg::GetPlatformName(u"Release", part), S_FALSE);
  EXPECT_EQ(part, u"kept");
  EXPECT_EQ(CKV7BaseCfg::GetPlatformName(u"a|b|c", part), S_OK);
  EXPECT_EQ(part, u"b|c");
  EXPECT_EQ(CKV7BaseCfg::GetPlatformName(u"Debug|", part), S_OK);
  EXPECT_EQ(part, u"");

  EXPECT_EQ(CKV7BaseCfg::SetPlatformName(u"Release", u"Win32"), u"Release|Win32");
  EXPECT_EQ(CKV7BaseCfg::SetPlatformName(u"Debug|Win32", u""), u"Debug");
  EXPECT_EQ(CKV7BaseCfg::SetPlatformName(u"|Win32", u"x64"), u"|x64");
  EXPECT_EQ(CKV7BaseCfg::SetConfigName(u"Debug|Win32", u"Test"), u"Test|Win32");
  EXPECT_EQ(CKV7BaseCfg::SetConfigName(u"Release", u"Test"), u"Test");
}

TEST(ItemSettingsTest, OptionsBlockWritesEightValuesAndTheListAndReadsFourMore) {
  COSM77Settings options;
  Fill(options);
  WString saved;
  EXPECT_EQ(options.SaveAsXML(u"\t", saved), S_OK);
  EXPECT_EQ(ToUtf8(saved), kFilledBlock);

  // Read back: the four values that are not written are gone; what the
  // block does not hold keeps the record's value.
  COSM77Settings read;
  read.SetText(kCollectionId, u"mine");
  EXPECT_EQ(read.LoadFromXML(XmlElement(ToUtf8(saved)).Get()), S_OK);
  EXPECT_EQ(read.GetText(kCollectionId), u"mine");
  EXPECT_EQ(read.GetText(kRuntimeOptions), u"");
  EXPECT_EQ(read.GetText(kWLMEnvironment), u"");
  EXPECT_FALSE(read.GetStayResident());
  EXPECT_EQ(read.GetText(kPrelinkOptions), u"pl");
  EXPECT_EQ(read.GetText(kSelectedBuildUtility), u"u2");
  WString again;
  read.SetText(kCollectionId, u"col");
  (void)read.SaveAsXML(u"\t", again);
  EXPECT_EQ(again, saved);

  // The list is not emptied before reading: twice doubles it.
  EXPECT_EQ(read.LoadFromXML(XmlElement(ToUtf8(saved)).Get()), S_OK);
  EXPECT_EQ(Names(read.GetBuildUtilityNames()),
            (std::vector<std::string>{"u1", "u2", "u1", "u2"}));

  // The four read-only values are read; empty elements change nothing;
  // only a text name counts as a utility.
  COSM77Settings extra;
  extra.SetText(kBindOptions, u"keep");
  extra.SetStayResident(TRUE);
  EXPECT_EQ(extra.LoadFromXML(
                XmlElement("<OSM77OPTIONS><RUNTIMEOPTIONS>r</RUNTIMEOPTIONS><WLM_ENVIRONMENT>w"
                        "</WLM_ENVIRONMENT><COLLECTION_ID>c</COLLECTION_ID><BIND_OPTIONS/>"
                        "<STAY_RESIDENT>yes</STAY_RESIDENT><OSM77BUILD_UTILITYLIST>"
                        "<BUILD_UTILITY_NAME/><OTHER>x</OTHER><BUILD_UTILITY_NAME>z"
                        "</BUILD_UTILITY_NAME></OSM77BUILD_UTILITYLIST></OSM77OPTIONS>")
                    .Get()),
            S_OK);
  EXPECT_EQ(extra.GetText(kRuntimeOptions), u"r");
  EXPECT_EQ(extra.GetText(kWLMEnvironment), u"w");
  EXPECT_EQ(extra.GetText(kCollectionId), u"c");
  EXPECT_EQ(extra.GetText(kBindOptions), u"keep");
  EXPECT_FALSE(extra.GetStayResident());  // "yes" is not TRUE
  EXPECT_EQ(Names(extra.GetBuildUtilityNames()), (std::vector<std::string>{"z"}));
  (void)extra.LoadFromXML(XmlElement("<O><STAY_RESIDENT>true</STAY_RESIDENT></O>").Get());
  EXPECT_TRUE(extra.GetStayResident());

  extra.CopyFrom(options);
  EXPECT_EQ(Names(extra.GetBuildUtilityNames()), (std::vector<std::string>{"u1", "u2"}));
  EXPECT_EQ(extra.GetText(kRuntimeOptions), u"rt");
  extra.Reset();
  EXPECT_EQ(extra.GetText(kRuntimeOptions), u"");
  EXPECT_FALSE(extra.GetStayResident());
  EXPECT_EQ(extra.GetBuildUtilityNames().GetSize(), 0);
}

TEST(ItemSettingsTest, RecordsWriteTheirKindsShape) {
  CKV7GenericCfg table(u"Debug|Win32");
  table.SetExcludeFromBuild(TRUE);
  CKV7StoredProcCfg procedure(u"Debug|Win32");
  Fill(*procedure.GetOptions());
  CKV7UDFCfg function(u"Release|Win32");
  Fill(*function.GetOptions());
  EXPECT_EQ(table.GetOptions(), nullptr);

  auto save = [](const CKV7BaseCfg& record, bool optionsOnly) {
    WString out;
    EXPECT_EQ(record.SaveAsXML(u"\t", out, optionsOnly), S_OK);
    return ToUtf8(out);
  };
  auto documentOptions = [](const CKV7BaseCfg& record) {
    WString out;
    EXPECT_EQ(record.ConfigurationDocumentOptions(u"\t", out), S_OK);
    return ToUtf8(out);
  };
  const std::string head = Layout("  <Configuration>\n    <Name>Debug|Win32</Name>\n");
  const std::string tail = Layout("  </Configuration>\n");
  // The block one tab deeper, inside a record at one tab.
  std::string nested;
  for (size_t start = 0; start < kFilledBlock.size();) {
    size_t end = kFilledBlock.find('\n', start) + 1;
    nested += "\t" + kFilledBlock.substr(start, end - start);
    start = end;
  }

  EXPECT_EQ(save(table, false),
            head + Layout("    <ExcludeFromBuild>TRUE</ExcludeFromBuild>\n") + tail);
  EXPECT_EQ(save(table, true), "");
  EXPECT_EQ(documentOptions(table), "");

  // A procedure writes its whole record and, asked for options only, its
  // block, whatever use-connection-settings says; the configuration
  // document leaves the block out while it is set.
  const std::string procedureHead =
      head + Layout("    <ExcludeFromBuild>FALSE</ExcludeFromBuild>\n");
  EXPECT_EQ(save(procedure, false),
            procedureHead + Layout("    <UseConnectionSettings>TRUE</UseConnectionSettings>\n") +
                nested + tail);
  EXPECT_EQ(save(procedure, true), kFilledBlock);
  EXPECT_EQ(documentOptions(procedure), "");
  procedure.SetUseConnectionSettings(FALSE);
  EXPECT_EQ(save(procedure, false),
            procedureHead +
                Layout("    <UseConnectionSettings>FALSE</UseConnectionSettings>\n") + nested +
                tail);
  EXPECT_EQ(documentOptions(procedure), kFilledBlock);

  // A function always writes its block.
  EXPECT_EQ(save(function, false),
            Layout("  <Configuration>\n    <Name>Release|Win32</Name>\n"
                   "    <ExcludeFromBuild>FALSE</ExcludeFromBuild>\n") +
                nested + tail);
  EXPECT_EQ(save(function, true), kFilledBlock);
  EXPECT_EQ(documentOptions(function), kFilledBlock);
}

TEST(ItemSettingsTest, RecordsReadResetAndCopy) {
  CKV7StoredProcCfg procedure(u"Debug|Win32");
  procedure.GetOptions()->SetText(kLinkOptions, u"keep");
  EXPECT_EQ(procedure.LoadFromXML(XmlElement("<Configuration><Name></Name>"
                                          "<ExcludeFromBuild>true</ExcludeFromBuild>"
                                          "<OSM77OPTIONS><BIND_OPTIONS>b</BIND_OPTIONS>"
                                          "</OSM77OPTIONS></Configuration>")
                                      .Get()),
            S_OK);
  EXPECT_EQ(procedure.GetName(), u"Debug|Win32");  // an empty name replaces nothing
  EXPECT_TRUE(procedure.GetExcludeFromBuild());
  EXPECT_FALSE(procedure.GetUseConnectionSettings());  // absent reads false
  EXPECT_EQ(procedure.GetOptions()->GetText(kBindOptions), u"b");
  EXPECT_EQ(procedure.GetOptions()->GetText(kLinkOptions), u"keep");

  // What a record writes, a record of its kind reads back whole.
  CKV7UDFCfg function(u"Release|Win32");
  Fill(*function.GetOptions());
  function.GetOptions()->SetText(kRuntimeOptions, u"");
  function.GetOptions()->SetText(kWLMEnvironment, u"");
  function.GetOptions()->SetText(kCollectionId, u"");
  function.GetOptions()->SetStayResident(FALSE);
  function.SetExcludeFromBuild(TRUE);
  WString saved, again;
  (void)function.SaveAsXML(u"", saved, false);
  CKV7UDFCfg read(u"");
  EXPECT_EQ(read.LoadFromXML(XmlElement(ToUtf8(saved)).Get()), S_OK);
  (void)read.SaveAsXML(u"", again, false);
  EXPECT_EQ(again, saved);

  // Copies take every field, the utility list replaced, not appended.
  CKV7StoredProcCfg copy(u"Other|Win32");
  Fill(*copy.GetOptions());
  procedure.GetOptions()->SetBuildUtilityNames({});
  copy.CopyFrom(procedure);
  EXPECT_EQ(copy.GetName(), u"Debug|Win32");
  EXPECT_FALSE(copy.GetUseConnectionSettings());
  EXPECT_EQ(copy.GetOptions()->GetBuildUtilityNames().GetSize(), 0);
  EXPECT_EQ(copy.GetOptions()->GetText(kRuntimeOptions), u"");

  copy.Reset();
  EXPECT_EQ(copy.GetName(), u"");
  EXPECT_FALSE(copy.GetExcludeFromBuild());
  EXPECT_TRUE(copy.GetUseConnectionSettings());
  EXPECT_EQ(copy.GetOptions()->GetText(kBindOptions), u"");
}

TEST(ItemSettingsTest, ListsFindByNameHoldByIdentityAndReadConfigurations) {
  CKV7StoredProcCfgList list;
  EXPECT_EQ(list.LoadFromXML(XmlElement("<Configurations>"
                                     "<Configuration><Name>Debug|Win32</Name></Configuration>"
                                     "<Other><Name>Skipped|Win32</Name></Other>"
                                     "<Configuration><Name>Release|Win32</Name>"
                                     "<UseConnectionSettings>TRUE</UseConnectionSettings>"
                                     "</Configuration></Configurations>")
                                 .Get()),
            S_OK);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"Debug|Win32", "Release|Win32"}));
  CKV7StoredProcCfg* release = list.FindByName(u"RELEASE|win32");
  ASSERT_NE(release, nullptr);
  EXPECT_TRUE(release->GetUseConnectionSettings());
  EXPECT_FALSE(list.FindByName(u"Debug|Win32")->GetUseConnectionSettings());
  EXPECT_EQ(list.FindByName(u"Release"), nullptr);

  CKV7StoredProcCfg twin(u"Release|Win32");
  EXPECT_TRUE(list.Contains(release));
  EXPECT_FALSE(list.Contains(&twin));
  EXPECT_EQ(list.FindOrAdd(u"release|WIN32"), release);
  CKV7StoredProcCfg* added = list.FindOrAdd(u"Test|Win32");
  EXPECT_TRUE(added->GetUseConnectionSettings());  // a new record has the defaults
  EXPECT_EQ(list.GetCount(), 3);
  EXPECT_TRUE(list.Remove(added));
  EXPECT_FALSE(list.Remove(&twin));
  EXPECT_EQ(list.GetCount(), 2);
}

TEST(ItemSettingsTest, MergingKeepsWhatTheRecordsDisagreeOn) {
  CKV7StoredProcCfgList procedures;
  CKV7StoredProcCfg out(u"merged");
  out.GetOptions()->SetText(kBindOptions, u"mine");
  out.GetOptions()->SetText(kCompileOptions, u"mine");
  procedures.GenMergedCfg(out);  // empty: untouched
  EXPECT_EQ(out.GetName(), u"merged");
  EXPECT_TRUE(procedures.AreAllValuesTheSame(25));

  CKV7StoredProcCfg* debug = procedures.Add(u"Debug|Win32");
  Fill(*debug->GetOptions());
  debug->SetUseConnectionSettings(FALSE);
  // One record: a full copy.
  procedures.GenMergedCfg(out);
  EXPECT_EQ(out.GetName(), u"Debug|Win32");
  EXPECT_EQ(out.GetOptions()->GetText(kCompileOptions), u"cc");

  CKV7StoredProcCfg* release = procedures.Add(u"Release|Win32");
  release->CopyFrom(*debug);
  release->SetName(u"Release|Win32");
  release->GetOptions()->SetText(kBindOptions, u"BD");  // case counts
  for (DISPID id : {6, 18, 19, 20, 21, 22, 23, 24, 26, 34})
    EXPECT_TRUE(procedures.AreAllValuesTheSame(id)) << id;
  EXPECT_FALSE(procedures.AreAllValuesTheSame(25));
  EXPECT_FALSE(procedures.AreAllValuesTheSame(32));  // compile options are never compared

  CKV7StoredProcCfg merged(u"merged");
  merged.GetOptions()->SetText(kBindOptions, u"mine");
  merged.GetOptions()->SetText(kCompileOptions, u"mine");
  procedures.GenMergedCfg(merged);
  EXPECT_EQ(merged.GetName(), u"merged");
  EXPECT_EQ(merged.GetOptions()->GetText(kBindOptions), u"mine");
  EXPECT_EQ(merged.GetOptions()->GetText(kCompileOptions), u"mine");
  EXPECT_EQ(merged.GetOptions()->GetBuildUtilityNames().GetSize(), 0);
  EXPECT_EQ(merged.GetOptions()->GetText(kExternalSecurity), u"es");
  EXPECT_TRUE(merged.GetOptions()->GetStayResident());
  EXPECT_FALSE(merged.GetUseConnectionSettings());

  // 34 belongs to procedures; a generic list compares the exclude flag only.
  CKV7UDFCfgList functions;
  functions.Add(u"Debug|Win32");
  functions.Add(u"Release|Win32");
  EXPECT_TRUE(functions.AreAllValuesTheSame(21));
  EXPECT_FALSE(functions.AreAllValuesTheSame(34));
  CKV7GenericCfgList tables;
  tables.Add(u"Debug|Win32");
  tables.Add(u"Release|Win32")->SetExcludeFromBuild(TRUE);
  EXPECT_FALSE(tables.AreAllValuesTheSame(6));
  EXPECT_FALSE(tables.AreAllValuesTheSame(21));
}

TEST(ItemSettingsTest, ListsFollowConfigurationChanges) {
  CKV7GenericCfgList list;
  for (const char16_t* name : {u"Debug|Win32", u"Release|Win32", u"Debug", u"|Win32", u"Debug|x64"})
    list.Add(name);
  EXPECT_EQ(list.CfgNameRenamed(u"debug", u"Test"), 3);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"Test|Win32", "Release|Win32", "Test",
                                                   "|Win32", "Test|x64"}));
  EXPECT_EQ(list.PlatformNameDeleted(u"win32"), 3);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"Test", "Release", "Test", "", "Test|x64"}));
  EXPECT_EQ(list.CfgNameDeleted(u"TEST"), 3);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"Release", ""}));
  EXPECT_EQ(list.CfgNameDeleted(u"Debug"), 0);
}

TEST(ItemSettingsTest, SettingsAreSetAndShownByTheirCommandLineNames) {
  WString valid;
  EXPECT_EQ(FindItemSetting(u"Bind-Options")->id, kBindOptions);
  EXPECT_EQ(FindItemSetting(u"bind", &valid), nullptr);
  EXPECT_EQ(ToUtf8(valid).find("exclude, use-connection-settings, external-security, "), 0u);
  EXPECT_NE(ToUtf8(valid).find(", bind-options, "), std::string::npos);
  EXPECT_EQ(FindItemSettingByDispid(34)->id, kUseConnectionSettings);
  EXPECT_EQ(FindItemSettingByDispid(kNoSettingDispid), nullptr);

  CKV7UDFCfg function(u"Debug|Win32");
  EXPECT_EQ(function.SetSettingText(kUseConnectionSettings, u"true"), E_INVALIDARG);
  EXPECT_EQ(function.SetSettingText(kStayResident, u"yes"), E_INVALIDARG);
  EXPECT_EQ(function.SetSettingText(kStayResident, u"true"), S_OK);
  EXPECT_EQ(function.SetSettingText(kBuildUtilities, u"a,b,,c"), S_OK);
  EXPECT_EQ(Names(function.GetOptions()->GetBuildUtilityNames()),
            (std::vector<std::string>{"a", "b", "", "c"}));
  EXPECT_EQ(function.SetSettingText(kWLMEnvironment, u"WLM1"), S_OK);
  WString shown;
  function.PrintSettings(shown);
  // A function has no use-connection-settings to show.
  EXPECT_EQ(ToUtf8(shown).find("exclude = false\nexternal-security = \n"), 0u);
  EXPECT_EQ(ToUtf8(shown).find("use-connection-settings"), std::string::npos);
  EXPECT_NE(ToUtf8(shown).find("\nbuild-utilities = a,b,,c\n"), std::string::npos);
  EXPECT_NE(ToUtf8(shown).find("\nwlm-environment = WLM1\nstay-resident = true\n"),
            std::string::npos);
  EXPECT_EQ(function.SetSettingText(kBuildUtilities, u""), S_OK);
  EXPECT_EQ(function.GetOptions()->GetBuildUtilityNames().GetSize(), 0);

  CKV7GenericCfg table(u"Debug|Win32");
  EXPECT_EQ(table.SetSettingText(kBindOptions, u"x"), E_INVALIDARG);
  EXPECT_EQ(table.SetSettingText(kExcludeFromBuild, u"true"), S_OK);
  shown.clear();
  table.PrintSettings(shown);
  EXPECT_EQ(ToUtf8(shown), "exclude = true\n");
}

}  // namespace
}  // namespace kv7::test
