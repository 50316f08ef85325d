#include "output/XlsxCells.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

#include "base/Ascii.h"

namespace kestrava {
namespace {

constexpr int kMaxSignificantDigits = 15;  // what a spreadsheet keeps of a number
constexpr int kMaxDecimals = 30;           // what its number formats show
constexpr int kExponentLimit = 100'000;    // beyond any double

std::size_t SkipDigits(std::string_view text, std::size_t at) {
  while (at < text.size() && IsAsciiDigit(text[at])) ++at;
  return at;
}

bool Field(std::string_view text, std::size_t at, std::size_t count, int& value) {
  if (at + count > text.size()) return false;
  value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (!IsAsciiDigit(text[i])) return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

bool IsEscapeLike(std::string_view text, std::size_t at) {
  return text.size() - at >= 7 && text[at + 1] == 'x' && IsHexDigit(text[at + 2]) &&
         IsHexDigit(text[at + 3]) && IsHexDigit(text[at + 4]) && IsHexDigit(text[at + 5]) &&
         text[at + 6] == '_';
}

}  // namespace

std::optional<XlsxNumber> ReadXlsxNumber(std::string_view text) {
  std::size_t at = 0;
  if (at < text.size() && text[at] == '-') ++at;
  const std::size_t integerStart = at;
  at = SkipDigits(text, at);
  const std::string_view integer = text.substr(integerStart, at - integerStart);
  if (integer.empty()) return std::nullopt;
  std::string_view fraction;
  if (at < text.size() && text[at] == '.') {
    const std::size_t start = ++at;
    at = SkipDigits(text, at);
    fraction = text.substr(start, at - start);
    if (fraction.empty()) return std::nullopt;
  }
  long exponent = 0;
  const bool hasExponent = at < text.size() && (text[at] == 'e' || text[at] == 'E');
  if (hasExponent) {
    ++at;
    const bool negative = at < text.size() && text[at] == '-';
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
    const std::size_t start = at;
    for (; at < text.size() && IsAsciiDigit(text[at]); ++at)
      exponent = std::min<long>(exponent * 10 + (text[at] - '0'), kExponentLimit);
    if (at == start) return std::nullopt;
    if (negative) exponent = -exponent;
  }
  if (at != text.size()) return std::nullopt;

  // The significant digits: those between the first and the last that is
  // not zero.
  std::string digits(integer);
  digits += fraction;
  const std::size_t first = digits.find_first_not_of('0');
  const int significant =
      first == std::string::npos ? 0 : static_cast<int>(digits.find_last_not_of('0') - first + 1);
  if (significant > kMaxSignificantDigits) return std::nullopt;
  const long decimals = std::max<long>(0, static_cast<long>(fraction.size()) - exponent);
  if (decimals > kMaxDecimals) return std::nullopt;

  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) ||
      (value == 0 && significant > 0)) {
    return std::nullopt;
  }
  std::size_t width = text.size();
  if (hasExponent) {
    const int shown = std::snprintf(nullptr, 0, "%.*f", static_cast<int>(decimals), value);
    width = shown > 0 ? static_cast<std::size_t>(shown) : text.size();
  }
  return XlsxNumber{value, static_cast<int>(decimals), width};
}

std::optional<XlsxDate> ReadXlsxDate(std::string_view text) {
  XlsxDate date{};
  if (text.size() < 10 || !Field(text, 0, 4, date.year) || text[4] != '-' ||
      !Field(text, 5, 2, date.month) || text[7] != '-' || !Field(text, 8, 2, date.day)) {
    return std::nullopt;
  }
  if (date.year < 1900 || date.month < 1 || date.month > 12 || date.day < 1 ||
      date.day > DaysInMonth(date.year, date.month)) {
    return std::nullopt;
  }
  if (text.size() == 10) {
    date.format = "yyyy-mm-dd";
    return date;
  }
  if (text.back() == 'Z') text.remove_suffix(1);
  if (text.size() < 16 || text[10] != 'T' || !Field(text, 11, 2, date.hour) || text[13] != ':' ||
      !Field(text, 14, 2, date.minute) || date.hour > 23 || date.minute > 59) {
    return std::nullopt;
  }
  date.hasTime = true;
  date.format = "yyyy-mm-dd hh:mm";
  if (text.size() == 16) return date;
  if (text.size() < 19 || text[16] != ':' || !Field(text, 17, 2, date.second) || date.second > 59) {
    return std::nullopt;
  }
  date.format = "yyyy-mm-dd hh:mm:ss";
  if (text.size() == 19) return date;
  const std::size_t fraction = text.size() - 20;
  if (text[19] != '.' || fraction < 1 || fraction > 3 ||
      !Field(text, 20, fraction, date.millisecond)) {
    return std::nullopt;
  }
  for (std::size_t i = fraction; i < 3; ++i) date.millisecond *= 10;
  static constexpr std::string_view kFractionFormats[] = {
      "yyyy-mm-dd hh:mm:ss.0", "yyyy-mm-dd hh:mm:ss.00", "yyyy-mm-dd hh:mm:ss.000"};
  date.format = kFractionFormats[fraction - 1];
  return date;
}

std::string EscapeXlsxText(std::string_view text) {
  if (text.find_first_of(std::string_view("_\0", 2)) == std::string_view::npos)
    return std::string(text);
  std::string escaped;
  escaped.reserve(text.size() + 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\0') {
      escaped += "_x0000_";
    } else if (text[i] == '_' && IsEscapeLike(text, i)) {
      escaped += "_x005F_";
    } else {
      escaped += text[i];
    }
  }
  return escaped;
}

}  // namespace kestrava
