#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "datetime/DateTime.h"
#include "output/OutputFormat.h"

namespace kestrava::cli {

struct CliArguments {
  bool help = false;
  bool version = false;
  bool test = false;
  OutputFormat format = OutputFormat::Display;
  std::optional<std::string> host;
  std::optional<std::string> id;
  std::optional<std::string> secret;
  std::optional<std::string> secretFile;  // "-": standard input
  std::optional<std::string> output;      // "-": standard output
  std::string command;
  std::optional<std::string> file;  // of format; "-": standard input
  std::optional<TDateTime> from, to;
  std::optional<int> lastHours;
  int account = 0;  // 0: every account
  int retries = 0;
  int retryMaxTimeSeconds = 600;
  int timeoutSeconds = 120;
};

// Parses the arguments (options anywhere, "--" ends them, the last of a
// repeated option wins); on bad usage returns none and sets `error` to a
// message that never repeats the value of --secret.
std::optional<CliArguments> ParseArguments(const std::vector<std::string>& args,
                                           std::string& error);

// "YYYY-MM-DDTHH:MM[:SS[.mmm]]" as a local date-time; none when malformed or
// out of range, with what is wrong in `problem` ("needs ...") when given.
std::optional<TDateTime> ParseLocalTime(std::string_view text, std::string* problem = nullptr);

inline constexpr int MaxRetries = 1'000'000;
inline constexpr int MaxSeconds = 2'147'483;  // a wait in milliseconds fits 32 bits
inline constexpr int MaxLastHours = 876'000;  // 100 years

}  // namespace kestrava::cli
