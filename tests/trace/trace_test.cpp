#include "kv7/trace/trace.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "kv7/util/trace_printf.h"

// The library writes to stderr unless KV7_TRACE_FILE says otherwise; each
// test switches tracing itself and reads what the library wrote.
namespace {

class TraceLog : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(std::getenv("KV7_TRACE_FILE"), nullptr) << "run without KV7_TRACE_FILE";
    saved_on_ = traceOn;
    saved_level_ = traceMaxLevel;
    ::testing::internal::CaptureStderr();
  }
  void TearDown() override {
    (void)::testing::internal::GetCapturedStderr();
    traceOn = saved_on_;
    traceMaxLevel = saved_level_;
  }
  // Everything the library wrote since the last call (or the test's start).
  std::string Written() {
    written_ += ::testing::internal::GetCapturedStderr();
    ::testing::internal::CaptureStderr();
    return written_;
  }

 private:
  std::string written_;
  int saved_on_ = 0;
  int saved_level_ = 0;
};

HRESULT Ordinary(bool fail) {
  KV7_TRACE_ENTRY("TraceTest::Ordinary", 2, "TraceTest");
  if (fail) return KV7_TRACE_RETURN(E_FAIL);
  return KV7_TRACE_RETURN(S_OK);
}

void Constructor() { KV7_TRACE_ENTRY("TraceTest::Constructor", 6, "TraceTest"); }

void Silent() { KV7_TRACE_ENTRY("TraceTest::Silent", 2, "TraceTest"); }

TEST_F(TraceLog, EntryFollowsSwitchAndLevelExitFollowsHandle) {
  traceOn = 0;
  Silent();
  EXPECT_EQ(Written(), "");

  traceOn = 1;
  traceMaxLevel = 2;
  Constructor();
  EXPECT_TRUE(SUCCEEDED(Ordinary(false)));
  EXPECT_TRUE(FAILED(Ordinary(true)));
  std::string log = Written();
  EXPECT_EQ(log.find("TraceTest::Constructor"), std::string::npos);
  EXPECT_NE(log.find("ENTER TraceTest::Ordinary [1/2] TraceTest:"), std::string::npos);
  EXPECT_NE(log.find("EXIT  TraceTest::Ordinary = 0x00000000"), std::string::npos);
  EXPECT_NE(log.find("EXIT  TraceTest::Ordinary = 0x80004005"), std::string::npos);

  // Once an operation has a handle, its exits are recorded even with tracing
  // switched off, as every return path must close what an entry opened.
  traceOn = 0;
  size_t before = Written().size();
  EXPECT_TRUE(SUCCEEDED(Ordinary(false)));
  std::string after = Written().substr(before);
  EXPECT_EQ(after.find("ENTER"), std::string::npos);
  EXPECT_NE(after.find("EXIT  TraceTest::Ordinary"), std::string::npos);
}

TEST_F(TraceLog, PrintfCutsAt120Characters) {
  traceOn = 1;
  traceMaxLevel = 9;
  std::u16string long_text(200, u'x');
  EXPECT_EQ(tracePrintfW(0, u"%s!", long_text.c_str()), 120);
  EXPECT_EQ(tracePrintfW(0, u"value %i", 42), 8);
  std::string log = Written();
  EXPECT_NE(log.find("ENTER tracePrintfW [8/9]"), std::string::npos);
  EXPECT_NE(log.find(" " + std::string(120, 'x') + " :"), std::string::npos);
  EXPECT_NE(log.find("value 42"), std::string::npos);

  traceMaxLevel = 8;
  size_t before_level_8_ = Written().size();
  EXPECT_EQ(tracePrintfW(0, u"hidden"), 0);
  EXPECT_EQ(Written().substr(before_level_8_).find("hidden"), std::string::npos);
}

}  // namespace
