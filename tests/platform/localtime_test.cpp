#include "kv7/platform/localtime.h"

#include <gtest/gtest.h>

#include <ctime>
#include <optional>

#include "support/test_support.h"

namespace kv7 {
namespace {

using namespace std::chrono;

// Runs each test in a fixed time zone, restored afterwards.
class LocalTimeTest : public ::testing::Test {
 protected:
  void SetUp() override { UseZone("UTC"); }
  void TearDown() override {
    zone_.reset();
    tzset();
  }
  void UseZone(const char* zone) {
    zone_.reset();
    zone_.emplace("TZ", zone);
    tzset();
  }

 private:
  std::optional<kv7::test::ScopedEnv> zone_;
};

// 2026-03-07 14:05:09 UTC, a Saturday.
const TimePoint kTime = sys_days(year(2026) / 3 / 7) + hours(14) + minutes(5) + seconds(9);

TEST_F(LocalTimeTest, FormatsTheSystemsText) {
  EXPECT_EQ(FormatLocalTime(kTime + milliseconds(999), u"%m/%d/%Y %H:%M:%S"),
            u"03/07/2026 14:05:09");
  EXPECT_EQ(FormatLocalTime(ToSystemTime(kTime, TimeZone::Local), u"%a %d %b %Y"),
            u"Sat 07 Mar 2026");
  EXPECT_EQ(FormatLocalTime(kTime, u""), u"");
}

TEST_F(LocalTimeTest, ParsesWithMissingNumbersAsZero) {
  TimePoint parsed;
  ASSERT_EQ(ParseLocalTime(u"03/07/2026 14:05:09", &parsed), S_OK);
  EXPECT_EQ(parsed, kTime);
  ASSERT_EQ(ParseLocalTime(u"3/7/2026 14", &parsed), S_OK);
  EXPECT_EQ(parsed, kTime - minutes(5) - seconds(9));
  ASSERT_EQ(ParseLocalTime(u"03/07/2026", &parsed), S_OK);
  EXPECT_EQ(parsed, sys_days(year(2026) / 3 / 7));
  EXPECT_EQ(ParseLocalTime(u"noon", &parsed), E_INVALIDARG);
  EXPECT_EQ(parsed, sys_days(year(2026) / 3 / 7));

  UseZone("CET-1CEST,M3.5.0,M10.5.0/3");
  ASSERT_EQ(ParseLocalTime(u"07/01/2026 14:00:00", &parsed), S_OK);
  EXPECT_EQ(parsed, sys_days(year(2026) / 7 / 1) + hours(12));
}

TEST_F(LocalTimeTest, ConvertsBetweenInstantsAndCalendarTimes) {
  SYSTEMTIME utc = ToSystemTime(ToFileTime(kTime + milliseconds(250)), TimeZone::Utc);
  EXPECT_EQ(utc.wYear, 2026);
  EXPECT_EQ(utc.wMonth, 3);
  EXPECT_EQ(utc.wDay, 7);
  EXPECT_EQ(utc.wDayOfWeek, 6);
  EXPECT_EQ(utc.wHour, 14);
  EXPECT_EQ(utc.wMilliseconds, 250);

  UseZone("CET-1CEST,M3.5.0,M10.5.0/3");
  const TimePoint summer = sys_days(year(2026) / 7 / 1) + hours(12);
  SYSTEMTIME local = ToSystemTime(summer, TimeZone::Local);
  EXPECT_EQ(local.wHour, 14);
  TimePoint back;
  ASSERT_EQ(FromSystemTime(local, TimeZone::Local, &back), S_OK);
  EXPECT_EQ(back, summer);
  FILETIME file;
  ASSERT_EQ(FromSystemTime(local, TimeZone::Utc, &file), S_OK);
  EXPECT_EQ(FromFileTime(file), summer + hours(2));

  SYSTEMTIME february30 = local;
  february30.wMonth = 2;
  february30.wDay = 30;
  EXPECT_EQ(FromSystemTime(february30, TimeZone::Utc, &back), E_INVALIDARG);
  EXPECT_LT(FromFileTime(FILETIME{}), sys_days(year(1678) / 1 / 1));
  EXPECT_EQ(ToFileTime(sys_days(year(1970) / 1 / 1)).Ticks(), 116'444'736'000'000'000u);
}

}  // namespace
}  // namespace kv7
