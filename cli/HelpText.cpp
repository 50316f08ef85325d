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
  A time T is a local time YYYY-MM-DDTHH:MM[:SS[.mmm]] or a date YYYY-MM-DD.
  The service receives both ends of the range as local wall-clock times in
  full, with "Z" appended: it is not converted to UTC. For example:
    --from 2025-05-14T08:30   startDate=2025-05-14T08:30:00.000Z
    --from 2026-12-01         startDate=2026-12-01T00:00:00.000Z
    --to 2026-12-31           endDate=2026-12-31T23:59:59.999Z
    --day 2026-12-09          from 2026-12-09T00:00:00.000Z
                              to 2026-12-09T23:59:59.999Z
  The day of --day today is the date of this machine's local time now, that
  of --day yesterday the day before it; a day runs from 00:00:00.000 to
  23:59:59.999 of the wall clock, on the days the clocks change too. --last
  HOURS ends at this machine's local time now and starts HOURS whole hours
  of the wall clock before. A range whose start follows its end is bad usage.

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
  csv-excel            csv for Excel in a locale whose decimal separator is
                       a comma (ro_RO, de_DE, fr_FR): a UTF-8 byte order mark
                       first, ";" between cells and a decimal comma in
                       numbers (12,50), so that the file opens in columns
                       with its letters and amounts right. Use csv for other
                       programs and for Excel in a decimal-point locale
  xlsx                 a workbook (Office Open XML) with one sheet named
                       after the command (transactions, accounts; records for
                       format): the csv columns under a bold header row that
                       stays in view, with an autofilter. Cells keep their
                       type: numbers with the decimals they were written
                       with (text when a spreadsheet cannot hold them, such
                       as a 20-digit id), texts as text (never a formula),
                       true and false, empty cells for null, nested values as
                       compact JSON; dates (2025-05-14) and local date-times
                       (2025-05-14T08:30:00.000Z) as dates that sort and
                       filter. The best choice for a spreadsheet in any
                       locale. It needs --output FILE or a standard output
                       that is no terminal
  ndjson, csv and csv-excel print nothing for no records; xlsx writes an
  empty sheet. For format, a JSON value that is not an array is taken as an
  array of that one value.

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

Profiles:
  The configuration file holds profiles, each a section [profile NAME] of
  lines KEY = VALUE (";" or "#" starts a comment line). The keys are id,
  host, test (true or false), secret-file, keyring (true or false), db,
  format, retry, retry-max-time, timeout and overlap, each taking what its
  option takes; a file is absolute or starts with ~/. The secret itself is
  never a key: keep it in the keyring or in a file. --profile NAME or
  KESTRAVA_PROFILE picks a profile; the command line wins over the
  environment, the environment over the profile. A file that other users
  can write, or a mistake anywhere in it, is bad usage.

Sync, history and status:
  sync, history and status keep what syncs read in one SQLite file: --db
  FILE, else $KESTRAVA_DB, else $XDG_DATA_HOME/kestrava/kestrava.db (with
  XDG_DATA_HOME unset, ~/.local/share). A source is the service host as
  requested (api.test.HOST with --test) and the client id; history and
  status need no secret and use no network, but --host, --test and the id
  still pick the source. A sync ends now and starts at --from T (a time or
  a date, as under Times), or --overlap hours (default 72) before the end
  of what successful syncs of the source (and of --account N) cover; the
  first sync of a source needs --from. Each page is stored as it arrives; a
  record met again under its key ("transactionId") is kept once, and a
  changed one keeps its earlier text.
  On success the range joins the covered ones and standard output gets
    sync: A accounts, R records read: N new, C changed, U unchanged,
    D repeated; covered FROM to TO
  on one line; on a failure the pages read stay, the range is not covered
  and the run is recorded as failed. One sync at a time: another one waits
  up to 30 s, then fails as busy; history and status never wait.
  history transactions takes a range as transactions does, or none for the
  whole history; it orders the records by their "bookingDate" text, then in
  the order first read, and a record belongs to a range when its
  "bookingDate" lies within it. status --format ndjson prints one object a
  source: host, id, accounts, records, covered (a list of from and to),
  coveredAccounts (account, covered), lastRun and lastSuccess (run, outcome,
  started, ended, from, to, account, pages, accounts, read, new, changed,
  unchanged, repeated, error), null where there is none.
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
                       the client secret when none of --secret,
                       --secret-file and --keyring is given
  KESTRAVA_PROFILE     the profile when --profile is not given
  XDG_CONFIG_HOME      the folder of kestrava/kestrava.conf (default:
                       ~/.config)
  SSL_CERT_FILE        a file of CA certificates to trust instead of the
                       system's (SSL_CERT_DIR: a folder of them)
  https_proxy, no_proxy
                       the proxy to reach the service through
  KESTRAVA_DB          the local store when --db is not given
  XDG_DATA_HOME        the folder of the default store
  KESTRAVA_SYNC_WAIT   for tests: the seconds a sync waits for another sync
                       of the same store (default 30)

Exit status:
  0                    success
  1                    a failure of the service, the transport, the store or
                       the output (status --max-age: a sync too old); the
                       error text is on standard error
  2                    bad usage
  128+N                ended by signal N: 129 SIGHUP, 130 SIGINT, 141
                       SIGPIPE, 143 SIGTERM; FILE of --output stays as it was

Examples:
  kestrava-cli --secret-file ~/.kestrava/secret accounts
                       the accounts, with the secret read from a file
  kestrava-cli --day yesterday --output day.csv --retry 5 transactions
                       yesterday's transactions in day.csv, riding out a busy
                       service
  kestrava-cli --from 2025-01-01 sync
                       the first sync of the local store, from New Year on
  kestrava-cli --retry 5 sync
                       the daily sync: from three days before the end of
                       what the store covers up to now
  kestrava-cli --format xlsx --day yesterday history transactions >day.xlsx
                       yesterday's transactions as a workbook, from the store
                       alone
  kestrava-cli --max-age 26 status
                       fails when no sync succeeded in the last 26 hours
  kestrava-cli --compact format reply.json
                       the JSON text of reply.json without white space
)";
  const std::string placeholder = "@HOST@";
  text.replace(text.find(placeholder), placeholder.size(), DefaultServiceHost());
  return text;
}

}  // namespace kestrava::cli
