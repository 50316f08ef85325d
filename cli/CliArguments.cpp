#include "cli/CliArguments.h"

#include <charconv>
#include <string>

#include "base/Ascii.h"
#include "base/Exception.h"

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

namespace {

// The value of an option that takes a whole number in [low, high].
bool ParseBounded(const std::string& name, const std::string& value, int low, int high,
                  const char* unit, int& target, std::string& error) {
  int parsed = 0;
  if (ParseInt(value, parsed) && parsed >= low && parsed <= high) {
    target = parsed;
    return true;
  }
  error = "option " + name + " needs a whole number" + unit + " from " + std::to_string(low) +
          " to " + std::to_string(high) + ", not \"" + value + "\"";
  return false;
}

std::optional<OutputFormat> FormatNamed(std::string_view name) {
  if (name == "display") return OutputFormat::Display;
  if (name == "compact") return OutputFormat::Compact;
  if (name == "ndjson") return OutputFormat::Ndjson;
  if (name == "csv") return OutputFormat::Csv;
  return std::nullopt;
}

bool TakesValue(std::string_view name) {
  for (const char* option :
       {"--host", "--id", "--secret", "--secret-file", "--format", "--output", "--from", "--to",
        "--last", "--account", "--retry", "--retry-max-time", "--timeout"}) {
    if (name == option) return true;
  }
  return false;
}

// Stores the value of an option that takes one; false with `error` set.
bool SetValue(CliArguments& parsed, const std::string& name, const std::string& value,
              std::string& error) {
  if (name == "--host") {
    if (value.empty()) {
      error = "option --host needs a host name";
      return false;
    }
    parsed.host = value;
  } else if (name == "--id") {
    parsed.id = value;
  } else if (name == "--secret") {
    parsed.secret = value;
  } else if (name == "--secret-file" || name == "--output") {
    if (value.empty()) {
      error = "option " + name + " needs a file name";
      return false;
    }
    (name == "--output" ? parsed.output : parsed.secretFile) = value;
  } else if (name == "--format") {
    const std::optional<OutputFormat> format = FormatNamed(value);
    if (!format) {
      error = "option --format needs display, compact, ndjson or csv, not \"" + value + "\"";
      return false;
    }
    parsed.format = *format;
  } else if (name == "--account") {
    return ParseBounded(name, value, 1, 2147483647, "", parsed.account, error);
  } else if (name == "--retry") {
    return ParseBounded(name, value, 0, MaxRetries, "", parsed.retries, error);
  } else if (name == "--retry-max-time") {
    return ParseBounded(name, value, 0, MaxSeconds, " of seconds", parsed.retryMaxTimeSeconds,
                        error);
  } else if (name == "--timeout") {
    return ParseBounded(name, value, 1, MaxSeconds, " of seconds", parsed.timeoutSeconds, error);
  } else if (name == "--last") {
    int hours = 0;
    if (!ParseBounded(name, value, 0, MaxLastHours, " of hours", hours, error)) return false;
    parsed.lastHours = hours;
  } else {
    std::string problem;
    const std::optional<TDateTime> time = ParseLocalTime(value, &problem);
    if (!time) {
      error = "option " + name + " " + problem + ", not \"" + value + "\"";
      return false;
    }
    (name == "--from" ? parsed.from : parsed.to) = time;
  }
  return true;
}

// What the command and its arguments allow together.
bool CheckCommand(CliArguments& parsed, const std::vector<std::string>& positional,
                  std::string& error) {
  if (positional.empty()) {
    error = "no command given";
    return false;
  }
  parsed.command = positional[0];
  const bool isFormat = parsed.command == "format";
  if (parsed.command != "login" && parsed.command != "accounts" &&
      parsed.command != "transactions" && !isFormat) {
    error = "unknown command \"" + parsed.command + "\"";
    return false;
  }
  if (positional.size() > (isFormat ? 2u : 1u)) {
    error = "too many arguments for " + parsed.command;
    return false;
  }
  if (isFormat && positional.size() == 2) parsed.file = positional[1];
  if (parsed.secret && parsed.secretFile) {
    error = "give the secret either with --secret or with --secret-file, not both";
    return false;
  }
  const bool range = parsed.from || parsed.to;
  if (parsed.command != "transactions") {
    if (range || parsed.lastHours || parsed.account != 0) {
      error = "--from, --to, --last and --account belong to the transactions command";
      return false;
    }
    return true;
  }
  if (parsed.lastHours && range) {
    error = "give the range either with --from and --to or with --last, not both";
    return false;
  }
  if (!parsed.lastHours && (!parsed.from || !parsed.to)) {
    error = "transactions needs --from and --to, or --last";
    return false;
  }
  return true;
}

}  // namespace

std::optional<CliArguments> ParseArguments(const std::vector<std::string>& args,
                                           std::string& error) {
  CliArguments parsed;
  std::vector<std::string> positional;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    if (optionsEnded || name == "-" || name.empty() || name[0] != '-') {
      positional.push_back(name);
      continue;
    }
    if (name == "--") {
      optionsEnded = true;
      continue;
    }
    std::optional<std::string> inlineValue;
    if (name.rfind("--", 0) == 0) {
      const std::size_t eq = name.find('=');
      if (eq != std::string::npos) {
        inlineValue = name.substr(eq + 1);
        name.resize(eq);
      }
    }
    if (TakesValue(name)) {
      std::string value;
      if (inlineValue) {
        value = *inlineValue;
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        error = "option " + name + " needs a value";
        return std::nullopt;
      }
      if (!SetValue(parsed, name, value, error)) return std::nullopt;
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
      parsed.format = OutputFormat::Compact;
    } else {
      error = "unknown option " + name;
      return std::nullopt;
    }
  }
  if (parsed.help || parsed.version) return parsed;
  if (!CheckCommand(parsed, positional, error)) return std::nullopt;
  return parsed;
}

}  // namespace kestrava::cli
