#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "datetime/DateTime.h"

namespace kestrava::cli {

struct CliArguments {
  bool help = false;
  bool version = false;
  bool test = false;
  bool compact = false;
  std::optional<std::string> host;
  std::optional<std::string> id;
  std::optional<std::string> secret;
  std::string command;
  std::optional<std::string> file;  // format
  std::optional<TDateTime> from, to;
  int account = 0;
};

// Parses the arguments; on bad usage returns none and sets `error` to a
// message that never repeats the value of --secret.
std::optional<CliArguments> ParseArguments(const std::vector<std::string>& args,
                                           std::string& error);

// "YYYY-MM-DDTHH:MM[:SS[.mmm]]" as a local date-time; none when malformed or
// out of range, with what is wrong in `problem` ("needs ...") when given.
std::optional<TDateTime> ParseLocalTime(std::string_view text, std::string* problem = nullptr);

}  // namespace kestrava::cli
