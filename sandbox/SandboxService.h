#pragma once

// The service logic of the sandbox: the token request and the two exports,
// answered from made-up data, with the faults a demonstration may ask for.
// It works on parsed requests and gives whole replies, so tests can drive it
// without any connection. Safe to call from several threads.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "https/HttpRequestReader.h"
#include "sandbox/CivilTime.h"
#include "sandbox/SandboxData.h"

namespace kestrava::sandbox {

inline constexpr char kTokenPath[] =
    "/qorn-web-gateway/tavel-authenticate-api/rest/api/authenticate/qorn-web/tokens";
inline constexpr char kAccountsPath[] =
    "/qorn-web-gateway/tavel-accounts/rest/api/ais/qorn-web/export/aisp-accounts";
inline constexpr char kTransactionsPath[] =
    "/qorn-web-gateway/tavel-accounts/rest/api/ais/qorn-web/export/aisp-transactions";

// The window's design-time credentials, always accepted.
inline constexpr char kDefaultClientId[] = "K27315TQB";
inline constexpr char kDefaultClientSecret[] = "9a1c5d2e-8b3f-4c6a-9d1e-7f2b0c4a8e5d";

struct ClientCredential {
  std::string id;
  std::string secret;
};

// A fault injected into the requests of one page of the transaction export.
struct PageFault {
  int status = 0;  // the reply's status; 0: a 200 reply cut off in the middle of its body
  int count = 0;   // how many requests of the page it hits; 0: every one

  bool operator==(const PageFault&) const = default;
};

// The Retry-After header of the 429 and 503 replies that a PageFault makes.
struct RetryAfterHint {
  enum class Form { None, Seconds, Date };
  Form form = Form::None;
  // Seconds: the delta-seconds sent. Date: the distance of the HTTP-date
  // sent from the time of the reply (negative: in the past).
  std::int64_t seconds = 0;

  bool operator==(const RetryAfterHint&) const = default;
};

// A share of the transactions that something happens to some hours after
// their booking time. Which ones is fixed by the transaction, so every
// request of a process and every run of the sandbox picks the same.
struct DelayedShare {
  int percent = 0;  // 0-100 of the transactions
  int hours = 0;    // after the booking time

  bool operator==(const DelayedShare&) const = default;
};

struct ServiceOptions {
  std::vector<ClientCredential> clients{{kDefaultClientId, kDefaultClientSecret}};
  // Transaction page number -> its faults, in the order they hit: each one
  // hits its count of requests of the page, then the next one takes over;
  // when all are spent the page is served. A fault of count 0 never ends.
  std::map<int, std::vector<PageFault>> pageFaults;
  RetryAfterHint retryAfter;
  int expireAfter = 0;  // export requests one token serves; 0: no limit
  int tokenLifetimeSeconds = 3600;
  // Refuse bad credentials with 200 and a "status" other than "200 OK"
  // instead of 401.
  bool softRefusal = false;
  DataScale scale;
  // Late postings: the export shows these transactions only once their
  // booking time is `hours` past, in their place by booking time.
  DelayedShare latePostings;
  // Amended records: these transactions get another description once their
  // booking time is `hours` past.
  DelayedShare amendments;
  // The transaction page after this one begins with the last record of this
  // one again (as a service whose pages shift between two requests does);
  // none: no record is repeated.
  std::optional<int> repeatAfterPage;
  std::function<LocalMillis()> clock = LocalNow;
};

struct ServiceReply {
  int status = 200;
  std::vector<std::string> headers;  // "Name: value", besides the ones Bytes() adds
  std::string body;
  bool close = false;  // close the connection after this reply
  // Send the head (whose Content-Length is the whole body's) and only this
  // many bytes of the body, then close the connection, as a server that
  // fails in the middle of a reply does. None: the whole reply.
  std::optional<std::size_t> cutBodyAt;

  // Status line, headers, Content-Type, Content-Length, blank line, body.
  std::string Bytes() const;
  // What goes on the wire: Bytes(), or its part before the cut.
  std::string WireBytes() const;
};

const char* ReasonPhrase(int status) noexcept;

// "api.test." in front of the host name selects the test environment;
// every other host is production. A request without a Host field, or with
// one that is no HOST[:PORT] as the programs take it, is answered 400.
Environment EnvironmentOfHost(std::string_view host);

class SandboxService {
 public:
  explicit SandboxService(ServiceOptions options = {});
  ~SandboxService();
  SandboxService(const SandboxService&) = delete;
  SandboxService& operator=(const SandboxService&) = delete;

  ServiceReply Handle(const https::HttpRequest& request);

 private:
  struct Token {
    Environment environment;
    int uses = 0;
    LocalMillis expires = 0;
  };
  ServiceReply Authenticate(const https::HttpRequest& request, Environment environment);
  // Empty reply status 0 when the request may go on.
  ServiceReply CheckToken(const https::HttpRequest& request, Environment environment);
  ServiceReply Accounts(Environment environment);
  ServiceReply Transactions(const std::string& queryText, Environment environment);
  std::shared_ptr<const DataSet> Data(Environment environment, LocalMillis now);
  ServiceReply Error(int status, std::string_view message, LocalMillis now) const;
  // The fault that hits this request of the page, if any; counts it.
  std::optional<PageFault> TakePageFault(int page);
  ServiceReply InjectedFailure(int status, int page, LocalMillis now) const;

  ServiceOptions options_;
  std::mutex mutex_;
  std::map<std::string, Token> tokens_;
  std::vector<std::string> tokenOrder_;  // oldest first, to bound the map
  std::map<Environment, std::pair<std::int64_t, std::shared_ptr<const DataSet>>> data_;
  std::map<int, std::vector<int>> pageFaultHits_;  // requests each PageFault has hit
};

}  // namespace kestrava::sandbox
