#include "kv7/platform/file_lock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "support/test_support.h"

namespace kv7 {
namespace {

class FileLockTest : public test::ScratchDir {};

TEST_F(FileLockTest, OneHolderAtATimeTheOthersWaitOrHearWhoHoldsIt) {
  const WString path = FromUtf8(Path("p.kv7lock").string());
  CFileLock first, second;
  std::string holder;
  ASSERT_EQ(first.Acquire(path, 0, &holder), S_OK);
  EXPECT_EQ(first.Acquire(path, 0, &holder), S_OK) << "held already";
  EXPECT_NE(test::ReadFile(Path("p.kv7lock")).find("pid "), std::string::npos);

  EXPECT_EQ(second.Acquire(path, 0.2, &holder), KV7_E_LOCKED);
  EXPECT_EQ(holder.rfind("pid ", 0), 0u) << holder;
  EXPECT_FALSE(second.IsHeld());

  // A waiter takes the lock once the holder lets go, and the file goes with
  // the last holder.
  std::thread releaser([&first] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    first.Release();
  });
  EXPECT_EQ(second.Acquire(path, 10, &holder), S_OK);
  releaser.join();
  EXPECT_TRUE(std::filesystem::exists(Path("p.kv7lock")));
  second.Release();
  EXPECT_FALSE(std::filesystem::exists(Path("p.kv7lock")));

  CFileLock nowhere;
  EXPECT_EQ(nowhere.Acquire(FromUtf8(Path("missing/dir/x.kv7lock").string()), 0, &holder),
            HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

}  // namespace
}  // namespace kv7
