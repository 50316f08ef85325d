#pragma once

// A program's options as a table. Each row names an option, says whether it
// takes a value and what that value must be, stores it where it goes, holds
// the lines --help shows beside it and tells a shell how to complete the
// value. One reader serves every program, so all of them word their errors
// alike:
//
//   unknown option --x
//   option --x needs a value
//   option --x takes no value
//   option --x needs a whole number from 1 to 9, not "0"
//
// Options may stand anywhere among the arguments, as "--name value" or
// "--name=value"; "--" ends them, and "-" is an argument. A value is
// stored each time its option is given, so the last of a repeated option
// wins unless its row keeps every one.

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrava {

// How a shell completes an option's value.
enum class ValueCompletion { None, File, Choice };

// What an option takes.
struct OptionValue {
  // The value as --help names it ("N", "FILE"); empty for an option that
  // takes none.
  std::string_view name = {};
  ValueCompletion completion = ValueCompletion::None;
  std::vector<std::string> choices = {};  // what a shell offers for Choice
  // Checks the value and stores it where it goes (an option without a value
  // gets ""). What is wrong with it otherwise, worded to follow the option's
  // name: "needs a file name".
  std::function<std::optional<std::string>(const std::string& value)> store = {};
};

struct Option {
  std::string_view name;  // "--retry"
  OptionValue value;
  // The lines --help shows beside the option, "\n" between them.
  std::string_view help;
  // The commands the option belongs to; empty: every command.
  std::vector<std::string_view> commands = {};
  std::string_view alias = {};  // a second name, such as "-h"
};

// ---- what an option takes ----

// No value: `set` runs when the option is given.
OptionValue NoValue(std::function<void()> set);
OptionValue NoValue(bool& given);

// Any text, the empty one included.
OptionValue AnyText(std::string_view name, std::function<void(const std::string&)> set,
                    ValueCompletion completion = ValueCompletion::None);

// Any text but the empty one, which "needs " + `what` ("a file name").
OptionValue NonEmptyText(std::string_view name, std::string_view what,
                         std::function<void(const std::string&)> set,
                         ValueCompletion completion = ValueCompletion::None);

// A whole number from `low` to `high`, written in decimal digits with an
// optional leading "-". `unit` ("seconds") names what it counts.
OptionValue WholeNumber(std::string_view name, long long low, long long high,
                        std::function<void(long long)> set, std::string_view unit = {});

// One of `choices`, as written; `set` gets its index.
OptionValue OneOf(std::string_view name, std::vector<std::string> choices,
                  std::function<void(std::size_t index)> set);

// Each of `choices` stands for a value of the program's.
template <class T>
OptionValue OneOf(std::string_view name, std::vector<std::pair<std::string, T>> choices,
                  T& target) {
  std::vector<std::string> names;
  std::vector<T> values;
  for (auto& [choice, value] : choices) {
    names.push_back(std::move(choice));
    values.push_back(std::move(value));
  }
  return OneOf(name, std::move(names), [&target, values = std::move(values)](std::size_t index) {
    target = values[index];
  });
}

// A value of another form: `store` checks it, stores it and says what is
// wrong otherwise, as OptionValue::store does.
OptionValue OtherValue(std::string_view name,
                       std::function<std::optional<std::string>(const std::string&)> store,
                       ValueCompletion completion = ValueCompletion::None);

// A setter that stores what it gets in `field`, converted to the field's
// type: WholeNumber("N", 0, 9, Into(settings.retries)).
template <class Field>
auto Into(Field& field) {
  return [&field](const auto& value) { field = static_cast<Field>(value); };
}

// A whole number in decimal digits with an optional leading "-" and
// nothing else; none otherwise, or when it does not fit a long long.
std::optional<long long> ParseWholeNumber(std::string_view text);

// "needs " + what + ", not \"value\"": the usual wording of a refused value.
std::string Needs(std::string_view what, std::string_view value);

// ---- reading ----

struct OptionsRead {
  std::vector<std::string> arguments;   // the words that are no option, in order
  std::vector<std::string_view> given;  // the options given, by their row's name
  std::string error;                    // the first mistake; empty when there is none
};

// Reads `args` against `options`, storing each value as it is read. A
// mistake does not stop the reading: every right value after it is stored
// too (a secret that a message must not repeat, say), and `error` tells
// the first mistake.
OptionsRead ReadOptions(std::span<const Option> options, const std::vector<std::string>& args);

// When an option among `given` belongs to commands other than `command`,
// the message that says so for it and the options that belong to the same
// commands ("--from and --to belong to the transactions command"); else "".
std::string CheckCommandOptions(std::span<const Option> options,
                                const std::vector<std::string_view>& given,
                                std::string_view command);

// ---- help ----

// A term of a --help list with the lines that explain it: two spaces, the
// term, its first line from `column` on (on a line of its own after the
// term when fewer than two spaces would part them), the other lines below
// it from `column` on.
std::string HelpEntry(std::string_view term, std::string_view help, std::size_t column);

// The --help list of `options`, each as "--name VALUE".
std::string OptionHelp(std::span<const Option> options, std::size_t column);

}  // namespace kestrava
