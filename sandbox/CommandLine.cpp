#include "sandbox/CommandLine.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/Options.h"

namespace kestrava::sandbox {
namespace {

constexpr long long kMaxPage = 1'000'000'000;
constexpr long long kMaxCount = 1'000'000'000;
constexpr long long kMaxRetryAfter = 2'147'483'647;
constexpr long long kMaxHours = 87'600;  // ten years
constexpr std::size_t kHelpColumn = 28;

std::optional<long long> Number(const std::string& text, long long low, long long high) {
  const std::optional<long long> value = ParseWholeNumber(text);
  if (!value || *value < low || *value > high) return std::nullopt;
  return value;
}

// "N:STATUS[:COUNT]" (withStatus) or "N[:COUNT]" (a cut reply) as a fault of
// page N; without COUNT the fault hits every time.
std::optional<std::pair<int, PageFault>> ParsePageFault(const std::string& text, bool withStatus) {
  std::vector<std::string> fields;
  for (std::size_t start = 0;;) {
    const std::size_t colon = text.find(':', start);
    fields.push_back(text.substr(start, colon - start));
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  const std::size_t required = withStatus ? 2 : 1;
  if (fields.size() < required || fields.size() > required + 1) return std::nullopt;
  const auto page = Number(fields[0], 0, kMaxPage);
  const auto status = withStatus ? Number(fields[1], 400, 599) : std::optional<long long>(0);
  const auto count =
      fields.size() > required ? Number(fields.back(), 1, kMaxCount) : std::optional<long long>(0);
  if (!page || !status || !count) return std::nullopt;
  return std::pair{static_cast<int>(*page),
                   PageFault{static_cast<int>(*status), static_cast<int>(*count)}};
}

// --fail-page and --reset-page: a fault of a page, added to the others.
OptionValue PageFaults(std::string_view name, bool withStatus, ServiceOptions& into) {
  const std::string wanted =
      (withStatus ? "N:STATUS[:COUNT] with STATUS 400-599 and COUNT" : "N[:COUNT] with COUNT") +
      std::string(" 1-") + std::to_string(kMaxCount);
  return OtherValue(name, [&into, withStatus, wanted](const std::string& value) {
    const auto fault = ParsePageFault(value, withStatus);
    if (!fault) return std::optional(Needs(wanted, value));
    into.pageFaults[fault->first].push_back(fault->second);
    return std::optional<std::string>();
  });
}

// --client: ID:SECRET, added to the credentials accepted.
OptionValue Client(ServiceOptions& into) {
  return OtherValue("ID:SECRET", [&into](const std::string& value) {
    const auto colon = value.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == value.size())
      return std::optional(Needs("ID:SECRET", value));
    into.clients.push_back({value.substr(0, colon), value.substr(colon + 1)});
    return std::optional<std::string>();
  });
}

// --late and --amend: PERCENT:HOURS.
OptionValue Share(std::string_view name, DelayedShare& into) {
  return OtherValue(name, [&into](const std::string& value) {
    const std::size_t colon = value.find(':');
    const auto percent =
        colon == std::string::npos ? std::nullopt : Number(value.substr(0, colon), 0, 100);
    const auto hours =
        colon == std::string::npos ? std::nullopt : Number(value.substr(colon + 1), 0, kMaxHours);
    if (!percent || !hours)
      return std::optional(Needs(
          "PERCENT:HOURS with PERCENT 0-100 and HOURS 0-" + std::to_string(kMaxHours), value));
    into = {static_cast<int>(*percent), static_cast<int>(*hours)};
    return std::optional<std::string>();
  });
}

std::function<void(long long)> RetryAfter(RetryAfterHint::Form form, RetryAfterHint& into) {
  return [form, &into](long long seconds) { into = {form, seconds}; };
}

std::vector<Option> GeneralOptions(CommandLine& into) {
  ServiceOptions& service = into.options.service;
  return {
      {.name = "--port",
       .value = WholeNumber("N", 0, 65535, Into(into.options.port)),
       .help = "listen on 127.0.0.1:N (default: a free port)"},
      {.name = "--state-dir",
       .value = NonEmptyText("DIR", "a folder", Into(into.options.stateDir)),
       .help = "where the CA and server certificate are kept (default:\n"
               "$XDG_RUNTIME_DIR/kestrava-sandbox or /tmp/kestrava-sandbox-UID)"},
      {.name = "--client",
       .value = Client(service),
       .help = "accept these credentials too (repeatable); K27315TQB with\n"
               "its design-time secret is always accepted"},
      {.name = "--latency",
       .value = WholeNumber("MS", 0, 600'000, Into(into.options.latency)),
       .help = "wait MS milliseconds before every reply"},
      {.name = "--expire-after",
       .value = WholeNumber("N", 1, 1'000'000'000, Into(service.expireAfter)),
       .help = "each token is good for N export requests (accounts\n"
               "or transaction pages, refused or failed ones too);\n"
               "later ones get 401 \"Access token expired\""},
      {.name = "--token-lifetime",
       .value = WholeNumber("SECONDS", 1, 100'000'000, Into(service.tokenLifetimeSeconds)),
       .help = "lifetime of a token (default 3600)"},
      {.name = "--accounts",
       .value = WholeNumber("N", 1, kMaxAccounts, Into(service.scale.accounts)),
       .help = "accounts per environment (default 4, 1-200)"},
      {.name = "--transactions-per-day",
       .value = WholeNumber("N", 0, kMaxTransactionsPerDay, Into(service.scale.transactionsPerDay)),
       .help = "transactions per day over all accounts (default 36, 0-2000)"},
      {.name = "--days",
       .value = WholeNumber("N", 1, 3650, Into(service.scale.days)),
       .help = "days of history (default 400, 1-3650)"},
      {.name = "--soft-refusal",
       .value = NoValue(service.softRefusal),
       .help = "refuse bad credentials with 200 and a \"status\" of\n"
               "\"401 UNAUTHORIZED\" instead of HTTP 401"},
      {.name = "--quiet", .value = NoValue(into.quiet), .help = "no request log on standard error"},
      {.name = "--help", .value = NoValue(into.help), .help = "this text", .alias = "-h"},
      {.name = "--version", .value = NoValue(into.version), .help = "print the version and exit"},
  };
}

std::vector<Option> FaultOptions(CommandLine& into) {
  ServiceOptions& service = into.options.service;
  using Form = RetryAfterHint::Form;
  return {
      {.name = "--fail-page",
       .value = PageFaults("N:STATUS[:COUNT]", true, service),
       .help = "answer page N with STATUS (400-599) COUNT times\n"
               "(default: every time), then serve it"},
      {.name = "--reset-page",
       .value = PageFaults("N[:COUNT]", false, service),
       .help = "send page N's head and half its body, then close the\n"
               "connection, COUNT times (default: every time), then\n"
               "serve it"},
      {.name = "--retry-after",
       .value =
           WholeNumber("SECONDS", 0, kMaxRetryAfter, RetryAfter(Form::Seconds, service.retryAfter)),
       .help = "add \"Retry-After: SECONDS\" to the 429 and 503\n"
               "replies of --fail-page (0-2147483647)"},
      {.name = "--retry-after-date",
       .value = WholeNumber("SECONDS", -kMaxRetryAfter, kMaxRetryAfter,
                            RetryAfter(Form::Date, service.retryAfter)),
       .help = "the same, as the HTTP-date SECONDS after the reply\n"
               "(negative: before it)"},
  };
}

std::vector<Option> ChangeOptions(CommandLine& into) {
  ServiceOptions& service = into.options.service;
  return {
      {.name = "--late",
       .value = Share("PERCENT:HOURS", service.latePostings),
       .help = "late postings: PERCENT of the transactions show only\n"
               "HOURS after their booking time, in their place among\n"
               "the others"},
      {.name = "--amend",
       .value = Share("PERCENT:HOURS", service.amendments),
       .help = "amended records: PERCENT of the transactions get\n"
               "another description HOURS after their booking time"},
      {.name = "--repeat-record",
       .value = WholeNumber(
           "N", 0, kMaxPage,
           [&service](long long page) { service.repeatAfterPage = static_cast<int>(page); }),
       .help = "page N+1 begins with the last record of page N again"},
  };
}

bool Given(const OptionsRead& read, std::string_view name) {
  return std::find(read.given.begin(), read.given.end(), name) != read.given.end();
}

// What the options allow together; "" when they are right.
std::string CheckTogether(const CommandLine& line, const OptionsRead& read) {
  if (!read.arguments.empty()) return "unexpected argument \"" + read.arguments[0] + "\"";
  if (Given(read, "--retry-after") && Given(read, "--retry-after-date"))
    return "--retry-after and --retry-after-date exclude each other";
  const auto& scale = line.options.service.scale;
  if (static_cast<long long>(scale.transactionsPerDay) * scale.days > kMaxTransactionsInHistory)
    return "--transactions-per-day times --days may be at most " +
           std::to_string(kMaxTransactionsInHistory);
  return {};
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  std::vector<Option> options = GeneralOptions(line);
  for (Option& option : FaultOptions(line)) options.push_back(std::move(option));
  for (Option& option : ChangeOptions(line)) options.push_back(std::move(option));
  const OptionsRead read = ReadOptions(options, arguments);
  line.error = read.error.empty() ? CheckTogether(line, read) : read.error;
  return line;
}

std::string UsageText() {
  CommandLine unused;
  return "Usage: kestrava-sandbox [options]\n"
         "A stand-alone HTTPS double of the Kestrava service on 127.0.0.1.\n"
         "Host localhost:PORT is the production environment, api.test.localhost:PORT the test "
         "one.\n"
         "When ready it prints one line on standard output:\n"
         "  kestrava-sandbox: host localhost:PORT ca CA-FILE\n"
         "\n"
         "Options:\n" +
         OptionHelp(GeneralOptions(unused), kHelpColumn) +
         "\n"
         "Faults of the transaction export (page N is the request's pageNumber, from 0):\n" +
         OptionHelp(FaultOptions(unused), kHelpColumn) +
         "Both fault options are repeatable, for one page or several. The faults of one\n"
         "page hit in the order given, each its COUNT times; a fault without COUNT never\n"
         "ends. Only requests with a valid token and query count, over all connections\n"
         "of this process.\n"
         "\n"
         "Records that change over time, as a real bank's do (the same transactions\n"
         "are picked in every run):\n" +
         OptionHelp(ChangeOptions(unused), kHelpColumn);
}

}  // namespace kestrava::sandbox
