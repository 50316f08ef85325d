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
    "  --fail-page N:STATUS      answer page N of the transaction export with STATUS\n"
    "                            (400-599, repeatable)\n"
    "  --latency MS              wait MS milliseconds before every reply\n"
    "  --expire-after N          a token serves N export requests, then gets 401\n"
    "  --token-lifetime SECONDS  lifetime of a token (default 3600)\n"
    "  --accounts N              accounts per environment (default 4, 1-200)\n"
    "  --transactions-per-day N  transactions per day over all accounts (default 36, 0-2000)\n"
    "  --days N                  days of history (default 400, 1-3650)\n"
    "  --soft-refusal            refuse bad credentials with 200 and a \"status\" of\n"
    "                            \"401 UNAUTHORIZED\" instead of HTTP 401\n"
    "  --quiet                   no request log on standard error\n"
    "  --help                    this text\n";

namespace {

std::optional<long long> Number(const std::string& text, long long low, long long high) {
  long long value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || ptr != end || text.empty() || value < low || value > high)
    return std::nullopt;
  return value;
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
    } else if (name == "--fail-page") {
      if (auto text = value()) {
        const auto colon = text->find(':');
        const auto page = colon == std::string::npos
                              ? std::nullopt
                              : Number(text->substr(0, colon), 0, 1'000'000'000);
        const auto status =
            colon == std::string::npos ? std::nullopt : Number(text->substr(colon + 1), 400, 599);
        if (!page || !status)
          line.error = "--fail-page wants PAGE:STATUS with STATUS 400-599, not \"" + *text + "\"";
        else
          options.service.failPages[static_cast<int>(*page)] = static_cast<int>(*status);
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
