#include <array>
#include <cstdio>
#include <string>
#include <string_view>

#include "datetime/FormatSettings.h"

namespace kestrava {
namespace {

constexpr std::array<std::string_view, 12> kLongMonthNames = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};
constexpr std::array<std::string_view, 7> kLongDayNames = {
    "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

void AppendNumber(std::string& out, long long number, int minimumDigits) {
  char buffer[32];
  const int length = std::snprintf(buffer, sizeof buffer, "%0*lld", minimumDigits, number);
  out.append(buffer, static_cast<std::size_t>(length));
}

// 0 = Sunday; day 0 (30 December 1899) was a Saturday.
int DayOfWeek(TDateTime value) {
  const std::int64_t day = SplitDateTime(value).Day;
  return static_cast<int>(((day + 6) % 7 + 7) % 7);
}

class Formatter {
 public:
  Formatter(TDateTime value, const TFormatSettings& settings)
      : value_(value), settings_(settings), parts_(DecodeDateTime(value)) {}

  void Run(std::string_view format, std::string& out, int depth) {
    char lastLetterToken = 0;
    std::size_t i = 0;
    while (i < format.size()) {
      const char c = format[i];
      if (c == '"' || c == '\'') {
        // Quoted text is copied without its quotes; an unclosed quote runs
        // to the end of the format.
        const std::size_t close = format.find(c, i + 1);
        const std::size_t end = close == std::string_view::npos ? format.size() : close;
        out.append(format.substr(i + 1, end - i - 1));
        i = end == format.size() ? end : end + 1;
        continue;
      }
      if (!IsLetter(c)) {
        if (c == ':') {
          out += settings_.TimeSeparator;
        } else if (c == '/') {
          out += settings_.DateSeparator;
        } else {
          out += c;
        }
        ++i;
        continue;
      }
      char token = Upper(c);
      std::size_t run = 1;
      while (i + run < format.size() && Upper(format[i + run]) == token) ++run;
      const std::string_view letters = format.substr(i, run);
      i += run;
      if (token == 'M' && lastLetterToken == 'H') token = 'N';
      lastLetterToken = token;
      const int count = static_cast<int>(run > 8 ? 8 : run);
      WriteToken(token, count, letters, out, depth);
    }
  }

 private:
  void WriteToken(char token, int count, std::string_view letters, std::string& out, int depth) {
    switch (token) {
      case 'Y':
        if (count <= 2) {
          AppendNumber(out, parts_.Year % 100, 2);
        } else {
          AppendNumber(out, parts_.Year, 4);
        }
        break;
      case 'M':
        if (count <= 2) {
          AppendNumber(out, parts_.Month, count);
        } else {
          const std::string_view name = kLongMonthNames[static_cast<std::size_t>(parts_.Month - 1)];
          out.append(count == 3 ? name.substr(0, 3) : name);
        }
        break;
      case 'D':
        if (count <= 2) {
          AppendNumber(out, parts_.Day, count);
        } else if (count <= 4) {
          const std::string_view name = kLongDayNames[static_cast<std::size_t>(DayOfWeek(value_))];
          out.append(count == 3 ? name.substr(0, 3) : name);
        } else if (depth == 0) {
          Run(settings_.ShortDateFormat, out, depth + 1);
        }
        break;
      case 'H':
        AppendNumber(out, parts_.Hour, count > 2 ? 2 : count);
        break;
      case 'N':
        AppendNumber(out, parts_.Minute, count > 2 ? 2 : count);
        break;
      case 'S':
        AppendNumber(out, parts_.Second, count > 2 ? 2 : count);
        break;
      case 'Z':
        AppendNumber(out, parts_.Millisecond, count > 3 ? 3 : count);
        break;
      default:
        // Letters this system gives no meaning to are copied as they stand.
        out.append(letters);
        break;
    }
  }

  TDateTime value_;
  const TFormatSettings& settings_;
  TDateTimeParts parts_;
};

}  // namespace

std::string FormatDateTime(std::string_view format, TDateTime value,
                           const TFormatSettings& settings) {
  std::string out;
  out.reserve(format.size() + 8);
  Formatter(value, settings).Run(format, out, 0);
  return out;
}

}  // namespace kestrava
