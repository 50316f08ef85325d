#include "cli/CliArguments.h"

#include <span>
#include <string>

#include "cli/Commands.h"

namespace kestrava::cli {
namespace {

// "accounts, transactions and format".
std::string WorkbookCommands() {
  std::vector<std::string_view> names;
  for (const Command& command : Commands()) {
    if (!command.sheet.empty()) names.push_back(command.name);
  }
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += i + 1 == names.size() ? " and " : ", ";
    text += names[i];
  }
  return text;
}

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
  if (!misplaced.empty()) return misplaced;
  if (parsed.format == OutputFormat::Xlsx && command->sheet.empty())
    return "--format xlsx is for the commands that write records: " + WorkbookCommands();
  return command->check == nullptr ? std::string() : command->check(parsed);
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
