// The request as the server receives it.

#include <sstream>

#include "tests/net/NetFixture.h"

namespace kestrava::testing {
namespace {

using WireTest = TrioTest;

constexpr const char* kAccept = "application/json, text/plain; q=0.9, text/html;q=0.8,";
constexpr const char* kAcceptCharset = "UTF-8, *;q=0.8";

void ExpectFixedHeaders(const ReceivedRequest& r) {
  EXPECT_EQ(r.version, "HTTP/1.1");
  EXPECT_EQ(r.Header("Accept"), kAccept);
  EXPECT_EQ(r.Header("Accept-Charset"), kAcceptCharset);
  EXPECT_EQ(r.Header("User-Agent"), "Kestrava/1.0");
  EXPECT_EQ(r.Header("Content-Type"), "application/json");
  for (const char* absent : {"Expect", "Accept-Encoding", "Accept-Language", "Pragma", "TE",
                             "Transfer-Encoding", "Cookie", "Proxy-Connection"})
    EXPECT_FALSE(r.HasHeader(absent)) << absent;
  for (const auto& [name, value] : r.headers) EXPECT_EQ(r.HeaderCount(name), 1) << name;
}

TEST_F(WireTest, TokenPostCarriesTheBodyBytesAndTheirLength) {
  ScriptedServer server;
  server.Enqueue(Reply(HttpReply(200, "OK", {"Content-Type: application/json"}, "{\"t\":1}")));
  request.SetAccept(kAccept);
  request.SetAcceptCharset(kAcceptCharset);
  request.SetMethod(rmPOST);
  const std::string body = "{\"client_id\":\"id\",\"client_secret\":\"s\xC3\xA9\"}";
  std::istringstream stream(body);
  stream.get();  // the body is copied from its first byte whatever the position
  request.AddBody(stream, " Application/JSON ", ooCopy);
  client.SetBaseURL(" " + UrlOf(server, "/v1/auth/token") + "/ ");

  ASSERT_EQ(Run(), "");
  ASSERT_TRUE(server.WaitForRequests(1));
  const ReceivedRequest r = server.Requests().at(0);
  EXPECT_EQ(r.requestLine, "POST /v1/auth/token HTTP/1.1");
  ExpectFixedHeaders(r);
  EXPECT_EQ(r.Header("Host"), server.HostPort());
  EXPECT_EQ(r.Header("Content-Length"), std::to_string(body.size()));
  EXPECT_EQ(body.size(), 40u);  // "é" counts two bytes
  EXPECT_EQ(r.body, body);
  EXPECT_FALSE(r.HasHeader("Authorization"));
  EXPECT_EQ(client.ContentType(), "application/json");
  EXPECT_EQ(response.StatusCode(), 200);
  EXPECT_EQ(response.Content(), "{\"t\":1}");
  ASSERT_NE(response.JSONValue(), nullptr);
  EXPECT_EQ(response.JSONValue()->ToString(), "{\"t\":1}");
}

TEST_F(WireTest, ABodyGivenAsBytesGoesOutAsThemAndReplacesTheBodyBefore) {
  ScriptedServer server;
  server.Enqueue(Reply(HttpReply(200, "OK", {}, "{}")));
  request.SetMethod(rmPOST);
  std::istringstream earlier("{\"earlier\":true}");
  request.AddBody(earlier, "text/plain", ooCopy);
  const std::string body("{\"k\":\"\0\xC3\xA9\"}", 11);  // a NUL byte travels too
  request.AddBody(body, "Application/JSON");
  client.SetBaseURL(UrlOf(server, "/v1/auth/token"));
  ASSERT_EQ(Run(), "");
  ASSERT_TRUE(server.WaitForRequests(1));
  const ReceivedRequest r = server.Requests().at(0);
  EXPECT_EQ(r.body, body);
  EXPECT_EQ(r.Header("Content-Length"), "11");
  EXPECT_EQ(r.Header("Content-Type"), "application/json");
  EXPECT_EQ(request.Params().Count(), 1u);
}

TEST_F(WireTest, LargeBodyGoesOutWithoutExpectContinue) {
  // libcurl would ask for "100-continue" before a body above 1 MiB.
  ScriptedServer server;
  server.Enqueue(Reply(HttpReply(200, "OK", {}, "{}")));
  request.SetMethod(rmPOST);
  const std::string body = "[\"" + std::string(1'200'000, 'x') + "\"]";
  std::istringstream stream(body);
  request.AddBody(stream, "application/json", ooCopy);
  client.SetBaseURL(UrlOf(server, "/big"));
  ASSERT_EQ(Run(), "");
  ASSERT_TRUE(server.WaitForRequests(1));
  const ReceivedRequest r = server.Requests().at(0);
  EXPECT_FALSE(r.HasHeader("Expect"));
  EXPECT_FALSE(r.HasHeader("Transfer-Encoding"));
  EXPECT_EQ(r.Header("Content-Length"), std::to_string(body.size()));
  EXPECT_EQ(r.body.size(), body.size());
  EXPECT_TRUE(r.body == body);
}

TEST_F(WireTest, ExportGetCarriesTokenVerbatimAndContentTypeWithoutBody) {
  ScriptedServer server;
  const std::string token = "eyJhbGciOiJIUzI1NiJ9.e30.c2lnbmF0dXJl+/==";
  request.AddParameter("Authorization", "Bearer " + token, pkHTTPHEADER,
                       static_cast<unsigned>(poDoNotEncode));
  const std::string path =
      "/v2/transactions?accountId=0&dateFrom=2025-05-14T08:30:00.000Z&dateTo=2025-05-15T08:30:"
      "00.000Z&page=0&pageSize=50";
  for (int page = 0; page < 2; ++page)
    ASSERT_EQ(Get(server, path, Reply(HttpReply(200, "OK", {}, "[]"))), "");
  ASSERT_TRUE(server.WaitForRequests(2));
  for (const ReceivedRequest& r : server.Requests()) {
    EXPECT_EQ(r.requestLine, "GET " + path + " HTTP/1.1");
    ExpectFixedHeaders(r);
    EXPECT_EQ(r.Header("Authorization"), "Bearer " + token);
    EXPECT_FALSE(r.HasHeader("Content-Length"));
    EXPECT_EQ(r.body, "");
  }
  // Parameters stay until cleared.
  request.Params().Clear();
  ASSERT_EQ(Get(server, "/x", Reply(HttpReply(200, "OK", {}, ""))), "");
  ASSERT_TRUE(server.WaitForRequests(3));
  EXPECT_FALSE(server.Requests().at(2).HasHeader("Authorization"));
}

TEST_F(WireTest, UrlIsNormalisedOnTheWire) {
  ScriptedServer server;
  struct Case {
    std::string path;      // appended to the base URL
    std::string expected;  // request target
  } cases[] = {
      {"/a b/caf\xC3\xA9?q=a b&n=\xC3\xA9", "/a%20b/caf%C3%A9?q=a%20b&n=%C3%A9"},
      {"/p{x}|y^?it's=<v>&pct=%41%42", "/p%7Bx%7D%7Cy%5E?it%27s=%3Cv%3E&pct=%41%42"},
      {"/frag?x=1#not-sent", "/frag?x=1"},
      {"/trailing/", "/trailing"},
      {"", "/"},
  };
  for (const auto& c : cases) {
    server.Enqueue(Reply(HttpReply(200, "OK", {}, "")));
    client.SetBaseURL("HTTPS://localhost:" + std::to_string(server.Port()) + c.path);
    ASSERT_EQ(Run(), "") << c.path;
  }
  ASSERT_TRUE(server.WaitForRequests(std::size(cases)));
  auto received = server.Requests();
  for (std::size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(received.at(i).target, cases[i].expected) << cases[i].path;
}

TEST_F(WireTest, RequestValuesOverrideTheClientsAndHeaderParametersReplaceFixedOnes) {
  ScriptedServer server;
  client.SetAccept("text/plain");
  request.SetAccept("application/json");
  client.Params().Add({"X-Client", "c", pkHTTPHEADER, 0, {}});
  request.AddParameter("X-Request", "r", pkHTTPHEADER, 0);
  request.AddParameter("Accept-Charset", "utf-8", pkHTTPHEADER, 0);
  ASSERT_EQ(Get(server, "/x", Reply(HttpReply(200, "OK", {}, ""))), "");
  ASSERT_TRUE(server.WaitForRequests(1));
  const auto r = server.Requests().at(0);
  EXPECT_EQ(r.Header("Accept"), "application/json");
  EXPECT_EQ(client.Accept(), "application/json");
  EXPECT_EQ(r.Header("Accept-Charset"), "utf-8");
  EXPECT_EQ(r.HeaderCount("Accept-Charset"), 1);
  EXPECT_EQ(r.Header("X-Client"), "c");
  EXPECT_EQ(r.Header("X-Request"), "r");
}

TEST_F(WireTest, HeaderValueWithLineBreakIsRefusedNotInjected) {
  ScriptedServer server;
  request.AddParameter("Authorization", "Bearer x\r\nX-Injected: 1", pkHTTPHEADER,
                       static_cast<unsigned>(poDoNotEncode));
  EXPECT_EQ(Get(server, "/x", Reply(HttpReply(200, "OK", {}, ""))),
            "REST request failed: Error adding header: (43) A libcurl function was given a bad "
            "argument");
  EXPECT_EQ(lastStage, TExchangeStage::Preparing);
  EXPECT_TRUE(server.Requests().empty());
}

}  // namespace
}  // namespace kestrava::testing
