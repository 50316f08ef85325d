// Redirects followed by the exchange loop, and the cookie store.

#include <sstream>

#include "tests/net/NetFixture.h"

namespace kestrava::testing {
namespace {

class RedirectTest : public TrioTest {
 protected:
  void PostToken(ScriptedServer& server, const std::string& body) {
    request.SetMethod(rmPOST);
    std::istringstream stream(body);
    request.AddBody(stream, "application/json", ooCopy);
    request.AddParameter("Authorization", "Bearer tok==", pkHTTPHEADER,
                         static_cast<unsigned>(poDoNotEncode));
    client.SetBaseURL(UrlOf(server, "/v1/auth/token"));
  }
};

TEST_F(RedirectTest, RedirectWithoutLocationIsFinal) {
  ScriptedServer server;
  EXPECT_EQ(Get(server, "/x", Reply(HttpReply(302, "Found", {}, "moved?"))), "");
  EXPECT_EQ(response.StatusCode(), 302);
  EXPECT_EQ(response.Content(), "moved?");
  EXPECT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(Get(server, "/x", Reply(HttpReply(301, "Moved", {"Location:   "}, ""))), "");
  EXPECT_EQ(response.StatusCode(), 301);
  EXPECT_EQ(Get(server, "/x", Reply(HttpReply(304, "Not Modified", {"Location: /y"}, ""))), "");
  EXPECT_EQ(response.StatusCode(), 304);
  EXPECT_EQ(server.Requests().size(), 3u);
}

TEST_F(RedirectTest, TrailersOfAChunkedReplyAreNoHeaders) {
  ScriptedServer server;
  const std::string reply =
      "HTTP/1.1 302 Found\r\nTransfer-Encoding: chunked\r\nContent-Type: text/plain\r\n\r\n"
      "6\r\nmoved?\r\n0\r\n"
      "Location: /elsewhere\r\nSet-Cookie: planted=1\r\nContent-Type: text/html; "
      "charset=klingon\r\n"
      "Content-Encoding: gzip\r\n\r\n";
  EXPECT_EQ(Get(server, "/x", Reply(reply)), "");
  EXPECT_EQ(response.StatusCode(), 302);
  EXPECT_EQ(response.Content(), "moved?");
  EXPECT_EQ(response.ContentType(), "text/plain");
  EXPECT_EQ(response.ContentEncoding(), "");
  ASSERT_EQ(Get(server, "/y", Reply(HttpReply(200, "OK", {}, ""))), "");
  auto received = server.Requests();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[1].target, "/y");
  EXPECT_FALSE(received[1].HasHeader("Cookie"));
}

TEST_F(RedirectTest, UnauthorizedIsFinalAtOnce) {
  ScriptedServer server;
  EXPECT_EQ(Get(server, "/x",
                Reply(HttpReply(401, "Unauthorized",
                                {"WWW-Authenticate: Bearer realm=\"kestrava\"", "Location: /y"},
                                "{\"error\":\"invalid_token\"}"))),
            "");
  EXPECT_EQ(response.StatusCode(), 401);
  EXPECT_EQ(response.Content(), "{\"error\":\"invalid_token\"}");
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(RedirectTest, RedirectToAnotherSchemeFailsToConnect) {
  ScriptedServer server;
  EXPECT_EQ(
      Get(server, "/x", Reply(HttpReply(302, "Found", {"Location: ftp://files.localhost/a"}, ""))),
      "REST request failed: Error connecting to server: files.localhost");
  EXPECT_EQ(lastStage, TExchangeStage::Connecting);
  EXPECT_EQ(response.StatusCode(), 0);
}

TEST_F(RedirectTest, ARedirectOutOfHttpsIsNeverFollowed) {
  // A listener without TLS that would take anything sent in clear text.
  ScriptedServer plain({.tls = false});
  const std::string clear = "http://127.0.0.1:" + std::to_string(plain.Port());
  const std::string body = R"({"client_id":"id-1","client_secret":"secret-1"})";
  struct Case {
    int status;
    std::string location;
    std::string host;  // named by the failure
  } cases[] = {
      {307, clear + "/v1/auth/token", "127.0.0.1"},
      {308, clear + "/v1/auth/token", "127.0.0.1"},
      {302, clear + "/v1/auth/token", "127.0.0.1"},
      {301, "HTTP://127.0.0.1:" + std::to_string(plain.Port()) + "/x", "127.0.0.1"},
      {303, "ws://localhost:" + std::to_string(plain.Port()) + "/x", "localhost"},
      {307, "file:///etc/passwd", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.location);
    ScriptedServer server;
    PostToken(server, body);
    server.Enqueue(Reply(HttpReply(c.status, "Redirect", {"Location: " + c.location}, "")));
    plain.Enqueue(Reply(HttpReply(200, "OK", {}, R"({"accessToken":"stolen"})")));
    EXPECT_EQ(Run(), "REST request failed: Error connecting to server: " + c.host);
    EXPECT_TRUE(lastInner != nullptr);
    EXPECT_EQ(lastStage, TExchangeStage::Connecting);
    EXPECT_EQ(response.StatusCode(), 0);
    EXPECT_EQ(server.Requests().size(), 1u);
  }
  EXPECT_EQ(plain.ConnectionsAccepted(), 0);
  EXPECT_TRUE(plain.Requests().empty());
}

TEST_F(RedirectTest, RedirectsThatStayOnHttpsOrLeaveClearTextAreFollowed) {
  ScriptedServer server;
  ScriptedServer other;
  // Scheme-relative: stays https. A start in clear text may go to https.
  server.Enqueue(Reply(HttpReply(
      302, "Found", {"Location: //127.0.0.1:" + std::to_string(other.Port()) + "/next"}, "")));
  other.Enqueue(Reply(HttpReply(200, "OK", {}, "over tls")));
  client.SetBaseURL(UrlOf(server, "/start"));
  ASSERT_EQ(Run(), "");
  EXPECT_EQ(response.Content(), "over tls");

  ScriptedServer plain({.tls = false});
  plain.Enqueue(Reply(HttpReply(302, "Found", {"Location: " + UrlOf(server, "/secure")}, "")));
  server.Enqueue(Reply(HttpReply(200, "OK", {}, "upgraded")));
  client.SetBaseURL("http://localhost:" + std::to_string(plain.Port()) + "/start");
  ASSERT_EQ(Run(), "");
  EXPECT_EQ(response.Content(), "upgraded");
}

TEST_F(RedirectTest, PostBecomesGetOn301To303AndKeepsItsBodyOn307And308) {
  struct Case {
    int status;
    bool staysPost;
  } cases[] = {{301, false}, {302, false}, {303, false}, {307, true}, {308, true}, {300, true}};
  const std::string body = "{\"secret\":\"\xC3\xA9\"}";
  for (const auto& c : cases) {
    ScriptedServer server;
    PostToken(server, body);
    server.Enqueue(Reply(HttpReply(c.status, "Redirect", {"Location: ../next?a=1"}, "")));
    server.Enqueue(Reply(HttpReply(200, "OK", {}, "{}")));
    ASSERT_EQ(Run(), "") << c.status;
    EXPECT_EQ(response.StatusCode(), 200);
    EXPECT_EQ(response.FullRequestURI(), UrlOf(server, "/v1/next?a=1"));
    ASSERT_TRUE(server.WaitForRequests(2));
    const ReceivedRequest second = server.Requests().at(1);
    EXPECT_EQ(second.target, "/v1/next?a=1") << c.status;
    EXPECT_EQ(second.Header("Authorization"), "Bearer tok==") << c.status;
    if (c.staysPost) {
      EXPECT_EQ(second.method, "POST") << c.status;
      EXPECT_EQ(second.body, body);
      EXPECT_EQ(second.Header("Content-Length"), std::to_string(body.size()));
      EXPECT_EQ(second.Header("Content-Type"), "application/json");
    } else {
      EXPECT_EQ(second.method, "GET") << c.status;
      EXPECT_EQ(second.body, "");
      EXPECT_FALSE(second.HasHeader("Content-Length")) << c.status;
      EXPECT_FALSE(second.HasHeader("Content-Type")) << c.status;
    }
    EXPECT_EQ(request.Method(), rmPOST);  // the request itself is unchanged
  }
}

TEST_F(RedirectTest, FiveRedirectsAreFollowedAndOnlyTheFinalReplyIsKept) {
  ScriptedServer server;
  for (int i = 1; i <= 5; ++i)
    server.Enqueue(Reply(
        HttpReply(307, "Temporary", {"Location: /hop/" + std::to_string(i)}, "intermediate")));
  server.Enqueue(Reply(HttpReply(200, "Done", {}, "[1]")));
  client.SetBaseURL(UrlOf(server, "/start"));
  ASSERT_EQ(Run(), "");
  EXPECT_EQ(response.StatusCode(), 200);
  EXPECT_EQ(response.StatusText(), "Done");
  EXPECT_EQ(response.Content(), "[1]");
  EXPECT_EQ(server.Requests().size(), 6u);
  EXPECT_EQ(server.Requests().back().target, "/hop/5");
  // The count starts again at every Execute.
  for (int i = 1; i <= 5; ++i)
    server.Enqueue(Reply(HttpReply(302, "Found", {"Location: /again/" + std::to_string(i)}, "")));
  server.Enqueue(Reply(HttpReply(200, "Done", {}, "[2]")));
  ASSERT_EQ(Run(), "");
  EXPECT_EQ(response.Content(), "[2]");
}

TEST_F(RedirectTest, CrossOriginRedirectDropsAuthorizationSameOriginKeepsIt) {
  ScriptedServer server;
  ScriptedServer other;
  PostToken(server, "{}");
  request.SetMethod(rmGET);
  // localhost -> localhost (same origin) -> 127.0.0.1 (same server, other host)
  // -> back to localhost: once dropped, the token stays dropped.
  server.Enqueue(Reply(HttpReply(302, "Found", {"Location: /same"}, "")));
  server.Enqueue(
      Reply(HttpReply(302, "Found", {"Location: " + UrlOf(server, "/ip", "127.0.0.1")}, "")));
  server.Enqueue(Reply(HttpReply(302, "Found", {"Location: " + UrlOf(server, "/back")}, "")));
  server.Enqueue(Reply(HttpReply(302, "Found", {"Location: " + UrlOf(other, "/port")}, "")));
  other.Enqueue(Reply(HttpReply(200, "OK", {}, "")));
  ASSERT_EQ(Run(), "");
  auto received = server.Requests();
  ASSERT_EQ(received.size(), 4u);
  EXPECT_EQ(received[0].Header("Authorization"), "Bearer tok==");
  EXPECT_EQ(received[1].Header("Authorization"), "Bearer tok==");
  EXPECT_FALSE(received[2].HasHeader("Authorization"));
  EXPECT_EQ(received[2].Header("Host"), "127.0.0.1:" + std::to_string(server.Port()));
  EXPECT_FALSE(received[3].HasHeader("Authorization"));
  ASSERT_EQ(other.Requests().size(), 1u);
  EXPECT_FALSE(other.Requests()[0].HasHeader("Authorization"));

  // The next Execute starts from the parameters again.
  ScriptedServer direct;
  direct.Enqueue(
      Reply(HttpReply(302, "Found", {"Location: " + UrlOf(direct, "/p", "127.0.0.1")}, "")));
  direct.Enqueue(Reply(HttpReply(200, "OK", {}, "")));
  client.SetBaseURL(UrlOf(direct, "/q"));
  ASSERT_EQ(Run(), "");
  ASSERT_EQ(direct.Requests().size(), 2u);
  EXPECT_EQ(direct.Requests()[0].Header("Authorization"), "Bearer tok==");
  EXPECT_FALSE(direct.Requests()[1].HasHeader("Authorization"));
}

using CookieTest = TrioTest;

TEST_F(CookieTest, TokenReplyCookieGoesBackOnEveryLaterRequest) {
  ScriptedServer server;
  server.Enqueue(Reply(
      HttpReply(200, "OK", {"Set-Cookie: sid=abc123", "Set-Cookie: lb=node-2; Path=/"}, "{}")));
  client.SetBaseURL(UrlOf(server, "/v1/auth/token"));
  request.SetMethod(rmPOST);
  ASSERT_EQ(Run(), "");
  request.SetMethod(rmGET);
  for (const char* path : {"/v2/accounts", "/v2/transactions?page=0", "/v2/transactions?page=1"})
    ASSERT_EQ(Get(server, path, Reply(HttpReply(200, "OK", {}, "[]"))), "");
  auto received = server.Requests();
  ASSERT_EQ(received.size(), 4u);
  EXPECT_FALSE(received[0].HasHeader("Cookie"));
  for (std::size_t i = 1; i < received.size(); ++i) {
    EXPECT_EQ(received[i].Header("Cookie"), "lb=node-2; sid=abc123");
    EXPECT_EQ(received[i].HeaderCount("Cookie"), 1);
  }
  // A new client starts with an empty store.
  TRESTClient fresh;
  request.SetClient(&fresh);
  server.Enqueue(Reply(HttpReply(200, "OK", {}, "[]")));
  fresh.SetBaseURL(UrlOf(server, "/v2/accounts"));
  ASSERT_EQ(Run(), "");
  EXPECT_FALSE(server.Requests().back().HasHeader("Cookie"));
}

TEST_F(CookieTest, SecureCookiesOnlyOverHttpsAndMaxAgeZeroRemoves) {
  ScriptedServer tlsServer;
  ScriptedServer plain({.tls = false});
  ASSERT_EQ(Get(tlsServer, "/",
                Reply(HttpReply(200, "OK", {"Set-Cookie: s=1; Secure", "Set-Cookie: p=1"}, ""))),
            "");
  plain.Enqueue(Reply(HttpReply(200, "OK", {}, "")));
  client.SetBaseURL("http://localhost:" + std::to_string(plain.Port()) + "/x");
  ASSERT_EQ(Run(), "");
  ASSERT_EQ(plain.Requests().size(), 1u);
  EXPECT_EQ(plain.Requests()[0].Header("Cookie"), "p=1");

  ASSERT_EQ(Get(tlsServer, "/y", Reply(HttpReply(200, "OK", {"Set-Cookie: p=1; Max-Age=0"}, ""))),
            "");
  ASSERT_EQ(Get(tlsServer, "/z", Reply(HttpReply(200, "OK", {}, ""))), "");
  auto received = tlsServer.Requests();
  EXPECT_EQ(received[1].Header("Cookie"), "p=1; s=1");
  EXPECT_EQ(received[2].Header("Cookie"), "s=1");
}

TEST_F(CookieTest, SameNameWithLongerPathIsSentFirstUnderThatPath) {
  ScriptedServer server;
  ASSERT_EQ(Get(server, "/", Reply(HttpReply(200, "OK", {"Set-Cookie: n=root; Path=/"}, ""))), "");
  ASSERT_EQ(Get(server, "/", Reply(HttpReply(200, "OK", {"Set-Cookie: n=deep; Path=/v2"}, ""))),
            "");
  ASSERT_EQ(Get(server, "/v2/accounts", Reply(HttpReply(200, "OK", {}, ""))), "");
  ASSERT_EQ(Get(server, "/v1/other", Reply(HttpReply(200, "OK", {}, ""))), "");
  auto received = server.Requests();
  EXPECT_EQ(received[2].Header("Cookie"), "n=deep; n=root");
  EXPECT_EQ(received[3].Header("Cookie"), "n=root");
}

TEST_F(CookieTest, NoCookiesAServerSetsCanStopTheNextRequest) {
  ScriptedServer server;
  // Hundreds of cookies of 4 KB each, a few dozen a reply.
  for (int reply = 0; reply < 10; ++reply) {
    std::vector<std::string> headers;
    for (int i = 0; i < 30; ++i) {
      const std::string name = "c" + std::to_string(reply) + "_" + std::to_string(i);
      headers.push_back("Set-Cookie: " + name + "=" + std::string(4096 - name.size(), 'v'));
    }
    ASSERT_EQ(Get(server, "/set", Reply(HttpReply(200, "OK", headers, ""))), "") << reply;
  }
  // Two cookies of 66,000 bytes: together past what libcurl sends of a head.
  ASSERT_EQ(Get(server, "/set",
                Reply(HttpReply(200, "OK",
                                {"Set-Cookie: big1=" + std::string(66000, 'b'),
                                 "Set-Cookie: big2=" + std::string(66000, 'b')},
                                ""))),
            "");
  // The next request goes out (within the wait bound) and is answered.
  ASSERT_EQ(Get(server, "/next", Reply(HttpReply(200, "OK", {}, "still here"))), "");
  EXPECT_EQ(response.Content(), "still here");
  const ReceivedRequest last = server.Requests().back();
  EXPECT_EQ(last.target, "/next");
  EXPECT_LE(last.Header("Cookie").size(), 8192u);
  EXPECT_EQ(last.Header("Cookie").substr(0, 6), "c9_29=");  // the newest first
}

TEST_F(CookieTest, CookiesOfRedirectRepliesAreKeptAndSentOnTheFollowUp) {
  ScriptedServer server;
  server.Enqueue(Reply(HttpReply(302, "Found", {"Location: /landing", "Set-Cookie: hop=1"}, "")));
  ASSERT_EQ(Get(server, "/start", Reply(HttpReply(200, "OK", {}, ""))), "");
  auto received = server.Requests();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_FALSE(received[0].HasHeader("Cookie"));
  EXPECT_EQ(received[1].target, "/landing");
  EXPECT_EQ(received[1].Header("Cookie"), "hop=1");
}

TEST_F(CookieTest, ACookieWithAControlCharacterIsIgnoredNotSentBack) {
  ScriptedServer server;
  ASSERT_EQ(Get(server, "/a",
                Reply(HttpReply(200, "OK", {"Set-Cookie: bad=b\rX: 1", "Set-Cookie: good=1"}, ""))),
            "");
  ASSERT_EQ(Get(server, "/b", Reply(HttpReply(200, "OK", {}, "next"))), "");
  EXPECT_EQ(response.Content(), "next");
  auto received = server.Requests();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[1].Header("Cookie"), "good=1");
}

TEST_F(CookieTest, ForeignDomainCookieIsIgnoredParentDomainAccepted) {
  ScriptedServer server;
  const std::string api = "api.test.localhost";
  server.Enqueue(Reply(HttpReply(
      200, "OK",
      {"Set-Cookie: evil=1; Domain=example.com",
       "Set-Cookie: sibling=1; Domain=other.test.localhost",
       "Set-Cookie: parent=1; Domain=test.localhost", "Set-Cookie: suffix=1; Domain=localhost"},
      "")));
  server.Enqueue(Reply(HttpReply(200, "OK", {}, "")));
  for (int i = 0; i < 2; ++i) {
    client.SetBaseURL(UrlOf(server, "/a", api));
    ASSERT_EQ(Run(), "");
  }
  ASSERT_EQ(Get(server, "/b", Reply(HttpReply(200, "OK", {}, ""))), "");  // to localhost
  auto received = server.Requests();
  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(received[0].Header("Host"), api + ":" + std::to_string(server.Port()));
  EXPECT_EQ(received[1].Header("Cookie"), "parent=1");
  EXPECT_FALSE(received[2].HasHeader("Cookie"));

  // From localhost itself, Domain=localhost is the host, not a suffix of it.
  ASSERT_EQ(
      Get(server, "/c", Reply(HttpReply(200, "OK", {"Set-Cookie: own=1; Domain=localhost"}, ""))),
      "");
  ASSERT_EQ(Get(server, "/d", Reply(HttpReply(200, "OK", {}, ""))), "");
  EXPECT_EQ(server.Requests().back().Header("Cookie"), "own=1");
}

}  // namespace
}  // namespace kestrava::testing
