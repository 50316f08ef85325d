#include "sandbox/CivilTime.h"

#include <sys/time.h>
#include <time.h>

#include <cstdio>

#include "base/Ascii.h"
#include "datetime/DateTime.h"

namespace kestrava::sandbox {

LocalMillis ToLocalMillis(int year, int month, int day, int hour, int minute, int second,
                          int millisecond) noexcept {
  return DaysFromCivil(year, month, day) * kMillisPerDay +
         ((hour * 60LL + minute) * 60LL + second) * 1000LL + millisecond;
}

LocalMillis LocalNow() {
  timeval now{};
  gettimeofday(&now, nullptr);
  tm local{};
  const time_t seconds = now.tv_sec;
  localtime_r(&seconds, &local);
  return ToLocalMillis(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                       local.tm_min, local.tm_sec, static_cast<int>(now.tv_usec / 1000));
}

std::int64_t DayOf(LocalMillis time) noexcept {
  return time >= 0 ? time / kMillisPerDay : -((-time + kMillisPerDay - 1) / kMillisPerDay);
}

namespace {

bool Digits(std::string_view text, std::size_t at, std::size_t count, int& value) {
  value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (!IsAsciiDigit(text[i])) return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

}  // namespace

std::optional<LocalMillis> ParseQueryDateTime(std::string_view text) {
  // 0123456789012345678901234
  // YYYY-MM-DDTHH:MM:SS.mmmZ
  if (text.size() != 24 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
      IsAsciiDigit(text[13]) || IsAsciiDigit(text[16]) || text[19] != '.' || text[23] != 'Z')
    return std::nullopt;
  int year, month, day, hour, minute, second, millisecond;
  if (!Digits(text, 0, 4, year) || !Digits(text, 5, 2, month) || !Digits(text, 8, 2, day) ||
      !Digits(text, 11, 2, hour) || !Digits(text, 14, 2, minute) || !Digits(text, 17, 2, second) ||
      !Digits(text, 20, 3, millisecond))
    return std::nullopt;
  if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59)
    return std::nullopt;
  int checkYear, checkMonth, checkDay;
  CivilFromDays(DaysFromCivil(year, month, day), checkYear, checkMonth, checkDay);
  if (checkMonth != month || checkDay != day) return std::nullopt;  // e.g. 31 April
  return ToLocalMillis(year, month, day, hour, minute, second, millisecond);
}

std::string FormatDate(LocalMillis time) {
  int year, month, day;
  CivilFromDays(DayOf(time), year, month, day);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", year, month, day);
  return buffer;
}

std::string FormatDateTime(LocalMillis time) {
  const LocalMillis inDay = time - DayOf(time) * kMillisPerDay;
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%sT%02d:%02d:%02d.%03dZ", FormatDate(time).c_str(),
                static_cast<int>(inDay / 3'600'000), static_cast<int>(inDay / 60'000 % 60),
                static_cast<int>(inDay / 1000 % 60), static_cast<int>(inDay % 1000));
  return buffer;
}

}  // namespace kestrava::sandbox
