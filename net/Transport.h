#pragma once

// libcurl as the transport of the exchange: one easy handle in one multi
// handle per REST client, kept for the client's life so that connections
// (and their TLS sessions) are reused. It sends one request and reads one
// reply; redirects and cookies are the exchange's business, not libcurl's.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/Exception.h"
#include "base/HeaderList.h"
#include "net/RequestDefaults.h"

namespace kestrava::net {

struct TransportRequest {
  bool post = false;
  std::string url;
  HeaderList headers;                 // sent as given
  std::string body;                   // POST only
  int timeoutMs = kDefaultTimeoutMs;  // bound of each single wait
};

struct TransportReply {
  std::string version;  // "HTTP/1.1"
  int code = 0;
  std::string reason;
  HeaderList headers;  // of the final head, in order
  std::string body;
};

// A transfer broken off because the wait hook said so.
class ETransferCancelled : public Exception {
 public:
  ETransferCancelled() : Exception(kTransferCancelledText) {}
  static constexpr const char* kTransferCancelledText = "Cancelled by the operator";
};

// Fixed product token sent as User-Agent on every request.
inline constexpr const char* kUserAgent = "Kestrava/1.0";

class Transport {
 public:
  // Throws ENetHTTPClientException "Error obtaining session handle".
  Transport();
  ~Transport();
  Transport(const Transport&) = delete;
  Transport& operator=(const Transport&) = delete;

  // Sends the request and reads the whole reply. `host` is the URL's host,
  // which the failure to open a connection names. Throws the stage failures
  // (ENetHTTPClientException, ENetHTTPResponseException,
  // ENetHTTPRequestException, ENetHTTPException) with libcurl's code and
  // description.
  TransportReply Perform(const TransportRequest& request, const std::string& host);

  // Runs `hook` while a request waits on the network (name resolution,
  // connecting, sending, each wait for reply data): once every `interval`
  // for as long as the wait lasts, never more often. An empty hook runs
  // nothing. The hook gives whether to go on: false breaks the transfer off
  // at once (its connection is closed) and Perform throws
  // ETransferCancelled; the next request starts afresh.
  void SetWaitHook(std::function<bool()> hook, std::chrono::milliseconds interval);

  // Why the last Perform failed on the server's certificate, in words, when
  // the TLS library says: "certificate has expired", "certificate is not yet
  // valid", "certificate is for another host name", "certificate from an
  // untrusted issuer", "self-signed certificate", "certificate is not for a
  // server". Empty when the last Perform did not fail on it, or for a reason
  // without words here.
  const std::string& CertificateProblem() const noexcept;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Description text as the stage messages use it: trailing full stops and
// characters below 33 removed, repeatedly.
std::string TrimDescription(std::string text);

}  // namespace kestrava::net
