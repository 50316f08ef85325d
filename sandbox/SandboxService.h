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
#include <string>
#include <vector>

#include "sandbox/CivilTime.h"
#include "sandbox/SandboxData.h"
#include "sandbox/https/HttpRequestReader.h"

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

struct ServiceOptions {
  std::vector<ClientCredential> clients{{kDefaultClientId, kDefaultClientSecret}};
  std::map<int, int> failPages;  // transaction page number -> status it answers with
  int expireAfter = 0;           // export requests one token serves; 0: no limit
  int tokenLifetimeSeconds = 3600;
  // Refuse bad credentials with 200 and a "status" other than "200 OK"
  // instead of 401.
  bool softRefusal = false;
  DataScale scale;
  std::function<LocalMillis()> clock = LocalNow;
};

struct ServiceReply {
  int status = 200;
  std::vector<std::string> headers;  // "Name: value", besides the ones Bytes() adds
  std::string body;
  bool close = false;  // close the connection after this reply

  // Status line, headers, Content-Type, Content-Length, blank line, body.
  std::string Bytes() const;
};

const char* ReasonPhrase(int status) noexcept;

// "api.test." in front of the host name selects the test environment;
// every other host is production.
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
  ServiceReply Transactions(const std::string& query, Environment environment);
  std::shared_ptr<const DataSet> Data(Environment environment, LocalMillis now);
  ServiceReply Error(int status, std::string_view message, LocalMillis now) const;

  ServiceOptions options_;
  std::mutex mutex_;
  std::map<std::string, Token> tokens_;
  std::vector<std::string> tokenOrder_;  // oldest first, to bound the map
  std::map<Environment, std::pair<std::int64_t, std::shared_ptr<const DataSet>>> data_;
};

}  // namespace kestrava::sandbox
