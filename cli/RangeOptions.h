#pragma once

// The time range of a command that reads records of a span of time: --from
// and --to (each a local time or a date alone), --day (a date, "today" or
// "yesterday") or --last HOURS. A command takes them by listing its name
// in the rows that RangeOptions makes, checking them with CheckRange and
// reading the range with ResolveRange when it runs:
//
//   rows:  RangeOptions(into.range, {"transactions", "history"}, {"sync"})
//   check: CheckRange(args.range, "transactions")   // in the command's check
//          (with `optional` for a command that reads everything without one)
//   run:   const TimeRange range = ResolveRange(args.range, env.now);
//
// A command that takes a start alone reads `range.from` as it is.
//
// Every form ends in two local wall-clock times; the service receives them
// as they are, with "Z" appended.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Options.h"
#include "datetime/DateTime.h"

namespace kestrava::cli {

// --day: a date of its own, or a day counted from the date of now.
struct DayArgument {
  std::optional<TDateTime> date;  // its midnight
  int daysFromToday = 0;          // 0: today, -1: yesterday
};

struct RangeArguments {
  std::optional<TDateTime> from, to;
  std::optional<int> lastHours;
  std::optional<DayArgument> day;
};

// The rows of --from, --to, --last and --day, storing into `into`, that
// belong to `commands`. --from belongs to `startOnly` too: the commands
// that read from a start up to now and take no other range option.
std::vector<Option> RangeOptions(RangeArguments& into, std::vector<std::string_view> commands,
                                 const std::vector<std::string_view>& startOnly = {});

// What the range options given allow together, for `command`; "" when they
// are right. A command whose range is `optional` may be given none.
std::string CheckRange(const RangeArguments& range, std::string_view command,
                       bool optional = false);

// Whether any of the range options was given.
bool HasRange(const RangeArguments& range);

struct TimeRange {
  TDateTime from, to;
};

// The two ends of a range that CheckRange found right, reading `now` once
// at most (for --day today or yesterday and for --last).
TimeRange ResolveRange(const RangeArguments& range, const std::function<TDateTime()>& now);

// "YYYY-MM-DDTHH:MM[:SS[.mmm]]" as a local date-time; none when malformed or
// out of range, with what is wrong in `problem` ("needs ...") when given.
std::optional<TDateTime> ParseLocalTime(std::string_view text, std::string* problem = nullptr);

// "YYYY-MM-DD" as the midnight that starts that day; none otherwise.
std::optional<TDateTime> ParseLocalDate(std::string_view text);

inline constexpr int kMaxLastHours = 876'000;  // 100 years

}  // namespace kestrava::cli
