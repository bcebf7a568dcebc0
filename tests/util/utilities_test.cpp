#include "kv7/util/utilities.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "kv7/options/global_options.h"
#include "kv7/package/package_site.h"
#include "kv7/platform/clipboard.h"
#include "kv7/platform/errorinfo.h"
#include "kv7/platform/files.h"
#include "kv7/platform/registry.h"
#include "kv7/resources/strings.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using kv7::test::ReadFile;
using kv7::test::WriteFile;

std::vector<WString> Items(const CVxStringArray& array) { return {array.begin(), array.end()}; }

// The time that CTimeFromString reads from the text, as a number of seconds.
double Seconds(const WString& text) {
  return static_cast<double>(std::unique_ptr<CTime>(CTimeFromString(text.c_str()))->GetTime());
}

class UtilitiesTest : public kv7::test::ScratchDir {
 protected:
  WString P(const std::string& name) const { return kv7::FromUtf8(Path(name).string()); }
};

TEST(Utilities, ValuesConvertAsTheirFormatsRead) {
  int number = 99;
  for (auto [text, expected] : {std::pair{u"010", 8}, {u"0x10", 16}, {u"0X1f", 31},
                                {u"-12abc", -12}, {u" \t7", 7}, {u"+5", 5}}) {
    StringToInt(text, number);
    EXPECT_EQ(number, expected) << kv7::ToUtf8(text);
  }
  for (const char16_t* text : {u"abc", u"", u"-", static_cast<const char16_t*>(nullptr)}) {
    StringToInt(text, number);
    EXPECT_EQ(number, 5);
  }

  BOOL flag = FALSE;
  StringToBool(u"true", flag);
  EXPECT_EQ(flag, TRUE);
  StringToBool(u"1", flag);
  EXPECT_EQ(flag, FALSE);

  double real = 3;
  StringToDouble(u" 0.1234567891", real);
  EXPECT_EQ(real, static_cast<double>(0.1234567891f));
  StringToDouble(u"+2.5e1x", real);
  EXPECT_EQ(real, 25.0);
  StringToDouble(u"x1", real);
  EXPECT_EQ(real, 0.0);
  WString out;
  DoubleToString(9.5, out);
  EXPECT_EQ(out, u"9.500000");
}

TEST(Utilities, ListsAppendInOrder) {
  CVxStringArray folders;
  EXPECT_EQ(folders.Add(u"first"), 0);
  EXPECT_TRUE(KV7ParseFolders(u"a\\\\b", folders));
  KV7ParseFolders(u"", folders);
  KV7ParseFolders(u"c\\", folders);
  EXPECT_EQ(Items(folders), (std::vector<WString>{u"first", u"a", u"", u"b", u"", u"c", u""}));

  folders.RemoveAt(1, 5);
  folders.InsertAt(0, u"zero");
  folders.InsertAt(folders.GetSize(), u"end");
  folders.SetAt(1, u"one");
  EXPECT_EQ(Items(folders), (std::vector<WString>{u"zero", u"one", u"", u"end"}));

  EXPECT_EQ(VariantBSTRArrayToCStringArray(VARIANT::FromStringArray({u"x", u"y"}), folders), S_OK);
  EXPECT_EQ(folders[4], u"x");
  EXPECT_EQ(folders.GetAt(5), u"y");
  EXPECT_EQ(VariantBSTRArrayToCStringArray(VARIANT::FromString(u"x"), folders), E_INVALIDARG);
  EXPECT_EQ(folders.GetSize(), 6);
}

TEST_F(UtilitiesTest, TextFilesAreAnsiAndFailuresLeaveTheFileAlone) {
  const WString path = P("a.sql");
  ASSERT_EQ(SaveTextToFile(path.c_str(), u"Gr\u00fc\u00dfe \u20ac \xD800;"), S_OK);
  WString text;
  ASSERT_EQ(LoadTextFromFile(path.c_str(), text), S_OK);
  EXPECT_EQ(text, u"Gr\u00fc\u00dfe \u20ac ?;");
  EXPECT_TRUE(ReplaceStringInFile(path.c_str(), u";", u"@@"));
  EXPECT_EQ(LoadTextFromFile(path.c_str(), text), S_OK);
  EXPECT_EQ(text, u"Gr\u00fc\u00dfe \u20ac ?@@");

  WriteFile(Path("latin.sql"), "\xE9t\xE9");
  EXPECT_EQ(LoadTextFromFile(P("latin.sql").c_str(), text), S_OK);
  EXPECT_EQ(text, u"\u00e9t\u00e9");

  kv7::ClearErrorInfo();
  const HRESULT missing = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(LoadTextFromFile(P("none.sql").c_str(), text), missing);
  EXPECT_EQ(text, u"\u00e9t\u00e9");
  HRESULT status = S_OK;
  WString description;
  ASSERT_TRUE(kv7::GetErrorInfo(&status, &description));
  EXPECT_EQ(status, missing);
  EXPECT_EQ(description, kv7::SystemMessageText(missing));
  EXPECT_FALSE(ReplaceStringInFile(P("none.sql").c_str(), u"a", u"b"));

  EXPECT_EQ(SaveTextToFile(P("no/dir.sql").c_str(), u"x"), E_FAIL);
  ASSERT_EQ(kv7::SetFileAttributes(path, FILE_ATTRIBUTE_READONLY), S_OK);
  EXPECT_EQ(SaveTextToFile(path.c_str(), u"x"), E_FAIL);
  EXPECT_EQ(ReadFile(Path("a.sql")), "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC ?@@");
}

