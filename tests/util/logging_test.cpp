// The diagnostic log. Its state belongs to the process and a re-read never
// switches it off, so the cases that need it off run first, in one test.
#include "kv7/util/logging.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "kv7/platform/registry.h"
#include "support/test_support.h"

namespace kv7::test {
namespace {

class LoggingTest : public ScratchDir {
 protected:
  // Writes the log settings and has the next use read them.
  void Settings(DWORD logging, const std::filesystem::path& file, DWORD type = REG_SZ) {
    CRegKey key;
    ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, kKV7LoggingKey), ERROR_SUCCESS);
    ASSERT_EQ(key.SetDWORDValue(kKV7LoggingValue, logging), ERROR_SUCCESS);
    if (file.empty()) (void)key.DeleteValue(kKV7LoggingFileValue);
    else ASSERT_EQ(key.SetStringValue(kKV7LoggingFileValue, FromUtf8(file.string()), type),
                   ERROR_SUCCESS);
    UpdateLoggingSettings();
  }
};

TEST_F(LoggingTest, SettingsNeedBothValuesAndNeverSwitchTheLogOff) {
  UpdateLoggingSettings();
  EXPECT_FALSE(IsLoggingEnabledW()) << "no key";
  EXPECT_FALSE(LOGINFO(u"dropped"));
  Settings(1, {});
  EXPECT_FALSE(IsLoggingEnabledW()) << "no LoggingFile";
  Settings(1, Path("a.log"), REG_EXPAND_SZ);
  EXPECT_FALSE(IsLoggingEnabledW()) << "LoggingFile of the wrong type";
  Settings(1, Path(std::string(kKV7LoggingFileMaxChars, 'x')));
  EXPECT_FALSE(IsLoggingEnabledW()) << "LoggingFile too long";
  WString file = u"unchanged";
  GetLoggingFile(file);
  EXPECT_EQ(file, u"");

  Settings(1, Path("a.log"));
  EXPECT_TRUE(IsLoggingEnabledW());
  Settings(0, Path("b.log"));
  EXPECT_TRUE(IsLoggingEnabledW()) << "a re-read never switches the log off";
  GetLoggingFile(file);
  EXPECT_EQ(file, FromUtf8(Path("a.log").string()));
  Settings(1, Path("b.log"));
  GetLoggingFile(file);
  EXPECT_EQ(file, FromUtf8(Path("b.log").string())) << "a re-read may move the log";
}

TEST_F(LoggingTest, LinesAppendWithOneZeroByteAtTheEnd) {
  Settings(1, Path("log.txt"));
  const std::string long_line(300, 'w');
  EXPECT_TRUE(LOGINFO(u"first %d of %s", 1, u"three"));
  EXPECT_TRUE(LOGINFO(u"%hs", long_line.c_str()));
  EXPECT_TRUE(LOGINFO(u"third"));
  const std::string three_lines = "first 1 of three\r\n" + long_line + "\r\nthird\r\n";
  EXPECT_EQ(ReadFile(Path("log.txt")), three_lines + std::string(1, '\0'));

  // Another holder of the file makes the write fail, and the file stays whole.
  int holder = ::open(Path("log.txt").c_str(), O_RDONLY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  EXPECT_FALSE(LOGINFO(u"blocked"));
  ::close(holder);
  EXPECT_TRUE(LOGINFO(u"fourth"));
  EXPECT_EQ(ReadFile(Path("log.txt")), three_lines + "fourth\r\n" + std::string(1, '\0'));

  Settings(1, Path("missing/dir/log.txt"));
  EXPECT_FALSE(LOGINFO(u"nowhere"));
  EXPECT_TRUE(IsLoggingEnabledW());
}

}  // namespace
}  // namespace kv7::test
