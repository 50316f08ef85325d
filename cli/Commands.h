#pragma once

// The commands of kestrava-cli: what each is called, what --help says of
// it, how many arguments it takes, what its options must allow together,
// and what runs it. A command's options say in their own rows that they
// belong to it.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "base/Options.h"
#include "cli/Cli.h"
#include "cli/CliArguments.h"
#include "cli/SecretMask.h"

namespace kestrava::cli {

struct Command {
  std::string_view name;
  std::string_view synopsis;  // as --help shows it: "format [FILE]"
  std::string_view help;      // the lines --help shows, "\n" between them
  std::size_t arguments = 0;  // at most, after the name
  // The sheet that holds its records in a workbook (--format xlsx); empty
  // for a command that writes no records, which takes no workbook.
  std::string_view sheet = {};
  ValueCompletion argumentCompletion = ValueCompletion::None;
  // The words its argument is one of, for the shell's completion; empty
  // when it takes any.
  std::span<const std::string_view> argumentChoices = {};
  // What its options allow together: bad usage when not "".
  std::string (*check)(const CliArguments& args) = nullptr;
  // Runs it and gives the exit code. `mask` holds the secrets to keep out
  // of every failure text; a command that finds another one adds it.
  int (*run)(const CliArguments& args, CliEnvironment& env, SecretMask& mask) = nullptr;
};

// In the order --help lists them.
std::span<const Command> Commands();

// None for a name that is no command.
const Command* FindCommand(std::string_view name);

}  // namespace kestrava::cli