TEST_F(UtilitiesTest, DirectoriesGetFreeNamesAndAreRemovedWithoutFollowingLinks) {
  fs::create_directories(Path("Dir (2)"));
  WString name;
  EXPECT_TRUE(KV7UtilGetTempDirInDir(name, nullptr, P("").c_str()));
  EXPECT_EQ(name, u"Dir (3)");
  WriteFile(Path("Dir (3)"), "");
  EXPECT_TRUE(KV7UtilGetTempDirInDir(name, u"", kv7::FromUtf8(dir().string()).c_str()));
  EXPECT_EQ(name, u"Dir (4)");
  EXPECT_TRUE(KV7UtilGetTempDirInDir(name, u"New", P("").c_str()));
  EXPECT_EQ(name, u"New (2)");

  WriteFile(Path("keep/k.txt"), "k");
  WriteFile(Path("d/a.txt"), "a");
  WriteFile(Path("d/sub/b.txt"), "b");
  WriteFile(Path("d/sub/ro.txt"), "r");
  fs::create_directory_symlink(Path("keep"), Path("d/link"));
  ASSERT_EQ(kv7::SetFileAttributes(P("d/sub/ro.txt"), FILE_ATTRIBUTE_READONLY), S_OK);
  EXPECT_FALSE(RemoveDirectoryAndContents(P("d").c_str()));
  EXPECT_TRUE(fs::exists(Path("d/sub/ro.txt")));
  EXPECT_FALSE(fs::exists(Path("d/a.txt")) || fs::exists(Path("d/sub/b.txt")));
  EXPECT_FALSE(fs::is_symlink(Path("d/link")));
  EXPECT_TRUE(fs::exists(Path("keep/k.txt")));

  ASSERT_EQ(kv7::SetFileAttributes(P("d/sub/ro.txt"), 0), S_OK);
  EXPECT_TRUE(RemoveDirectoryAndContents(P("d/").c_str()));
  EXPECT_FALSE(fs::exists(Path("d")));
  EXPECT_FALSE(EmptyDirectory(P("d").c_str()));
}

// New files from templates follow the process-wide statement separator;
// each case sets the one it needs and the fixture puts the user's back.
class FixUpSeparatorTest : public UtilitiesTest {
 protected:
  void SetUp() override {
    UtilitiesTest::SetUp();
    (void)GetKV7GlobalOptions()->GetStatementSeparator(saved_.Put());
  }
  void TearDown() override {
    (void)GetKV7GlobalOptions()->SetStatementSeparator(saved_.Get());
    UtilitiesTest::TearDown();
  }

  static void UseSeparator(const char16_t* separator) {
    ASSERT_EQ(GetKV7GlobalOptions()->SetStatementSeparator(separator), S_OK);
  }
  // What a file made from `text` holds after a successful fix-up.
  std::string FixedUp(const std::string& text) {
    WriteFile(Path("new.sql"), text);
    EXPECT_TRUE(FixUpSeparator(P("new.sql").c_str())) << text;
    return ReadFile(Path("new.sql"));
  }

 private:
  CComBSTR saved_;
};

TEST_F(FixUpSeparatorTest, TheTemplatesSeparatorBecomesTheUsersEverywhere) {
  UseSeparator(u"@");
  EXPECT_EQ(FixedUp("-- statementSeparator=\";\"\r\nCREATE TABLE t (a int);\r\n"
                    "INSERT INTO t VALUES (1);\r\n"),
            "-- statementSeparator=\"@\"\r\nCREATE TABLE t (a int)@\r\n"
            "INSERT INTO t VALUES (1)@\r\n");
  UseSeparator(u"GO");
  EXPECT_EQ(FixedUp("x statementSeparator=\";\" a;b"), "x statementSeparator=\"GO\" aGOb");
  // No separator set counts as "@".
  UseSeparator(u"");
  EXPECT_EQ(FixedUp("x statementSeparator=\";\" a;b"), "x statementSeparator=\"@\" a@b");
}

