#include "store/StoreTime.h"

#include <cstdio>

#include "base/Ascii.h"
#include "store/Store.h"

namespace kestrava::store {
namespace {

// Reads exactly `count` digits at `at`, moving past them.
bool Digits(std::string_view text, std::size_t& at, std::size_t count, int& value) {
  if (text.size() - at < count) return false;
  value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (!IsAsciiDigit(text[at + i])) return false;
    value = value * 10 + (text[at + i] - '0');
  }
  at += count;
  return true;
}

bool Char(std::string_view text, std::size_t& at, char wanted) {
  if (at >= text.size() || text[at] != wanted) return false;
  ++at;
  return true;
}

bool Valid(const TDateTimeParts& p) {
  return p.Year >= 1 && p.Month >= 1 && p.Month <= 12 && p.Day >= 1 &&
         p.Day <= DaysInMonth(p.Year, p.Month) && p.Hour <= 23 && p.Minute <= 59 && p.Second <= 59;
}

std::string Format(const TDateTimeParts& p) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", p.Year, p.Month, p.Day,
                p.Hour, p.Minute, p.Second, p.Millisecond);
  return text;
}

// "YYYY-MM-DD" at the start of the text.
bool Date(std::string_view text, std::size_t& at, TDateTimeParts& p) {
  return Digits(text, at, 4, p.Year) && Char(text, at, '-') && Digits(text, at, 2, p.Month) &&
         Char(text, at, '-') && Digits(text, at, 2, p.Day);
}

}  // namespace

std::string TimeText(TDateTime value) {
  try {
    return Format(DecodeDateTime(value));
  } catch (const Exception& e) {
    throw EStoreError(e.Message());
  }
}

std::optional<TDateTime> TimeFromText(std::string_view text) {
  TDateTimeParts p{};
  std::size_t at = 0;
  if (!Date(text, at, p) || !Char(text, at, 'T') || !Digits(text, at, 2, p.Hour) ||
      !Char(text, at, ':') || !Digits(text, at, 2, p.Minute) || !Char(text, at, ':') ||
      !Digits(text, at, 2, p.Second) || !Char(text, at, '.') ||
      !Digits(text, at, 3, p.Millisecond) || at != text.size() || !Valid(p))
    return std::nullopt;
  return EncodeDateTime(p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second, p.Millisecond);
}

std::int64_t WallClockMilliseconds(TDateTime value) {
  constexpr std::int64_t kUnixEpochDay = 25569;  // 1970-01-01 as a day count
  try {
    return DateTimeToMilliseconds(value) - kUnixEpochDay * kMSecsPerDay;
  } catch (const Exception& e) {
    throw EStoreError(e.Message());
  }
}

std::optional<TDateTime> BookingTime(std::string_view text) {
  TDateTimeParts p{};
  std::size_t at = 0;
  if (!Date(text, at, p)) return std::nullopt;
  if (at < text.size()) {
    if (text[at] != 'T' && text[at] != 't' && text[at] != ' ') return std::nullopt;
    ++at;
    if (!Digits(text, at, 2, p.Hour) || !Char(text, at, ':') || !Digits(text, at, 2, p.Minute))
      return std::nullopt;
    if (Char(text, at, ':')) {
      if (!Digits(text, at, 2, p.Second)) return std::nullopt;
      if (Char(text, at, '.')) {
        std::size_t digits = 0;
        for (; at < text.size() && IsAsciiDigit(text[at]); ++at, ++digits)
          if (digits < 3) p.Millisecond = p.Millisecond * 10 + (text[at] - '0');
        if (digits == 0) return std::nullopt;
        for (; digits < 3; ++digits) p.Millisecond *= 10;
      }
    }
    if (at < text.size() && (text[at] == 'Z' || text[at] == 'z')) {
      ++at;
    } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
      ++at;
      int hours = 0, minutes = 0;
      if (!Digits(text, at, 2, hours) || !Char(text, at, ':') || !Digits(text, at, 2, minutes) ||
          hours > 23 || minutes > 59)
        return std::nullopt;
    }
  }
  if (at != text.size() || !Valid(p)) return std::nullopt;
  return EncodeDateTime(p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second, p.Millisecond);
}

}  // namespace kestrava::store
