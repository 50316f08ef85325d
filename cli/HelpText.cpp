// The --help text, written so that help2man makes the manual page from it:
// the usage line, a one-line description, then sections whose heading ends
// in ':' at the start of a line, options indented with the option first.

#include <string>

#include "base/Options.h"
#include "cli/Cli.h"
#include "cli/CliArguments.h"
#include "cli/Commands.h"
#include "client/Kestrava2Intf.h"

namespace kestrava::cli {
namespace {

// Where the text of a command or an option starts.
constexpr std::size_t kHelpColumn = 23;

}  // namespace

std::string UsageText() {
  CliArguments unused;
  std::string text = R"(Usage: kestrava-cli [OPTION]... COMMAND [ARG]...
Read the bank accounts and transactions of the Kestrava open-banking service.

Commands:
)";
  for (const Command& command : Commands())
    text += HelpEntry(command.synopsis, command.help, kHelpColumn);
  text += R"(
Options:
)";
  text += OptionHelp(CliOptions(unused), kHelpColumn);
  text += HelpEntry("--", "end the options: what follows is the command and its\narguments",
                    kHelpColumn);
  text += R"(
Times:
  A time T is written YYYY-MM-DDTHH:MM[:SS[.mmm]] and is sent as written,
  with "Z" appended: it is not converted to UTC. 2025-05-14T08:30 goes out
  as 2025-05-14T08:30:00.000Z wherever this machine is. --last HOURS ends at
  this machine's local time now and starts HOURS whole hours before.

Output formats:
  display              indented JSON with CR LF line ends (the text of the
                       window), then LF
  compact              JSON without any white space, then LF
  ndjson               each record as compact JSON on a line of its own
  csv                  RFC 4180 with CR LF line ends, UTF-8 without a byte
                       order mark: a header row, then one row per record.
                       The columns are the records' member names in order of
                       first appearance; a record that is not an object goes
                       into the column "value". Numbers stay as written,
                       nested values are compact JSON. A text that begins
                       with = + - @, tab or CR, and is no plain number, gets
                       a leading ' so that a spreadsheet does not run it as
                       a formula
  ndjson and csv print nothing for no records. For format, a JSON value that
  is not an array is taken as an array of that one value.

Retries:
  With --retry N, each request (the sign-in, the account export, each page of
  the transactions) that fails in passing is tried again up to N times: a
  connection refused, reset or timed out, a reply cut off, or the status 408,
  429, 500, 502, 503 or 504. Only the failing request is repeated, so the
  result is the same as that of a run without faults. Retry K waits for the
  reply's Retry-After (at most 600 seconds), or else 2^(K-1) seconds (at most
  60). An export refused with 401 (an expired token) signs in again once and
  counts as one retry. Each retry is shown on standard error as
    kestrava-cli: retry K of N in S s: REASON

Failures:
  A failure of the service, the connection or the client is one line on
  standard error, fit for a log:
    kestrava-cli: REASON
  REASON is the client's error text up to its first line break, at most 1000
  characters. When the failing reply has a body that this line does not
  hold (a refused sign-in, a server error, a reply that cannot be read), a
  second line shows its first 300 characters:
    kestrava-cli: reply: BODY
  A server certificate that is refused gets its reason after REASON, when
  the TLS library tells it: expired, not yet valid, for another host name,
  from an untrusted issuer, self-signed, not for a server.
  Control characters and line breaks in them show as \xHH, the controls of
  bidirectional text as \uHHHH. The text of an earlier reply (a page before,
  the sign-in's reply) is never shown. With --exact-errors the client's
  whole error text is written instead, as the window shows it. The client
  secret and the access token never show.

Environment:
  KESTRAVA_CLIENT_ID   the client id when --id is not given
  KESTRAVA_CLIENT_SECRET
                       the client secret when neither --secret nor
                       --secret-file is given
  SSL_CERT_FILE        a file of CA certificates to trust instead of the
                       system's (SSL_CERT_DIR: a folder of them)
  https_proxy, no_proxy
                       the proxy to reach the service through

Exit status:
  0                    success
  1                    a failure of the service, the transport or the output;
                       the error text is on standard error
  2                    bad usage
  128+N                ended by signal N: 129 SIGHUP, 130 SIGINT, 141
                       SIGPIPE, 143 SIGTERM; FILE of --output stays as it was

Examples:
  kestrava-cli --secret-file ~/.kestrava/secret accounts
                       the accounts, with the secret read from a file
  kestrava-cli --last 24 --format csv --output day.csv --retry 5 transactions
                       the last day's transactions as CSV in day.csv, riding
                       out a busy service
  kestrava-cli --compact format reply.json
                       the JSON text of reply.json without white space
)";
  const std::string placeholder = "@HOST@";
  text.replace(text.find(placeholder), placeholder.size(), DefaultServiceHost());
  return text;
}

}  // namespace kestrava::cli
