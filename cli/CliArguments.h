#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Options.h"
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
  // Every value given to --secret, the last one being the secret: none of
  // them may show in a message, even when the arguments do not parse.
  std::vector<std::string> givenSecrets;
  std::optional<std::string> secretFile;  // "-": standard input
  std::optional<std::string> output;      // "-": standard output
  std::string command;
  std::vector<std::string> arguments;  // of the command
  std::optional<TDateTime> from, to;
  std::optional<int> lastHours;
  int account = 0;  // 0: every account
  int retries = 0;
  int retryMaxTimeSeconds = 600;
  int timeoutSeconds = 120;
  // The bound of the whole command; none: no bound.
  std::optional<int> maxTimeSeconds;
  // A failure's whole error text as the client gives it, not the lines for
  // a log.
  bool exactErrors = false;
  // Bad usage: what is wrong, never repeating the value of --secret; empty
  // when the arguments are right.
  std::string error;
};

// The options of kestrava-cli, storing into `into`.
std::vector<Option> CliOptions(CliArguments& into);

// Reads the arguments (options anywhere, "--" ends them, the last of a
// repeated option wins). On bad usage `error` says what is wrong; the
// values read are kept even then.
CliArguments ParseArguments(const std::vector<std::string>& args);

// "YYYY-MM-DDTHH:MM[:SS[.mmm]]" as a local date-time; none when malformed or
// out of range, with what is wrong in `problem` ("needs ...") when given.
std::optional<TDateTime> ParseLocalTime(std::string_view text, std::string* problem = nullptr);

inline constexpr int kMaxRetries = 1'000'000;
inline constexpr int kMaxSeconds = 2'147'483;  // a wait in milliseconds fits 32 bits
inline constexpr int kMaxLastHours = 876'000;  // 100 years

}  // namespace kestrava::cli
