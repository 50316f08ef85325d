#include "datetime/DateTime.h"

#include <cmath>
#include <ctime>
#include <limits>
#include <string>

#include "base/Exception.h"

namespace kestrava {
namespace {

// Day numbers of 1 January 0001 and 31 December 9999.
constexpr std::int64_t kFirstDay = -693593;
constexpr std::int64_t kLastDay = 2958465;
// 1 January 1970 as a day number.
constexpr std::int64_t kUnixEpochDay = 25569;
// Larger magnitudes cannot be whole milliseconds of any representable date.
constexpr double kMaxMilliseconds = 4.0e18;

[[noreturn]] void ThrowOutOfRange(TDateTime value) {
  throw EConvertError("Date-time value out of range (years 1 to 9999): " + std::to_string(value));
}

}  // namespace

bool IsLeapYear(int year) noexcept {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) noexcept {
  static constexpr int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDaysInMonth[month - 1];
}

// Howard Hinnant's algorithms, on eras of 400 years that start on 1 March
// (so a leap day ends its year).
void CivilFromDays(std::int64_t days, int& year, int& month, int& day) noexcept {
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
  month = static_cast<int>(m);
  day = static_cast<int>(d);
}

std::int64_t DaysFromCivil(std::int64_t year, int month, int day) noexcept {
  const std::int64_t y = year - (month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t mp = month > 2 ? month - 3 : month + 9;
  const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

std::int64_t DateTimeToMilliseconds(TDateTime value) {
  const double scaled = value * static_cast<double>(kMSecsPerDay);
  if (!std::isfinite(scaled) || std::fabs(scaled) > kMaxMilliseconds) ThrowOutOfRange(value);
  // Round to nearest, ties to even, independent of the floating-point
  // rounding mode: floor and the difference below are exact.
  const double below = std::floor(scaled);
  const double fraction = scaled - below;
  auto count = static_cast<std::int64_t>(below);
  if (fraction > 0.5 || (fraction == 0.5 && count % 2 != 0)) ++count;
  return count;
}

TDayAndTime SplitDateTime(TDateTime value) {
  const std::int64_t count = DateTimeToMilliseconds(value);
  if (count >= 0) return {count / kMSecsPerDay, count % kMSecsPerDay};
  const std::int64_t magnitude = -count;
  return {-(magnitude / kMSecsPerDay), magnitude % kMSecsPerDay};
}

TDateTime JoinDateTime(std::int64_t day, std::int64_t millisecondOfDay) {
  const double time = static_cast<double>(millisecondOfDay) / static_cast<double>(kMSecsPerDay);
  return day >= 0 ? static_cast<double>(day) + time : static_cast<double>(day) - time;
}

TDateTimeParts DecodeDateTime(TDateTime value) {
  const TDayAndTime split = SplitDateTime(value);
  if (split.Day < kFirstDay || split.Day > kLastDay) ThrowOutOfRange(value);
  TDateTimeParts parts{};
  CivilFromDays(split.Day - kUnixEpochDay, parts.Year, parts.Month, parts.Day);
  std::int64_t ms = split.MillisecondOfDay;
  parts.Millisecond = static_cast<int>(ms % 1000);
  ms /= 1000;
  parts.Second = static_cast<int>(ms % 60);
  ms /= 60;
  parts.Minute = static_cast<int>(ms % 60);
  parts.Hour = static_cast<int>(ms / 60);
  return parts;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month)) {
    throw EConvertError("Invalid argument to date encode");
  }
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
      millisecond < 0 || millisecond > 999) {
    throw EConvertError("Invalid argument to time encode");
  }
  const std::int64_t dayNumber = DaysFromCivil(year, month, day) + kUnixEpochDay;
  const std::int64_t ms = ((hour * 60LL + minute) * 60 + second) * 1000 + millisecond;
  return JoinDateTime(dayNumber, ms);
}

TDateTime Now() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return LocalDateTimeOf(now.tv_sec, static_cast<int>(now.tv_nsec / 1'000'000));
}

TDateTime LocalDateTimeOf(std::int64_t secondsSinceEpoch, int millisecond) {
  const auto seconds = static_cast<std::time_t>(secondsSinceEpoch);
  std::tm local{};
  localtime_r(&seconds, &local);
  return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                        local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec, millisecond);
}

TDateTime IncHour(TDateTime value, std::int64_t hours) {
  const TDayAndTime split = SplitDateTime(value);
  // One linear millisecond count: the day number scaled plus the (never
  // negative) millisecond of the day.
  std::int64_t offset = 0;
  std::int64_t count = 0;
  if (__builtin_mul_overflow(hours, std::int64_t{3'600'000}, &offset) ||
      __builtin_add_overflow(split.Day * kMSecsPerDay + split.MillisecondOfDay, offset, &count) ||
      std::fabs(static_cast<double>(count)) > kMaxMilliseconds) {
    throw EConvertError("Date-time value out of range (years 1 to 9999): " + std::to_string(value) +
                        " moved by " + std::to_string(hours) + " hours");
  }
  std::int64_t day = count / kMSecsPerDay;
  std::int64_t ms = count % kMSecsPerDay;
  if (ms < 0) {
    ms += kMSecsPerDay;
    --day;
  }
  return JoinDateTime(day, ms);
}

}  // namespace kestrava
