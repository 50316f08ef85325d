#pragma once

// Date-time values: a double day count (30 December 1899 = 0, local time,
// the fraction being the time of day), handled at whole milliseconds.

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrava {

using TDateTime = double;

inline constexpr std::int64_t kMSecsPerDay = 86'400'000;

// Nearest whole millisecond count (an exact half goes to the even neighbour).
std::int64_t DateTimeToMilliseconds(TDateTime value);
// Day number and millisecond of the day; for negative counts the magnitude
// is split and the day negated, so the millisecond of the day is never negative.
struct TDayAndTime {
  std::int64_t Day;
  std::int64_t MillisecondOfDay;
};
TDayAndTime SplitDateTime(TDateTime value);
TDateTime JoinDateTime(std::int64_t day, std::int64_t millisecondOfDay);

struct TDateTimeParts {
  int Year, Month, Day, Hour, Minute, Second, Millisecond;
};
// Proleptic Gregorian calendar; month from 1 to 12.
bool IsLeapYear(int year) noexcept;
int DaysInMonth(int year, int month) noexcept;
// Days since 1 January 1970 of a proleptic Gregorian date, and the date of
// such a day count; for any year (0 and below too), without a range check.
std::int64_t DaysFromCivil(std::int64_t year, int month, int day) noexcept;
void CivilFromDays(std::int64_t days, int& year, int& month, int& day) noexcept;

// Proleptic Gregorian, years 1 to 9999.
TDateTimeParts DecodeDateTime(TDateTime value);
// Throws EConvertError for fields out of range.
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond);

// The current local date and time to the millisecond.
TDateTime Now();
// The local date and time (the process's time zone) of a moment: whole
// seconds since 1970-01-01 00:00 UTC and the millisecond within the second.
TDateTime LocalDateTimeOf(std::int64_t secondsSinceEpoch, int millisecond);
// Moves the value by hours * 3600000 ms on whole milliseconds; no
// daylight-saving adjustment.
TDateTime IncHour(TDateTime value, std::int64_t hours);

}  // namespace kestrava
