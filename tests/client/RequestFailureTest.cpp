// What a tool gets beyond the window: records handed over page by page
// instead of copied, and a say after each failed request (try it again, sign
// in again first, or fail), with the paging rules of the one page loop.

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "tests/client/ClientFixture.h"

namespace kestrava::testing {
namespace {

using namespace std::chrono_literals;

const TDateTime kStart = EncodeDateTime(2025, 5, 14, 8, 30, 0, 0);
const TDateTime kEnd = EncodeDateTime(2025, 5, 15, 8, 30, 0, 0);

std::string PageNumberOf(const ReceivedRequest& request) {
  const std::size_t at = request.target.find("&pageNumber=");
  if (at == std::string::npos) return request.target;
  return request.target.substr(at + 12, request.target.find('&', at + 1) - at - 12);
}

class ToolClient : public ClientTest {
 protected:
  // Signs in against the next enqueued reply, with every failure recorded
  // and answered from `answers` in order (Fail when they run out).
  std::unique_ptr<TKestrava_2> NewToolClient(int timeout = TKestrava_2::kDefaultTimeout) {
    TKestrava_2::TSettings settings;
    settings.Timeout = timeout;
    settings.OnRequestFailed = [this](const TRequestFailure& failure) {
      failures.push_back(failure);
      if (answers.empty()) return TAfterFailure::Fail;
      const TAfterFailure answer = answers.front();
      answers.erase(answers.begin());
      return answer;
    };
    return std::make_unique<TKestrava_2>("id-1", "secret-1", 1, std::move(settings));
  }
  // The records handed over, as one compact text per page.
  static TKestrava_2::TRecordSink Collect(std::vector<std::string>& pages) {
    return [&pages](const TJSONArray& records) {
      pages.push_back(records.ToString());
      return true;
    };
  }
  std::vector<TRequestFailure> failures;
  std::vector<TAfterFailure> answers;
};

TEST_F(ToolClient, RecordsAreHandedOverPageByPageWithTheSameRequestsAndTexts) {
  server->Enqueue(Reply(TokenReply("tok-1")));
  const auto client = NewToolClient();
  ASSERT_TRUE(client->LogatLaServer) << client->MesajEroare();

  server->Enqueue(Reply(JsonReply(200, "OK", PageBody("3", {1, 2}))));
  server->Enqueue(Reply(JsonReply(200, "OK", R"({"totalPages":3})")));  // no result
  server->Enqueue(Reply(JsonReply(200, "OK", PageBody("3", {3}))));
  std::vector<std::string> pages;
  ASSERT_TRUE(client->GetTranzactii(kStart, kEnd, 7, Collect(pages))) << client->MesajEroare();
  EXPECT_EQ(pages,
            (std::vector<std::string>{R"([{"id":1,"amount":"12.50"},{"id":2,"amount":"12.50"}])",
                                      R"([{"id":3,"amount":"12.50"}])"}));
  const auto requests = server->Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[3].target, std::string(kTransactionsPath) +
                                    "?startDate=2025-05-14T08:30:00.000Z"
                                    "&endDate=2025-05-15T08:30:00.000Z&pageNumber=2&accountId=7"
                                    "&pageSize=50");

