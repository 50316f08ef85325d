#pragma once

// The bash completion of kestrava-cli, written at build time from the
// option and command tables, so that it offers what the program takes.

#include <optional>
#include <string>
#include <string_view>

namespace kestrava::cli {

// `script` with its placeholders filled in:
//   @VALUE_OPTIONS@  the options that take a value, as a pattern a|b|c
//   @VALUE_CASES@    the case arms that complete a file or a choice
//   @OPTIONS@        every option, and "--"
//   @COMMANDS@       every command
//   @COMMAND_CASES@  the case arms that complete a command's arguments
//   @WRITTEN_FROM@   a line that says where the script comes from
// None when a name holds a character that the script would have to quote.
std::optional<std::string> BashCompletion(std::string_view script);

}  // namespace kestrava::cli
