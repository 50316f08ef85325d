#include "sandbox/SandboxService.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <time.h>

#include <algorithm>
#include <optional>
#include <utility>
#include <variant>

#include "base/Ascii.h"
#include "base/HostPort.h"
#include "https/HttpsError.h"
#include "json/JSON.h"
#include "sandbox/JsonText.h"

namespace kestrava::sandbox {

namespace {

constexpr std::size_t kMaxTokens = 10'000;
constexpr int kMaxPageSize = 1000;

std::string RandomBytes(std::size_t count) {
  std::string bytes(count, '\0');
  if (RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), static_cast<int>(count)) != 1)
    throw https::HttpsError(https::OpenSslFailure("No random bytes"));
  return bytes;
}

std::string Base64(const std::string& bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                     reinterpret_cast<const unsigned char*>(bytes.data()),
                                     static_cast<int>(bytes.size()));
  out.resize(static_cast<std::size_t>(std::max(length, 0)));
  return out;
}

std::string Hex(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) AppendHexByte(out, c, HexCase::Lower);
  return out;
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int high = HexDigitValue(text[i + 1]);
      const int low = HexDigitValue(text[i + 2]);
      if (high >= 0 && low >= 0) {
        out += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    out += text[i] == '+' ? ' ' : text[i];
  }
  return out;
}

// First value of each name in a query text, decoded.
std::map<std::string, std::string> ParseQuery(std::string_view query) {
  std::map<std::string, std::string> values;
  while (!query.empty()) {
    const std::size_t end = query.find('&');
    const std::string_view piece = query.substr(0, end);
    const std::size_t equals = piece.find('=');
    const std::string name = PercentDecode(piece.substr(0, equals));
    const std::string value =
        equals == std::string_view::npos ? std::string() : PercentDecode(piece.substr(equals + 1));
    values.emplace(name, value);  // the first occurrence counts
    if (end == std::string_view::npos) break;
    query.remove_prefix(end + 1);
  }
  return values;
}

// A non-negative decimal integer below the limit.
std::optional<int> ParseCount(const std::string& text, int limit) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (!IsAsciiDigit(c)) return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > limit) return std::nullopt;
  return value;
}

// What a transaction export asks for.
struct TransactionQuery {
  LocalMillis start = 0, end = 0;
  int pageNumber = 0;
  int pageSize = 0;
  std::optional<int> accountId;  // none: the transactions of every account
};