  server->Enqueue(Reply(JsonReply(200, "OK", R"({"result":[{"id":8}]})")));
  pages.clear();
  ASSERT_TRUE(client->Accounts(Collect(pages)));
  EXPECT_EQ(pages, (std::vector<std::string>{R"([{"id":8}])"}));
  EXPECT_TRUE(failures.empty());
}

TEST_F(ToolClient, ANumberACopyRefusesFailsTheHandedOverExportAlike) {
  server->Enqueue(Reply(TokenReply("tok-1")));
  const auto client = NewToolClient();
  const std::string body = R"({"result":[{"id":1},{"id":2,"amount":[1,1e99999,1e88888]}]})";
  for (const bool copied : {true, false}) {
    SCOPED_TRACE(copied);
    server->Enqueue(Reply(JsonReply(200, "OK", body)));
    std::vector<std::string> pages;
    TJSONArray accounts;
    EXPECT_FALSE(copied ? client->Accounts(accounts) : client->Accounts(Collect(pages)));
    EXPECT_EQ(client->MesajEroare(), "'1e99999' is not a valid floating point value\r" + body);
    EXPECT_TRUE(pages.empty());
  }
  // Records reached the receiver: such a failure is never put to the tool.
  EXPECT_TRUE(failures.empty());
}

TEST_F(ToolClient, AReceiverThatStopsEndsTheExportWithoutAnErrorText) {
  server->Enqueue(Reply(TokenReply("tok-1")));
  const auto client = NewToolClient();
  server->Enqueue(Reply(JsonReply(200, "OK", PageBody("3", {1}))));
  int calls = 0;
  EXPECT_FALSE(
      client->GetTranzactii(kStart, kEnd, 0, [&](const TJSONArray&) { return ++calls > 1; }));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(client->MesajEroare(), "");
  EXPECT_EQ(server->Requests().size(), 2u);  // no page after the refusal
  EXPECT_TRUE(failures.empty());
}

TEST_F(ToolClient, EachFailedRequestIsDescribed) {
  struct Case {
    const char* name;
    std::vector<Reply> replies;
    TFailureCause cause;
    int status;
    std::string retryAfter;
    std::string errorStart;  // the error text up to its CR, or whole
    std::string reply;       // of the failing request; never the token reply before it
  };
  const Case cases[] = {
      {"503 with Retry-After",
       {Reply(HttpReply(503, "Service Unavailable", {"Retry-After: 7"}, "busy"))},
       TFailureCause::Status,
       503,
       "7",
       "HTTP/1.1 503 Service Unavailable",
       "busy"},
      {"429 with a date",
       {Reply(JsonReply(429, "Too Many Requests", "slow down",
                        {"retry-after: Wed, 21 Oct 2015 07:28:00 GMT"}))},
       TFailureCause::Status,
       429,
       "Wed, 21 Oct 2015 07:28:00 GMT",
       "429/Too Many Requests - slow down",
       "slow down"},
      {"401",
       {Reply(JsonReply(401, "Unauthorized", "{}"))},
       TFailureCause::Status,
       401,
       "",
       "401/Unauthorized - {}",
       "{}"},
      {"reset in the body",
       {Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{\"res").Reset()},
       TFailureCause::Transport,
       0,
       "",
       "REST request failed: Error reading data: (56) ",
       ""},
      {"closed in the body",
       {Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{\"res").Close()},
       TFailureCause::Transport,
       0,
       "",
       "REST request failed: Error reading data: (18) ",
       ""},
      {"not an object",
       {Reply(JsonReply(200, "OK", "[]"))},
       TFailureCause::Other,
       0,
       "",
       "StatusCode: 200 - OK",
       "[]"},
      {"unknown charset",
       {Reply(HttpReply(503, "Service Unavailable", {"Content-Type: text/html; charset=klingon"},
                        "busy"))},
       TFailureCause::Other,
       0,
       "",
       "REST request failed: Invalid encoding name\r",
       ""},
      {"redirect limit",
       {6, Reply(HttpReply(302, "Found", {"Location: /elsewhere"}, ""))},
       TFailureCause::Other,
       0,
       "",
       "REST request failed: Maximum number of redirections (5) exceeded\r",
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    failures.clear();
    server->Enqueue(Reply(TokenReply("tok-1")));
    const auto client = NewToolClient();
    ASSERT_TRUE(client->LogatLaServer);
    for (const Reply& reply : c.replies) server->Enqueue(reply);
    TJSONArray accounts;
    EXPECT_FALSE(client->Accounts(accounts));
    ASSERT_EQ(failures.size(), 1u);
    const TRequestFailure& f = failures[0];
    EXPECT_EQ(f.Request, TRequestKind::Accounts);
    EXPECT_EQ(f.Failures, 1);
    EXPECT_EQ(f.Cause, c.cause);
    EXPECT_EQ(f.StatusCode, c.status);
    EXPECT_EQ(f.RetryAfter, c.retryAfter);
    EXPECT_EQ(f.ErrorText, client->MesajEroare());
    EXPECT_EQ(f.ErrorText.substr(0, c.errorStart.size()), c.errorStart);
    EXPECT_EQ(f.Reply, c.reply);
  }
}

// The sign-in's own reply, when one came: never an earlier one.
TEST_F(ToolClient, AFailedSignInGivesItsOwnReplyOnly) {
  struct Case {
    const char* name;
    Reply reply;
    std::string errorText, body;
  };
  const std::string refusal = R"({"status":"401","message":"bad credentials"})";
  const Case cases[] = {
      {"refused with a status", Reply(JsonReply(401, "Unauthorized", "bad credentials")),
       "StatusCode: 401 - Unauthorized\rbad credentials", "bad credentials"},
      {"refused in the reply", Reply(JsonReply(200, "OK", refusal)), "Status = 401 bad credentials",
       refusal},
      {"a server error", Reply(HttpReply(500, "Internal Server Error", {}, "boom")),
       "HTTP/1.1 500 Internal Server Error\rboom", "boom"},
      {"no reply", Reply().Close(), "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    failures.clear();
    server->Enqueue(c.reply);
    const auto client = NewToolClient();
    EXPECT_FALSE(client->LogatLaServer);
    ASSERT_EQ(failures.size(), 1u);
    if (!c.errorText.empty()) {
      EXPECT_EQ(failures[0].ErrorText, c.errorText);
    }
    EXPECT_EQ(failures[0].Reply, c.body);
  }
}

TEST_F(ToolClient, ARepeatedPageIsTheOnlyRequestSentAgain) {
  server->Enqueue(Reply(TokenReply("tok-1")));
  const auto client = NewToolClient();
  answers = {TAfterFailure::Repeat, TAfterFailure::Repeat};
  server->Enqueue(Reply(JsonReply(200, "OK", PageBody("3", {1}))));
  server->Enqueue(Reply(HttpReply(502, "Bad Gateway", {}, "")));
  server->Enqueue(Reply(JsonReply(503, "Service Unavailable", "{}")));
  server->Enqueue(Reply(JsonReply(200, "OK", PageBody("3", {2}))));
  server->Enqueue(Reply(JsonReply(200, "OK", PageBody("3", {3}))));
  std::vector<int> progress;
  client->Settings().OnPage = [&](int read, int) { progress.push_back(read); };
  TJSONArray tranz;
  ASSERT_TRUE(client->GetTranzactii(kStart, kEnd, 0, tranz)) << client->MesajEroare();
  EXPECT_EQ(client->MesajEroare(), "");
  EXPECT_EQ(Ids(tranz), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(progress, (std::vector<int>{1, 2, 3}));
  std::vector<std::string> pages;
  for (const auto& r : server->Requests()) pages.push_back(PageNumberOf(r));
  pages.erase(pages.begin());
  EXPECT_EQ(pages, (std::vector<std::string>{"0", "1", "1", "1", "2"}));
  ASSERT_EQ(failures.size(), 2u);
  EXPECT_EQ(failures[0].Page, 1);
  EXPECT_EQ(failures[0].Failures, 1);
  EXPECT_EQ(failures[1].Failures, 2);
  EXPECT_EQ(failures[1].ErrorText, "HTTP/1.1 503 Service Unavailable\r{}");
}

TEST_F(ToolClient, SignInAgainMidExportUsesTheNewTokenAndKeepsTheCookies) {
  server->Enqueue(Reply(TokenReply("tok-1")));
  const auto client = NewToolClient();
  answers = {TAfterFailure::SignInAndRepeat};
  server->Enqueue(Reply(JsonReply(200, "OK", PageBody("2", {1}))));
  server->Enqueue(Reply(JsonReply(401, "Unauthorized", R"({"error":"expired"})")));
  server->Enqueue(
      Reply(JsonReply(200, "OK", R"({"status":"200 OK","result":{"accessToken":"tok-2"}})")));
  server->Enqueue(Reply(JsonReply(200, "OK", PageBody("2", {2}))));
  TJSONArray tranz;
  ASSERT_TRUE(client->GetTranzactii(kStart, kEnd, 0, tranz)) << client->MesajEroare();
  EXPECT_EQ(Ids(tranz), (std::vector<int>{1, 2}));
  EXPECT_EQ(client->Token, "tok-2");
  const auto requests = server->Requests();
  ASSERT_EQ(requests.size(), 5u);
  EXPECT_EQ(requests[2].Header("Authorization"), "Bearer tok-1");
  EXPECT_EQ(requests[3].method, "POST");
  EXPECT_EQ(requests[3].target, kTokenPath);
  EXPECT_EQ(requests[3].Header("Cookie"), "session=s1");
  EXPECT_EQ(requests[4].method, "GET");
  EXPECT_EQ(PageNumberOf(requests[4]), "1");
  EXPECT_EQ(requests[4].Header("Authorization"), "Bearer tok-2");
  EXPECT_EQ(requests[4].body, "");
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].StatusCode, 401);
}

TEST_F(ToolClient, AfterASignInAgainTheExportIsSentAgainAsItWasEvenUnderTheSameToken) {
  // The service may hand out the token it had given: the request must still
  // be the export's again, not the token request that the sign-in left.
  server->Enqueue(Reply(TokenReply("tok-1")));
  const auto client = NewToolClient();
  answers = {TAfterFailure::SignInAndRepeat};
  server->Enqueue(Reply(JsonReply(401, "Unauthorized", "{}")));
  server->Enqueue(Reply(TokenReply("tok-1")));
  server->Enqueue(Reply(JsonReply(200, "OK", R"({"result":[{"id":4}]})")));
  TJSONArray accounts;
  ASSERT_TRUE(client->Accounts(accounts)) << client->MesajEroare();
  EXPECT_EQ(Ids(accounts), (std::vector<int>{4}));
  const auto requests = server->Requests();
  ASSERT_EQ(requests.size(), 4u);
  for (const std::size_t i : {1u, 3u}) {
    SCOPED_TRACE(i);
    EXPECT_EQ(requests[i].requestLine, "GET " + std::string(kAccountsPath) + " HTTP/1.1");
    EXPECT_EQ(requests[i].Header("Authorization"), "Bearer tok-1");
    EXPECT_EQ(requests[i].body, "");
  }
  EXPECT_EQ(requests[2].target, kTokenPath);
  EXPECT_FALSE(requests[2].HasHeader("Authorization"));
}

TEST_F(ToolClient, AFailedSignInAgainEndsTheExportWithItsText) {
  server->Enqueue(Reply(TokenReply("tok-1")));
  const auto client = NewToolClient();
  answers = {TAfterFailure::SignInAndRepeat};
  server->Enqueue(Reply(JsonReply(401, "Unauthorized", "")));
  server->Enqueue(Reply(JsonReply(400, "Bad Request", "no")));
  TJSONArray accounts;
  EXPECT_FALSE(client->Accounts(accounts));
  EXPECT_EQ(client->MesajEroare(), "StatusCode: 400 - Bad Request\rno");
  ASSERT_EQ(failures.size(), 2u);
  EXPECT_EQ(failures[1].Request, TRequestKind::SignIn);
  EXPECT_EQ(server->Requests().size(), 3u);
}

TEST_F(ToolClient, TheSignInOfTheConstructorIsTriedAgainWithTheToolsTimeout) {
  answers = {TAfterFailure::Repeat};
  server->Enqueue(Reply().Pause(3s).Close());
  server->Enqueue(Reply(TokenReply("tok-3")));
  const auto start = std::chrono::steady_clock::now();
  const auto client = NewToolClient(300);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
  EXPECT_TRUE(client->LogatLaServer) << client->MesajEroare();
  EXPECT_EQ(client->Token, "tok-3");
  EXPECT_EQ(client->MesajEroare(), "");
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].Request, TRequestKind::SignIn);
  EXPECT_EQ(failures[0].Cause, TFailureCause::Transport);
  EXPECT_EQ(failures[0].ErrorText.rfind("REST request failed: Error receiving data: (28) ", 0), 0u)
      << failures[0].ErrorText;
}

TEST_F(ToolClient, AServerCertificateThatFailsVerificationIsNoPassingFailure) {
  for (const auto certificate : {ServerCertificate::UnknownIssuer, ServerCertificate::Expired,
                                 ServerCertificate::WrongHost, ServerCertificate::WrongUsage}) {
    SCOPED_TRACE(static_cast<int>(certificate));
    server = std::make_unique<ScriptedServer>(ServerOptions{.certificate = certificate});
    SetServiceHost(server->HostPort());
    failures.clear();
    const auto client = NewToolClient();
    EXPECT_FALSE(client->LogatLaServer);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].Cause, TFailureCause::Other);
    EXPECT_EQ(failures[0].ErrorText.rfind("REST request failed: Error sending data: (", 0), 0u)
        << failures[0].ErrorText;
    EXPECT_TRUE(server->Requests().empty());
  }
  // A connection that is refused is still one that may pass.
  server = std::make_unique<ScriptedServer>();
  SetServiceHost("localhost:" + std::to_string(RefusedPort()));
  failures.clear();
  const auto refused = NewToolClient();
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].Cause, TFailureCause::Transport);
}

}  // namespace
}  // namespace kestrava::testing
