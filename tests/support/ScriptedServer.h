#pragma once

// A real HTTPS (or plain HTTP) server on 127.0.0.1 for tests. Each test
// scripts the exact reply bytes for each request it expects and reads back
// exactly what the client sent. Connections are kept alive: a connection
// serves requests until the script closes it or the client does.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "https/HttpRequestReader.h"

namespace kestrava::testing {

// The certificate the server presents.
enum class ServerCertificate {
  Trusted,        // issued by the test CA for localhost, api.test.localhost, 127.0.0.1
  UnknownIssuer,  // same names, issued by a CA nobody trusts
  WrongHost,      // trusted CA, issued for another host name only
  Expired,        // trusted CA, validity ended in the past
  NotYetValid,    // trusted CA, validity begins in the future
  WrongUsage,     // trusted CA, right names, but for client authentication only
  SelfSigned,     // right names, signed with its own key by no CA
};

// What the server does for one request, in order.
struct ReplyAction {
  enum class Kind { Send, Pause, Close, Reset };
  Kind kind;
  std::string bytes;                   // Send
  std::chrono::milliseconds pause{0};  // Pause
  std::size_t times = 1;               // Send: the bytes this many times
};

class Reply {
 public:
  Reply() = default;
  // The whole reply as exact bytes.
  explicit Reply(std::string bytes) { Send(std::move(bytes)); }
  Reply& Send(std::string bytes);
  // The same bytes `times` times over (a body that goes on and on without
  // being held whole); ends the reply when the client stops reading.
  Reply& Repeat(std::string bytes, std::size_t times);
  Reply& Pause(std::chrono::milliseconds duration);
  Reply& Close();  // orderly close after what was sent
  Reply& Reset();  // TCP reset (SO_LINGER 0)
  const std::vector<ReplyAction>& Actions() const noexcept { return actions_; }

 private:
  std::vector<ReplyAction> actions_;
};

// Builds "HTTP/1.1 <code> <reason>\r\n<headers>Content-Length: N\r\n\r\n<body>".
// headers: each "Name: value" without line break.
std::string HttpReply(int code, std::string_view reason, std::vector<std::string> headers,
                      std::string_view body);

// A request as the server read it, and the connection it came on.
struct ReceivedRequest : https::HttpRequest {
  int connection = 0;  // index of the connection, from 0
};

struct ServerOptions {
  bool tls = true;
  ServerCertificate certificate = ServerCertificate::Trusted;
  // A request carrying "Expect: 100-continue" gets "HTTP/1.1 100 Continue"
  // before its body is read, as real servers do; the scripted reply follows.
  bool answerExpectContinue = true;
  // How long an idle kept-alive connection waits for its next request.
  std::chrono::milliseconds idleLimit = std::chrono::seconds(30);
};

class ScriptedServer {
 public:
  explicit ScriptedServer(ServerOptions options = {});
  ~ScriptedServer();  // stops the server, closes every connection
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  std::uint16_t Port() const noexcept;
  // "localhost:PORT", for SetServiceHost or URLs.
  std::string HostPort() const;

  // Replies in the order requests arrive; a request with no reply left gets
  // a 599 reply and is still recorded.
  void Enqueue(Reply reply);

  // Everything received so far (thread-safe copy).
  std::vector<ReceivedRequest> Requests() const;
  // Waits (bounded) until at least n requests were received.
  bool WaitForRequests(std::size_t n,
                       std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
  int ConnectionsAccepted() const;
  int HandshakesCompleted() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The test CA: made once per test process in a temporary folder; the file
// of its certificate, and a call that points SSL_CERT_FILE at it so the
// transport trusts it.
const std::string& TestCaFile();
void TrustTestCa();

// A port on 127.0.0.1 where nothing listens: connecting to it is refused.
std::uint16_t RefusedPort();

}  // namespace kestrava::testing
