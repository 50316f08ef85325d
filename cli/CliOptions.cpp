// The options of kestrava-cli: what each takes, where it goes, what --help
// says of it and which commands it belongs to.

#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/CliArguments.h"

namespace kestrava::cli {
namespace {

// --from and --to: a local time.
OptionValue LocalTime(std::optional<TDateTime>& into) {
  return OtherValue("T", [&into](const std::string& value) -> std::optional<std::string> {
    std::string problem;
    const std::optional<TDateTime> time = ParseLocalTime(value, &problem);
    if (!time) return problem + ", not \"" + value + "\"";
    into = time;
    return std::nullopt;
  });
}

}  // namespace

std::vector<Option> CliOptions(CliArguments& into) {
  const std::vector<std::string_view> transactions = {"transactions"};
  return {
      {.name = "--test",
       .value = NoValue(into.test),
       .help = "use the test environment, api.test.HOST"},
      {.name = "--host",
       .value = NonEmptyText("HOST[:PORT]", "a host name", Into(into.host)),
       .help = "the service host (default: @HOST@)"},
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
      {.name = "--format",
       .value = OneOf<OutputFormat>("FORMAT",
                                    {{"display", OutputFormat::Display},
                                     {"compact", OutputFormat::Compact},
                                     {"ndjson", OutputFormat::Ndjson},
                                     {"csv", OutputFormat::Csv}},
                                    into.format),
       .help = "display (the default), compact, ndjson or csv"},
      {.name = "--compact",
       .value = NoValue([&into] { into.format = OutputFormat::Compact; }),
       .help = "the same as --format compact"},
      {.name = "--output",
       .value = NonEmptyText("FILE", "a file name", Into(into.output), ValueCompletion::File),
       .help = "write the result to FILE instead of standard output,\n"
               "page by page into a file without a name in FILE's\n"
               "folder that replaces FILE when the command succeeds;\n"
               "on any failure or interruption FILE stays as it was.\n"
               "A new FILE gets mode 0600, a replaced one keeps its\n"
               "mode. A symbolic link is written through, as a\n"
               "shell's > FILE writes it"},
      {.name = "--from",
       .value = LocalTime(into.from),
       .help = "the start of the range of transactions",
       .commands = transactions},
      {.name = "--to",
       .value = LocalTime(into.to),
       .help = "the end of the range of transactions",
       .commands = transactions},
      {.name = "--last",
       .value = WholeNumber("HOURS", 0, kMaxLastHours, Into(into.lastHours), "hours"),
       .help = "the range of the last HOURS hours up to now, instead\n"
               "of --from and --to",
       .commands = transactions},
      {.name = "--account",
       .value = WholeNumber("N", 1, std::numeric_limits<int>::max(), Into(into.account)),
       .help = "only the transactions of account N (1 or more)",
       .commands = transactions},
      {.name = "--retry",
       .value = WholeNumber("N", 0, kMaxRetries, Into(into.retries)),
       .help = "try a request that fails in passing up to N times\n"
               "again (default 0: once only); see Retries"},
      {.name = "--retry-max-time",
       .value = WholeNumber("SECONDS", 0, kMaxSeconds, Into(into.retryMaxTimeSeconds), "seconds"),
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
      {.name = "--version", .value = NoValue(into.version), .help = "print the version and exit"},
  };
}

}  // namespace kestrava::cli
