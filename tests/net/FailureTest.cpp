// Every way Execute fails that loopback can produce: the message, the inner
// failure kind, and what the response holds afterwards.

#include <regex>
#include <thread>

#include "tests/net/NetFixture.h"

namespace kestrava::testing {
namespace {

using namespace std::chrono_literals;

class FailureTest : public TrioTest {
 protected:
  // A first exchange whose reply the response must keep after a failure.
  void ProcessPreviousReply(ScriptedServer& server) {
    // Closed after the reply, so that the failing exchange opens a fresh
    // connection (a dead kept connection is silently retried by libcurl).
    ASSERT_EQ(Get(server, "/previous", Reply(HttpReply(200, "Fine", {}, "{\"page\":0}")).Close()),
              "");
    ASSERT_EQ(response.StatusCode(), 200);
  }
  void ExpectPreviousReplyKept() {
    EXPECT_EQ(response.StatusCode(), 200);
    EXPECT_EQ(response.StatusText(), "Fine");
    EXPECT_EQ(response.Content(), "{\"page\":0}");
    ASSERT_NE(response.JSONValue(), nullptr);
  }
  template <class Kind>
  bool InnerIs() const {
    try {
      if (lastInner) std::rethrow_exception(lastInner);
    } catch (const Kind&) {
      return true;
    } catch (...) {
    }
    return false;
  }
};

std::string CorruptGzip() {
  std::string gzip = Compress("{\"result\":[1,2,3],\"totalPages\":1}", true);
  gzip[12] = static_cast<char>(gzip[12] ^ 0x55);
  gzip[13] = static_cast<char>(gzip[13] ^ 0x55);
  return gzip;
}

TEST_F(FailureTest, RefusedConnectionFailsSendingAndKeepsAFreshResponseEmpty) {
  client.SetBaseURL("https://127.0.0.1:" + std::to_string(RefusedPort()) + "/v1/auth/token");
  request.SetMethod(rmPOST);
  EXPECT_EQ(Run(), "REST request failed: Error sending data: (7) Couldn't connect to server");
  EXPECT_TRUE(InnerIs<ENetHTTPClientException>());
  EXPECT_EQ(lastStage, TExchangeStage::Sending);
  EXPECT_FALSE(lastCertificateRejected);
  EXPECT_EQ(response.StatusCode(), 0);
  EXPECT_EQ(response.StatusText(), "");
  EXPECT_EQ(response.Content(), "");
  EXPECT_EQ(response.JSONValue(), nullptr);
}

TEST_F(FailureTest, UnresolvableHostFailsSending) {
  client.SetBaseURL("https://nonexistent.invalid/v1/auth/token");
  EXPECT_EQ(Run(), "REST request failed: Error sending data: (6) Couldn't resolve host name");
  EXPECT_TRUE(InnerIs<ENetHTTPClientException>());
  EXPECT_EQ(lastStage, TExchangeStage::Sending);
  EXPECT_EQ(response.StatusCode(), 0);
}

TEST_F(FailureTest, HandshakeThatNeverCompletesTimesOutWhileSending) {
  // A plain server never answers the TLS client hello.
  ScriptedServer plain({.tls = false});
  client.SetBaseURL("https://localhost:" + std::to_string(plain.Port()) + "/x");
  request.SetTimeout(200);
  const auto start = std::chrono::steady_clock::now();
  const std::string message = Run();
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(message, "REST request failed: Error sending data: (28) Timeout was reached");
  EXPECT_EQ(lastStage, TExchangeStage::Sending);
  EXPECT_GE(elapsed, 200ms);
  EXPECT_LT(elapsed, 3s);
  EXPECT_EQ(response.StatusCode(), 0);
}

struct StageCase {
  const char* name;
  Reply reply;
  const char* message;  // regular expression of the whole message
  enum { Client, Response } kind;
};

TEST_F(FailureTest, TransportStagesAfterAReplyWasProcessed) {
  const std::string head =
      "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 20\r\n\r\n";
  StageCase cases[] = {
      {"time-out waiting for the head", Reply().Pause(1500ms).Send(HttpReply(200, "OK", {}, "")),
       "REST request failed: Error receiving data: \\(28\\) Timeout was reached",
       StageCase::Client},
      {"time-out inside the head", Reply().Send("HTTP/1.1 200 OK\r\n").Pause(1500ms),
       "REST request failed: Error receiving data: \\(28\\) Timeout was reached",
       StageCase::Client},
      {"time-out reading the body", Reply().Send(head + "{\"page\":").Pause(1500ms),
       "REST request failed: Error reading data: \\(28\\) Timeout was reached",
       StageCase::Response},
      {"reset mid-body", Reply().Send(head + "{\"page\":").Pause(50ms).Reset(),
       "REST request failed: Error reading data: \\((56|18)\\) .+", StageCase::Response},
      {"close mid-body", Reply().Send(head + "{\"page\":").Close(),
       "REST request failed: Error reading data: \\(18\\) Transferred a partial file",
       StageCase::Response},
      {"close mid chunked body",
       Reply().Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\n{\"pa").Close(),
       "REST request failed: Error reading data: \\(18\\) Transferred a partial file",
       StageCase::Response},
      {"close mid-body of a server error",
       Reply().Send("HTTP/1.1 503 Service Unavailable\r\nContent-Length: 9\r\n\r\nbus").Close(),
       "REST request failed: Error reading data: \\(18\\) Transferred a partial file",
       StageCase::Response},
      {"close before any reply", Reply().Close(),
       "REST request failed: Error receiving data: \\(52\\) Server returned nothing \\(no headers, "
       "no "
       "data\\)",
       StageCase::Client},
      {"reset before any reply", Reply().Reset(),
       "REST request failed: Error receiving data: \\((56|52)\\) .+", StageCase::Client},
  };
  for (auto& c : cases) {
    ScriptedServer server;
    ProcessPreviousReply(server);
    request.SetTimeout(300);
    const std::string message = Get(server, "/page/1", std::move(c.reply));
    EXPECT_TRUE(std::regex_match(message, std::regex(c.message))) << c.name << ": " << message;
    if (c.kind == StageCase::Client) {
      EXPECT_TRUE(InnerIs<ENetHTTPClientException>()) << c.name;
      EXPECT_EQ(lastStage, TExchangeStage::Receiving) << c.name;
    } else {
      EXPECT_TRUE(InnerIs<ENetHTTPResponseException>()) << c.name;
      EXPECT_EQ(lastStage, TExchangeStage::Reading) << c.name;
    }
    ExpectPreviousReplyKept();
    request.SetTimeout(5000);
  }
}

TEST_F(FailureTest, EachWaitIsBoundedNotTheWholeExchange) {
  ScriptedServer server;
  Reply slow;
  slow.Send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n");
  for (char c : std::string("12345")) slow.Pause(120ms).Send(std::string(1, c));
  request.SetTimeout(400);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Get(server, "/slow", std::move(slow)), "");
  EXPECT_GE(std::chrono::steady_clock::now() - start, 550ms);  // longer than one time-out
  EXPECT_EQ(response.Content(), "12345");
}

TEST_F(FailureTest, ServerErrorsRaiseTheStatusLineAndFillTheResponse) {
  struct Case {
    std::string reply;
    const char* message;
    int status;
    const char* statusText;
    const char* content;
  } cases[] = {
      {HttpReply(503, "Service Unavailable", {"Content-Type: text/plain"}, "Maintenance"),
       "HTTP/1.1 503 Service Unavailable", 503, "Service Unavailable", "Maintenance"},
      {"HTTP/1.0 500 \r\nContent-Length: 0\r\n\r\n", "HTTP/1.0 500 ", 500, "", ""},
      {"HTTP/1.0 500\r\nContent-Length: 0\r\n\r\n", "HTTP/1.0 500 ", 500, "", ""},
      {"HTTP/1.1 502 Bad Gateway\r\nContent-Type: application/json\r\nContent-Length: "
       "9\r\n\r\n{\"e\":\"x\"}",
       "HTTP/1.1 502 Bad Gateway", 502, "Bad Gateway", "{\"e\":\"x\"}"},
      {HttpReply(500, "Internal Server Error", {"Content-Encoding: gzip"}, Compress("boom", true)),
       "HTTP/1.1 500 Internal Server Error", 500, "Internal Server Error", "boom"},
      {"http/1.1 503 Service Unavailable\r\nContent-Length: 4\r\n\r\nbusy",
       "HTTP/1.1 503 Service Unavailable", 503, "Service Unavailable", "busy"},
      {"Http/1.0 500 Oops\r\nContent-Length: 0\r\n\r\n", "HTTP/1.0 500 Oops", 500, "Oops", ""},
      {"HTTP/1.1 503\tService Unavailable\r\nContent-Length: 4\r\n\r\nbusy",
       "HTTP/1.1 503 Service Unavailable", 503, "Service Unavailable", "busy"},
  };
  for (const auto& c : cases) {
    ScriptedServer server;
    ProcessPreviousReply(server);
    EXPECT_EQ(Get(server, "/x", Reply(c.reply)), c.message);
    EXPECT_TRUE(InnerIs<EHTTPProtocolException>());
    EXPECT_EQ(lastStage, TExchangeStage::ServerError);
    EXPECT_EQ(response.StatusCode(), c.status);
    EXPECT_EQ(response.StatusText(), c.statusText);
    EXPECT_EQ(response.Content(), c.content);
  }
}

TEST_F(FailureTest, AStatusLineThatDoesNotParseIsAHeadFieldFailure) {
  // libcurl takes the first ones for some status, and refuses the others
  // before we see them; the status is never guessed, not even as the one of
  // an interim head before, and every one fails alike.
  for (std::string head : {
           "HTTP/1.1 200OK\r\n",
           "HTTP/1.1 200-OK\r\n",
           "HTTP/1.1 200\x01OK\r\n",
           "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200OK\r\n",
           "HTTP/1.1 2000 OK\r\n",
           "HTTP/1.1 -20 X\r\n",
           "ICY 200 OK\r\n",
           "HTTP/1.1 20 OK\r\n",
           "HTTP/1.1 OK\r\n",
           "HTTP/1.1\r\n",
           "HTTP/3 200 OK\r\n",
           "HTTP/1.2 200 OK\r\n",
           "HTTP/0.9 200 OK\r\n",
           "HTTP/12 200 OK\r\n",
           "RTSP/1.0 200 OK\r\n",
           " HTTP/1.1 200 OK\r\n",
           "\r\nHTTP/1.1 200 OK\r\n",
           "garbage\r\n",
           "garbage\r\n\r\n",
           "HTTP/1.1 100 Continue\r\n\r\nICY 200 OK\r\n",
           "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 2000 OK\r\n",
       }) {
    ScriptedServer server;
    ProcessPreviousReply(server);
    const std::string reply = head + "Content-Length: 2\r\n\r\n{}";
    EXPECT_EQ(Get(server, "/x", Reply(reply)),
              "REST request failed: Error querying headers: (8) Weird server reply")
        << head;
    EXPECT_TRUE(InnerIs<ENetHTTPException>()) << head;
    EXPECT_EQ(lastStage, TExchangeStage::QueryingHead) << head;
    ExpectPreviousReplyKept();
  }
}

TEST_F(FailureTest, ReplyTextFailuresLeaveTheResponseAlone) {
  const std::string noMapping =
      "REST request failed: No mapping for the Unicode character exists in the target multi-byte "
      "code page";
  struct Case {
    std::string reply;
    std::string message;
    bool encodingError;
  } cases[] = {
      {HttpReply(404, "Not Found", {"Content-Type: text/html; charset=klingon"}, "<p>x</p>"),
       "REST request failed: Invalid encoding name", true},
      {HttpReply(404, "Not Found", {"Content-Type: text/html; charset=x-iscii-de"}, "<p>x</p>"),
       "REST request failed: Invalid code page", true},
      {HttpReply(502, "Bad Gateway", {}, "\xE9"), noMapping, true},
      {HttpReply(302, "Found", {"Content-Type: application/octet-stream"}, "\xE9"), noMapping,
       true},
      {HttpReply(200, "OK", {"Content-Type: application/json"}, "\xE9"), noMapping, true},
      {HttpReply(200, "OK", {"Content-Type: application/json", "Content-Encoding: gzip"},
                 CorruptGzip()),
       "REST request failed: data error", false},
      {HttpReply(503, "Service Unavailable", {"Content-Encoding: deflate"}, "corrupt"),
       "REST request failed: data error", false},
      // Inflated past its bound: 8 MiB from a few kilobytes.
      {HttpReply(200, "OK", {"Content-Type: application/json", "Content-Encoding: gzip"},
                 Compress(std::string(8 << 20, ' '), true)),
       "REST request failed: insufficient memory", false},
      {HttpReply(503, "Service Unavailable", {"Content-Encoding: deflate"},
                 Compress(std::string(8 << 20, '0'), false)),
       "REST request failed: insufficient memory", false},
  };
  for (const auto& c : cases) {
    ScriptedServer server;
    ProcessPreviousReply(server);
    EXPECT_EQ(Get(server, "/x", Reply(c.reply)), c.message);
    if (c.encodingError) {
      EXPECT_TRUE(InnerIs<EEncodingError>()) << c.message;
    } else {
      EXPECT_TRUE(InnerIs<EZDecompressionError>()) << c.message;
    }
    EXPECT_EQ(lastStage, TExchangeStage::None) << c.message;  // no step of the transport
    ExpectPreviousReplyKept();
  }
}

TEST_F(FailureTest, AReplyBodyPastItsBoundFailsWhileReading) {
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  const std::string chunk = "100000\r\n" + std::string(kMiB, 'x') + "\r\n";
  struct Case {
    const char* name;
    Reply reply;
  } cases[] = {
      {"announced past the bound",
       Reply()
           .Send("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                 std::to_string(64 * kMiB + 1) + "\r\n\r\n{")
           .Pause(3000ms)},
      {"chunked without end",
       Reply().Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n").Repeat(chunk, 1000)},
      {"until the connection closes", Reply()
                                          .Send("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n")
                                          .Repeat(std::string(kMiB, 'y'), 1000)},
      {"of a server error",
       Reply()
           .Send("HTTP/1.1 503 Service Unavailable\r\nTransfer-Encoding: chunked\r\n\r\n")
           .Repeat(chunk, 65)},
  };
  for (auto& c : cases) {
    ScriptedServer server;
    ProcessPreviousReply(server);
    EXPECT_EQ(Get(server, "/x", std::move(c.reply)),
              "REST request failed: Error reading data: (63) Maximum file size exceeded")
        << c.name;
    EXPECT_TRUE(InnerIs<ENetHTTPResponseException>()) << c.name;
    EXPECT_EQ(lastStage, TExchangeStage::Reading) << c.name;
    ExpectPreviousReplyKept();
  }

  // A body of exactly the bound is read whole.
  ScriptedServer server;
  EXPECT_EQ(Get(server, "/x",
                Reply(HttpReply(200, "OK", {"Content-Type: application/octet-stream"},
                                std::string(64 * kMiB, 'z')))),
            "");
  EXPECT_EQ(response.RawBytes().size(), 64 * kMiB);
}

TEST_F(FailureTest, TheSixthRedirectFailsWithOrWithoutALocation) {
  struct Case {
    const char* name;
    std::string sixth;  // the sixth redirect reply
  } cases[] = {
      {"with a location; a seventh is never asked for",
       HttpReply(302, "Found", {"Location: /hop/6"}, "")},
      {"without a location", HttpReply(302, "Found", {}, "nowhere")},
  };
  for (const auto& c : cases) {
    ScriptedServer server;
    ProcessPreviousReply(server);
    for (int i = 1; i <= 5; ++i)
      server.Enqueue(Reply(HttpReply(301, "Moved", {"Location: /hop/" + std::to_string(i)}, "")));
    server.Enqueue(Reply(c.sixth));
    server.Enqueue(Reply(HttpReply(200, "OK", {}, "seventh")));
    client.SetBaseURL(UrlOf(server, "/start"));
    EXPECT_EQ(Run(), "REST request failed: Maximum number of redirections (5) exceeded") << c.name;
    EXPECT_TRUE(InnerIs<ENetHTTPRequestException>()) << c.name;
    EXPECT_EQ(lastStage, TExchangeStage::None) << c.name;
    ExpectPreviousReplyKept();
    EXPECT_EQ(server.Requests().size(), 1u + 6u) << c.name;
  }
}

// A certificate that fails verification fails the exchange at once, and
// the client can say why in words.
TEST_F(FailureTest, UntrustedCertificatesFailWithoutASecondAttemptAndSayWhy) {
  const std::pair<ServerCertificate, std::string> cases[] = {
      {ServerCertificate::UnknownIssuer, "certificate from an untrusted issuer"},
      {ServerCertificate::WrongHost, "certificate is for another host name"},
      {ServerCertificate::Expired, "certificate has expired"},
      {ServerCertificate::NotYetValid, "certificate is not yet valid"},
      {ServerCertificate::SelfSigned, "self-signed certificate"},
      {ServerCertificate::WrongUsage, "certificate is not for a server"},
  };
  for (const auto& [certificate, reason] : cases) {
    SCOPED_TRACE(reason);
    ScriptedServer server({.tls = true, .certificate = certificate});
    server.Enqueue(Reply(HttpReply(200, "OK", {}, "secret")));
    client.SetBaseURL(UrlOf(server, "/v1/auth/token"));
    EXPECT_EQ(
        Run(),
        "REST request failed: Error sending data: (60) SSL peer certificate or SSH remote key "
        "was not OK");
    EXPECT_EQ(client.CertificateProblem(), reason);
    EXPECT_TRUE(InnerIs<ENetHTTPClientException>());
    EXPECT_EQ(lastStage, TExchangeStage::Sending);
    EXPECT_TRUE(lastCertificateRejected);
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(response.StatusCode(), 0);
  }
  // The next request says nothing of a certificate, however it ends.
  ScriptedServer trusted;
  trusted.Enqueue(Reply(HttpReply(200, "OK", {}, "fine")));
  client.SetBaseURL(UrlOf(trusted, "/v1/auth/token"));
  EXPECT_EQ(Run(), "");
  EXPECT_EQ(client.CertificateProblem(), "");
  ScriptedServer expired({.tls = true, .certificate = ServerCertificate::Expired});
  client.SetBaseURL(UrlOf(expired, "/v1/auth/token"));
  EXPECT_NE(Run(), "");
  client.SetBaseURL("https://127.0.0.1:" + std::to_string(RefusedPort()) + "/v1/auth/token");
  EXPECT_EQ(Run(), "REST request failed: Error sending data: (7) Couldn't connect to server");
  EXPECT_EQ(client.CertificateProblem(), "");
}

TEST_F(FailureTest, ClientWithoutLinksFailsClearly) {
  TRESTRequest lonely;
  EXPECT_THROW(lonely.Execute(), ERESTException);
}

}  // namespace
}  // namespace kestrava::testing