TEST_F(FixUpSeparatorTest, FilesWithNothingToChangeStayAndFailuresAreFalse) {
  UseSeparator(u"g");
  for (const std::string text : {"no marker; a;b", "statementSeparator=\";\" a;b",
                                 "x statementSeparator=\"G\" a;b", "x statementSeparator=\""})
    EXPECT_EQ(FixedUp(text), text);

  EXPECT_FALSE(FixUpSeparator(P("none.sql").c_str()));
  const std::string text = "x statementSeparator=\";\" a;b";
  WriteFile(Path("locked.sql"), text);
  ASSERT_EQ(kv7::SetFileAttributes(P("locked.sql"), FILE_ATTRIBUTE_READONLY), S_OK);
  EXPECT_FALSE(FixUpSeparator(P("locked.sql").c_str()));
  EXPECT_EQ(ReadFile(Path("locked.sql")), text);
}

TEST_F(UtilitiesTest, TempFilesGoToTheSystemTemporaryDirectory) {
  kv7::test::ScopedEnv tmp("TMPDIR", dir().c_str());
  WString path;
  EXPECT_EQ(UtilGetTempFileName(path), S_OK);
  EXPECT_TRUE(path.starts_with(P("VST"))) << kv7::ToUtf8(path);
  EXPECT_TRUE(kv7::FileExists(path));
  EXPECT_EQ(ReadFile(kv7::ToUtf8(path)), "");

  kv7::test::ScopedEnv tooLong("TMPDIR", ("/" + std::string(260, 'x')).c_str());
  WString unchanged = path;
  EXPECT_EQ(UtilGetTempFileName(path), E_FAIL);
  EXPECT_EQ(path, unchanged);
}

TEST_F(UtilitiesTest, TimeStampsRoundTripThroughText) {
  std::unique_ptr<CTime> midnight(CTimeFromString(u"03/07/2026"));
  EXPECT_EQ(midnight->Format(kKV7TimeFormat), u"03/07/2026 00:00:00");
  EXPECT_EQ(Seconds(u"x"), 0);

  WString now;
  GetCurrentTimeAsString(now);
  EXPECT_NEAR(Seconds(now), static_cast<double>(std::time(nullptr)), 2);

  const WString path = P("f.sql");
  WriteFile(Path("f.sql"), "x");
  const std::time_t past = 1700000000;
  auto instant = std::chrono::system_clock::from_time_t(past);
  ASSERT_EQ(kv7::SetLastWriteTime(path, kv7::ToFileTime(instant)), S_OK);
  WString modified;
  ASSERT_EQ(GetFileModifiedDate(path.c_str(), modified), S_OK);
  EXPECT_EQ(Seconds(modified), static_cast<double>(past));

  EXPECT_TRUE(SetFileToCurrentTime(path.c_str()));
  ASSERT_EQ(GetFileModifiedDate(path.c_str(), modified), S_OK);
  EXPECT_NEAR(Seconds(modified), static_cast<double>(std::time(nullptr)), 2);
  EXPECT_FALSE(SetFileToCurrentTime(P("none").c_str()));
  SYSTEMTIME untouched{.wYear = 1999};
  EXPECT_EQ(GetFileModifiedDate(P("none").c_str(), untouched), E_FAIL);
  EXPECT_EQ(untouched.wYear, 1999);
}

constexpr char16_t kRoot[] = u"Software\\Kv7Test\\7.1";

struct FakeRegistry : kv7::ComObject<ILocalRegistry2> {
  HRESULT GetLocalRegistryRoot(BSTR* root) override {
    *root = SysAllocString(kRoot);
    return S_OK;
  }
};

struct FakeSite : kv7::ComObject<IServiceProvider> {
  HRESULT QueryService(REFGUID service, REFIID riid, void** object) override {
    if (service != SID_SLocalRegistry) return E_NOINTERFACE;
    return registry->QueryInterface(riid, object);
  }
  ComPtr<FakeRegistry> registry = kv7::MakeCom<FakeRegistry>();
};

