#include "cli/RangeOptions.h"

#include <utility>

#include "base/Ascii.h"
#include "base/Exception.h"
#include "datetime/FormatSettings.h"

namespace kestrava::cli {
namespace {

constexpr std::int64_t kLastMillisecondOfDay = kMSecsPerDay - 1;

bool Digits(std::string_view text, std::size_t from, std::size_t count, int& value) {
  if (from + count > text.size()) return false;
  value = 0;
  for (std::size_t i = from; i < from + count; ++i) {
    if (!IsAsciiDigit(text[i])) return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

bool DateFields(std::string_view t, int& year, int& month, int& day) {
  return Digits(t, 0, 4, year) && t.size() >= 10 && t[4] == '-' && Digits(t, 5, 2, month) &&
         t[7] == '-' && Digits(t, 8, 2, day);
}

bool DateExists(int year, int month, int day) {
  return year >= 1 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

constexpr std::string_view kNoSuchDate = "a date that exists in years 0001 to 9999";

// The day that holds `value`, and a time of that day.
TDateTime AtTimeOfDay(TDateTime value, std::int64_t millisecondOfDay) {
  return JoinDateTime(SplitDateTime(value).Day, millisecondOfDay);
}

// --from and --to: a local time, or a date alone that stands for the first
// (`end` false) or the last millisecond of that day.
OptionValue RangeEnd(std::optional<TDateTime>& into, bool end) {
  return OtherValue("T", [&into, end](const std::string& value) -> std::optional<std::string> {
    if (value.size() == 10) {
      const std::optional<TDateTime> day = ParseLocalDate(value);
      int year = 0, month = 0, dayOfMonth = 0;
      if (!day && DateFields(value, year, month, dayOfMonth)) return Needs(kNoSuchDate, value);
      if (day) {
        into = end ? AtTimeOfDay(*day, kLastMillisecondOfDay) : *day;
        return std::nullopt;
      }
    }
    std::string problem;
    const std::optional<TDateTime> time = ParseLocalTime(value, &problem);
    if (!time) {
      if (problem.starts_with("needs a local time")) problem += " or a date YYYY-MM-DD";
      return Needs(std::string_view(problem).substr(6), value);
    }
    into = time;
    return std::nullopt;
  });
}

// --day: a date, "today" or "yesterday" (the words a shell offers).
OptionValue Day(std::optional<DayArgument>& into) {
  OptionValue option =
      OtherValue("DATE", [&into](const std::string& value) -> std::optional<std::string> {
        if (value == "today" || value == "yesterday") {
          into = DayArgument{.date = std::nullopt, .daysFromToday = value == "today" ? 0 : -1};
          return std::nullopt;
        }
        if (const std::optional<TDateTime> day = ParseLocalDate(value)) {
          into = DayArgument{.date = day, .daysFromToday = 0};
          return std::nullopt;
        }
        int year = 0, month = 0, dayOfMonth = 0;
        if (value.size() == 10 && DateFields(value, year, month, dayOfMonth))
          return Needs(kNoSuchDate, value);
        return Needs("a date YYYY-MM-DD, today or yesterday", value);
      });
  option.completion = ValueCompletion::Choice;
  option.choices = {"today", "yesterday"};
  return option;
}

std::string LocalTimeText(TDateTime value) {
  return FormatDateTime("yyyy-mm-dd\"T\"hh:nn:ss.zzz", value, TFormatSettings{});
}

}  // namespace

std::optional<TDateTime> ParseLocalTime(std::string_view t, std::string* problem) {
  if (problem != nullptr) *problem = "needs a local time YYYY-MM-DDTHH:MM[:SS[.mmm]]";
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
  if (t.size() != 16 && t.size() != 19 && t.size() != 23) return std::nullopt;
  if (!DateFields(t, year, month, day) || t[10] != 'T' || !Digits(t, 11, 2, hour) || t[13] != ':' ||
      !Digits(t, 14, 2, minute)) {
    return std::nullopt;
  }
  if (t.size() >= 19 && (t[16] != ':' || !Digits(t, 17, 2, second))) return std::nullopt;
  if (t.size() == 23 && (t[19] != '.' || !Digits(t, 20, 3, millisecond))) return std::nullopt;
  try {
    return EncodeDateTime(year, month, day, hour, minute, second, millisecond);
  } catch (const EConvertError&) {
    // The shape is right; the fields name no real date or time of day.
    if (problem != nullptr)
      *problem = DateExists(year, month, day)
                     ? "needs a time of day from 00:00:00.000 to 23:59:59.999"
                     : "needs " + std::string(kNoSuchDate);
    return std::nullopt;
  }
}

std::optional<TDateTime> ParseLocalDate(std::string_view text) {
  int year = 0, month = 0, day = 0;
  if (text.size() != 10 || !DateFields(text, year, month, day) || !DateExists(year, month, day))
    return std::nullopt;
  return EncodeDateTime(year, month, day, 0, 0, 0, 0);
}

std::vector<Option> RangeOptions(RangeArguments& into, std::vector<std::string_view> commands,
                                 const std::vector<std::string_view>& startOnly) {
  std::vector<std::string_view> starting = commands;
  starting.insert(starting.end(), startOnly.begin(), startOnly.end());
  return {
      {.name = "--from",
       .value = RangeEnd(into.from, false),
       .help = "the start of the range: a local time T, or a date\n"
               "alone for its 00:00:00.000",
       .commands = std::move(starting)},
      {.name = "--to",
       .value = RangeEnd(into.to, true),
       .help = "the end of the range: a local time T, or a date\n"
               "alone for its 23:59:59.999",
       .commands = commands},
      {.name = "--day",
       .value = Day(into.day),
       .help = "the range of one whole day instead of --from and\n"
               "--to: DATE is YYYY-MM-DD, today or yesterday",
       .commands = commands},
      {.name = "--last",
       .value = WholeNumber("HOURS", 1, kMaxLastHours, Into(into.lastHours), "hours"),
       .help = "the range of the last HOURS hours up to now, instead\n"
               "of --from and --to",
       .commands = std::move(commands)},
  };
}

bool HasRange(const RangeArguments& range) {
  return range.from || range.to || range.day || range.lastHours;
}

std::string CheckRange(const RangeArguments& range, std::string_view command, bool optional) {
  const bool fromTo = range.from || range.to;
  if (range.day && (fromTo || range.lastHours))
    return "--day is a whole range: give it without --from, --to and --last";
  if (range.lastHours && fromTo)
    return "give the range either with --from and --to or with --last, not both";
  if (!range.day && !range.lastHours && (!range.from || !range.to) &&
      (!optional || HasRange(range))) {
    return std::string(command) + " needs --from and --to, --day or --last" +
           (optional ? ", or none of them" : "");
  }
  if (range.from && range.to &&
      DateTimeToMilliseconds(*range.from) > DateTimeToMilliseconds(*range.to)) {
    return "the range starts after it ends: --from is " + LocalTimeText(*range.from) + ", --to " +
           LocalTimeText(*range.to);
  }
  return {};
}

TimeRange ResolveRange(const RangeArguments& range, const std::function<TDateTime()>& now) {
  if (range.lastHours) {
    const TDateTime to = now();  // one reading of the clock for both ends
    return {IncHour(to, -*range.lastHours), to};
  }
  if (range.day) {
    const std::int64_t day = range.day->date ? SplitDateTime(*range.day->date).Day
                                             : SplitDateTime(now()).Day + range.day->daysFromToday;
    return {JoinDateTime(day, 0), JoinDateTime(day, kLastMillisecondOfDay)};
  }
  return {range.from.value_or(0), range.to.value_or(0)};
}

}  // namespace kestrava::cli
