// The account export and the paged transaction export: requests, paging,
// appended elements, cookies and every failure text.

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "datetime/FormatSettings.h"
#include "tests/client/ClientFixture.h"

namespace kestrava::testing {
namespace {

using namespace std::chrono_literals;

const TDateTime kStart = EncodeDateTime(2025, 5, 14, 8, 30, 0, 0);
const TDateTime kEnd = EncodeDateTime(2025, 5, 15, 8, 30, 0, 0);
constexpr std::string_view kRangeQuery =
    "?startDate=2025-05-14T08:30:00.000Z&endDate=2025-05-15T08:30:00.000Z";

std::string PageTarget(int page, std::string_view account = "") {
  return std::string(kTransactionsPath) + std::string(kRangeQuery) +
         "&pageNumber=" + std::to_string(page) + std::string(account) + "&pageSize=50";
}

class Export : public ClientTest {
 protected:
  void SetUp() override {
    ClientTest::SetUp();
    server->Enqueue(Reply(TokenReply("tok-1")));
    client = NewClient();
    ASSERT_TRUE(client->LogatLaServer) << client->MesajEroare();
  }
  // Requests after the sign-in.
  std::vector<ReceivedRequest> ExportRequests() const {
    auto all = server->Requests();
    all.erase(all.begin());
    return all;
  }
  std::unique_ptr<TKestrava_2> client;
};

TEST_F(Export, AccountsAppendAfterWhatTheArrayHolds) {
  server->Enqueue(Reply(JsonReply(200, "OK", R"({"result":[{"id":1},{"id":2,"x":[1,{}]}]})")));
  TJSONArray accounts;
  accounts.AddElement(ParseJSONValue(R"({"id":0})"));
  ASSERT_TRUE(client->Accounts(accounts)) << client->MesajEroare();
  EXPECT_EQ(client->MesajEroare(), "");
  EXPECT_EQ(accounts.ToString(), R"([{"id":0},{"id":1},{"id":2,"x":[1,{}]}])");

  const auto requests = ExportRequests();
  ASSERT_EQ(requests.size(), 1u);
  const ReceivedRequest& r = requests[0];
  EXPECT_EQ(r.requestLine, "GET " + std::string(kAccountsPath) + " HTTP/1.1");
  EXPECT_EQ(r.Header("Authorization"), "Bearer tok-1");
  EXPECT_EQ(r.Header("Cookie"), "session=s1");
  EXPECT_EQ(r.Header("Content-Type"), "application/json");
  EXPECT_EQ(r.Header("Accept"), "application/json, text/plain; q=0.9, text/html;q=0.8,");
  EXPECT_EQ(r.Header("Accept-Charset"), "UTF-8, *;q=0.8");
  EXPECT_EQ(r.body, "");
  EXPECT_FALSE(r.HasHeader("Content-Length") && r.Header("Content-Length") != "0");
}

TEST_F(Export, AccountsOutcomes) {
  struct Case {
    const char* name;
    std::string reply;
    bool result;
    std::string appended;
    std::string error;
  };
  const std::string typecast = R"({"result":{"id":1}})";
  const std::string huge = R"({"result":[1,1e99999]})";
  const Case cases[] = {
      {"result missing", JsonReply(200, "OK", R"({"other":1})"), true, "[]", ""},
      {"result null", JsonReply(200, "OK", R"({"result":null})"), true, "[]", ""},
      {"result empty", JsonReply(200, "OK", R"({"result":[]})"), true, "[]", ""},
      {"not an object", JsonReply(200, "OK", "[1,2]"), false, "[]", "StatusCode: 200 - OK"},
      {"not JSON", JsonReply(200, "OK", "nope"), false, "[]", "StatusCode: 200 - OK"},
      {"refused", JsonReply(401, "Unauthorized", R"({"e":1})"), false, "[]",
       "401/Unauthorized - {\"e\":1}"},
      {"not found", HttpReply(404, "Not Found", {"Content-Type: text/html"}, "<h1>404</h1>"), false,
       "[]", "404/Not Found - <h1>404</h1>"},
      {"result not an array", JsonReply(200, "OK", typecast), false, "[]",
       "Invalid class typecast\r" + typecast},
      {"number too large to copy", JsonReply(200, "OK", huge), false, "[1]",
       "'1e99999' is not a valid floating point value\r" + huge},
      {"server error", HttpReply(502, "Bad Gateway", {}, "down"), false, "[]",
       "HTTP/1.1 502 Bad Gateway\rdown"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server->Enqueue(Reply(c.reply));
    TJSONArray accounts;
    EXPECT_EQ(client->Accounts(accounts), c.result);
    EXPECT_EQ(accounts.ToString(), c.appended);
    EXPECT_EQ(client->MesajEroare(), c.error);
  }
}

TEST_F(Export, AccountsTransportFailureShowsTheTokenReplyAfterTheCarriageReturn) {
  // The transport sends again once when a kept-alive connection drops, so
  // the fresh connection drops too.
  server->Enqueue(Reply().Reset());
  server->Enqueue(Reply().Reset());
  TJSONArray accounts;
  EXPECT_FALSE(client->Accounts(accounts));
  const std::string& error = client->MesajEroare();
  EXPECT_EQ(error.rfind("REST request failed: ", 0), 0u) << error;
  const std::size_t cr = error.find('\r');
  ASSERT_NE(cr, std::string::npos);
  EXPECT_EQ(
      error.substr(cr + 1),
      R"({"status":"200 OK","message":"","result":{"accessToken":"tok-1","expiresIn":3600}})");
}

TEST_F(Export, AnExportRedirectedToClearTextFailsAndSendsNothingThere) {
  ScriptedServer plain({.tls = false});
  const std::string clear = "http://127.0.0.1:" + std::to_string(plain.Port());
  plain.Enqueue(Reply(JsonReply(200, "OK", R"({"result":[{"id":1}]})")));
  server->Enqueue(Reply(HttpReply(307, "Temporary Redirect",
                                  {"Location: " + clear + std::string(kAccountsPath)}, "")));
  TJSONArray accounts;
  EXPECT_FALSE(client->Accounts(accounts));
  EXPECT_EQ(accounts.Count(), 0u);
  EXPECT_EQ(
      client->MesajEroare(),
      "REST request failed: Error connecting to server: 127.0.0.1\r"
      R"({"status":"200 OK","message":"","result":{"accessToken":"tok-1","expiresIn":3600}})");
  EXPECT_EQ(plain.ConnectionsAccepted(), 0);
}

TEST_F(Export, PagingCases) {
  struct Case {
    const char* name;
    std::vector<std::string> pages;  // bodies of 200 replies, in order
    std::vector<int> ids;            // elements in the caller's array afterwards
  };
  const Case cases[] = {
      {"totalPages missing", {PageBody("", {1, 2})}, {1, 2}},
      {"totalPages 0", {PageBody("0", {1})}, {1}},
      {"totalPages 1", {PageBody("1", {1})}, {1}},
      {"totalPages negative", {PageBody("-4", {1})}, {1}},
      {"totalPages null", {PageBody("null", {1})}, {1}},
      {"totalPages true", {PageBody("true", {1})}, {1}},
      {"totalPages 3 as a number",
       {PageBody("3", {1, 2}), PageBody("3", {3}), PageBody("3", {4, 5})},
       {1, 2, 3, 4, 5}},
      {"totalPages 3 as text",
       {PageBody("\"3\"", {1}), PageBody("\"3\"", {2}), PageBody("\"3\"", {3})},
       {1, 2, 3}},
      {"totalPages with a plus sign", {PageBody("\"+2\"", {1}), PageBody("\"+2\"", {2})}, {1, 2}},
      {"3 then 1: the latest value decides", {PageBody("3", {1}), PageBody("1", {2})}, {1, 2}},
      {"text with a space is not an integer", {PageBody("\" 3\"", {1})}, {1}},
      {"decimal number is not an integer", {PageBody("3.0", {1})}, {1}},
      {"exponent is not an integer", {PageBody("3e0", {1})}, {1}},
      {"beyond 32 bits is not an integer", {PageBody("99999999999", {1})}, {1}},
      {"result missing", {R"({"totalPages":1})"}, {}},
      {"result null", {R"({"totalPages":1,"result":null})"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t before = server->Requests().size();
    for (const std::string& page : c.pages) server->Enqueue(Reply(JsonReply(200, "OK", page)));
    TJSONArray tranz;
    EXPECT_TRUE(client->GetTranzactii(kStart, kEnd, 0, tranz)) << client->MesajEroare();
    EXPECT_EQ(client->MesajEroare(), "");
    EXPECT_EQ(Ids(tranz), c.ids);
    const auto requests = server->Requests();
    ASSERT_EQ(requests.size() - before, c.pages.size());
    for (std::size_t i = 0; i < c.pages.size(); ++i) {
      const ReceivedRequest& r = requests[before + i];
      EXPECT_EQ(r.target, PageTarget(static_cast<int>(i)));
      EXPECT_EQ(r.method, "GET");
      EXPECT_EQ(r.Header("Authorization"), "Bearer tok-1");
      EXPECT_EQ(r.Header("Cookie"), "session=s1");
      EXPECT_EQ(r.Header("Content-Type"), "application/json");
    }
  }
}

TEST_F(Export, AccountFilterOnlyWhenPositive) {
  for (const auto& [accountId, part] :
       std::vector<std::pair<int, std::string>>{{7, "&accountId=7"}, {0, ""}, {-3, ""}}) {
    SCOPED_TRACE(accountId);
    server->Enqueue(Reply(JsonReply(200, "OK", PageBody("2", {1}))));
    server->Enqueue(Reply(JsonReply(200, "OK", PageBody("2", {2}))));
    TJSONArray tranz;
    ASSERT_TRUE(client->GetTranzactii(kStart, kEnd, accountId, tranz)) << client->MesajEroare();
    const auto requests = server->Requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[requests.size() - 2].target, PageTarget(0, part));
    EXPECT_EQ(requests.back().target, PageTarget(1, part));
  }
}

TEST_F(Export, PageFailures) {
  struct Case {
    const char* name;
    std::vector<std::string> replies;  // whole replies, in order
    std::vector<int> ids;
    std::string error;
  };
  const std::string page0 = PageBody("3", {1, 2});
  const std::string typecast = R"({"totalPages":1,"result":"x"})";
  const std::string pagesObject = R"({"totalPages":{"n":3},"result":[{"id":9}]})";
  const std::string pagesArray = R"({"totalPages":[3],"result":[]})";
  const Case cases[] = {
      {"404 on page 0", {HttpReply(404, "Not Found", {}, "gone")}, {}, "404/Not Found - gone"},
      {"500 on page 0",
       {HttpReply(500, "Internal Server Error", {}, "err")},
       {},
       "HTTP/1.1 500 Internal Server Error\rerr"},
      {"unreadable page 0", {JsonReply(200, "OK", "[]")}, {}, "StatusCode: 200 - OK"},
      {"404 on page 1",
       {JsonReply(200, "OK", page0), HttpReply(404, "Not Found", {}, "gone")},
       {1, 2},
       "404/Not Found - gone"},
      {"500 on page 1",
       {JsonReply(200, "OK", page0), HttpReply(500, "Internal Server Error", {}, "err")},
       {1, 2},
       "HTTP/1.1 500 Internal Server Error\rerr"},
      {"unreadable page 1",
       {JsonReply(200, "OK", page0), JsonReply(200, "OK", "<html/>")},
       {1, 2},
       "StatusCode: 200 - OK"},
      {"401 on page 2",
       {JsonReply(200, "OK", page0), JsonReply(200, "OK", PageBody("3", {3})),
        JsonReply(401, "Unauthorized", R"({"error":"expired"})")},
       {1, 2, 3},
       "401/Unauthorized - {\"error\":\"expired\"}"},
      {"result not an array",
       {JsonReply(200, "OK", typecast)},
       {},
       "Invalid class typecast\r" + typecast},
      {"totalPages is an object",
       {JsonReply(200, "OK", pagesObject)},
       {},
       "Conversion from TJSONObject to string is not supported\r" + pagesObject},
      {"totalPages is an array",
       {JsonReply(200, "OK", pagesArray)},
       {},
       "Conversion from TJSONArray to string is not supported\r" + pagesArray},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t before = server->Requests().size();
    for (const std::string& reply : c.replies) server->Enqueue(Reply(reply));
    TJSONArray tranz;
    EXPECT_FALSE(client->GetTranzactii(kStart, kEnd, 0, tranz));
    EXPECT_EQ(Ids(tranz), c.ids);
    EXPECT_EQ(client->MesajEroare(), c.error);
    EXPECT_EQ(server->Requests().size() - before, c.replies.size());
  }
}

TEST_F(Export, TimeOutOnPageOneKeepsPageZeroAndShowsItsBody) {
  // Short waits from page 1 on only, so a slow machine cannot fail page 0.
  client->Settings().OnPage = [this](int, int) { client->Settings().Timeout = 300; };
  const std::string page0 = PageBody("2", {1, 2});
  server->Enqueue(Reply(JsonReply(200, "OK", page0)));
  server->Enqueue(Reply().Pause(2s).Close());
  TJSONArray tranz;
  EXPECT_FALSE(client->GetTranzactii(kStart, kEnd, 0, tranz));
  EXPECT_EQ(Ids(tranz), (std::vector<int>{1, 2}));
  const std::string& error = client->MesajEroare();
  EXPECT_EQ(error.rfind("REST request failed: Error receiving data: (", 0), 0u) << error;
  EXPECT_EQ(error.substr(error.find('\r') + 1), page0);
}

TEST_F(Export, TimeOutOnPageZero) {
  client->Settings().Timeout = 300;
  server->Enqueue(Reply().Pause(2s).Close());
  TJSONArray tranz;
  EXPECT_FALSE(client->GetTranzactii(kStart, kEnd, 0, tranz));
  EXPECT_EQ(tranz.Count(), 0u);
  EXPECT_EQ(client->MesajEroare().rfind("REST request failed: ", 0), 0u) << client->MesajEroare();
}

TEST_F(Export, ProgressIsReportedAfterEveryPage) {
  std::vector<std::pair<int, int>> calls;
  client->Settings().OnPage = [&](int read, int total) { calls.emplace_back(read, total); };
  server->Enqueue(Reply(JsonReply(200, "OK", PageBody("3", {1}))));
  server->Enqueue(Reply(JsonReply(200, "OK", PageBody("3", {2}))));
  server->Enqueue(Reply(JsonReply(200, "OK", PageBody("3", {3}))));
  TJSONArray tranz;
  ASSERT_TRUE(client->GetTranzactii(kStart, kEnd, 0, tranz));
  EXPECT_EQ(calls, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
}

TEST_F(Export, TheTimeSeparatorOfTheRecordReachesTheQuery) {
  const TFormatSettings saved = FormatSettings;
  FormatSettings.TimeSeparator = ".";
  server->Enqueue(Reply(JsonReply(200, "OK", PageBody("1", {}))));
  TJSONArray tranz;
  const bool ok =
      client->GetTranzactii(kStart, EncodeDateTime(2024, 12, 31, 23, 59, 59, 999), 0, tranz);
  FormatSettings = saved;
  ASSERT_TRUE(ok) << client->MesajEroare();
  EXPECT_EQ(server->Requests().back().target,
            std::string(kTransactionsPath) +
                "?startDate=2025-05-14T08.30.00.000Z&endDate=2024-12-31T23.59.59.999Z"
                "&pageNumber=0&pageSize=50");
}

TEST_F(Export, AnOutOfRangeDateIsAnErrorTextNotAnException) {
  TJSONArray tranz;
  EXPECT_FALSE(client->GetTranzactii(-1e7, kEnd, 0, tranz));
  EXPECT_EQ(client->MesajEroare().rfind("Date-time value out of range", 0), 0u)
      << client->MesajEroare();
  EXPECT_EQ(server->Requests().size(), 1u);  // nothing sent
}

TEST_F(Export, EachOperationResetsWhatThePreviousOneLeft) {
  server->Enqueue(Reply(JsonReply(200, "OK", PageBody("1", {1}))));
  server->Enqueue(Reply(JsonReply(200, "OK", R"({"result":[{"id":5}]})")));
  server->Enqueue(Reply(TokenReply("tok-2")));
  server->Enqueue(Reply(JsonReply(200, "OK", R"({"result":[]})")));
  TJSONArray tranz, accounts, more;
  ASSERT_TRUE(client->GetTranzactii(kStart, kEnd, 7, tranz)) << client->MesajEroare();
  ASSERT_TRUE(client->Accounts(accounts)) << client->MesajEroare();
  ASSERT_TRUE(client->LogIn()) << client->MesajEroare();
  ASSERT_TRUE(client->Accounts(more)) << client->MesajEroare();

  const auto requests = ExportRequests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[1].requestLine, "GET " + std::string(kAccountsPath) + " HTTP/1.1");
  EXPECT_EQ(requests[1].HeaderCount("Authorization"), 1);
  // The sign-in again: a POST with its body and without the export's header.
  EXPECT_EQ(requests[2].method, "POST");
  EXPECT_EQ(requests[2].target, kTokenPath);
  EXPECT_FALSE(requests[2].HasHeader("Authorization"));
  EXPECT_EQ(requests[2].body,
            R"({"grant_type":"client_credentials","client_id":"id-1","client_secret":"secret-1"})");
  // The next export uses the new token and sends no body.
  EXPECT_EQ(requests[3].method, "GET");
  EXPECT_EQ(requests[3].Header("Authorization"), "Bearer tok-2");
  EXPECT_EQ(requests[3].body, "");
}

TEST_F(Export, EmptyTokenStillSendsBearer) {
  client->Token.clear();
  server->Enqueue(Reply(JsonReply(401, "Unauthorized", "")));
  TJSONArray accounts;
  EXPECT_FALSE(client->Accounts(accounts));
  EXPECT_EQ(client->MesajEroare(), "401/Unauthorized - ");
  // The trailing space may be trimmed by the transport; the header is there.
  EXPECT_TRUE(server->Requests().back().HasHeader("Authorization"));
}

}  // namespace
}  // namespace kestrava::testing
