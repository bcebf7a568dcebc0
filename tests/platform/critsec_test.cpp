#include "kv7/platform/critsec.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(CriticalSection, IsReentrantAndExcludesOtherThreads) {
  CCriticalSection section;
  CCritSecLock held(section);
  ASSERT_TRUE(section.TryEnter());
  section.Leave();
  bool entered = true;
  std::thread([&] {
    entered = section.TryEnter();
    if (entered) section.Leave();
  }).join();
  EXPECT_FALSE(entered);
}

}  // namespace
