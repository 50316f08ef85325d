#include "datetime/DateTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <limits>
#include <tuple>

#include "base/Exception.h"

namespace kestrava {
namespace {

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return EncodeDateTime(y, mo, d, h, mi, s, ms);
}

void ExpectParts(const TDateTimeParts& p, int y, int mo, int d, int h, int mi, int s, int ms) {
  EXPECT_EQ(p.Year, y);
  EXPECT_EQ(p.Month, mo);
  EXPECT_EQ(p.Day, d);
  EXPECT_EQ(p.Hour, h);
  EXPECT_EQ(p.Minute, mi);
  EXPECT_EQ(p.Second, s);
  EXPECT_EQ(p.Millisecond, ms);
}

TEST(MillisecondConversion, RoundsToTheNearestWholeMillisecond) {
  struct Case {
    double milliseconds;
    std::int64_t expected;
  };
  const Case cases[] = {
      {2.4, 2},
      {2.6, 3},
      {-2.4, -2},
      {-2.6, -3},
      {0.49, 0},
      {0.51, 1},
      {86399999.6, 86400000},
      {1234567.2, 1234567},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DateTimeToMilliseconds(c.milliseconds / 86400000.0), c.expected) << c.milliseconds;
  }
}

TEST(MillisecondConversion, ExactHalvesGoToTheEvenNeighbour) {
  // k + 0.5 milliseconds for small k: the products are exact halves when the
  // day fraction multiplies back without error; check the rounding itself on
  // values built so.
  int checked = 0;
  for (int k = 0; k < 64; ++k) {
    const double value = (k + 0.5) / 86400000.0;
    if (value * 86400000.0 != k + 0.5) continue;
    ++checked;
    EXPECT_EQ(DateTimeToMilliseconds(value), k % 2 == 0 ? k : k + 1) << k;
    EXPECT_EQ(DateTimeToMilliseconds(-value), k % 2 == 0 ? -k : -(k + 1)) << k;
  }
  EXPECT_GT(checked, 10);
}

TEST(MillisecondConversion, NegativeCountsSplitByMagnitude) {
  // -1.25: day -1, six hours (29 December 1899 06:00).
  const TDayAndTime split = SplitDateTime(-1.25);
  EXPECT_EQ(split.Day, -1);
  EXPECT_EQ(split.MillisecondOfDay, 6 * 3600000);
  ExpectParts(DecodeDateTime(-1.25), 1899, 12, 29, 6, 0, 0, 0);
  // -0.5 and 0.5 are the same moment: noon of 30 December 1899.
  ExpectParts(DecodeDateTime(-0.5), 1899, 12, 30, 12, 0, 0, 0);
  EXPECT_EQ(JoinDateTime(-1, 6 * 3600000), -1.25);
  EXPECT_EQ(At(1899, 12, 29, 6), -1.25);
}

TEST(MillisecondConversion, NonFiniteAndHugeValuesAreConvertErrors) {
  for (double bad :
       {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(), 1e300, -1e300}) {
    EXPECT_THROW(DateTimeToMilliseconds(bad), EConvertError) << bad;
    EXPECT_THROW(DecodeDateTime(bad), EConvertError) << bad;
  }
}

TEST(Calendar, RoundTripsAcrossTheWholeRange) {
  struct Case {
    int y, mo, d;
    double expected;  // day number
  };
  const Case cases[] = {
      {1899, 12, 30, 0},    {1900, 1, 1, 2},    {1970, 1, 1, 25569},     {2000, 2, 29, 36585},
      {2024, 2, 29, 45351}, {1, 1, 1, -693593}, {9999, 12, 31, 2958465}, {1600, 3, 1, -109511},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(At(c.y, c.mo, c.d), c.expected) << c.y << "-" << c.mo << "-" << c.d;
    ExpectParts(DecodeDateTime(c.expected), c.y, c.mo, c.d, 0, 0, 0, 0);
  }
  // Every day of a few centuries decodes to the date that encodes it.
  for (std::int64_t day = -693593; day <= 2958465; day += 997) {
    const TDateTimeParts p = DecodeDateTime(static_cast<double>(day));
    EXPECT_EQ(At(p.Year, p.Month, p.Day), static_cast<double>(day));
  }
}

TEST(Calendar, DayCountsFrom1970GoBothWaysBeyondYearsOneTo9999) {
  struct Case {
    std::int64_t year;
    int month, day;
    std::int64_t days;  // since 1 January 1970
  };
  const Case cases[] = {
      {1970, 1, 1, 0},       {1969, 12, 31, -1},      {2000, 2, 29, 11016},   {2000, 3, 1, 11017},
      {1900, 3, 1, -25508},  {1, 1, 1, -719162},      {0, 2, 29, -719469},    {0, 3, 1, -719468},
      {-1, 12, 31, -719529}, {9999, 12, 31, 2932896}, {10000, 1, 1, 2932897}, {-400, 1, 1, -865625},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DaysFromCivil(c.year, c.month, c.day), c.days) << c.year << "-" << c.month;
    int year = 0, month = 0, day = 0;
    CivilFromDays(c.days, year, month, day);
    EXPECT_EQ(std::tie(year, month, day), std::tie(c.year, c.month, c.day)) << c.days;
  }
  // Every 997th day from year -800 to 10800 is a real date that counts back
  // to the same day.
  for (std::int64_t days = -1'011'000; days <= 3'222'000; days += 997) {
    int year = 0, month = 0, day = 0;
    CivilFromDays(days, year, month, day);
    ASSERT_TRUE(month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month)) << days;
    EXPECT_EQ(DaysFromCivil(year, month, day), days);
  }
}

