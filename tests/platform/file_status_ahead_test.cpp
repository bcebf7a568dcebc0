#include "kv7/platform/file_status_ahead.h"

#include <thread>

#include "support/test_support.h"

namespace kv7 {
namespace {

namespace fs = std::filesystem;

class FileStatusAheadTest : public test::ScratchDir {
 protected:
  // Files f0..f(n-1), every third one missing and every fifth a directory.
  std::vector<WString> MakePaths(size_t count) {
    std::vector<WString> paths;
    for (size_t i = 0; i < count; ++i) {
      fs::path path = Path("f" + std::to_string(i));
      if (i % 5 == 0) fs::create_directory(path);
      else if (i % 3 != 0) test::WriteFile(path, "x");
      paths.push_back(FromUtf8(path.string()));
    }
    return paths;
  }

  static void ExpectSame(const FileStatus& got, const FileStatus& want, size_t index) {
    EXPECT_EQ(got.result, want.result) << index;
    EXPECT_EQ(got.directory, want.directory) << index;
    EXPECT_EQ(got.written, want.written) << index;
  }
};

TEST_F(FileStatusAheadTest, AnswersAsALookNowWouldInAnyOrder) {
  for (size_t count : {size_t{3}, size_t{2000}}) {
    std::vector<WString> paths = MakePaths(count);
    FileStatusAhead ahead(paths);
    ASSERT_EQ(ahead.size(), count);
    // In order, then a jump back and forward: every answer is the file's.
    for (size_t i = 0; i < count; ++i) ExpectSame(ahead.Get(i), GetFileStatus(paths[i]), i);
    ExpectSame(ahead.Get(0), GetFileStatus(paths[0]), 0);
    EXPECT_TRUE(ahead.Get(0).directory);
    EXPECT_TRUE(ahead.Get(1).IsFile());
    if (count > 3) {
      EXPECT_TRUE(FAILED(ahead.Get(3).result));
    }
  }
}

TEST_F(FileStatusAheadTest, AnAnswerTooOldIsTakenAgain) {
  std::vector<WString> paths = MakePaths(FileStatusAhead::kMinimumForThread * 2);
  FileStatusAhead ahead(paths);
  ASSERT_TRUE(ahead.Get(0).directory);
  // The thread has long looked at f1 by now; the file then changes.
  std::this_thread::sleep_for(FileStatusAhead::kMaxAge / 2);
  const FILETIME then = ToFileTime(TimePoint(std::chrono::seconds(1'500'000'000)));
  ASSERT_EQ(SetLastWriteTime(paths[1], then), S_OK);
  fs::remove(fs::path(ToUtf8(paths[2])));
  std::this_thread::sleep_for(FileStatusAhead::kMaxAge);
  EXPECT_EQ(ahead.Get(1).written, then);
  EXPECT_TRUE(FAILED(ahead.Get(2).result));
}

TEST_F(FileStatusAheadTest, StopsWhileTheWalkIsHeldUpOrGone) {
  std::vector<WString> paths = MakePaths(3 * FileStatusAhead::kWindow);
  {
    FileStatusAhead ahead(paths);
    (void)ahead.Get(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));  // the thread waits on the walk
  }
  FileStatusAhead unasked(paths);  // gone before asked anything
}

}  // namespace
}  // namespace kv7
