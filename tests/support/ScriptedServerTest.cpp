#include <gtest/gtest.h>

#include <openssl/x509_vfy.h>
#include <cstdlib>

#include "https/Connection.h"
#include "tests/support/ScriptedServer.h"

namespace kestrava::testing {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using https::IoStatus;

constexpr auto kLimit = 5000ms;

class Client {
 public:
  explicit Client(const ScriptedServer& server, bool tls = true,
                  const std::string& name = "localhost")
      : context_(https::TlsContext::Client(TestCaFile())) {
    std::string error;
    connection_ = https::Connect(server.Port(), tls ? &context_ : nullptr, name, kLimit, &error);
    if (!connection_) ADD_FAILURE() << error;
  }

  bool Connected() const { return connection_ != nullptr; }
  https::Connection& Connection() { return *connection_; }

  void Send(std::string_view bytes) {
    ASSERT_EQ(connection_->WriteAll(bytes, kLimit), IoStatus::Ok) << connection_->LastError();
  }

  // Reads until the stream ends (or fails); the status says how it ended.
  IoStatus ReadToEnd(std::string& out) {
    for (;;) {
      const IoStatus status = connection_->ReadSome(out, 4096, kLimit);
      if (status != IoStatus::Ok) return status;
    }
  }

  // Reads exactly n bytes.
  std::string ReadBytes(std::size_t n) {
    std::string out;
    while (out.size() < n) {
      const IoStatus status = connection_->ReadSome(out, n - out.size(), kLimit);
      if (status != IoStatus::Ok) {
        ADD_FAILURE() << "read " << https::ToString(status) << " after " << out.size();
        break;
      }
    }
    return out;
  }

 private:
  https::TlsContext context_;
  std::unique_ptr<https::Connection> connection_;
};

TEST(ScriptedServer, ReplaysExactBytesAndRecordsTheRequestExactly) {
  ScriptedServer server;
  // Odd spacing and binary body bytes (a NUL among them) come back untouched.
  const std::string replyBytes =
      "HTTP/1.1 200 OK\r\nX-Odd:  spaced \r\nContent-Length: 5\r\n\r\n\x00\xff\r\nz"s;
  server.Enqueue(Reply(replyBytes));

  Client client(server);
  ASSERT_TRUE(client.Connected());
  client.Send(
      "POST /a/b?x=1&y=%20 HTTP/1.1\r\nHost: localhost:1\r\nX-Dup: one\r\nx-dup:two\r\n"
      "Content-Type:  application/json \r\nContent-Length: 10\r\n\r\n{\"k\":\"ț\"}");
  EXPECT_EQ(client.ReadBytes(replyBytes.size()), replyBytes);

  ASSERT_TRUE(server.WaitForRequests(1));
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const ReceivedRequest& request = requests[0];
  EXPECT_EQ(request.requestLine, "POST /a/b?x=1&y=%20 HTTP/1.1");
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.target, "/a/b?x=1&y=%20");
  EXPECT_EQ(request.version, "HTTP/1.1");
  const std::vector<std::pair<std::string, std::string>> headers{
      {"Host", "localhost:1"},
      {"X-Dup", "one"},
      {"x-dup", "two"},
      {"Content-Type", "application/json"},
      {"Content-Length", "10"}};
  EXPECT_EQ(request.headers, headers);
  EXPECT_EQ(request.body, "{\"k\":\"ț\"}");
  EXPECT_EQ(request.Header("X-DUP"), "one");
  EXPECT_EQ(request.HeaderCount("x-dup"), 2);
  EXPECT_FALSE(request.HasHeader("Authorization"));
  EXPECT_EQ(request.connection, 0);
  EXPECT_EQ(server.ConnectionsAccepted(), 1);
  EXPECT_EQ(server.HandshakesCompleted(), 1);
}

TEST(ScriptedServer, KeepsConnectionsAliveAndNumbersThem) {
  ScriptedServer server;
  const std::string first = HttpReply(200, "OK", {"X-N: 1"}, "one");
  const std::string second = HttpReply(201, "Created", {}, "two!");
  const std::string third = HttpReply(202, "Accepted", {}, "");
  server.Enqueue(Reply(first));
  server.Enqueue(Reply(second));
  server.Enqueue(Reply(third));

  Client client(server);
  client.Send("GET /1 HTTP/1.1\r\nHost: h\r\n\r\n");
  EXPECT_EQ(client.ReadBytes(first.size()), first);
  client.Send("GET /2 HTTP/1.1\r\nHost: h\r\n\r\n");
  EXPECT_EQ(client.ReadBytes(second.size()), second);
  Client other(server);
  other.Send("GET /3 HTTP/1.1\r\nHost: h\r\n\r\n");
  EXPECT_EQ(other.ReadBytes(third.size()), third);

  ASSERT_TRUE(server.WaitForRequests(3));
  const auto requests = server.Requests();
  EXPECT_EQ(requests[0].target, "/1");
  EXPECT_EQ(requests[1].target, "/2");
  EXPECT_EQ(requests[2].target, "/3");
  EXPECT_EQ(requests[0].connection, 0);
  EXPECT_EQ(requests[1].connection, 0);
  EXPECT_EQ(requests[2].connection, 1);
  EXPECT_EQ(server.ConnectionsAccepted(), 2);
  EXPECT_EQ(server.HandshakesCompleted(), 2);
}

