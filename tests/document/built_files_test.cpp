// The built-files record: its saved text, the same-second rule, the build's
// sequence of marks, configurations addressed ignoring case and renamed,
// and records that cannot be read.
#include "kv7/document/built_files.h"

#include <gtest/gtest.h>

#include "kv7/platform/errorinfo.h"
#include "kv7/platform/files.h"
#include "kv7/platform/localtime.h"
#include "kv7/util/xml_helpers.h"
#include "support/project_text.h"
#include "support/test_support.h"

namespace kv7::test {
namespace {

using namespace std::chrono_literals;

constexpr char16_t kDebug[] = u"Debug|Win32";
constexpr char16_t kRelease[] = u"Release|Win32";

WString BuiltTime(CKV7BuiltFiles& record, WStringView configuration, WStringView path) {
  WString time;
  EXPECT_EQ(record.GetBuiltTime(configuration, path, &time), S_OK);
  return time;
}

bool Updated(CKV7BuiltFiles& record, WStringView path, HRESULT expected = S_OK) {
  BOOL updated = FALSE;
  EXPECT_EQ(record.HasFileBeenUpdatedSinceLastBuildTime(kDebug, path, &updated), expected);
  return updated != FALSE;
}

class BuiltFilesTest : public ScratchDir {
 protected:
  // A record with the two default configurations, clean.
  void SetUp() override {
    ScratchDir::SetUp();
    ASSERT_EQ(record_.ConfigAdded(kDebug), S_OK);
    ASSERT_EQ(record_.ConfigAdded(kRelease), S_OK);
    record_.ClearDirty();
  }

  // Sets a file's last-write time to a recorded build time plus `offset`.
  void TouchRelativeToBuild(const WString& file, const WString& builtTime,
                            std::chrono::milliseconds offset) {
    TimePoint built;
    ASSERT_EQ(ParseLocalTime(builtTime, &built), S_OK);
    ASSERT_EQ(SetLastWriteTime(file, ToFileTime(built + offset)), S_OK);
  }

