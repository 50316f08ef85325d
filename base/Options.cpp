#include "base/Options.h"

#include <algorithm>
#include <charconv>

namespace kestrava {
namespace {

// "a, b and c" (`last` "and") or "a, b or c".
std::string Listed(const std::vector<std::string>& items, std::string_view last) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += i + 1 == items.size() ? " " + std::string(last) + " " : ", ";
    text += items[i];
  }
  return text;
}

const Option* Find(std::span<const Option> options, std::string_view name) {
  for (const Option& option : options) {
    if (option.name == name || (!option.alias.empty() && option.alias == name)) return &option;
  }
  return nullptr;
}

bool BelongsTo(const Option& option, std::string_view command) {
  const auto& commands = option.commands;
  return commands.empty() || std::find(commands.begin(), commands.end(), command) != commands.end();
}

// "--a and --b belong to the x command": `option` and every option that
// belongs to the same commands.
std::string Misplaced(std::span<const Option> options, const Option& option) {
  std::vector<std::string> alike, owners(option.commands.begin(), option.commands.end());
  for (const Option& other : options) {
    if (other.commands == option.commands) alike.emplace_back(other.name);
  }
  return Listed(alike, "and") + (alike.size() == 1 ? " belongs" : " belong") + " to the " +
         Listed(owners, "and") + (owners.size() == 1 ? " command" : " commands");
}

bool IsOption(const std::string& word) {
  return word.size() > 1 && word[0] == '-';
}

// Reads the option at args[at] (and its value, moving `at` past it); the
// mistake otherwise.
std::optional<std::string> ReadOne(std::span<const Option> options,
                                   const std::vector<std::string>& args, std::size_t& at,
                                   OptionsRead& read) {
  std::string name = args[at];
  std::optional<std::string> value;
  if (name.starts_with("--")) {
    if (const std::size_t equals = name.find('='); equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.resize(equals);
    }
  }
  const Option* option = Find(options, name);
  if (option == nullptr) return "unknown option " + name;
  if (option->value.name.empty() && value) return "option " + name + " takes no value";
  if (!option->value.name.empty() && !value) {
    if (at + 1 == args.size()) return "option " + name + " needs a value";
    value = args[++at];
  }
  read.given.push_back(option->name);
  if (auto problem = option->value.store(value.value_or("")))
    return "option " + name + " " + *problem;
  return std::nullopt;
}

}  // namespace

OptionValue NoValue(std::function<void()> set) {
  return {.store = [set = std::move(set)](const std::string&) -> std::optional<std::string> {
    set();
    return std::nullopt;
  }};
}

OptionValue NoValue(bool& given) {
  return NoValue([&given] { given = true; });
}

OptionValue AnyText(std::string_view name, std::function<void(const std::string&)> set,
                    ValueCompletion completion) {
  return {.name = name,
          .completion = completion,
          .store = [set = std::move(set)](const std::string& value) -> std::optional<std::string> {
            set(value);
            return std::nullopt;
          }};
}

OptionValue NonEmptyText(std::string_view name, std::string_view what,
                         std::function<void(const std::string&)> set, ValueCompletion completion) {
  return {.name = name,
          .completion = completion,
          .store = [what = std::string(what),
                    set = std::move(set)](const std::string& value) -> std::optional<std::string> {
            if (value.empty()) return "needs " + what;
            set(value);
            return std::nullopt;
          }};
}

OptionValue WholeNumber(std::string_view name, long long low, long long high,
                        std::function<void(long long)> set, std::string_view unit) {
  std::string what = "a whole number";
  if (!unit.empty()) what += " of " + std::string(unit);
  what += " from " + std::to_string(low) + " to " + std::to_string(high);
  return {.name = name,
          .store = [low, high, what = std::move(what),
                    set = std::move(set)](const std::string& value) -> std::optional<std::string> {
            const std::optional<long long> number = ParseWholeNumber(value);
            if (!number || *number < low || *number > high) return Needs(what, value);
            set(*number);
            return std::nullopt;
          }};
}

OptionValue OneOf(std::string_view name, std::vector<std::string> choices,
                  std::function<void(std::size_t)> set) {
  std::string what = Listed(choices, "or");
  return {.name = name,
          .completion = ValueCompletion::Choice,
          .choices = choices,
          .store = [choices, what = std::move(what),
                    set = std::move(set)](const std::string& value) -> std::optional<std::string> {
            const auto found = std::find(choices.begin(), choices.end(), value);
            if (found == choices.end()) return Needs(what, value);
            set(static_cast<std::size_t>(found - choices.begin()));
            return std::nullopt;
          }};
}

OptionValue OtherValue(std::string_view name,
                       std::function<std::optional<std::string>(const std::string&)> store,
                       ValueCompletion completion) {
  return {.name = name, .completion = completion, .store = std::move(store)};
}

std::optional<long long> ParseWholeNumber(std::string_view text) {
  long long value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

std::string Needs(std::string_view what, std::string_view value) {
  return "needs " + std::string(what) + ", not \"" + std::string(value) + "\"";
}

OptionsRead ReadOptions(std::span<const Option> options, const std::vector<std::string>& args) {
  OptionsRead read;
  bool optionsEnded = false;
  for (std::size_t at = 0; at < args.size(); ++at) {
    if (optionsEnded || !IsOption(args[at])) {
      read.arguments.push_back(args[at]);
    } else if (args[at] == "--") {
      optionsEnded = true;
    } else if (auto mistake = ReadOne(options, args, at, read); mistake && read.error.empty()) {
      read.error = std::move(*mistake);
    }
  }
  return read;
}

std::string CheckCommandOptions(std::span<const Option> options,
                                const std::vector<std::string_view>& given,
                                std::string_view command) {
  for (const std::string_view name : given) {
    const Option* option = Find(options, name);
    if (option != nullptr && !BelongsTo(*option, command)) return Misplaced(options, *option);
  }
  return {};
}

std::string HelpEntry(std::string_view term, std::string_view help, std::size_t column) {
  std::string text = "  " + std::string(term);
  if (text.size() + 2 > column) {
    text += '\n';
    text.append(column, ' ');
  } else {
    text.append(column - text.size(), ' ');
  }
  for (std::size_t start = 0;;) {
    const std::size_t end = help.find('\n', start);
    text += help.substr(start, end - start);
    text += '\n';
    if (end == std::string_view::npos) break;
    text.append(column, ' ');
    start = end + 1;
  }
  return text;
}

std::string OptionHelp(std::span<const Option> options, std::size_t column) {
  std::string text;
  for (const Option& option : options) {
    std::string term(option.name);
    if (!option.value.name.empty()) term += " " + std::string(option.value.name);
    text += HelpEntry(term, option.help, column);
  }
  return text;
}

}  // namespace kestrava
