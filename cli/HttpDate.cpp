#include "cli/HttpDate.h"

#include <array>

#include "base/Ascii.h"
#include "base/Exception.h"
#include "datetime/DateTime.h"

namespace kestrava::cli {
namespace {

constexpr std::array<std::string_view, 12> Months = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<std::string_view, 7> Days = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
constexpr std::array<std::string_view, 7> LongDays = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                                      "Friday", "Saturday", "Sunday"};
// The day count of 1970-01-01 in the program's date-time values.
constexpr std::int64_t UnixEpochDay = 25569;

// Reads what the text begins with, step by step.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}
  bool Literal(std::string_view expected) {
    if (!text_.starts_with(expected)) return false;
    text_.remove_prefix(expected.size());
    return true;
  }
  template <std::size_t N>
  bool OneOf(const std::array<std::string_view, N>& names, int* index = nullptr) {
    for (std::size_t i = 0; i < N; ++i) {
      if (Literal(names[i])) {
        if (index != nullptr) *index = static_cast<int>(i);
        return true;
      }
    }
    return false;
  }
  // Exactly `count` digits; a leading space stands for a zero when allowed.
  bool Digits(std::size_t count, int& value, bool spacePadded = false) {
    if (text_.size() < count) return false;
    value = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const char c = text_[i];
      if (spacePadded && i == 0 && c == ' ') continue;
      if (!IsAsciiDigit(c)) return false;
      value = value * 10 + (c - '0');
    }
    text_.remove_prefix(count);
    return true;
  }
  bool Time(int& hour, int& minute, int& second) {
    return Digits(2, hour) && Literal(":") && Digits(2, minute) && Literal(":") &&
           Digits(2, second);
  }
  bool AtEnd() const { return text_.empty(); }

 private:
  std::string_view text_;
};

struct Fields {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

bool ImfFixdate(std::string_view text, Fields& f) {
  Scanner s(text);
  return s.OneOf(Days) && s.Literal(", ") && s.Digits(2, f.day) && s.Literal(" ") &&
         s.OneOf(Months, &f.month) && s.Literal(" ") && s.Digits(4, f.year) && s.Literal(" ") &&
         s.Time(f.hour, f.minute, f.second) && s.Literal(" GMT") && s.AtEnd();
}

bool Rfc850Date(std::string_view text, Fields& f) {
  Scanner s(text);
  if (!(s.OneOf(LongDays) && s.Literal(", ") && s.Digits(2, f.day) && s.Literal("-") &&
        s.OneOf(Months, &f.month) && s.Literal("-") && s.Digits(2, f.year) && s.Literal(" ") &&
        s.Time(f.hour, f.minute, f.second) && s.Literal(" GMT") && s.AtEnd()))
    return false;
  f.year += f.year < 70 ? 2000 : 1900;
  return true;
}

bool AsctimeDate(std::string_view text, Fields& f) {
  Scanner s(text);
  return s.OneOf(Days) && s.Literal(" ") && s.OneOf(Months, &f.month) && s.Literal(" ") &&
         s.Digits(2, f.day, true) && s.Literal(" ") && s.Time(f.hour, f.minute, f.second) &&
         s.Literal(" ") && s.Digits(4, f.year) && s.AtEnd();
}

}  // namespace

std::optional<std::int64_t> ParseHttpDate(std::string_view text) {
  Fields f;
  if (!ImfFixdate(text, f) && !Rfc850Date(text, f) && !AsctimeDate(text, f)) return std::nullopt;
  // A leap second counts as the second after it.
  const int leap = f.second == 60 ? 1 : 0;
  try {
    const TDateTime value =
        EncodeDateTime(f.year, f.month + 1, f.day, f.hour, f.minute, f.second - leap, 0);
    return DateTimeToMilliseconds(value) / 1000 - UnixEpochDay * 86400 + leap;
  } catch (const EConvertError&) {
    return std::nullopt;  // no such day or time of day
  }
}

}  // namespace kestrava::cli
