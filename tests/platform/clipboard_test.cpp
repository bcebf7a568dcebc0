#include "kv7/platform/clipboard.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(Clipboard, FormatsAreRegisteredOnceIgnoringCase) {
  UINT format = RegisterClipboardFormatW(u"Kv7-Test-Format");
  EXPECT_GE(format, 0xC000u);
  EXPECT_EQ(RegisterClipboardFormatW(u"KV7-TEST-FORMAT"), format);
  EXPECT_NE(RegisterClipboardFormatW(u"Kv7-Other-Format"), format);
  EXPECT_EQ(RegisterClipboardFormatW(u""), 0u);
  EXPECT_EQ(RegisterClipboardFormatW(nullptr), 0u);
}

TEST(Clipboard, DataMovesOnlyWhileThisThreadHasItOpen) {
  UINT format = RegisterClipboardFormatW(u"Kv7-Test-Data");
  std::string bytes = "untouched";
  EXPECT_FALSE(SetClipboardData(format, "x"));
  ASSERT_TRUE(OpenClipboard(nullptr));
  ASSERT_TRUE(EmptyClipboard());
  EXPECT_FALSE(GetClipboardData(format, &bytes));
  ASSERT_TRUE(SetClipboardData(format, std::string("a\0b", 3)));

  std::thread other([&] {
    EXPECT_FALSE(OpenClipboard(nullptr));
    EXPECT_FALSE(GetClipboardData(format, &bytes));
    EXPECT_TRUE(IsClipboardFormatAvailable(format));
  });
  other.join();
  EXPECT_EQ(bytes, "untouched");
  ASSERT_TRUE(GetClipboardData(format, &bytes));
  EXPECT_EQ(bytes, std::string("a\0b", 3));
  ASSERT_TRUE(CloseClipboard());
  EXPECT_FALSE(CloseClipboard());

  std::thread emptier([&] {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EXPECT_TRUE(EmptyClipboard());
    EXPECT_TRUE(CloseClipboard());
  });
  emptier.join();
  EXPECT_FALSE(IsClipboardFormatAvailable(format));
}

}  // namespace
