#include "common/calendar.h"

#include <gtest/gtest.h>

#include <ctime>

namespace vh {
namespace {

struct Placed {
  std::time_t moment;
  int year, month, day, hour, minute, second;
  int weekday;  // 0 is Sunday
  int dayOfYear;  // 0 is 1 January
};

// Moments whose UTC dates are known: the epoch, a leap day, one past the
// 32-bit seconds and the last second of a February without a leap day.
const Placed kPlaced[] = {
    {0, 1970, 1, 1, 0, 0, 0, 4, 0},
    {951782400, 2000, 2, 29, 0, 0, 0, 2, 59},
    {1700000000, 2023, 11, 14, 22, 13, 20, 2, 317},
    {2147483648, 2038, 1, 19, 3, 14, 8, 2, 18},
    {4107542399, 2100, 2, 28, 23, 59, 59, 0, 58},
};

TEST(Calendar, UtcPlacesKnownMomentsOnTheirDates) {
  for (const Placed& p : kPlaced) {
    const auto utc = utcCalendar(p.moment);
    ASSERT_TRUE(utc.has_value()) << p.moment;
    EXPECT_EQ(utc->tm_year, p.year - 1900) << p.moment;
    EXPECT_EQ(utc->tm_mon, p.month - 1) << p.moment;
    EXPECT_EQ(utc->tm_mday, p.day) << p.moment;
    EXPECT_EQ(utc->tm_hour, p.hour) << p.moment;
    EXPECT_EQ(utc->tm_min, p.minute) << p.moment;
    EXPECT_EQ(utc->tm_sec, p.second) << p.moment;
    EXPECT_EQ(utc->tm_wday, p.weekday) << p.moment;
    EXPECT_EQ(utc->tm_yday, p.dayOfYear) << p.moment;
  }
}

// Whatever the time zone the tests run in, the local date is the moment
// again when the C library turns it back.
TEST(Calendar, LocalDatesTurnBackIntoTheirMoments) {
  for (const Placed& p : kPlaced) {
    auto local = localCalendar(p.moment);
    ASSERT_TRUE(local.has_value()) << p.moment;
    EXPECT_EQ(std::mktime(&*local), p.moment) << p.moment;
  }
}

TEST(Calendar, MomentsBefore1970HaveNoDateOnEitherPlatform) {
  for (const std::time_t moment : {std::time_t{-1}, std::time_t{-86400}, std::time_t{-2147483648LL}}) {
    EXPECT_FALSE(utcCalendar(moment).has_value()) << moment;
    EXPECT_FALSE(localCalendar(moment).has_value()) << moment;
  }
}

}  // namespace
}  // namespace vh