TEST(Calendar, EncodeRejectsFieldsOutOfRange) {
  struct Case {
    int y, mo, d, h, mi, s, ms;
    const char* message;
  };
  const Case cases[] = {
      {0, 1, 1, 0, 0, 0, 0, "Invalid argument to date encode"},
      {10000, 1, 1, 0, 0, 0, 0, "Invalid argument to date encode"},
      {2023, 2, 29, 0, 0, 0, 0, "Invalid argument to date encode"},
      {1900, 2, 29, 0, 0, 0, 0, "Invalid argument to date encode"},
      {2024, 13, 1, 0, 0, 0, 0, "Invalid argument to date encode"},
      {2024, 4, 31, 0, 0, 0, 0, "Invalid argument to date encode"},
      {2024, 1, 1, 24, 0, 0, 0, "Invalid argument to time encode"},
      {2024, 1, 1, 0, 60, 0, 0, "Invalid argument to time encode"},
      {2024, 1, 1, 0, 0, -1, 0, "Invalid argument to time encode"},
      {2024, 1, 1, 0, 0, 0, 1000, "Invalid argument to time encode"},
  };
  for (const Case& c : cases) {
    try {
      EncodeDateTime(c.y, c.mo, c.d, c.h, c.mi, c.s, c.ms);
      ADD_FAILURE() << "no failure for " << c.y << "-" << c.mo << "-" << c.d;
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
}

TEST(Calendar, DecodeRejectsDaysOutsideYearsOneTo9999) {
  EXPECT_THROW(DecodeDateTime(-693594), EConvertError);
  EXPECT_THROW(DecodeDateTime(2958466), EConvertError);
  EXPECT_NO_THROW(DecodeDateTime(2958465.99999));
}

TEST(Calendar, TimeOfDayAndDateComeFromOneCount) {
  // Less than half a millisecond before midnight is the next day.
  const double almostMidnight = At(2025, 5, 14) + (86399999.6 / 86400000.0);
  ExpectParts(DecodeDateTime(almostMidnight), 2025, 5, 15, 0, 0, 0, 0);
  ExpectParts(DecodeDateTime(At(2024, 12, 31, 23, 59, 59, 999)), 2024, 12, 31, 23, 59, 59, 999);
}

TEST(IncHour, MovesWholeMillisecondsWithoutDaylightSaving) {
  struct Case {
    TDateTime from;
    std::int64_t hours;
    TDateTime expected;
  };
  const Case cases[] = {
      {At(2024, 3, 1, 0, 30), -24, At(2024, 2, 29, 0, 30)},
      {At(2025, 1, 1, 10, 0, 0, 250), -24, At(2024, 12, 31, 10, 0, 0, 250)},
      {At(2024, 2, 28, 23), 1, At(2024, 2, 29, 0)},
      {At(1899, 12, 30, 3), -24, At(1899, 12, 29, 3)},
      {At(1899, 12, 29, 6), 24, At(1899, 12, 30, 6)},
      {At(1899, 12, 30, 1), -2, At(1899, 12, 29, 23)},
      {At(1, 1, 2, 5), -24, At(1, 1, 1, 5)},
      {At(2025, 3, 30, 12), -24 * 365, At(2024, 3, 30, 12)},
  };
  for (const Case& c : cases) {
    const TDateTime moved = IncHour(c.from, c.hours);
    EXPECT_EQ(DateTimeToMilliseconds(moved), DateTimeToMilliseconds(c.expected))
        << c.from << " by " << c.hours;
  }
  EXPECT_THROW(IncHour(0, std::numeric_limits<std::int64_t>::max()), EConvertError);
  EXPECT_THROW(IncHour(0, std::numeric_limits<std::int64_t>::min()), EConvertError);
}

TEST(Now, IsTheLocalWallClock) {
  // Independently: the local calendar fields of the same second.
  const std::time_t seconds = std::time(nullptr);
  std::tm local{};
  localtime_r(&seconds, &local);
  const TDateTime expected = EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                            local.tm_hour, local.tm_min, local.tm_sec, 0);
  const std::int64_t difference = DateTimeToMilliseconds(Now()) - DateTimeToMilliseconds(expected);
  EXPECT_GE(difference, 0);
  EXPECT_LT(difference, 3000);
}

TEST(Now, IsTheLocalClockToTheMillisecond) {
  const TDateTime before = Now();
  const TDateTime after = Now();
  EXPECT_LE(DateTimeToMilliseconds(before), DateTimeToMilliseconds(after));
  const TDateTimeParts p = DecodeDateTime(before);
  EXPECT_GE(p.Year, 2024);
  // Already whole milliseconds.
  EXPECT_EQ(JoinDateTime(SplitDateTime(before).Day, SplitDateTime(before).MillisecondOfDay),
            before);
}

}  // namespace
}  // namespace kestrava
