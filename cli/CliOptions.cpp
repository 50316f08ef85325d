// The options of kestrava-cli: what each takes, where it goes, what --help
// says of it and which commands it belongs to.

#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/HostPort.h"
#include "cli/CliArguments.h"

namespace kestrava::cli {

std::vector<Option> CliOptions(CliArguments& into) {
  // The range options: transactions reads a range from the service,
  // history from the store, sync from a start up to now.
  const std::vector<std::string_view> closedRange = {"transactions", "history"};
  const std::vector<std::string_view> startOnly = {"sync"};
  const std::vector<std::string_view> ranged = {"transactions", "history", "sync"};
  std::vector<Option> options = {
      {.name = "--profile",
       .value = NonEmptyText("NAME", "a profile name", Into(into.profile)),
       .help = "take the settings that the command line and the\n"
               "environment leave open from the profile NAME of the\n"
               "configuration file (default: $KESTRAVA_PROFILE); see\n"
               "Profiles"},
      {.name = "--config",
       .value = NonEmptyText("FILE", "a file name", Into(into.config), ValueCompletion::File),
       .help = "the configuration file that holds the profiles\n"
               "(default: $XDG_CONFIG_HOME/kestrava/kestrava.conf)"},
      {.name = "--test",
       .value = NoValue(into.test),
       .help = "use the test environment, api.test.HOST"},
      {.name = "--host",
       .value = HostPortValue(Into(into.host)),
       .help = "the service host (default: @HOST@): a host\n"
               "name, an IPv4 address or a bracketed IPv6 address,\n"
               "with an optional port"},
      {.name = "--id",
       .value = AnyText("ID", Into(into.id)),
       .help = "the client id (default: $KESTRAVA_CLIENT_ID)"},
      {.name = "--secret",
       .value = AnyText("SECRET",
                        [&into](const std::string& secret) {
                          into.secret = secret;
                          into.givenSecrets.push_back(secret);
                        }),
       .help = "the client secret (default: $KESTRAVA_CLIENT_SECRET);\n"
               "other users may read a command line, so prefer\n"
               "--secret-file or the environment"},
      {.name = "--secret-file",
       .value = NonEmptyText("FILE", "a file name", Into(into.secretFile), ValueCompletion::File),
       .help = "read the client secret from the first line of FILE\n"
               "(\"-\": standard input), without its line end"},
      {.name = "--keyring",
       .value = NoValue(into.keyring),
       .help = "read the client secret from the keyring of the\n"
               "desktop session (the Secret Service), where the\n"
               "secret command stores it"},
      {.name = "--format",
       .value = OneOf<OutputFormat>("FORMAT",
                                    {{"display", OutputFormat::Display},
                                     {"compact", OutputFormat::Compact},
                                     {"ndjson", OutputFormat::Ndjson},
                                     {"csv", OutputFormat::Csv},
                                     {"csv-excel", OutputFormat::CsvExcel},
                                     {"xlsx", OutputFormat::Xlsx}},
                                    into.format),
       .help = "display (the default), compact, ndjson, csv,\n"
               "csv-excel or xlsx; see Output formats"},
      {.name = "--compact",
       .value = NoValue([&into] { into.format = OutputFormat::Compact; }),
       .help = "the same as --format compact"},
      {.name = "--csv-excel",
       .value = NoValue([&into] { into.format = OutputFormat::CsvExcel; }),
       .help = "the same as --format csv-excel"},
      {.name = "--output",
       .value = NonEmptyText("FILE", "a file name", Into(into.output), ValueCompletion::File),
       .help = "write the result to FILE instead of standard output,\n"
               "page by page into a file without a name in FILE's\n"
               "folder that replaces FILE when the command succeeds;\n"
               "on any failure or interruption FILE stays as it was.\n"
               "A new FILE gets mode 0600, a replaced one keeps its\n"
               "mode. A symbolic link is written through, as a\n"
               "shell's > FILE writes it"},
  };
  for (Option& option : RangeOptions(into.range, closedRange, startOnly))
    options.push_back(std::move(option));
  options.insert(
      options.end(),
      {
          {.name = "--account",
           .value = WholeNumber("N", 1, std::numeric_limits<int>::max(), Into(into.account)),
           .help = "only the transactions of account N (1 or more)",
           .commands = ranged},
          {.name = "--overlap",
           .value = WholeNumber("HOURS", 0, kMaxLastHours, Into(into.overlapHours), "hours"),
           .help = "without --from, sync starts HOURS before the end of\n"
                   "what the store covers, to catch late postings\n"
                   "(default 72)",
           .commands = startOnly},
          {.name = "--partial",
           .value = NoValue(into.partial),
           .help = "print what the store holds even where no successful\n"
                   "sync covered the range",
           .commands = {"history"}},
          {.name = "--max-age",
           .value = WholeNumber("HOURS", 0, kMaxLastHours, Into(into.maxAgeHours), "hours"),
           .help = "fail (exit 1) when the last successful sync ended\n"
                   "more than HOURS ago, or none did",
           .commands = {"status"}},
          {.name = "--db",
           .value = NonEmptyText("FILE", "a file name", Into(into.db), ValueCompletion::File),
           .help = "the local store (default: $KESTRAVA_DB, else\n"
                   "$XDG_DATA_HOME/kestrava/kestrava.db)"},
          {.name = "--retry",
           .value = WholeNumber("N", 0, kMaxRetries, Into(into.retries)),
           .help = "try a request that fails in passing up to N times\n"
                   "again (default 0: once only); see Retries"},
          {.name = "--retry-max-time",
           .value =
               WholeNumber("SECONDS", 0, kMaxSeconds, Into(into.retryMaxTimeSeconds), "seconds"),
           .help = "start no retry later than SECONDS after the command\n"
                   "began (default 600)"},
          {.name = "--timeout",
           .value = WholeNumber("SECONDS", 1, kMaxSeconds, Into(into.timeoutSeconds), "seconds"),
           .help = "the longest wait within a request: for the connection,\n"
                   "the sending, each piece of the reply (default 120)"},
          {.name = "--max-time",
           .value = WholeNumber("SECONDS", 1, kMaxSeconds, Into(into.maxTimeSeconds), "seconds"),
           .help = "end the command SECONDS after it began, whatever it\n"
                   "waits for (a reply, a retry): a failure that writes\n"
                   "nothing (default: no bound)"},
          {.name = "--exact-errors",
           .value = NoValue(into.exactErrors),
           .help = "on a failure, write the client's whole error text as\n"
                   "the window shows it, instead of the lines for a log;\n"
                   "see Failures"},
          {.name = "--help",
           .value = NoValue(into.help),
           .help = "print this help and exit",
           .alias = "-h"},
          {.name = "--version",
           .value = NoValue(into.version),
           .help = "print the version and exit"},
      });
  return options;
}

}  // namespace kestrava::cli
