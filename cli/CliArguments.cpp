#include "cli/CliArguments.h"

#include <charconv>
#include <string>

#include "base/Exception.h"

namespace kestrava::cli {
namespace {

bool Digits(std::string_view text, std::size_t from, std::size_t count, int& value) {
  if (from + count > text.size()) return false;
  value = 0;
  for (std::size_t i = from; i < from + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

bool ParseInt(std::string_view text, int& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
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

std::optional<CliArguments> ParseArguments(const std::vector<std::string>& args,
                                           std::string& error) {
  CliArguments parsed;
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> inlineValue;
    if (name.rfind("--", 0) == 0) {
      const std::size_t eq = name.find('=');
      if (eq != std::string::npos) {
        inlineValue = name.substr(eq + 1);
        name.resize(eq);
      }
    }
    const bool takesValue = name == "--host" || name == "--id" || name == "--secret" ||
                            name == "--from" || name == "--to" || name == "--account";
    if (takesValue) {
      std::string value;
      if (inlineValue) {
        value = *inlineValue;
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        error = "option " + name + " needs a value";
        return std::nullopt;
      }
      if (name == "--host") {
        if (value.empty()) {
          error = "option --host needs a host name";
          return std::nullopt;
        }
        parsed.host = value;
      } else if (name == "--id") {
        parsed.id = value;
      } else if (name == "--secret") {
        parsed.secret = value;
      } else if (name == "--account") {
        if (!ParseInt(value, parsed.account)) {
          error = "option --account needs a whole number, not \"" + value + "\"";
          return std::nullopt;
        }
      } else {
        std::string problem;
        const std::optional<TDateTime> time = ParseLocalTime(value, &problem);
        if (!time) {
          error = "option " + name + " " + problem + ", not \"" + value + "\"";
          return std::nullopt;
        }
        (name == "--from" ? parsed.from : parsed.to) = time;
      }
      continue;
    }
    if (inlineValue) {
      error = "option " + name + " takes no value";
      return std::nullopt;
    }
    if (name == "--help" || name == "-h") {
      parsed.help = true;
    } else if (name == "--version") {
      parsed.version = true;
    } else if (name == "--test") {
      parsed.test = true;
    } else if (name == "--compact") {
      parsed.compact = true;
    } else if (name.size() > 1 && name[0] == '-') {
      error = "unknown option " + name;
      return std::nullopt;
    } else {
      positional.push_back(name);
    }
  }
  if (parsed.help || parsed.version) return parsed;

  if (positional.empty()) {
    error = "no command given";
    return std::nullopt;
  }
  parsed.command = positional[0];
  const bool isFormat = parsed.command == "format";
  if (parsed.command != "login" && parsed.command != "accounts" &&
      parsed.command != "transactions" && !isFormat) {
    error = "unknown command \"" + parsed.command + "\"";
    return std::nullopt;
  }
  if (positional.size() > (isFormat ? 2u : 1u)) {
    error = "too many arguments for " + parsed.command;
    return std::nullopt;
  }
  if (isFormat && positional.size() == 2) parsed.file = positional[1];
  const bool isTransactions = parsed.command == "transactions";
  if (isTransactions && (!parsed.from || !parsed.to)) {
    error = "transactions needs --from and --to";
    return std::nullopt;
  }
  if (!isTransactions && (parsed.from || parsed.to || parsed.account != 0)) {
    error = "--from, --to and --account belong to the transactions command";
    return std::nullopt;
  }
  return parsed;
}

}  // namespace kestrava::cli
