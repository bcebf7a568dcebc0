#include "kv7/platform/files.h"

#include <cstdlib>
#include <optional>
#include <set>

#include "support/test_support.h"

namespace kv7 {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::ScopedEnv;
using test::W;
using test::WriteFile;

class FilesTest : public test::ScratchDir {};

TEST_F(FilesTest, CopyRefusesAnExistingTargetAndLeavesNoTemporaryFile) {
  WriteFile(Path("a.txt"), "content");
  fs::permissions(Path("a.txt"), fs::perms::owner_read | fs::perms::owner_exec);
  const FILETIME old = ToFileTime(TimePoint(std::chrono::seconds(1'500'000'000)));
  ASSERT_EQ(SetLastWriteTime(W(Path("a.txt")), old), S_OK);

  ASSERT_EQ(CopyFileNoOverwrite(W(Path("a.txt")), W(Path("b.txt"))), S_OK);
  EXPECT_EQ(ReadFile(Path("b.txt")), "content");
  EXPECT_EQ(fs::status(Path("b.txt")).permissions(), fs::perms::owner_read | fs::perms::owner_exec);
  FILETIME copied;
  ASSERT_EQ(GetLastWriteTime(W(Path("b.txt")), &copied), S_OK);
  EXPECT_EQ(copied, old);

  WriteFile(Path("c.txt"), "keep");
  EXPECT_EQ(CopyFileNoOverwrite(W(Path("a.txt")), W(Path("c.txt"))),
            HRESULT_FROM_WIN32(ERROR_FILE_EXISTS));
  EXPECT_EQ(ReadFile(Path("c.txt")), "keep");
  EXPECT_EQ(CopyFileNoOverwrite(W(Path("missing")), W(Path("d.txt"))),
            HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  std::vector<DirectoryEntry> entries;
  ASSERT_EQ(ListDirectory(W(dir()), &entries), S_OK);
  EXPECT_EQ(entries.size(), 3u);
}

TEST_F(FilesTest, MoveRenamesButNeverReplaces) {
  WriteFile(Path("from.txt"), "moved");
  WriteFile(Path("taken.txt"), "keep");
  EXPECT_EQ(MoveFile(W(Path("from.txt")), W(Path("taken.txt"))),
            HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(ReadFile(Path("taken.txt")), "keep");
  ASSERT_EQ(MoveFile(W(Path("from.txt")), W(Path("to.txt"))), S_OK);
  EXPECT_FALSE(FileExists(W(Path("from.txt"))));
  EXPECT_EQ(ReadFile(Path("to.txt")), "moved");
  ASSERT_EQ(CreateDirectories(W(Path("d1"))), S_OK);
  ASSERT_EQ(MoveFile(W(Path("d1")), W(Path("d2"))), S_OK);
  EXPECT_TRUE(DirectoryExists(W(Path("d2"))));
}

TEST_F(FilesTest, AttributesFollowPermissionsAndNames) {
  WriteFile(Path("plain"), "x");
  WriteFile(Path(".hidden"), "x");
  ASSERT_EQ(CreateDirectories(W(Path("sub"))), S_OK);
  DWORD attributes = 0;
  ASSERT_EQ(GetFileAttributes(W(Path("plain")), &attributes), S_OK);
  EXPECT_EQ(attributes, FILE_ATTRIBUTE_ARCHIVE);
  ASSERT_EQ(GetFileAttributes(W(Path(".hidden")), &attributes), S_OK);
  EXPECT_EQ(attributes, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN);
  ASSERT_EQ(GetFileAttributes(W(Path("sub")) + u"/", &attributes), S_OK);
  EXPECT_EQ(attributes, FILE_ATTRIBUTE_DIRECTORY);

  ASSERT_EQ(SetFileAttributes(W(Path("plain")), FILE_ATTRIBUTE_READONLY), S_OK);
  ASSERT_EQ(GetFileAttributes(W(Path("plain")), &attributes), S_OK);
  EXPECT_EQ(attributes, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(WriteFileBytes(W(Path("plain")), "new"), HRESULT_FROM_WIN32(ERROR_FILE_READ_ONLY));
  EXPECT_EQ(CheckFileWritable(W(Path("plain"))), HRESULT_FROM_WIN32(ERROR_FILE_READ_ONLY));
  EXPECT_EQ(CheckFileWritable(W(Path("not yet"))), S_OK);
  EXPECT_EQ(DeleteFile(W(Path("plain"))), E_ACCESSDENIED);
  EXPECT_EQ(ReadFile(Path("plain")), "x");

  ASSERT_EQ(SetFileAttributes(W(Path("plain")), FILE_ATTRIBUTE_NORMAL), S_OK);
  EXPECT_EQ(fs::status(Path("plain")).permissions() & fs::perms::owner_write,
            fs::perms::owner_write);
  EXPECT_EQ(DeleteFile(W(Path("plain"))), S_OK);
}

TEST_F(FilesTest, WritesAtomicallyAndReadsBack) {
  const std::string bytes("a\0b\xff", 4);
  ASSERT_EQ(WriteFileBytes(W(Path("f.bin")), bytes), S_OK);
  fs::permissions(Path("f.bin"), fs::perms::owner_read | fs::perms::owner_write |
                                     fs::perms::group_write);
  ASSERT_EQ(WriteFileBytes(W(Path("f.bin")), "second"), S_OK);
  EXPECT_EQ(fs::status(Path("f.bin")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_write);
  std::string read;
  ASSERT_EQ(ReadFileBytes(W(Path("f.bin")), &read), S_OK);
  EXPECT_EQ(read, "second");
  ASSERT_EQ(WriteFileBytes(W(Path("f.bin")), bytes), S_OK);
  ASSERT_EQ(ReadFileBytes(W(Path("f.bin")), &read), S_OK);
  EXPECT_EQ(read, bytes);
  std::uint64_t size = 0;
  ASSERT_EQ(GetFileSize(W(Path("f.bin")), &size), S_OK);
  EXPECT_EQ(size, 4u);

  EXPECT_EQ(ReadFileBytes(W(Path("none")), &read), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(read, bytes);
  EXPECT_EQ(ReadFileBytes(WString(u"a\0b", 3), &read), HRESULT_FROM_WIN32(ERROR_INVALID_NAME));
  EXPECT_EQ(ReadFileBytes(u"", &read), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir()), fs::directory_iterator()), 1);
}

TEST_F(FilesTest, PrivateFilesAreOwnerOnlyOnEveryWrite) {
  ASSERT_EQ(WritePrivateFileBytes(W(Path("secret")), "one"), S_OK);
  const auto owner_only = fs::perms::owner_read | fs::perms::owner_write;
  EXPECT_EQ(fs::status(Path("secret")).permissions(), owner_only);
  fs::permissions(Path("secret"), fs::perms::owner_all | fs::perms::group_read |
                                      fs::perms::others_read);
  ASSERT_EQ(WritePrivateFileBytes(W(Path("secret")), "two"), S_OK);
  EXPECT_EQ(fs::status(Path("secret")).permissions(), owner_only);
  EXPECT_EQ(ReadFile(Path("secret")), "two");
}

TEST_F(FilesTest, LastWriteTimeRoundTripsToTheSecond) {
  WriteFile(Path("t"), "");
  // 2021-03-04 05:06:07.5 UTC.
  const FILETIME set = ToFileTime(TimePoint(std::chrono::milliseconds(1'614'834'367'500)));
  ASSERT_EQ(SetLastWriteTime(W(Path("t")), set), S_OK);
  FILETIME got;
  ASSERT_EQ(GetLastWriteTime(W(Path("t")), &got), S_OK);
  EXPECT_EQ(got.Ticks() / 10'000'000, set.Ticks() / 10'000'000);
  EXPECT_EQ(set.Ticks(), 132'593'079'675'000'000u);
}

TEST_F(FilesTest, TempFilesAreNewAndUnique) {
  std::set<WString> names;
  for (int i = 0; i < 40; ++i) {
    WString path;
    ASSERT_EQ(CreateTempFile(W(dir()), u"kv7", &path), S_OK);
    WString name = path.substr(path.rfind(u'/') + 1);
    EXPECT_EQ(name.size(), 11u);
    EXPECT_EQ(name.substr(0, 3), u"kv7");
    EXPECT_EQ(name.substr(7), u".tmp");
    EXPECT_TRUE(FileExists(path));
    names.insert(path);
  }
  EXPECT_EQ(names.size(), 40u);
  WString none;
  EXPECT_EQ(CreateTempFile(W(Path("missing")), u"x", &none),
            HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(none.empty());
}

TEST_F(FilesTest, DirectoriesAreCreatedListedAndRemoved) {
  ASSERT_EQ(CreateDirectories(W(Path("a/b//c/"))), S_OK);
  EXPECT_EQ(CreateDirectories(W(Path("a/b"))), S_OK);
  WriteFile(Path("a/file"), "");
  EXPECT_EQ(CreateDirectories(W(Path("a/file"))), HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(CreateDirectories(W(Path("a/file/x"))), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
  WriteFile(Path("a/Zed"), "");
  fs::create_directory_symlink(Path("a/b"), Path("a/link"));

  std::vector<DirectoryEntry> entries;
  ASSERT_EQ(ListDirectory(W(Path("a")), &entries), S_OK);
  std::vector<std::pair<WString, bool>> seen;
  for (const DirectoryEntry& e : entries) seen.emplace_back(e.name, e.isDirectory);
  EXPECT_EQ(seen, (std::vector<std::pair<WString, bool>>{
                      {u"b", true}, {u"file", false}, {u"link", true}, {u"Zed", false}}));

  EXPECT_EQ(RemoveDirectory(W(Path("a/b"))), HRESULT_FROM_WIN32(ERROR_DIR_NOT_EMPTY));
  EXPECT_EQ(RemoveDirectory(W(Path("a/b/c"))), S_OK);
  EXPECT_FALSE(DirectoryExists(W(Path("a/b/c"))));
  EXPECT_FALSE(FileExists(W(Path("a/b"))));
}

TEST_F(FilesTest, HomeAndTempDirectoriesFollowTheEnvironment) {
  EXPECT_EQ(Kv7HomeDirectory(), W(Path("home")));
  ScopedEnv home("HOME", "/home/u");
  ScopedEnv noHome("KV7_HOME", nullptr);
  {
    ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ(Kv7HomeDirectory(), u"/cfg/kv7");
  }
  ScopedEnv relative("XDG_CONFIG_HOME", "relative");
  EXPECT_EQ(Kv7HomeDirectory(), u"/home/u/.config/kv7");
  ScopedEnv tmp("TMPDIR", "/var/tmp");
  EXPECT_EQ(GetTempDirectory(), u"/var/tmp/");
}

}  // namespace
}  // namespace kv7