  CKV7BuiltFiles record_;
};

TEST_F(BuiltFilesTest, SavedTextIsTheSystemsLayoutAndReadsBackTheSame) {
  CKV7BuiltFiles empty;
  const auto empty_file = Path("Empty.kv7builtfiles.xml");
  EXPECT_EQ(empty.SaveToFile(W(empty_file).c_str()), S_OK);
  EXPECT_EQ(ReadFile(empty_file),
            Layout("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                   "<KV7ProjectBuiltFiles version=\"1\">\n"
                   "  <Configurations>\n"
                   "  </Configurations>\n"
                   "</KV7ProjectBuiltFiles>\n"));

  // A path with characters that XML escapes survives a save and a load.
  const WString first = u"/p/R&D/<a>.kv7tbl";
  const WString second = u"/p/Views/v.kv7vw";
  ASSERT_EQ(record_.SetFileAsBuilt(first, kDebug), S_OK);
  ASSERT_EQ(record_.SetFileAsBuilt(second, kDebug), S_OK);
  const std::string t1 = ToUtf8(BuiltTime(record_, kDebug, first));
  const std::string t2 = ToUtf8(BuiltTime(record_, kDebug, second));
  EXPECT_EQ(t1.size(), 19u) << t1;  // "03/07/2026 14:05:09"
  EXPECT_TRUE(record_.IsDirty());

  const auto file = Path("Sales.kv7builtfiles.xml");
  ASSERT_EQ(record_.SaveToFile(W(file).c_str()), S_OK);
  EXPECT_FALSE(record_.IsDirty());
  EXPECT_EQ(record_.GetFilePath(), W(file));
  const std::string expected =
      Layout("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<KV7ProjectBuiltFiles version=\"1\">\n"
             "  <Configurations>\n"
             "    <Configuration val=\"Debug|Win32\">\n"
             "      <Files>\n"
             "        <File val=\"/p/R&amp;D/&lt;a&gt;.kv7tbl\" builttime=\"" + t1 + "\"/>\n"
             "        <File val=\"/p/Views/v.kv7vw\" builttime=\"" + t2 + "\"/>\n"
             "      </Files>\n"
             "    </Configuration>\n"
             "    <Configuration val=\"Release|Win32\">\n"
             "      <Files>\n"
             "      </Files>\n"
             "    </Configuration>\n"
             "  </Configurations>\n"
             "</KV7ProjectBuiltFiles>\n");
  EXPECT_EQ(ReadFile(file), expected);

  CKV7BuiltFiles loaded;
  ASSERT_EQ(loaded.LoadFromFile(W(file).c_str()), S_OK);
  EXPECT_FALSE(loaded.IsDirty());
  EXPECT_EQ(BuiltTime(loaded, kDebug, first), FromUtf8(t1));
  EXPECT_EQ(loaded.BuiltFileCount(kDebug), 2);
  ASSERT_EQ(loaded.SaveToFile(nullptr), S_OK);
  EXPECT_EQ(ReadFile(file), expected);
}

TEST_F(BuiltFilesTest, AFileSavedInTheSecondOfItsBuildIsUpToDate) {
  const auto item = Path("a.kv7tbl");
  WriteFile(item, "create table a(x int);\n");
  const WString path = W(item);
  // No entry: changed.
  EXPECT_TRUE(Updated(record_, path));

  ASSERT_EQ(record_.SetFileAsBuilt(path, kDebug), S_OK);
  const WString built = BuiltTime(record_, kDebug, path);
  TouchRelativeToBuild(path, built, 900ms);
  EXPECT_FALSE(Updated(record_, path));
  TouchRelativeToBuild(path, built, -5s);
  EXPECT_FALSE(Updated(record_, path));
  TouchRelativeToBuild(path, built, 1s);
  EXPECT_TRUE(Updated(record_, path));

  // The entry is looked up ignoring case; the file's time is read by the
  // path as given.
  TouchRelativeToBuild(path, built, 0ms);
  BOOL updated = TRUE;
  WString upper = ToUpper(path);
  EXPECT_EQ(record_.HasFileBeenUpdatedSinceLastBuildTime(u"DEBUG|WIN32", path, &updated), S_OK);
  EXPECT_FALSE(updated);
  EXPECT_TRUE(FAILED(record_.HasFileBeenUpdatedSinceLastBuildTime(kDebug, upper, &updated)));
  EXPECT_TRUE(updated);

  // A recorded time that does not read counts as no time.
  const auto odd = Path("odd.kv7builtfiles.xml");
  WriteFile(odd, "<KV7ProjectBuiltFiles version=\"1\"><Configurations>"
                 "<Configuration val=\"Debug|Win32\"><Files>"
                 "<File val=\"" + item.string() + "\" builttime=\"soon\"/>"
                 "</Files></Configuration></Configurations></KV7ProjectBuiltFiles>");
  CKV7BuiltFiles hand_made;
  ASSERT_EQ(hand_made.LoadFromFile(W(odd).c_str()), S_OK);
  EXPECT_TRUE(Updated(hand_made, path));
  EXPECT_EQ(hand_made.HasFileBeenUpdatedSinceLastBuildTime(kDebug, path, nullptr), E_POINTER);
}

TEST_F(BuiltFilesTest, TheBuildsMarksLeaveOneEntryOrNone) {
  const WString path = u"/p/Tables/a.kv7tbl";
  // First deployment succeeds.
  EXPECT_EQ(record_.SetFileAsNotBuilt(path, kDebug), S_FALSE);
  EXPECT_FALSE(record_.IsDirty());
  ASSERT_EQ(record_.SetFileAsBuilt(path, kDebug), S_OK);
  ASSERT_EQ(record_.SetFileAsBuilt(path, kDebug), S_OK);
  EXPECT_EQ(record_.BuiltFileCount(kDebug), 1);
  // The second is marked not built before it is sent, then fails.
  EXPECT_EQ(record_.SetFileAsNotBuilt(u"/P/TABLES/A.KV7TBL", kDebug), S_OK);
  ComPtr<IXMLDOMNode> node;
  EXPECT_EQ(record_.GetFileNode(kDebug, path, node.Put()), S_FALSE);
  EXPECT_EQ(node.Get(), nullptr);
  EXPECT_EQ(record_.BuiltFileCount(kDebug), 0);

  // Marks across configurations, and a rename that every one follows.
  ASSERT_EQ(record_.SetFileAsBuilt(path), S_OK);
  ASSERT_EQ(record_.SetFileAsBuilt(u"/p/b.kv7sp", kRelease), S_OK);
  EXPECT_EQ(record_.FileRenamed(u"/P/Tables/A.kv7tbl", u"/p/Tables/b.kv7tbl"), S_OK);
  EXPECT_EQ(record_.GetFileNode(kRelease, path, node.Put()), S_FALSE);
  EXPECT_EQ(record_.GetFileNode(kRelease, u"/p/tables/B.kv7tbl", node.Put()), S_OK);
  WString val;
  ASSERT_NE(node.Get(), nullptr);
  ASSERT_EQ(GetAttrFromNode(node.Get(), u"val", val), S_OK);
  EXPECT_EQ(val, u"/p/Tables/b.kv7tbl");
  // What lies at the new path was built as the renamed file: an older
  // entry of that path gives way.
  ASSERT_EQ(record_.SetFileAsBuilt(u"/p/c.kv7sp", kRelease), S_OK);
  EXPECT_EQ(record_.FileRenamed(u"/p/b.kv7sp", u"/p/c.kv7sp"), S_OK);
  EXPECT_EQ(record_.BuiltFileCount(kRelease), 2);
  EXPECT_EQ(record_.FileRenamed(u"/p/none", u"/p/other"), S_FALSE);

  EXPECT_EQ(record_.SetFileAsNotBuilt(u"/p/Tables/b.kv7tbl"), S_OK);
  EXPECT_EQ(record_.BuiltFileCount(kDebug), 0);
  EXPECT_EQ(record_.BuiltFileCount(kRelease), 1);
  EXPECT_EQ(record_.SetConfigAsNotBuilt(kRelease), S_OK);
  EXPECT_EQ(record_.SetConfigAsNotBuilt(kRelease), S_FALSE);
  ASSERT_EQ(record_.SetFileAsBuilt(path), S_OK);
  EXPECT_EQ(record_.SetAllConfigsAsNotBuilt(), S_OK);
  EXPECT_EQ(record_.SetAllConfigsAsNotBuilt(), S_FALSE);
  EXPECT_EQ(record_.BuiltFileCount(kDebug) + record_.BuiltFileCount(kRelease), 0);

  // A configuration the record lacks takes no marks.
  record_.ClearDirty();
  EXPECT_EQ(record_.SetFileAsBuilt(path, u"Test|Win32"), S_FALSE);
  EXPECT_FALSE(record_.IsDirty());
}

TEST_F(BuiltFilesTest, ConfigurationsAreOneByNameIgnoringCaseAndKeepEntriesWhenRenamed) {
  const WString path = u"/p/a.kv7tbl";
  ASSERT_EQ(record_.SetFileAsBuilt(path, u"DEBUG|win32"), S_OK);
  EXPECT_EQ(record_.BuiltFileCount(u"debug|WIN32"), 1);
  ComPtr<IXMLDOMNode> node;
  for (const char16_t* name : {u"DEBUG|WIN32", u"debug|win32"}) {
    ASSERT_EQ(record_.GetConfigNode(name, node.Put()), S_OK);
    WString val;
    EXPECT_EQ(GetAttrFromNode(node.Get(), u"val", val), S_OK);
    EXPECT_EQ(val, kDebug);
  }

  // Renaming keeps the entries under the new name; a letter-case rename
  // is a rename too.
  EXPECT_EQ(record_.ConfigRenamed(u"debug|win32", u"Test|Win32"), S_OK);
  EXPECT_EQ(record_.BuiltFileCount(u"Test|Win32"), 1);
  EXPECT_EQ(record_.BuiltFileCount(kDebug), 0);
  EXPECT_EQ(record_.GetConfigNode(kDebug, node.Put()), S_FALSE);
  EXPECT_EQ(record_.ConfigRenamed(u"Test|Win32", u"TEST|Win32"), S_OK);
  EXPECT_EQ(record_.ConfigRenamed(u"TEST|Win32", u"TEST|Win32"), S_FALSE);
  EXPECT_EQ(record_.ConfigRenamed(u"Missing|Win32", u"Other|Win32"), S_FALSE);

  // A configuration that already has the new name is stale and gives way.
  ASSERT_EQ(record_.SetFileAsBuilt(u"/p/stale.kv7tbl", kRelease), S_OK);
  EXPECT_EQ(record_.ConfigRenamed(u"test|win32", kRelease), S_OK);
  EXPECT_EQ(record_.BuiltFileCount(kRelease), 1);
  EXPECT_EQ(record_.GetFileNode(kRelease, path, node.Put()), S_OK);

  // Adding a name the record has gives a configuration that built nothing.
  EXPECT_EQ(record_.ConfigAdded(u"release|win32"), S_OK);
  EXPECT_EQ(record_.BuiltFileCount(kRelease), 0);
  EXPECT_EQ(record_.ConfigAdded(u"release|win32"), S_FALSE);
  EXPECT_EQ(record_.ConfigDeleted(u"RELEASE|WIN32"), S_OK);
  EXPECT_EQ(record_.ConfigDeleted(kRelease), S_FALSE);

  const auto saved = Path("r.kv7builtfiles.xml");
  ASSERT_EQ(record_.SaveToFile(W(saved).c_str()), S_OK);
  EXPECT_EQ(ReadFile(saved), Layout("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                    "<KV7ProjectBuiltFiles version=\"1\">\n"
                                    "  <Configurations>\n"
                                    "  </Configurations>\n"
                                    "</KV7ProjectBuiltFiles>\n"));
}

TEST_F(BuiltFilesTest, LoadingKeepsTheFirstOfNamesThatDifferInCase) {
  const auto file = Path("twice.kv7builtfiles.xml");
  WriteFile(file,
            "<?xml version=\"1.0\"?>\n<KV7ProjectBuiltFiles version=\"1\"><Configurations>"
            "<Configuration val=\"Debug|Win32\"><Files>"
            "<File val=\"/p/a\" builttime=\"01/02/2020 03:04:05\"/>"
            "<Other/>"
            "<File val=\"/P/A\" builttime=\"01/02/2021 03:04:05\"/>"
            "</Files></Configuration>"
            "<Configuration val=\"DEBUG|WIN32\"><Files><File val=\"/p/b\" builttime=\"\"/></Files>"
            "</Configuration>"
            "<Configuration val=\"Release|Win32\"/>"
            "</Configurations></KV7ProjectBuiltFiles>");
  ASSERT_EQ(record_.LoadFromFile(W(file).c_str()), S_OK);
  EXPECT_EQ(BuiltTime(record_, u"debug|win32", u"/p/A"), u"01/02/2020 03:04:05");
  EXPECT_EQ(record_.BuiltFileCount(kDebug), 1);
  ComPtr<IXMLDOMNode> node;
  EXPECT_EQ(record_.GetFileNode(kDebug, u"/p/b", node.Put()), S_FALSE);
  // A configuration without Files takes marks all the same.
  EXPECT_EQ(record_.SetFileAsBuilt(u"/p/c", kRelease), S_OK);
  EXPECT_EQ(record_.BuiltFileCount(kRelease), 1);
}

TEST_F(BuiltFilesTest, ARecordThatCannotBeReadLeavesAnEmptyCleanRecordAndTheFile) {
  ASSERT_EQ(record_.SetFileAsBuilt(u"/p/a.kv7tbl", kDebug), S_OK);
  auto expect_empty = [&] {
    EXPECT_FALSE(record_.IsDirty());
    ComPtr<IXMLDOMNode> node;
    EXPECT_EQ(record_.GetConfigNode(kDebug, node.Put()), S_FALSE);
    EXPECT_EQ(record_.BuiltFileCount(kDebug), 0);
  };

  const auto bad = Path("Bad.kv7builtfiles.xml");
  const std::string text = "<KV7ProjectBuiltFiles version=\"1\">\n<Configurations>\n</Oops>\n";
  WriteFile(bad, text);
  ClearErrorInfo();
  EXPECT_TRUE(FAILED(record_.LoadFromFile(W(bad).c_str())));
  EXPECT_EQ(ErrorText().rfind(W(bad) + u": line 3, position ", 0), 0u) << ToUtf8(ErrorText());
  expect_empty();
  EXPECT_EQ(record_.GetFilePath(), W(bad));
  EXPECT_EQ(ReadFile(bad), text);

  const auto other = Path("Other.kv7builtfiles.xml");
  WriteFile(other, "<Other/>");
  ASSERT_EQ(record_.ConfigAdded(kDebug), S_OK);
  EXPECT_EQ(record_.LoadFromFile(W(other).c_str()), E_FAIL);
  EXPECT_EQ(ErrorText(), W(other) + u": not a built files record: its root is Other");
  expect_empty();

  std::filesystem::create_directories(Path("dir.kv7builtfiles.xml"));
  EXPECT_TRUE(FAILED(record_.LoadFromFile(W(Path("dir.kv7builtfiles.xml")).c_str())));
  EXPECT_EQ(ErrorText().rfind(u"cannot read " + W(Path("dir.kv7builtfiles.xml")) + u": ", 0), 0u);
  expect_empty();

  // No record yet: nothing was built, and that is no error.
  ASSERT_EQ(record_.ConfigAdded(kDebug), S_OK);
  EXPECT_EQ(record_.LoadFromFile(W(Path("none.kv7builtfiles.xml")).c_str()), S_OK);
  expect_empty();
}

TEST_F(BuiltFilesTest, SavingNeedsAPathAndKeepsTheDirtyFlagOnFailure) {
  EXPECT_EQ(record_.GenerateDefaultName(u"/p/q.d/Sales.kv7p", false),
            u"/p/q.d/Sales.kv7builtfiles.xml");
  EXPECT_EQ(record_.GenerateDefaultName(u"/p/q.d/Sales", false), u"/p/q.d/Sales.kv7builtfiles.xml");
  EXPECT_TRUE(record_.GetFilePath().empty());
  EXPECT_EQ(record_.SaveToFile(nullptr), E_FAIL);

  ASSERT_EQ(record_.SetFileAsBuilt(u"/p/a.kv7tbl", kDebug), S_OK);
  const WString unwritable = W(Path("missing/Sales.kv7builtfiles.xml"));
  EXPECT_TRUE(FAILED(record_.SaveToFile(unwritable.c_str())));
  EXPECT_TRUE(record_.IsDirty());
  EXPECT_EQ(ErrorText().rfind(u"cannot write " + unwritable + u": ", 0), 0u);

  const WString remembered = record_.GenerateDefaultName(W(Path("Sales.kv7p")), true);
  EXPECT_EQ(record_.GetFilePath(), remembered);
  EXPECT_EQ(record_.SaveToFile(u""), S_OK);
  EXPECT_FALSE(record_.IsDirty());
  EXPECT_TRUE(FileExists(remembered));
}

}  // namespace
}  // namespace kv7::test
