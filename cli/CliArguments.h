#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Options.h"
#include "cli/RangeOptions.h"
#include "output/OutputFormat.h"

namespace kestrava::cli {

// The hours a sync without --from reads again before the end of what the
// store covers, to catch late postings.
inline constexpr int kDefaultOverlapHours = 72;

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
  bool keyring = false;                   // the secret from the keyring
  // The profile that fills in what the command line and the environment
  // leave open, and the configuration file that holds it.
  std::optional<std::string> profile, config;
  // The store's file (--db FILE) and the hours a sync reads again before
  // the end of what is covered (sync --overlap HOURS); a profile's keys db
  // and overlap set them too.
  std::optional<std::string> db;
  int overlapHours = kDefaultOverlapHours;
  std::optional<std::string> output;  // "-": standard output
  std::string command;
  std::vector<std::string> arguments;  // of the command
  RangeArguments range;                // --from, --to, --day, --last
  int account = 0;                     // 0: every account
  bool partial = false;                // history: what the store holds, covered or not
  std::optional<int> maxAgeHours;      // status
  int retries = 0;
  int retryMaxTimeSeconds = 600;
  int timeoutSeconds = 120;
  // The options given on the command line, by their rows' names.
  std::vector<std::string_view> givenOptions;
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

inline constexpr int kMaxRetries = 1'000'000;
inline constexpr int kMaxSeconds = 2'147'483;  // a wait in milliseconds fits 32 bits

}  // namespace kestrava::cli