TEST(ScriptedServer, HttpReplyBuildsTheStatusLineHeadersAndLength) {
  EXPECT_EQ(HttpReply(404, "Not Found", {"A: 1", "B: 2"}, "ab"),
            "HTTP/1.1 404 Not Found\r\nA: 1\r\nB: 2\r\nContent-Length: 2\r\n\r\nab");
}

TEST(ScriptedServer, CloseEndsTheStreamAfterTheBytesSent) {
  for (bool tls : {true, false}) {
    SCOPED_TRACE(tls ? "tls" : "plain");
    ScriptedServer server(ServerOptions{.tls = tls});
    server.Enqueue(Reply().Send("HTTP/1.1 200 OK\r\n\r\npartial").Close());
    Client client(server, tls);
    client.Send("GET / HTTP/1.1\r\nHost: h\r\n\r\n");
    std::string received;
    EXPECT_EQ(client.ReadToEnd(received), IoStatus::Closed);
    EXPECT_EQ(received, "HTTP/1.1 200 OK\r\n\r\npartial");
    EXPECT_EQ(server.HandshakesCompleted(), tls ? 1 : 0);
  }
}

TEST(ScriptedServer, ResetAbortsTheConnection) {
  for (bool tls : {true, false}) {
    SCOPED_TRACE(tls ? "tls" : "plain");
    ScriptedServer server(ServerOptions{.tls = tls});
    server.Enqueue(Reply().Reset());
    Client client(server, tls);
    client.Send("GET / HTTP/1.1\r\nHost: h\r\n\r\n");
    std::string received;
    EXPECT_EQ(client.ReadToEnd(received), IoStatus::Failed);
    EXPECT_NE(client.Connection().LastError().find("reset"), std::string::npos)
        << client.Connection().LastError();
    EXPECT_EQ(received, "");
  }
}

TEST(ScriptedServer, PauseHoldsTheRestOfTheReply) {
  ScriptedServer server;
  server.Enqueue(
      Reply().Send("HTTP/1.1 200 OK\r\n").Pause(400ms).Send("Content-Length: 0\r\n\r\n"));
  Client client(server);
  client.Send("GET / HTTP/1.1\r\nHost: h\r\n\r\n");
  EXPECT_EQ(client.ReadBytes(17), "HTTP/1.1 200 OK\r\n");
  std::string more;
  EXPECT_EQ(client.Connection().ReadSome(more, 100, 100ms), IoStatus::TimedOut);
  EXPECT_EQ(client.ReadBytes(21), "Content-Length: 0\r\n\r\n");
}

TEST(ScriptedServer, RequestsBeyondTheScriptGet599AndAreStillRecorded) {
  ScriptedServer server;
  Client client(server);
  client.Send("DELETE /x HTTP/1.1\r\nHost: h\r\n\r\n");
  std::string received;
  EXPECT_EQ(client.ReadToEnd(received), IoStatus::Closed);
  EXPECT_EQ(received.rfind("HTTP/1.1 599 ", 0), 0u) << received;
  ASSERT_TRUE(server.WaitForRequests(1));
  EXPECT_EQ(server.Requests()[0].method, "DELETE");
}

TEST(ScriptedServer, DecodesChunkedBodiesAndAnswersExpectContinue) {
  ScriptedServer server;
  const std::string ok = HttpReply(200, "OK", {}, "");
  server.Enqueue(Reply(ok));
  server.Enqueue(Reply(ok));
  Client client(server);
  client.Send(
      "POST /c HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n4;ext=1\r\nWiki\r\n"
      "6\r\npedia \r\nE\r\nin \r\n\r\nchunks.\r\n0\r\nX-Trailer: t\r\n\r\n");
  EXPECT_EQ(client.ReadBytes(ok.size()), ok);

  client.Send("PUT /e HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 3\r\n\r\n");
  const std::string interim = "HTTP/1.1 100 Continue\r\n\r\n";
  EXPECT_EQ(client.ReadBytes(interim.size()), interim);
  client.Send("abc");
  EXPECT_EQ(client.ReadBytes(ok.size()), ok);

  ASSERT_TRUE(server.WaitForRequests(2));
  const auto requests = server.Requests();
  EXPECT_EQ(requests[0].body, "Wikipedia in \r\n\r\nchunks.");
  EXPECT_EQ(requests[1].body, "abc");
}

