#include "sandbox/CommandLine.h"

#include <charconv>
#include <optional>

namespace kestrava::sandbox {

const char kUsage[] =
    "Usage: kestrava-sandbox [options]\n"
    "A stand-alone HTTPS double of the Kestrava service on 127.0.0.1.\n"
    "Host localhost:PORT is the production environment, api.test.localhost:PORT the test one.\n"
    "When ready it prints one line on standard output:\n"
    "  kestrava-sandbox: host localhost:PORT ca CA-FILE\n"
    "\n"
    "Options:\n"
    "  --port N                  listen on 127.0.0.1:N (default: a free port)\n"
    "  --state-dir DIR           where the CA and server certificate are kept (default:\n"
    "                            $XDG_RUNTIME_DIR/kestrava-sandbox or /tmp/kestrava-sandbox-UID)\n"
    "  --client ID:SECRET        accept these credentials too (repeatable); K27315TQB with\n"
    "                            its design-time secret is always accepted\n"
    "  --latency MS              wait MS milliseconds before every reply\n"
    "  --expire-after N          each token is good for N export requests (accounts\n"
    "                            or transaction pages, refused or failed ones too);\n"
    "                            later ones get 401 \"Access token expired\"\n"
    "  --token-lifetime SECONDS  lifetime of a token (default 3600)\n"
    "  --accounts N              accounts per environment (default 4, 1-200)\n"
    "  --transactions-per-day N  transactions per day over all accounts (default 36, 0-2000)\n"
    "  --days N                  days of history (default 400, 1-3650)\n"
    "  --soft-refusal            refuse bad credentials with 200 and a \"status\" of\n"
    "                            \"401 UNAUTHORIZED\" instead of HTTP 401\n"
    "  --quiet                   no request log on standard error\n"
    "  --help                    this text\n"
    "  --version                 print the version and exit\n"
    "\n"
    "Faults of the transaction export (page N is the request's pageNumber, from 0):\n"
    "  --fail-page N:STATUS[:COUNT]\n"
    "                            answer page N with STATUS (400-599) COUNT times\n"
    "                            (default: every time), then serve it\n"
    "  --reset-page N[:COUNT]    send page N's head and half its body, then close the\n"
    "                            connection, COUNT times (default: every time), then\n"
    "                            serve it\n"
    "  --retry-after SECONDS     add \"Retry-After: SECONDS\" to the 429 and 503\n"
    "                            replies of --fail-page (0-2147483647)\n"
    "  --retry-after-date SECONDS\n"
    "                            the same, as the HTTP-date SECONDS after the reply\n"
    "                            (negative: before it)\n"
    "Both fault options are repeatable, for one page or several. The faults of one\n"
    "page hit in the order given, each its COUNT times; a fault without COUNT never\n"
    "ends. Only requests with a valid token and query count, over all connections\n"
    "of this process.\n";

namespace {

std::optional<long long> Number(const std::string& text, long long low, long long high) {
  long long value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || ptr != end || text.empty() || value < low || value > high)
    return std::nullopt;
  return value;
}

constexpr long long kMaxPage = 1'000'000'000;
constexpr long long kMaxCount = 1'000'000'000;
constexpr long long kMaxRetryAfter = 2'147'483'647;

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

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  SandboxOptions& options = line.options;
  for (std::size_t i = 0; i < arguments.size() && line.error.empty(); ++i) {
    std::string name = arguments[i];
    std::optional<std::string> inlineValue;
    if (const auto equals = name.find('=');
        name.rfind("--", 0) == 0 && equals != std::string::npos) {
      inlineValue = name.substr(equals + 1);
      name.resize(equals);
    }
    const auto flag = [&](bool& target) {
      if (inlineValue) {
        line.error = name + " takes no value";
        return;
      }
      target = true;
    };
    const auto value = [&]() -> std::optional<std::string> {
      if (inlineValue) return inlineValue;
      if (i + 1 < arguments.size()) return arguments[++i];
      line.error = name + " needs a value";
      return std::nullopt;
    };
    const auto number = [&](long long low, long long high) -> std::optional<long long> {
      const auto text = value();
      if (!text) return std::nullopt;
      const auto parsed = Number(*text, low, high);
      if (!parsed)
        line.error = name + " wants a whole number from " + std::to_string(low) + " to " +
                     std::to_string(high) + ", not \"" + *text + "\"";
      return parsed;
    };

    if (name == "--help" || name == "-h") {
      flag(line.help);
    } else if (name == "--version") {
      flag(line.version);
    } else if (name == "--quiet") {
      flag(line.quiet);
    } else if (name == "--soft-refusal") {
      flag(options.service.softRefusal);
    } else if (name == "--port") {
      if (auto n = number(0, 65535)) options.port = static_cast<std::uint16_t>(*n);
    } else if (name == "--state-dir") {
      if (auto text = value()) {
        if (text->empty())
          line.error = "--state-dir needs a folder";
        else
          options.stateDir = *text;
      }
    } else if (name == "--latency") {
      if (auto n = number(0, 600'000)) options.latency = std::chrono::milliseconds(*n);
    } else if (name == "--expire-after") {
      if (auto n = number(1, 1'000'000'000)) options.service.expireAfter = static_cast<int>(*n);
    } else if (name == "--token-lifetime") {
      if (auto n = number(1, 100'000'000))
        options.service.tokenLifetimeSeconds = static_cast<int>(*n);
    } else if (name == "--accounts") {
      if (auto n = number(1, kMaxAccounts)) options.service.scale.accounts = static_cast<int>(*n);
    } else if (name == "--transactions-per-day") {
      if (auto n = number(0, kMaxTransactionsPerDay))
        options.service.scale.transactionsPerDay = static_cast<int>(*n);
    } else if (name == "--days") {
      if (auto n = number(1, 3650)) options.service.scale.days = static_cast<int>(*n);
    } else if (name == "--client") {
      if (auto text = value()) {
        const auto colon = text->find(':');
        if (colon == std::string::npos || colon == 0 || colon + 1 == text->size())
          line.error = "--client wants ID:SECRET, not \"" + *text + "\"";
        else
          options.service.clients.push_back({text->substr(0, colon), text->substr(colon + 1)});
      }
    } else if (name == "--fail-page" || name == "--reset-page") {
      if (auto text = value()) {
        const bool fail = name == "--fail-page";
        if (const auto fault = ParsePageFault(*text, fail))
          options.service.pageFaults[fault->first].push_back(fault->second);
        else
          line.error = name +
                       (fail ? " wants N:STATUS[:COUNT] with STATUS 400-599 and COUNT"
                             : " wants N[:COUNT] with COUNT") +
                       " 1-" + std::to_string(kMaxCount) + ", not \"" + *text + "\"";
      }
    } else if (name == "--retry-after" || name == "--retry-after-date") {
      const bool date = name == "--retry-after-date";
      using Form = RetryAfterHint::Form;
      if (auto n = number(date ? -kMaxRetryAfter : 0, kMaxRetryAfter)) {
        const Form form = date ? Form::Date : Form::Seconds;
        if (options.service.retryAfter.form != Form::None &&
            options.service.retryAfter.form != form)
          line.error = "--retry-after and --retry-after-date exclude each other";
        else
          options.service.retryAfter = {form, *n};
      }
    } else {
      line.error = "Unknown option \"" + name + "\" (see --help)";
    }
  }
  const auto& scale = options.service.scale;
  if (line.error.empty() &&
      static_cast<long long>(scale.transactionsPerDay) * scale.days > kMaxTransactionsInHistory)
    line.error = "--transactions-per-day times --days may be at most " +
                 std::to_string(kMaxTransactionsInHistory);
  return line;
}

}  // namespace kestrava::sandbox
