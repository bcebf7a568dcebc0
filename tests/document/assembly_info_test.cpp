// Assembly records and their list: the project file form, look-ups by file
// name, forgetting installations, copies, and the placeholders that items
// name assemblies by.
#include "kv7/document/assembly_info.h"

#include <gtest/gtest.h>

#include <string>

#include "kv7/util/xml_helpers.h"
#include "support/test_support.h"

namespace {

using kv7::test::XmlElement;

std::unique_ptr<CKV7AssemblyInfo> Record(WStringView path, WStringView externalName = u"") {
  auto record = std::make_unique<CKV7AssemblyInfo>();
  record->SetFullSourcePath(path);
  record->SetExternalName(externalName);
  return record;
}

// A record that was installed, with every field set.
std::unique_ptr<CKV7AssemblyInfo> InstalledRecord(WStringView path) {
  auto record = Record(path, u"Shop.Tools");
  record->SetLastInstallSucceeded(TRUE);
  record->SetLastSuccessfulInstallTime(u"03/07/2026 14:05:09");
  record->SetTimestampOfInstalledDll(u"03/07/2026 13:58:40");
  record->SetTargetDir(u"clr/shop");
  record->SetGuid(u"{6A3C1E52-5B0D-4C77-9A51-2F0D8E7B4C11}");
  record->SetExtraText(u"kept in memory only");
  return record;
}

void ExpectSameSavedFields(const CKV7AssemblyInfo& a, const CKV7AssemblyInfo& b) {
  EXPECT_EQ(a.GetFullSourcePath(), b.GetFullSourcePath());
  EXPECT_EQ(a.GetLastInstallSucceeded(), b.GetLastInstallSucceeded());
  EXPECT_EQ(a.GetLastSuccessfulInstallTime(), b.GetLastSuccessfulInstallTime());
  EXPECT_EQ(a.GetTimestampOfInstalledDll(), b.GetTimestampOfInstalledDll());
  EXPECT_EQ(a.GetExternalName(), b.GetExternalName());
  EXPECT_EQ(a.GetTargetDir(), b.GetTargetDir());
  EXPECT_EQ(a.GetGuid(), b.GetGuid());
  EXPECT_EQ(a.GetDoNotInstallOnBuild(), b.GetDoNotInstallOnBuild());
}

TEST(AssemblyInfo, SavingAndLoadingKeepsEverythingButTheExtraText) {
  auto record = InstalledRecord(u"/opt/lib/Tools.dll");
  record->SetDoNotInstallOnBuild(TRUE);
  WString text;
  ASSERT_EQ(record->SaveAsXML(u"\t", text), S_OK);
  EXPECT_EQ(kv7::ToUtf8(text),
            "\t<AssemblyInfo>\r\n"
            "\t\t<FullSourcePath>/opt/lib/Tools.dll</FullSourcePath>\r\n"
            "\t\t<LastInstallSucceeded>TRUE</LastInstallSucceeded>\r\n"
            "\t\t<LastSuccessfullInstallTime>03/07/2026 14:05:09</LastSuccessfullInstallTime>\r\n"
            "\t\t<TimestampOfInstalledDll>03/07/2026 13:58:40</TimestampOfInstalledDll>\r\n"
            "\t\t<ExternalName>Shop.Tools</ExternalName>\r\n"
            "\t\t<TargetDir>clr/shop</TargetDir>\r\n"
            "\t\t<Guid>{6A3C1E52-5B0D-4C77-9A51-2F0D8E7B4C11}</Guid>\r\n"
            "\t\t<DoNotInstallOnBuild>TRUE</DoNotInstallOnBuild>\r\n"
            "\t</AssemblyInfo>\r\n");

  CKV7AssemblyInfo loaded;
  ASSERT_EQ(loaded.LoadFromXML(XmlElement(text).Get()), S_OK);
  ExpectSameSavedFields(loaded, *record);
  EXPECT_EQ(loaded.GetExtraText(), u"");
}

TEST(AssemblyInfo, LoadingReadsWhatIsThereAndKeepsWhatIsMissing) {
  CKV7AssemblyInfo record;
  EXPECT_EQ(record.GetTargetDir(), u"clr");
  record.SetGuid(u"{kept}");
  // Booleans in any letter case, an empty element clears its field, an
  // unknown child is ignored, a missing one leaves its field.
  ASSERT_EQ(record.LoadFromXML(XmlElement(u"<AssemblyInfo><LastInstallSucceeded>true"
                                       u"</LastInstallSucceeded><TargetDir></TargetDir>"
                                       u"<DoNotInstallOnBuild>yes</DoNotInstallOnBuild>"
                                       u"<Path>x.dll</Path></AssemblyInfo>")
                                   .Get()),
            S_OK);
  EXPECT_TRUE(record.GetLastInstallSucceeded());
  EXPECT_EQ(record.GetTargetDir(), u"");
  EXPECT_FALSE(record.GetDoNotInstallOnBuild());
  EXPECT_EQ(record.GetGuid(), u"{kept}");
  EXPECT_EQ(record.GetFullSourcePath(), u"");
}

TEST(AssemblyInfoList, ReadsEveryRecordInOrderAndWritesThemInTheFileLayout) {
  CKV7AssemblyInfoList list;
  list.Add(Record(u"/lib/First.dll"));
  // Only children named exactly AssemblyInfo are records; they append.
  ASSERT_EQ(list.LoadFromXML(XmlElement(u"<AssemblyInfos><AssemblyInfo><FullSourcePath>/lib/A.dll"
                                     u"</FullSourcePath></AssemblyInfo><assemblyinfo/><Other/>"
                                     u"<AssemblyInfo><ExternalName>B</ExternalName></AssemblyInfo>"
                                     u"</AssemblyInfos>")
                                 .Get()),
            S_OK);
  ASSERT_EQ(list.GetCount(), 3);
  EXPECT_EQ(list.GetAt(1)->GetFullSourcePath(), u"/lib/A.dll");
  EXPECT_EQ(list.GetAt(2)->GetExternalName(), u"B");

  WString text;
  ASSERT_EQ(list.SaveAsXML(u"\t", text), S_OK);
  EXPECT_EQ(text.find(u"\t<AssemblyInfos>\r\n\t\t<AssemblyInfo>\r\n\t\t\t<FullSourcePath>/lib/First.dll"),
            0u);
  EXPECT_TRUE(text.ends_with(u"\t\t</AssemblyInfo>\r\n\t</AssemblyInfos>\r\n"));
  CKV7AssemblyInfoList again;
  ASSERT_EQ(again.LoadFromXML(XmlElement(text).Get()), S_OK);
  ASSERT_EQ(again.GetCount(), 3);
  for (int i = 0; i < 3; ++i) ExpectSameSavedFields(*again.GetAt(i), *list.GetAt(i));
}

TEST(AssemblyInfoList, FindsByTheSourceFileNameInAnyLetterCase) {
  CKV7AssemblyInfoList list;
  list.Add(Record(u""));
  list.Add(Record(u"C:\\Lib\\Tools.dll"));  // written on Windows
  list.Add(Record(u"/opt/lib/billing.v2.dll"));
  list.Add(Record(u"/other/TOOLS.DLL"));
  EXPECT_EQ(list.FindByBaseFileName(u"tools", false), list.GetAt(1));
  EXPECT_EQ(list.FindByBaseFileName(u"tOOls.Dll", true), list.GetAt(1));
  EXPECT_EQ(list.FindByBaseFileName(u"tools", true), nullptr);
  EXPECT_EQ(list.FindByBaseFileName(u"Tools.dll", false), nullptr);
  EXPECT_EQ(list.FindByBaseFileName(u"BILLING.V2", false), list.GetAt(2));
  EXPECT_EQ(list.FindByBaseFileName(u"billing", false), nullptr);
}

TEST(AssemblyInfoList, ClearingTimestampsMakesRecordsNewUnlessTheyAreNotInstalledOnBuild) {
  CKV7AssemblyInfoList list;
  list.Add(InstalledRecord(u"/lib/A.dll"));
  list.Add(InstalledRecord(u"/lib/B.dll"));
  list.GetAt(1)->SetDoNotInstallOnBuild(TRUE);

  EXPECT_TRUE(list.ClearAllTimestamps(true));
  const CKV7AssemblyInfo& cleared = *list.GetAt(0);
  EXPECT_FALSE(cleared.GetLastInstallSucceeded());
  EXPECT_EQ(cleared.GetLastSuccessfulInstallTime(), u"");
  EXPECT_EQ(cleared.GetTimestampOfInstalledDll(), u"");
  EXPECT_EQ(cleared.GetExternalName(), u"Shop.Tools");
  EXPECT_EQ(cleared.GetGuid(), u"{6A3C1E52-5B0D-4C77-9A51-2F0D8E7B4C11}");
  auto kept = InstalledRecord(u"/lib/B.dll");
  kept->SetDoNotInstallOnBuild(TRUE);
  ExpectSameSavedFields(*list.GetAt(1), *kept);
  EXPECT_FALSE(list.ClearAllTimestamps(true)) << "nothing left to clear";
  EXPECT_TRUE(list.ClearAllTimestamps(false));
  EXPECT_FALSE(list.GetAt(1)->GetLastInstallSucceeded());
  EXPECT_EQ(list.GetAt(1)->GetTimestampOfInstalledDll(), u"");

  // Treating a record as new forgets the server's names for it too.
  CKV7AssemblyInfo& renewed = *list.GetAt(0);
  renewed.SetAsNew();
  EXPECT_EQ(renewed.GetExternalName(), u"");
  EXPECT_EQ(renewed.GetGuid(), u"");
  EXPECT_EQ(renewed.GetFullSourcePath(), u"/lib/A.dll");
  EXPECT_EQ(renewed.GetTargetDir(), u"clr/shop");
}

TEST(AssemblyInfoList, CopiesAreDeepAndReplaceWhatTheListHeld) {
  CKV7AssemblyInfoList original;
  original.Add(InstalledRecord(u"/lib/A.dll"));
  original.Add(Record(u"/lib/B.dll"));
  auto clone = original.GetAt(0)->Clone();
  ExpectSameSavedFields(*clone, *original.GetAt(0));
  EXPECT_EQ(clone->GetExtraText(), u"kept in memory only");

  CKV7AssemblyInfoList copy;
  copy.Add(Record(u"/lib/Gone.dll"));
  copy.CopyFrom(original);
  ASSERT_EQ(copy.GetCount(), 2);
  EXPECT_EQ(copy.GetAt(0)->GetExtraText(), u"kept in memory only");
  EXPECT_NE(copy.GetAt(0), original.GetAt(0));
  copy.GetAt(0)->SetExternalName(u"changed in the copy");
  EXPECT_EQ(original.GetAt(0)->GetExternalName(), u"Shop.Tools");
  copy.CopyFrom(copy);
  EXPECT_EQ(copy.GetCount(), 2);

  // RemoveAll hands the records over; DeleteAll destroys them.
  CKV7AssemblyInfo* first = copy.GetAt(0);
  auto taken = copy.RemoveAll();
  EXPECT_TRUE(copy.IsEmpty());
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_EQ(taken[0].get(), first);
  original.DeleteAll();
  EXPECT_EQ(original.GetCount(), 0);
}

TEST(AssemblyInfoList, PlaceholdersBecomeTheServerNamesOrTheTargetPaths) {
  CKV7AssemblyInfoList list;
  list.Add(Record(u"/lib/Tools.dll", u"Shop.Tools"));
  list.Add(Record(u"C:\\lib\\Billing.dll"));
  WString text =
      u"create procedure a external name '[!KV7CLRAssembly:tools]:Shop.Run';\r\n"
      u"-- [!KV7CLRAssembly:Billing.dll] and [!KV7CLRAssembly:BILLING]";
  WString note = u"stale", failed;
  ASSERT_EQ(list.ReplacePlaceholders(text, note, failed), S_OK);
  EXPECT_EQ(text, u"create procedure a external name 'Shop.Tools:Shop.Run';\r\n"
                  u"-- clr/Billing.dll and clr/Billing.dll");
  EXPECT_EQ(note, u"Billing");

  WString plain = u"select 1";
  ASSERT_EQ(list.ReplacePlaceholders(plain, note, failed), S_OK);
  EXPECT_EQ(plain, u"select 1");
  EXPECT_EQ(note, u"");

  // Each way of getting it wrong fails with the placeholder as written and
  // leaves the text alone.
  for (const auto& [bad, written] : {std::pair<WString, WString>{u"[!KV7CLRAssembly:Nope] x", u"[!KV7CLRAssembly:Nope]"},
                                     {u"[!KV7CLRAssembly:] x", u"[!KV7CLRAssembly:]"},
                                     {u"[!KV7CLRAssemblyTools]", u"[!KV7CLRAssemblyTools]"},
                                     {u"[!KV7CLRAssembly:Tools\r\n]", u"[!KV7CLRAssembly:Tools"}}) {
    WString item = u"[!KV7CLRAssembly:Tools] " + bad;
    note = u"kept";
    failed.clear();
    EXPECT_EQ(list.ReplacePlaceholders(item, note, failed), E_FAIL) << kv7::ToUtf8(bad);
    EXPECT_EQ(item, u"[!KV7CLRAssembly:Tools] " + bad);
    EXPECT_EQ(note, u"kept");
    EXPECT_EQ(failed, written);
  }
}

TEST(AssemblyInfoList, TextsReferToAnAssemblyByFileNameServerNameOrPlaceholder) {
  CKV7AssemblyInfoList list;
  list.Add(Record(u"/lib/Tools.dll", u"Shop.Tools"));
  list.Add(Record(u"/lib/Billing.dll"));
  EXPECT_TRUE(list.IsAnyReferencedIn(u"external name 'TOOLS.DLL:Run'"));
  EXPECT_TRUE(list.IsAnyReferencedIn(u"external name shop.tools.Run"));
  EXPECT_TRUE(list.IsAnyReferencedIn(u"x [!KV7CLRAssembly:billing] y"));
  EXPECT_TRUE(list.IsAnyReferencedIn(u"Billing.dll"));
  // Within a longer name, or by a bare base name, it is another thing.
  EXPECT_FALSE(list.IsAnyReferencedIn(u"MyTools.dll and Tools.dll2 and Shop.Tools_old"));
  EXPECT_FALSE(list.IsAnyReferencedIn(u"select * from billing"));
  EXPECT_FALSE(list.IsAnyReferencedIn(u"[!KV7CLRAssembly:Other]"));
  EXPECT_FALSE(CKV7AssemblyInfoList().IsAnyReferencedIn(u"Tools.dll"));
}

}  // namespace