TEST_F(UtilitiesTest, SwitchesAreDwordsUnderTheIdeRegistryRoot) {
  CRegKey key;
  ASSERT_EQ(key.Create(HKEY_CURRENT_USER, kRoot), ERROR_SUCCESS);
  ASSERT_EQ(key.SetDWORDValue(kSwitchAlwaysEnableCompile, 2), ERROR_SUCCESS);
  ASSERT_EQ(key.SetDWORDValue(u"Off", 0), ERROR_SUCCESS);
  ASSERT_EQ(key.SetStringValue(u"Text", u"1"), ERROR_SUCCESS);

  BOOL on = TRUE;
  EXPECT_FALSE(GetRegistryFlag(kSwitchAlwaysEnableCompile, on));
  EXPECT_FALSE(on);

  SetPackageServiceProvider(kv7::MakeCom<FakeSite>().Get());
  EXPECT_TRUE(GetRegistryFlag(kSwitchAlwaysEnableCompile, on));
  EXPECT_TRUE(on);
  EXPECT_TRUE(ShouldCompileAlwaysBeEnabled());
  EXPECT_TRUE(GetRegistryFlag(u"off", on));
  EXPECT_FALSE(on);
  on = TRUE;
  EXPECT_FALSE(GetRegistryFlag(u"Text", on));
  EXPECT_FALSE(on);
  EXPECT_FALSE(GetRegistryFlag(u"Missing", on));
  SetPackageServiceProvider(nullptr);
}

struct FakeHierarchy : kv7::ComObject<IVsHierarchy> {
  explicit FakeHierarchy(GUID t) : type(t) {}
  HRESULT GetGuidProperty(VSITEMID item, VSHPROPID property, GUID* value) override {
    if (item != VSITEMID_ROOT || property != VSHPROPID_TypeGuid) return DISP_E_MEMBERNOTFOUND;
    *value = type;
    return S_OK;
  }
  HRESULT SetSite(IServiceProvider*) override { return E_NOTIMPL; }
  HRESULT GetSite(IServiceProvider**) override { return E_NOTIMPL; }
  HRESULT QueryClose(BOOL*) override { return E_NOTIMPL; }
  HRESULT Close() override { return E_NOTIMPL; }
  HRESULT SetGuidProperty(VSITEMID, VSHPROPID, REFGUID) override { return E_NOTIMPL; }
  HRESULT GetProperty(VSITEMID, VSHPROPID, VARIANT*) override { return E_NOTIMPL; }
  HRESULT SetProperty(VSITEMID, VSHPROPID, const VARIANT&) override { return E_NOTIMPL; }
  HRESULT GetCanonicalName(VSITEMID, BSTR*) override { return E_NOTIMPL; }
  HRESULT ParseCanonicalName(const char16_t*, VSITEMID*) override { return E_NOTIMPL; }
  HRESULT AdviseHierarchyEvents(IVsHierarchyEvents*, DWORD*) override { return E_NOTIMPL; }
  HRESULT UnadviseHierarchyEvents(DWORD) override { return E_NOTIMPL; }
  GUID type;
};

TEST(Utilities, IdeLookups) {
  EXPECT_TRUE(IsThisMyProjectHierarchy(kv7::MakeCom<FakeHierarchy>(GUID_KV7ProjectType).Get()));
  EXPECT_FALSE(IsThisMyProjectHierarchy(kv7::MakeCom<FakeHierarchy>(kv7::NewGuid()).Get()));
  EXPECT_FALSE(IsThisMyProjectHierarchy(nullptr));

  CKV7ProjRefInfo reference(u"{P}|/p/x.kv7p|mid|/p/a.sql");
  EXPECT_EQ(reference.projectId, u"{P}");
  EXPECT_EQ(reference.projectPath, u"/p/x.kv7p");
  EXPECT_EQ(reference.itemPath, u"/p/a.sql");
  CKV7ProjRefInfo one(u"a|b");
  EXPECT_TRUE(one.projectId.empty() && one.projectPath.empty() && one.itemPath.empty());

  ASSERT_TRUE(OpenClipboard(nullptr) && EmptyClipboard());
  EXPECT_FALSE(ClipboardHasDropFormat());
  SetClipboardData(RegisterClipboardFormatW(u"cf_vsstgprojectitems"), "x");
  EXPECT_TRUE(ClipboardHasDropFormat());
  EmptyClipboard();
  SetClipboardData(CF_HDROP, "x");
  EXPECT_TRUE(ClipboardHasDropFormat());
  EmptyClipboard();
  CloseClipboard();

  ASSERT_EQ(KV7UIGetString(65000), nullptr);
  WString text = u"kept";
  EXPECT_EQ(NLSLoadString(65000, text), S_OK);
  EXPECT_EQ(text, u"kept");
  EXPECT_EQ(NLSLoadString(36, text), S_OK);
  EXPECT_EQ(text, KV7UIGetString(36));

  WString shown;
  auto old = kv7::SetMessageBoxPresenter([&](WStringView caption, WStringView body, UINT style) {
    shown = WString(caption) + u"|" + WString(body) + kv7::FormatW(u"|%x", style);
    return IDOK;
  });
  SimpleMessageBox(36, 302);
  kv7::SetMessageBoxPresenter(old);
  EXPECT_EQ(shown, WString(KV7UIGetString(302)) + u"|" + KV7UIGetString(36) + u"|30");
}

}  // namespace