// The parameters of a transaction export, or the message of the 400 reply
// that refuses them.
std::variant<TransactionQuery, std::string> ReadTransactionQuery(std::string_view text) {
  const auto parameters = ParseQuery(text);
  const auto value = [&](const char* name) -> std::optional<std::string> {
    const auto found = parameters.find(name);
    if (found == parameters.end()) return std::nullopt;
    return found->second;
  };

  const auto startText = value("startDate");
  const auto endText = value("endDate");
  if (!startText || !endText) return "startDate and endDate are required";
  TransactionQuery query;
  const auto start = ParseQueryDateTime(*startText);
  if (!start) return "Invalid startDate \"" + *startText + "\"";
  const auto end = ParseQueryDateTime(*endText);
  if (!end) return "Invalid endDate \"" + *endText + "\"";
  query.start = *start;
  query.end = *end;

  const auto pageNumber = ParseCount(value("pageNumber").value_or("0"), 1'000'000'000);
  if (!pageNumber) return "Invalid pageNumber";
  const auto pageSize = ParseCount(value("pageSize").value_or("50"), kMaxPageSize);
  if (!pageSize || *pageSize == 0)
    return "pageSize must be between 1 and " + std::to_string(kMaxPageSize);
  query.pageNumber = *pageNumber;
  query.pageSize = *pageSize;

  if (const auto accountText = value("accountId")) {
    query.accountId = ParseCount(*accountText, 1'000'000'000);
    if (!query.accountId) return "Invalid accountId";
  }
  return query;
}

// The indices [first, stop) of the candidates, in time order, whose time
// lies in [start, last]; found by halving, so a page costs what it returns,
// not what the whole history holds.
template <typename Candidates, typename TimeOf>
std::pair<std::size_t, std::size_t> TimeRange(const Candidates& candidates, TimeOf timeOf,
                                              LocalMillis start, LocalMillis last) {
  const auto begin = candidates.begin();
  const auto first = std::partition_point(
      begin, candidates.end(), [&](const auto& candidate) { return timeOf(candidate) < start; });
  const auto stop = std::partition_point(
      first, candidates.end(), [&](const auto& candidate) { return timeOf(candidate) <= last; });
  return {static_cast<std::size_t>(first - begin), static_cast<std::size_t>(stop - begin)};
}

struct TransactionPage {
  std::vector<const Transaction*> records;
  std::size_t matching = 0;  // transactions of the query on all its pages
};

constexpr std::uint64_t kLateSalt = 0x1A7E;
constexpr std::uint64_t kAmendSalt = 0xA3E2D;
constexpr LocalMillis kMillisPerHour = 3'600'000;

// Whether the share's change has happened to the transaction by `now`.
bool Happened(const Transaction& transaction, const DelayedShare& share, std::uint64_t salt,
              LocalMillis now) {
  return InShare(transaction, share.percent, salt) &&
         now >= transaction.time + share.hours * kMillisPerHour;
}

// The query's page among the transactions of one account (or of all when
// ofAccount is null) up to now. Oldest first, so pages stay put while new
// transactions of today appear at the end. A late posting not yet shown
// can only be among those booked within its delay before now, so only
// those are looked at one by one; the pages before stay a matter of
// halving. `repeatAfterPage` begins the page after it with the last record
// of that page again.
TransactionPage SelectPage(const DataSet& data, const std::vector<std::uint32_t>* ofAccount,
                           const TransactionQuery& query, LocalMillis now,
                           const ServiceOptions& options) {
  const LocalMillis last = std::min(query.end, now);
  const auto timeAt = [&](std::size_t i) -> const Transaction& {
    return data.transactions[ofAccount == nullptr ? i : (*ofAccount)[i]];
  };
  const auto range = [&](LocalMillis from, LocalMillis to) {
    return ofAccount == nullptr
               ? TimeRange(
                     data.transactions, [](const Transaction& t) { return t.time; }, from, to)
               : TimeRange(
                     *ofAccount, [&](std::uint32_t i) { return data.transactions[i].time; }, from,
                     to);
  };
  const auto [first, stop] = range(query.start, last);
  // [first, shown) all shown; of [shown, stop) those in `later`.
  std::size_t shown = stop;
  std::vector<std::size_t> later;
  const DelayedShare& late = options.latePostings;
  if (late.percent > 0 && late.hours > 0) {
    const LocalMillis cut = now - late.hours * kMillisPerHour;
    shown = std::max(first, std::min(stop, range(query.start, std::min(last, cut)).second));
    for (std::size_t i = shown; i < stop; ++i)
      if (!InShare(timeAt(i), late.percent, kLateSalt)) later.push_back(i);
  }
  const std::size_t before = shown - first;
  const auto at = [&](std::size_t position) {
    return &timeAt(position < before ? first + position : later[position - before]);
  };
  TransactionPage page;
  page.matching = before + later.size();
  const std::size_t size = static_cast<std::size_t>(query.pageSize);
  const std::size_t from =
      std::min(page.matching, static_cast<std::size_t>(query.pageNumber) * size);
  const std::size_t to = std::min(page.matching, from + size);
  if (options.repeatAfterPage && query.pageNumber == *options.repeatAfterPage + 1 && from > 0 &&
      from <= page.matching)
    page.records.push_back(at(from - 1));
  for (std::size_t i = from; i < to; ++i) page.records.push_back(at(i));
  return page;
}

// The reply body of one page of the export.
std::string TransactionPageText(const DataSet& data, const TransactionPage& page,
                                const TransactionQuery& query, LocalMillis now,
                                const DelayedShare& amendments) {
  std::string result = "[";
  for (const Transaction* transaction : page.records) {
    if (result.size() > 1) result += ',';
    result +=
        TransactionJson(data, *transaction, Happened(*transaction, amendments, kAmendSalt, now));
  }
  result += "]";

  const std::size_t size = static_cast<std::size_t>(query.pageSize);
  const std::string totalPages = std::to_string((page.matching + size - 1) / size);
  std::string body = "{";
  bool first = true;
  AppendMember(body, first, "status", Quoted("200 OK"));
  AppendMember(body, first, "result", result);
  AppendMember(body, first, "pageNumber", std::to_string(query.pageNumber));
  AppendMember(body, first, "pageSize", std::to_string(query.pageSize));
  // Production gives the page count as a number, test as text: the client
  // must take both.
  AppendMember(body, first, "totalPages",
               data.environment == Environment::Test ? Quoted(totalPages) : totalPages);
  AppendMember(body, first, "totalElements", std::to_string(page.matching));
  AppendMember(body, first, "timestamp", Quoted(FormatDateTime(now)));
  body += "}";
  return body;
}

std::string StatusText(int status) {
  return std::to_string(status) + " " + ReasonPhrase(status);
}

std::string HttpDate(time_t when = time(nullptr)) {
  char buffer[64];
  tm utc{};
  gmtime_r(&when, &utc);
  strftime(buffer, sizeof buffer, "%a, %d %b %Y %H:%M:%S GMT", &utc);
  return buffer;
}

}  // namespace

const char* ReasonPhrase(int status) noexcept {
  switch (status) {
    case 200:
      return "OK";
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 408:
      return "Request Timeout";
    case 409:
      return "Conflict";
    case 413:
      return "Payload Too Large";
    case 429:
      return "Too Many Requests";
    case 500:
      return "Internal Server Error";
    case 501:
      return "Not Implemented";
    case 502:
      return "Bad Gateway";
    case 503:
      return "Service Unavailable";
    case 504:
      return "Gateway Timeout";
    default:
      return status < 300 ? "OK" : status < 500 ? "Client Error" : "Server Error";
  }
}

std::string ServiceReply::Bytes() const {
  std::string bytes = "HTTP/1.1 " + StatusText(status) + "\r\n";
  bytes += "Date: " + HttpDate() + "\r\n";
  bytes += "Server: kestrava-sandbox\r\n";
  for (const auto& header : headers) bytes += header + "\r\n";
  bytes += "Content-Type: application/json;charset=UTF-8\r\n";
  bytes += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  if (close) bytes += "Connection: close\r\n";
  bytes += "\r\n";
  bytes += body;
  return bytes;
}

std::string ServiceReply::WireBytes() const {
  std::string bytes = Bytes();
  if (cutBodyAt && *cutBodyAt < body.size()) bytes.resize(bytes.size() - body.size() + *cutBodyAt);
  return bytes;
}

Environment EnvironmentOfHost(std::string_view host) {
  return StartsWithIgnoreCase(host, "api.test.") ? Environment::Test : Environment::Production;
}

SandboxService::SandboxService(ServiceOptions options) : options_(std::move(options)) {
  if (!options_.clock) options_.clock = LocalNow;
  for (const auto& [page, faults] : options_.pageFaults)
    pageFaultHits_[page].assign(faults.size(), 0);
}

SandboxService::~SandboxService() = default;

ServiceReply SandboxService::Error(int status, std::string_view message, LocalMillis now) const {
  ServiceReply reply;
  reply.status = status;
  std::string& body = reply.body;
  body = "{";
  bool first = true;
  AppendMember(body, first, "status", Quoted(StatusText(status)));
  AppendMember(body, first, "message", Quoted(message));
  AppendMember(body, first, "timestamp", Quoted(FormatDateTime(now)));
  body += "}";
  return reply;
}

std::optional<PageFault> SandboxService::TakePageFault(int page) {
  const auto faults = options_.pageFaults.find(page);
  if (faults == options_.pageFaults.end()) return std::nullopt;
  std::lock_guard lock(mutex_);
  std::vector<int>& hits = pageFaultHits_.at(page);
  for (std::size_t i = 0; i < faults->second.size(); ++i) {
    const PageFault& fault = faults->second[i];
    if (fault.count == 0) return fault;
    if (hits[i] < fault.count) {
      ++hits[i];
      return fault;
    }
  }
  return std::nullopt;
}

ServiceReply SandboxService::InjectedFailure(int status, int page, LocalMillis now) const {
  ServiceReply reply =
      Error(status, "Injected failure of page " + std::to_string(page) + " (sandbox)", now);
  const RetryAfterHint& hint = options_.retryAfter;
  if (status == 429 || status == 503) {
    if (hint.form == RetryAfterHint::Form::Seconds)
      reply.headers.push_back("Retry-After: " + std::to_string(hint.seconds));
    else if (hint.form == RetryAfterHint::Form::Date)
      reply.headers.push_back("Retry-After: " +
                              HttpDate(time(nullptr) + static_cast<time_t>(hint.seconds)));
  }
  return reply;
}

ServiceReply SandboxService::Handle(const https::HttpRequest& request) {
  const LocalMillis now = options_.clock();
  ServiceReply reply;
  const std::string host = request.Header("Host");
  const std::size_t queryStart = request.target.find('?');
  const std::string path = request.target.substr(0, queryStart);
  const std::string query =
      queryStart == std::string::npos ? std::string() : request.target.substr(queryStart + 1);
  const Environment environment = EnvironmentOfHost(host);

  if (!request.HasHeader("Host")) {
    reply = Error(400, "Missing Host header", now);
  } else if (HostPortProblem(host)) {
    reply = Error(400, "Invalid Host header", now);
  } else if (path == kTokenPath) {
    reply = request.method == "POST" ? Authenticate(request, environment)
                                     : Error(405, "Use POST for " + path, now);
    if (reply.status == 405) reply.headers.push_back("Allow: POST");
  } else if (path == kAccountsPath || path == kTransactionsPath) {
    if (request.method != "GET") {
      reply = Error(405, "Use GET for " + path, now);
      reply.headers.push_back("Allow: GET");
    } else {
      reply = CheckToken(request, environment);
      if (reply.status == 0)
        reply = path == kAccountsPath ? Accounts(environment) : Transactions(query, environment);
    }
  } else {
    reply = Error(404, "No resource at " + path, now);
  }
  if (EqualsIgnoreCase(request.Header("Connection"), "close") || request.version == "HTTP/1.0")
    reply.close = true;
  return reply;
}

ServiceReply SandboxService::Authenticate(const https::HttpRequest& request,
                                          Environment environment) {
  const LocalMillis now = options_.clock();
  std::string grantType, clientId, clientSecret;
  const auto parsed = ParseJSONValue(request.body);
  if (!parsed || parsed->Kind() != TJSONKind::Object)
    return Error(400, "The request body is not a JSON object", now);
  try {
    grantType = parsed->GetValue("grant_type", "");
    clientId = parsed->GetValue("client_id", "");
    clientSecret = parsed->GetValue("client_secret", "");
  } catch (const Exception&) {
    return Error(400, "The request body is not a JSON object of texts", now);
  }
  if (grantType != "client_credentials")
    return Error(400, "Unsupported grant_type \"" + grantType + "\"", now);

  const bool known = std::any_of(
      options_.clients.begin(), options_.clients.end(), [&](const ClientCredential& credential) {
        return credential.id == clientId && credential.secret == clientSecret;
      });
  if (!known) {
    ServiceReply refusal = Error(401, "Invalid client credentials", now);
    if (options_.softRefusal) {
      // Some gateways answer 200 and put the refusal in the body.
      refusal.status = 200;
      refusal.body = "{";
      bool first = true;
      AppendMember(refusal.body, first, "status", Quoted("401 UNAUTHORIZED"));
      AppendMember(refusal.body, first, "message", Quoted("Invalid client credentials"));
      refusal.body += "}";
    } else {
      refusal.headers.push_back("WWW-Authenticate: Basic realm=\"kestrava\"");
    }
    return refusal;
  }

  const std::string token = Base64(RandomBytes(32));  // ends in "=", as some real tokens do
  {
    std::lock_guard lock(mutex_);
    tokens_[token] =
        Token{environment, 0, now + static_cast<LocalMillis>(options_.tokenLifetimeSeconds) * 1000};
    tokenOrder_.push_back(token);
    if (tokenOrder_.size() > kMaxTokens) {
      tokens_.erase(tokenOrder_.front());
      tokenOrder_.erase(tokenOrder_.begin());
    }
  }
  ServiceReply reply;
  std::string result = "{";
  bool first = true;
  AppendMember(result, first, "accessToken", Quoted(token));
  AppendMember(result, first, "tokenType", Quoted("Bearer"));
  AppendMember(result, first, "expiresIn", std::to_string(options_.tokenLifetimeSeconds));
  AppendMember(result, first, "scope", Quoted("aisp"));
  result += "}";
  reply.body = "{";
  first = true;
  AppendMember(reply.body, first, "status", Quoted("200 OK"));
  AppendMember(reply.body, first, "result", result);
  AppendMember(reply.body, first, "message", Quoted("Autentificare reușită"));
  AppendMember(reply.body, first, "timestamp", Quoted(FormatDateTime(now)));
  reply.body += "}";
  reply.headers.push_back("Set-Cookie: KSESSIONID=" + Hex(RandomBytes(16)) +
                          "; Path=/; Secure; HttpOnly; SameSite=Strict");
  reply.headers.push_back("Cache-Control: no-store");
  return reply;
}

ServiceReply SandboxService::CheckToken(const https::HttpRequest& request,
                                        Environment environment) {
  const LocalMillis now = options_.clock();
  const std::string authorization = request.Header("Authorization");
  ServiceReply refusal;
  if (!StartsWithIgnoreCase(authorization, "Bearer ")) {
    refusal = Error(401, "Missing bearer token", now);
  } else {
    const std::string token = authorization.substr(7);
    std::lock_guard lock(mutex_);
    const auto found = tokens_.find(token);
    if (found == tokens_.end() || found->second.environment != environment) {
      refusal = Error(401, "Invalid access token", now);
    } else {
      Token& state = found->second;
      ++state.uses;
      if (now >= state.expires || (options_.expireAfter > 0 && state.uses > options_.expireAfter)) {
        refusal = Error(401, "Access token expired", now);
        refusal.headers.push_back(
            "WWW-Authenticate: Bearer error=\"invalid_token\", error_description=\"expired\"");
        return refusal;
      }
      return ServiceReply{0, {}, {}, false, std::nullopt};
    }
  }
  refusal.headers.push_back("WWW-Authenticate: Bearer realm=\"kestrava\"");
  return refusal;
}

std::shared_ptr<const DataSet> SandboxService::Data(Environment environment, LocalMillis now) {
  const std::int64_t today = DayOf(now);
  std::lock_guard lock(mutex_);
  auto& entry = data_[environment];
  if (!entry.second || entry.first != today) {
    entry.first = today;
    entry.second = std::make_shared<const DataSet>(MakeDataSet(environment, options_.scale, today));
  }
  return entry.second;
}

ServiceReply SandboxService::Accounts(Environment environment) {
  const LocalMillis now = options_.clock();
  const auto data = Data(environment, now);
  ServiceReply reply;
  std::string result = "[";
  for (const Account& account : data->accounts) {
    if (result.size() > 1) result += ',';
    result += AccountJson(account);
  }
  result += "]";
  bool first = true;
  reply.body = "{";
  AppendMember(reply.body, first, "status", Quoted("200 OK"));
  AppendMember(reply.body, first, "result", result);
  AppendMember(reply.body, first, "totalElements", std::to_string(data->accounts.size()));
  AppendMember(reply.body, first, "timestamp", Quoted(FormatDateTime(now)));
  reply.body += "}";
  return reply;
}

ServiceReply SandboxService::Transactions(const std::string& queryText, Environment environment) {
  const LocalMillis now = options_.clock();
  const auto read = ReadTransactionQuery(queryText);
  if (const auto* refusal = std::get_if<std::string>(&read)) return Error(400, *refusal, now);
  const TransactionQuery& query = std::get<TransactionQuery>(read);

  const auto data = Data(environment, now);
  const std::vector<std::uint32_t>* ofAccount = nullptr;  // none: every account's
  if (query.accountId) {
    const auto found = std::find_if(data->accounts.begin(), data->accounts.end(),
                                    [&](const Account& a) { return a.id == *query.accountId; });
    if (found == data->accounts.end())
      return Error(404, "Account " + std::to_string(*query.accountId) + " not found", now);
    ofAccount =
        &data->transactionsOfAccount[static_cast<std::size_t>(found - data->accounts.begin())];
  }

  const auto fault = TakePageFault(query.pageNumber);
  if (fault && fault->status != 0) return InjectedFailure(fault->status, query.pageNumber, now);

  ServiceReply reply;
  reply.body = TransactionPageText(*data, SelectPage(*data, ofAccount, query, now, options_), query,
                                   now, options_.amendments);
  // A connection lost mid-reply: the page's real head, then half its body.
  if (fault) reply.cutBodyAt = reply.body.size() / 2;
  return reply;
}

}  // namespace kestrava::sandbox