TEST(ScriptedServer, AnswersMalformedRequestsWith400) {
  const char* cases[] = {
      "GARBAGE\r\n\r\n",
      "GET / HTTP/1.1\r\nNo colon here\r\n\r\n",
      "GET / HTTP/1.1\r\nContent-Length: 12x\r\n\r\n",
      "GET / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n",
      "GET / SPDY/3\r\n\r\n",
  };
  for (const char* text : cases) {
    SCOPED_TRACE(text);
    ScriptedServer server;
    Client client(server);
    client.Send(text);
    std::string received;
    client.ReadToEnd(received);
    EXPECT_EQ(received.rfind("HTTP/1.1 400 ", 0), 0u) << received;
    EXPECT_TRUE(server.Requests().empty());
  }
}

struct CertificateCase {
  ServerCertificate kind;
  std::string name;
  long verifyResult;
};

TEST(ScriptedServer, CertificatesPassOrFailVerificationAgainstTheTestCa) {
  const CertificateCase cases[] = {
      {ServerCertificate::Trusted, "localhost", X509_V_OK},
      {ServerCertificate::Trusted, "api.test.localhost", X509_V_OK},
      {ServerCertificate::Trusted, "127.0.0.1", X509_V_OK},
      {ServerCertificate::Trusted, "elsewhere.example", X509_V_ERR_HOSTNAME_MISMATCH},
      {ServerCertificate::UnknownIssuer, "localhost", X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY},
      {ServerCertificate::WrongHost, "localhost", X509_V_ERR_HOSTNAME_MISMATCH},
      {ServerCertificate::WrongHost, "127.0.0.1", X509_V_ERR_IP_ADDRESS_MISMATCH},
      {ServerCertificate::Expired, "localhost", X509_V_ERR_CERT_HAS_EXPIRED},
      {ServerCertificate::NotYetValid, "localhost", X509_V_ERR_CERT_NOT_YET_VALID},
      {ServerCertificate::WrongUsage, "localhost", X509_V_ERR_INVALID_PURPOSE},
      {ServerCertificate::SelfSigned, "localhost", X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT},
  };
  const auto context = https::TlsContext::Client(TestCaFile());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name + " kind " + std::to_string(static_cast<int>(c.kind)));
    ScriptedServer server(ServerOptions{.certificate = c.kind});
    std::string error;
    long verifyResult = -1;
    auto connection =
        https::Connect(server.Port(), &context, c.name, kLimit, &error, &verifyResult);
    EXPECT_EQ(verifyResult, c.verifyResult) << X509_verify_cert_error_string(verifyResult);
    EXPECT_EQ(connection != nullptr, c.verifyResult == X509_V_OK) << error;
  }
}

TEST(ScriptedServer, FailedHandshakesAreNotCounted) {
  ScriptedServer server(ServerOptions{.certificate = ServerCertificate::Expired});
  const auto context = https::TlsContext::Client(TestCaFile());
  EXPECT_EQ(https::Connect(server.Port(), &context, "localhost", kLimit), nullptr);
  EXPECT_EQ(server.ConnectionsAccepted(), 1);
  EXPECT_EQ(server.HandshakesCompleted(), 0);
}

TEST(ScriptedServer, StopsPromptlyWithConnectionsOpenInEveryState) {
  const auto start = std::chrono::steady_clock::now();
  {
    ScriptedServer server;
    server.Enqueue(Reply().Send("HTTP/1.1 200 OK\r\n").Pause(60s));
    Client idle(server);     // waiting for a request
    Client pausing(server);  // in the middle of a long pause
    pausing.Send("GET / HTTP/1.1\r\n\r\n");
    Client halfway(server);  // in the middle of a request
    halfway.Send("GET / HTTP/1.1\r\nHost");
    ASSERT_TRUE(server.WaitForRequests(1));
    const int tcpOnly = https::Connect(server.Port(), nullptr, "", kLimit) ? 1 : 0;  // no handshake
    EXPECT_EQ(tcpOnly, 1);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST(ScriptedServer, RefusedPortRefusesConnections) {
  std::string error;
  EXPECT_EQ(https::Connect(RefusedPort(), nullptr, "", kLimit, &error), nullptr);
  EXPECT_NE(error.find("refused"), std::string::npos) << error;
}

TEST(ScriptedServer, TrustTestCaPointsSslCertFileAtTheCa) {
  TrustTestCa();
  ASSERT_NE(std::getenv("SSL_CERT_FILE"), nullptr);
  EXPECT_EQ(std::string(std::getenv("SSL_CERT_FILE")), TestCaFile());
  EXPECT_EQ(&TestCaFile(), &TestCaFile());
}

}  // namespace
}  // namespace kestrava::testing
