#include "cli/CliArguments.h"

#include <span>
#include <string>

#include "base/Ascii.h"
#include "base/Exception.h"
#include "cli/Commands.h"

namespace kestrava::cli {
namespace {

bool Digits(std::string_view text, std::size_t from, std::size_t count, int& value) {
  if (from + count > text.size()) return false;
  value = 0;
  for (std::size_t i = from; i < from + count; ++i) {
    if (!IsAsciiDigit(text[i])) return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

}  // namespace

std::optional<TDateTime> ParseLocalTime(std::string_view t, std::string* problem) {
  if (problem != nullptr) *problem = "needs a local time YYYY-MM-DDTHH:MM[:SS[.mmm]]";
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
  if (t.size() != 16 && t.size() != 19 && t.size() != 23) return std::nullopt;
  if (!Digits(t, 0, 4, year) || t[4] != '-' || !Digits(t, 5, 2, month) || t[7] != '-' ||
      !Digits(t, 8, 2, day) || t[10] != 'T' || !Digits(t, 11, 2, hour) || t[13] != ':' ||
      !Digits(t, 14, 2, minute)) {
    return std::nullopt;
  }
  if (t.size() >= 19 && (t[16] != ':' || !Digits(t, 17, 2, second))) return std::nullopt;
  if (t.size() == 23 && (t[19] != '.' || !Digits(t, 20, 3, millisecond))) return std::nullopt;
  try {
    return EncodeDateTime(year, month, day, hour, minute, second, millisecond);
  } catch (const EConvertError&) {
    // The shape is right; the fields name no real date or time of day.
    const bool dateFits =
        year >= 1 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
    if (problem != nullptr)
      *problem = dateFits ? "needs a time of day from 00:00:00.000 to 23:59:59.999"
                          : "needs a date that exists in years 0001 to 9999";
    return std::nullopt;
  }
}

namespace {

// What the command, its arguments and the options allow together; "" when
// they are right.
std::string CheckCommand(CliArguments& parsed, const OptionsRead& read,
                         std::span<const Option> options) {
  if (read.arguments.empty()) return "no command given";
  parsed.command = read.arguments[0];
  const Command* command = FindCommand(parsed.command);
  if (command == nullptr) return "unknown command \"" + parsed.command + "\"";
  parsed.arguments.assign(read.arguments.begin() + 1, read.arguments.end());
  if (parsed.arguments.size() > command->arguments)
    return "too many arguments for " + parsed.command;
  if (parsed.secret && parsed.secretFile)
    return "give the secret either with --secret or with --secret-file, not both";
  if (parsed.keyring && (parsed.secret || parsed.secretFile))
    return "--keyring reads the secret from the keyring: give no --secret or --secret-file "
           "with it";
  std::string misplaced = CheckCommandOptions(options, read.given, parsed.command);
  if (!misplaced.empty() || command->check == nullptr) return misplaced;
  return command->check(parsed);
}

}  // namespace

CliArguments ParseArguments(const std::vector<std::string>& args) {
  CliArguments parsed;
  const std::vector<Option> options = CliOptions(parsed);
  const OptionsRead read = ReadOptions(options, args);
  parsed.error = read.error;
  parsed.givenOptions = read.given;
  if (parsed.error.empty() && !parsed.help && !parsed.version)
    parsed.error = CheckCommand(parsed, read, options);
  return parsed;
}

}  // namespace kestrava::cli
