// Sign-in: every outcome of the token request and its exact error text, the
// request as it goes on the wire, and the environments.

#include <chrono>
#include <string>
#include <vector>

#include "tests/client/ClientFixture.h"

namespace kestrava::testing {
namespace {

using SignIn = ClientTest;

TEST_F(SignIn, OutcomesAndErrorTexts) {
  struct Case {
    const char* name;
    std::string reply;
    bool signedIn;
    std::string token;
    std::string error;
  };
  const std::string typecast = R"({"status":"200 OK","result":"tok"})";
  const std::string statusObject = R"({"status":{"code":200},"message":"x"})";
  const std::string tokenArray = R"({"status":"200 OK","result":{"accessToken":["a"]}})";
  const Case cases[] = {
      {"success", TokenReply("tok=="), true, "tok==", ""},
      {"numeric token is read as its text",
       JsonReply(200, "OK", R"({"status":"200 OK","result":{"accessToken":12345}})"), true, "12345",
       ""},
      {"refused with a body", JsonReply(401, "Unauthorized", R"({"error":"invalid_client"})"),
       false, "", "StatusCode: 401 - Unauthorized\r{\"error\":\"invalid_client\"}"},
      {"refused with an empty body", HttpReply(401, "Unauthorized", {}, ""), false, "",
       "StatusCode: 401 - Unauthorized\r"},
      {"other reason phrase kept as sent", HttpReply(403, "Forbidden Here", {}, "no"), false, "",
       "StatusCode: 403 - Forbidden Here\rno"},
      {"status differs in letter case",
       JsonReply(200, "OK", R"({"status":"200 ok","message":"Bad credentials"})"), false, "",
       "Status = 200 ok Bad credentials"},
      {"status and message missing", JsonReply(200, "OK", "{}"), false, "", "Status =  "},
      {"status null", JsonReply(200, "OK", R"({"status":null,"message":"m"})"), false, "",
       "Status =  m"},
      {"no result object", JsonReply(200, "OK", R"({"status":"200 OK"})"), false, "",
       "Token NULL !"},
      {"result null", JsonReply(200, "OK", R"({"status":"200 OK","result":null})"), false, "",
       "Token NULL !"},
      {"empty token", JsonReply(200, "OK", R"({"status":"200 OK","result":{"accessToken":""}})"),
       false, "", "Token NULL !"},
      {"token null", JsonReply(200, "OK", R"({"status":"200 OK","result":{"accessToken":null}})"),
       false, "", "Token NULL !"},
      {"result without a token", JsonReply(200, "OK", R"({"status":"200 OK","result":{}})"), false,
       "", "Token NULL !"},
      // The reply is read from the response's own tree; these pin that it
      // reads as the compact text parsed again would.
      {"escaped token text is decoded",
       JsonReply(200, "OK", R"({"status":"200 OK","result":{"accessToken":"a\/b\u0041\n"}})"), true,
       "a/bA\n", ""},
      {"lone surrogates in the token",
       JsonReply(200, "OK", R"({"status":"200 OK","result":{"accessToken":"x\ud800y\udc00"}})"),
       true, "x\xEF\xBF\xBDy\xEF\xBF\xBD", ""},
      {"first of two members of one name",
       JsonReply(
           200, "OK",
           R"({"status":"200 OK","status":"x","result":{"accessToken":"t1","accessToken":"t2"}})"),
       true, "t1", ""},
      {"object text inside a string body", JsonReply(200, "OK", R"("{\"status\":\"200 OK\"}")"),
       false, "", ""},
      {"empty array body", JsonReply(200, "OK", "[]"), false, "", ""},
      {"body not JSON", JsonReply(200, "OK", "<html>hello</html>"), false, "", ""},
      {"empty body", HttpReply(200, "OK", {}, ""), false, "", ""},
      {"result not an object", JsonReply(200, "OK", typecast), false, "",
       "Invalid class typecast\r" + typecast},
      {"status is an object", JsonReply(200, "OK", statusObject), false, "",
       "Conversion from TJSONObject to string is not supported\r" + statusObject},
      {"token is an array", JsonReply(200, "OK", tokenArray), false, "",
       "Conversion from TJSONArray to string is not supported\r" + tokenArray},
      {"server error", HttpReply(500, "Internal Server Error", {}, "boom"), false, "",
       "HTTP/1.1 500 Internal Server Error\rboom"},
      {"server error, HTTP/1.0, no reason, no body", "HTTP/1.0 503 \r\nContent-Length: 0\r\n\r\n",
       false, "", "HTTP/1.0 503 \r"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server->Enqueue(Reply(c.reply));
    const auto client = NewClient();
    EXPECT_EQ(client->LogatLaServer, c.signedIn);
    EXPECT_EQ(client->Token, c.token);
    EXPECT_EQ(client->MesajEroare(), c.error);
  }
}

TEST_F(SignIn, TransportFailureOfTheFirstRequestEndsWithTheCarriageReturn) {
  server->Enqueue(Reply().Close());
  const auto client = NewClient();
  EXPECT_FALSE(client->LogatLaServer);
  const std::string& error = client->MesajEroare();
  EXPECT_EQ(error.rfind("REST request failed: ", 0), 0u) << error;
  ASSERT_FALSE(error.empty());
  EXPECT_EQ(error.back(), '\r') << error;
  EXPECT_EQ(error.find('\r'), error.size() - 1) << error;
}

TEST_F(SignIn, UnreachableHostFailsWithoutThrowing) {
  const std::uint16_t port = server->Port();
  server.reset();  // nobody listens there any more
  SetServiceHost("localhost:" + std::to_string(port));
  const auto client = NewClient();
  EXPECT_FALSE(client->LogatLaServer);
  EXPECT_EQ(client->MesajEroare().rfind("REST request failed: Error sending data: (", 0), 0u)
      << client->MesajEroare();
  EXPECT_EQ(client->MesajEroare().back(), '\r');
}

TEST_F(SignIn, TheTokenRequestOnTheWire) {
  server->Enqueue(Reply(TokenReply("tok-1")));
  // A quotation mark, a backslash and a non-ASCII letter in the credentials.
  const auto client = NewClient("my \"id\"", "s\\cr\xC3\xA9t", 1);
  ASSERT_TRUE(client->LogatLaServer) << client->MesajEroare();
  const auto requests = server->Requests();
  ASSERT_EQ(requests.size(), 1u);
  const ReceivedRequest& r = requests[0];
  EXPECT_EQ(r.requestLine, "POST " + std::string(kTokenPath) + " HTTP/1.1");
  const std::string body =
      R"({"grant_type":"client_credentials","client_id":"my \"id\"","client_secret":"s\\cr)"
      "\xC3\xA9"
      R"(t"})";
  EXPECT_EQ(r.body, body);
  EXPECT_EQ(r.Header("Content-Length"), std::to_string(body.size()));
  EXPECT_EQ(r.Header("Content-Type"), "application/json");
  EXPECT_EQ(r.Header("Accept"), "application/json, text/plain; q=0.9, text/html;q=0.8,");
  EXPECT_EQ(r.Header("Accept").size(), 53u);
  EXPECT_EQ(r.Header("Accept-Charset"), "UTF-8, *;q=0.8");
  EXPECT_FALSE(r.HasHeader("Authorization"));
  EXPECT_FALSE(r.HasHeader("Accept-Encoding"));
  EXPECT_EQ(r.Header("Host"), server->HostPort());
}

TEST_F(SignIn, EnvironmentTwoIsTheTestHostAndEveryOtherValueProduction) {
  for (int tipMediu : {0, 1, 2, 3, -1}) {
    SCOPED_TRACE(tipMediu);
    server->Enqueue(Reply(TokenReply("tok-1")));
    const auto client = NewClient("id", "secret", tipMediu);
    EXPECT_EQ(client->URLTipMediu(), tipMediu == 2 ? "api.test." : "");
    ASSERT_TRUE(client->LogatLaServer) << client->MesajEroare();
    const auto requests = server->Requests();
    EXPECT_EQ(requests.back().Header("Host"),
              (tipMediu == 2 ? "api.test." : "") + server->HostPort());
  }
}

TEST_F(SignIn, ServiceHostDefaultsToTheBuildValueAndCanBeSet) {
  SetServiceHost("example.invalid:1");
  EXPECT_EQ(ServiceHost(), "example.invalid:1");
  SetServiceHost(server->HostPort());
  EXPECT_EQ(ServiceHost(), server->HostPort());
}

TEST_F(SignIn, LaterSignInFailingBeforeTheReplyKeepsTheToken) {
  server->Enqueue(Reply(TokenReply("first")));
  const auto client = NewClient();
  ASSERT_EQ(client->Token, "first");
  server->Enqueue(Reply(HttpReply(401, "Unauthorized", {}, "")));
  EXPECT_FALSE(client->LogIn());
  EXPECT_EQ(client->Token, "first");
  EXPECT_EQ(client->MesajEroare(), "StatusCode: 401 - Unauthorized\r");
  server->Enqueue(Reply(JsonReply(200, "OK", R"({"status":"401"})")));
  EXPECT_FALSE(client->LogIn());
  EXPECT_EQ(client->Token, "");        // a reply object was read
  EXPECT_TRUE(client->LogatLaServer);  // written by the constructor only
}

TEST_F(SignIn, ResponseTextIsTheCompactTextOfTheLastReply) {
  server->Enqueue(Reply(JsonReply(
      200, "OK",
      "{ \"status\" : \"200 OK\",\r\n \"result\" : { \"accessToken\" : \"a\\r\\nb\" } }")));
  const auto client = NewClient();
  ASSERT_TRUE(client->LogatLaServer) << client->MesajEroare();
  EXPECT_EQ(client->ResponseText(), R"({"status":"200 OK","result":{"accessToken":"a\r\nb"}})");
  server->Enqueue(Reply(HttpReply(401, "Unauthorized", {}, "not json")));
  client->LogIn();
  EXPECT_EQ(client->ResponseText(), "");
}

// The wait hook given at construction serves the sign-in the constructor
// makes and every later exchange.
TEST_F(SignIn, TheWaitHookRunsWhileTheSignInAndTheExportsWait) {
  int runs = 0;
  server->Enqueue(Reply().Pause(std::chrono::milliseconds(250)).Send(TokenReply("tok-1")));
  const auto client = std::make_unique<TKestrava_2>(
      "id-1", "secret-1", 1,
      TWaitHook{[&runs] { return ++runs > 0; }, std::chrono::milliseconds(20)});
  ASSERT_TRUE(client->LogatLaServer) << client->MesajEroare();
  EXPECT_GE(runs, 2);

  runs = 0;
  server->Enqueue(Reply()
                      .Pause(std::chrono::milliseconds(250))
                      .Send(JsonReply(200, "OK", R"({"result":[{"id":1}]})")));
  TJSONArray accounts;
  ASSERT_TRUE(client->Accounts(accounts)) << client->MesajEroare();
  EXPECT_GE(runs, 2);
  EXPECT_EQ(Ids(accounts), std::vector<int>{1});
}

// Settings changed after construction hold from the next request on: a
// wait hook set then runs, and one taken away again runs no more.
TEST_F(SignIn, AWaitHookSetAfterTheSignInServesTheRequestsThatFollow) {
  server->Enqueue(Reply(TokenReply("tok-1")));
  const auto client = NewClient();
  ASSERT_TRUE(client->LogatLaServer) << client->MesajEroare();
  int runs = 0;
  client->Settings().OnWait =
      TWaitHook{[&runs] { return ++runs > 0; }, std::chrono::milliseconds(20)};
  const std::string slowAccounts = JsonReply(200, "OK", R"({"result":[{"id":1}]})");
  server->Enqueue(Reply().Pause(std::chrono::milliseconds(250)).Send(slowAccounts));
  TJSONArray accounts;
  ASSERT_TRUE(client->Accounts(accounts)) << client->MesajEroare();
  EXPECT_GE(runs, 2);

  runs = 0;
  client->Settings().OnWait = {};
  server->Enqueue(Reply().Pause(std::chrono::milliseconds(250)).Send(slowAccounts));
  ASSERT_TRUE(client->Accounts(accounts)) << client->MesajEroare();
  EXPECT_EQ(runs, 0);
  EXPECT_EQ(Ids(accounts), (std::vector<int>{1, 1}));
}

}  // namespace
}  // namespace kestrava::testing
