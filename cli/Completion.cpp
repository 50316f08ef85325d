#include "cli/Completion.h"

#include <string>
#include <vector>

#include "base/Ascii.h"
#include "cli/CliArguments.h"
#include "cli/Commands.h"

namespace kestrava::cli {
namespace {

constexpr std::string_view kArm = "        ";  // a case arm's indent
constexpr std::string_view kBody = "            ";

// Option names, commands and choices go into the script unquoted.
bool IsPlainWord(std::string_view word) {
  for (const char c : word) {
    if (!IsAsciiLetter(c) && !IsAsciiDigit(c) && c != '-' && c != '_' && c != '.') return false;
  }
  return !word.empty();
}

std::string Joined(const std::vector<std::string>& words, std::string_view between) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : std::string(between)) + word;
  return text;
}

std::string Arm(const std::vector<std::string>& patterns, std::string_view body) {
  return std::string(kArm) + Joined(patterns, " | ") + ")\n" + std::string(kBody) +
         std::string(body) + "\n" + std::string(kBody) + "return\n" + std::string(kBody) + ";;\n";
}

struct Parts {
  std::vector<std::string> valueOptions, fileOptions, options, commands, fileCommands;
  std::string choiceArms, commandChoiceArms;
};

// The options' parts; false when a name would need quoting.
bool CollectOptions(Parts& parts) {
  CliArguments unused;
  bool plain = true;
  for (const Option& option : CliOptions(unused)) {
    const std::string name(option.name);
    plain = plain && IsPlainWord(name);
    parts.options.push_back(name);
    if (option.value.name.empty()) continue;
    parts.valueOptions.push_back(name);
    if (option.value.completion == ValueCompletion::File) parts.fileOptions.push_back(name);
    if (option.value.completion != ValueCompletion::Choice) continue;
    for (const std::string& choice : option.value.choices) plain = plain && IsPlainWord(choice);
    parts.choiceArms += Arm({name}, "COMPREPLY=($(compgen -W '" +
                                        Joined(option.value.choices, " ") + "' -- \"$cur\"))");
  }
  parts.options.emplace_back("--");
  return plain;
}

// The commands' parts; false when a name would need quoting.
bool CollectCommands(Parts& parts) {
  bool plain = true;
  for (const Command& command : Commands()) {
    const std::string name(command.name);
    plain = plain && IsPlainWord(name);
    parts.commands.push_back(name);
    if (command.argumentCompletion == ValueCompletion::File) parts.fileCommands.push_back(name);
    if (command.argumentChoices.empty()) continue;
    std::vector<std::string> choices;
    for (const std::string_view choice : command.argumentChoices) {
      plain = plain && IsPlainWord(choice);
      choices.emplace_back(choice);
    }
    // Only the word right after the command: `i` is where the script
    // found it.
    parts.commandChoiceArms += std::string(kArm) + name +
                               ") ((cword == i + 1)) && COMPREPLY=($(compgen -W '" +
                               Joined(choices, " ") + "' -- \"$cur\")) ;;\n";
  }
  return plain;
}

void Replace(std::string& text, std::string_view placeholder, const std::string& value) {
  for (std::size_t at = text.find(placeholder); at != std::string::npos;
       at = text.find(placeholder, at + value.size())) {
    text.replace(at, placeholder.size(), value);
  }
}

// A placeholder on a line of its own is replaced with that line.
void ReplaceLine(std::string& text, std::string_view placeholder, std::string lines) {
  Replace(text, std::string(placeholder) + "\n", lines);
}

}  // namespace

std::optional<std::string> BashCompletion(std::string_view script) {
  Parts parts;
  if (!CollectOptions(parts) || !CollectCommands(parts)) return std::nullopt;
  std::string valueArms = parts.choiceArms;
  if (!parts.fileOptions.empty()) valueArms.insert(0, Arm(parts.fileOptions, "_filedir"));
  std::string commandArms;
  if (!parts.fileCommands.empty())
    commandArms = std::string(kArm) + Joined(parts.fileCommands, " | ") + ") _filedir ;;\n";
  commandArms += parts.commandChoiceArms;

  std::string text(script);
  ReplaceLine(text, "@VALUE_CASES@", valueArms);
  ReplaceLine(text, "@COMMAND_CASES@", commandArms);
  Replace(text, "@VALUE_OPTIONS@", Joined(parts.valueOptions, "|"));
  Replace(text, "@OPTIONS@", Joined(parts.options, " "));
  Replace(text, "@COMMANDS@", Joined(parts.commands, " "));
  Replace(text, "@WRITTEN_FROM@",
          "Written when kestrava-cli is built, from its tables of options and commands.");
  return text;
}

}  // namespace kestrava::cli
