#include <gtest/gtest.h>

#include <time.h>

#include <atomic>
#include <optional>
#include <set>
#include <thread>

#include "json/JSON.h"
#include "sandbox/JsonText.h"
#include "sandbox/SandboxService.h"

namespace kestrava::sandbox {
namespace {

constexpr char kProduction[] = "localhost:8443";
constexpr char kTest[] = "api.test.localhost:8443";
const LocalMillis kNow = ToLocalMillis(2025, 5, 14, 12, 0, 0, 0);

https::HttpRequest Request(const std::string& method, const std::string& target,
                           const std::string& host, std::vector<std::string> headers = {},
                           const std::string& body = {}) {
  https::HttpRequest request;
  request.method = method;
  request.target = target;
  request.version = "HTTP/1.1";
  request.requestLine = method + " " + target + " HTTP/1.1";
  request.headers.Add("Host", host);
  for (const auto& header : headers) {
    const auto colon = header.find(':');
    request.headers.Add(header.substr(0, colon), header.substr(colon + 2));
  }
  request.body = body;
  return request;
}

std::string TokenBody(const std::string& id, const std::string& secret) {
  return "{\"grant_type\":\"client_credentials\",\"client_id\":" + Quoted(id) +
         ",\"client_secret\":" + Quoted(secret) + "}";
}

std::unique_ptr<TJSONObject> Json(const ServiceReply& reply) {
  auto object = AsJSONObject(ParseJSONValue(reply.body));
  EXPECT_TRUE(object) << reply.body;
  return object;
}

std::string TransactionsTarget(const std::string& start, const std::string& end, int page,
                               int accountId = 0, int pageSize = 50) {
  std::string target = std::string(kTransactionsPath) + "?startDate=" + start + "&endDate=" + end +
                       "&pageNumber=" + std::to_string(page);
  if (accountId > 0) target += "&accountId=" + std::to_string(accountId);
  return target + "&pageSize=" + std::to_string(pageSize);
}

class SandboxServiceTest : public ::testing::Test {
 protected:
  static ServiceOptions Options() {
    ServiceOptions options;
    options.clock = [] { return kNow; };
    return options;
  }

  // Signs in and gives the token ("" on failure).
  static std::string SignIn(SandboxService& service, const std::string& host = kProduction) {
    const ServiceReply reply =
        service.Handle(Request("POST", kTokenPath, host, {"Content-Type: application/json"},
                               TokenBody(kDefaultClientId, kDefaultClientSecret)));
    EXPECT_EQ(reply.status, 200) << reply.body;
    auto json = AsJSONObject(ParseJSONValue(reply.body));
    if (!json || !json->GetValue<TJSONObject>("result")) return {};
    return json->GetValue<TJSONObject>("result")->GetValue("accessToken", "");
  }

  static ServiceReply Get(SandboxService& service, const std::string& target,
                          const std::string& token, const std::string& host = kProduction) {
    return service.Handle(Request("GET", target, host, {"Authorization: Bearer " + token}));
  }

  // Every transaction of the range, page after page, as compact texts.
  static std::vector<std::string> AllPages(SandboxService& service, const std::string& token,
                                           const std::string& start, const std::string& end,
                                           int accountId = 0,
                                           const std::string& host = kProduction) {
    std::vector<std::string> all;
    int totalPages = 0;
    int page = 0;
    do {
      const ServiceReply reply =
          Get(service, TransactionsTarget(start, end, page, accountId), token, host);
      EXPECT_EQ(reply.status, 200) << reply.body;
      auto json = Json(reply);
      if (!json) break;
      totalPages = std::stoi(json->GetValue("totalPages", "0"));
      const TJSONArray* result = json->GetValue<TJSONArray>("result");
      for (std::size_t i = 0; result && i < result->Count(); ++i)
        all.push_back(result->Get(i)->ToString());
      EXPECT_LE(result->Count(), 50u);
      ++page;
    } while (page < totalPages && page < 10'000);
    return all;
  }
};

TEST_F(SandboxServiceTest, SignInAcceptsTheDesignTimeAndConfiguredCredentials) {
  ServiceOptions options = Options();
  options.clients.push_back({"id \"quoted\" \\ back", "s\u00e9cr\u0103t"});
  SandboxService service(options);

  const ServiceReply reply = service.Handle(Request(
      "POST", kTokenPath, kProduction, {}, TokenBody(kDefaultClientId, kDefaultClientSecret)));
  ASSERT_EQ(reply.status, 200);
  auto json = Json(reply);
  EXPECT_EQ(json->GetValue("status", ""), "200 OK");
  const TJSONObject* result = json->GetValue<TJSONObject>("result");
  ASSERT_NE(result, nullptr);
  EXPECT_FALSE(result->GetValue("accessToken", "").empty());
  EXPECT_EQ(result->GetValue("tokenType", ""), "Bearer");
  EXPECT_EQ(result->GetValue("expiresIn", ""), "3600");
  bool cookie = false;
  for (const auto& header : reply.headers)
    cookie = cookie || header.rfind("Set-Cookie: KSESSIONID=", 0) == 0;
  EXPECT_TRUE(cookie);

  const ServiceReply extra = service.Handle(Request(
      "POST", kTokenPath, kTest, {}, TokenBody("id \"quoted\" \\ back", "s\u00e9cr\u0103t")));
  EXPECT_EQ(extra.status, 200) << extra.body;
}

TEST_F(SandboxServiceTest, SignInRefusesWhatARealServiceRefuses) {
  struct Case {
    const char* what;
    std::string body;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {"wrong secret", TokenBody(kDefaultClientId, "nope"), 401, "Invalid client credentials"},
      {"unknown id", TokenBody("X", kDefaultClientSecret), 401, "Invalid client credentials"},
      {"empty", TokenBody("", ""), 401, "Invalid client credentials"},
      {"other grant", R"({"grant_type":"password","client_id":"K27315TQB"})", 400,
       "Unsupported grant_type \"password\""},
      {"not json", "grant_type=client_credentials", 400, "The request body is not a JSON object"},
      {"array", "[]", 400, "The request body is not a JSON object"},
      {"object member", R"({"grant_type":{}})", 400,
       "The request body is not a JSON object of texts"},
  };
  SandboxService service(Options());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ServiceReply reply = service.Handle(Request("POST", kTokenPath, kProduction, {}, c.body));
    EXPECT_EQ(reply.status, c.status);
    auto json = Json(reply);
    ASSERT_TRUE(json);
    EXPECT_EQ(json->GetValue("status", ""),
              std::to_string(c.status) + " " + ReasonPhrase(c.status));
    EXPECT_EQ(json->GetValue("message", ""), c.message);
  }
}

TEST_F(SandboxServiceTest, SoftRefusalAnswers200WithAnotherStatus) {
  ServiceOptions options = Options();
  options.softRefusal = true;
  SandboxService service(options);
  const ServiceReply reply =
      service.Handle(Request("POST", kTokenPath, kProduction, {}, TokenBody("a", "b")));
  EXPECT_EQ(reply.status, 200);
  auto json = Json(reply);
  EXPECT_EQ(json->GetValue("status", ""), "401 UNAUTHORIZED");
  EXPECT_EQ(json->GetValue("message", ""), "Invalid client credentials");
  EXPECT_EQ(json->FindValue("result"), nullptr);
}

TEST_F(SandboxServiceTest, ExportsNeedAValidTokenOfTheirEnvironment) {
  SandboxService service(Options());
  const std::string production = SignIn(service);
  const std::string test = SignIn(service, kTest);
  ASSERT_FALSE(production.empty());
  EXPECT_NE(production, test);

  struct Case {
    const char* what;
    std::vector<std::string> headers;
    const char* host;
    const char* message;
  };
  const Case cases[] = {
      {"no header", {}, kProduction, "Missing bearer token"},
      {"basic", {"Authorization: Basic abc"}, kProduction, "Missing bearer token"},
      {"empty token", {"Authorization: Bearer "}, kProduction, "Invalid access token"},
      {"unknown token", {"Authorization: Bearer nope"}, kProduction, "Invalid access token"},
      {"other environment", {"Authorization: Bearer " + test}, kProduction, "Invalid access token"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* path : {kAccountsPath, kTransactionsPath}) {
      const ServiceReply reply = service.Handle(Request("GET", path, c.host, c.headers));
      EXPECT_EQ(reply.status, 401);
      EXPECT_EQ(Json(reply)->GetValue("message", ""), c.message);
    }
  }
  EXPECT_EQ(Get(service, kAccountsPath, production).status, 200);
  EXPECT_EQ(Get(service, kAccountsPath, test, kTest).status, 200);
  EXPECT_EQ(service
                .Handle(Request("GET", kAccountsPath, kProduction,
                                {"Authorization: bearer " + production}))
                .status,
            200);
}

TEST_F(SandboxServiceTest, AccountsHaveValidIbansAndDifferPerEnvironment) {
  SandboxService service(Options());
  auto production = Json(Get(service, kAccountsPath, SignIn(service)));
  auto test = Json(Get(service, kAccountsPath, SignIn(service, kTest), kTest));
  const TJSONArray* accounts = production->GetValue<TJSONArray>("result");
  ASSERT_NE(accounts, nullptr);
  ASSERT_EQ(accounts->Count(), 4u);
  EXPECT_EQ(accounts->Get(0)->GetValue("iban", ""), "RO49AAAA1B31007593840000");
  std::set<std::string> currencies;
  for (std::size_t i = 0; i < accounts->Count(); ++i) {
    const std::string iban = accounts->Get(i)->GetValue("iban", "");
    ASSERT_EQ(iban.size(), 24u);
    EXPECT_EQ(MakeIban("RO", iban.substr(4)), iban);  // check digits are right
    currencies.insert(accounts->Get(i)->GetValue("currency", ""));
    EXPECT_EQ(accounts->Get(i)->GetValue("accountId", ""), std::to_string(i + 1));
  }
  EXPECT_EQ(currencies, (std::set<std::string>{"RON", "EUR", "USD"}));
  EXPECT_NE(production->GetValue<TJSONArray>("result")->ToString(),
            test->GetValue<TJSONArray>("result")->ToString());
}

TEST_F(SandboxServiceTest, TransactionsAreFilteredByTimeAndAccountAndPagedCompletely) {
  SandboxService service(Options());
  const std::string token = SignIn(service);
  const std::string start = "2025-03-01T08:00:00.000Z";
  const std::string end = "2025-05-14T11:00:00.000Z";

  const auto all = AllPages(service, token, start, end);
  ASSERT_GT(all.size(), 1000u);
  EXPECT_EQ(std::set<std::string>(all.begin(), all.end()).size(), all.size()) << "duplicates";
  std::string previous;
  for (const auto& text : all) {
    auto transaction = AsJSONObject(ParseJSONValue(text));
    const std::string booked = transaction->GetValue("bookingDate", "");
    EXPECT_GE(booked, start);
    EXPECT_LE(booked, end);
    EXPECT_GE(booked, previous) << "oldest first";
    previous = booked;
  }

  // One account's transactions are exactly those of the whole list with its id.
  const auto account2 = AllPages(service, token, start, end, 2);
  std::vector<std::string> expected;
  for (const auto& text : all)
    if (AsJSONObject(ParseJSONValue(text))->GetValue("accountId", "") == "2")
      expected.push_back(text);
  EXPECT_EQ(account2, expected);
  EXPECT_FALSE(expected.empty());
}

TEST_F(SandboxServiceTest, RangeEdgesAreInclusiveAndComparedAsLocalTimes) {
  SandboxService service(Options());
  const std::string token = SignIn(service);
  const auto all = AllPages(service, token, "2025-05-01T00:00:00.000Z", "2025-05-14T12:00:00.000Z");
  ASSERT_GT(all.size(), 10u);
  const std::string booked = AsJSONObject(ParseJSONValue(all[5]))->GetValue("bookingDate", "");
  // A range of exactly one instant holds that transaction.
  const auto one = AllPages(service, token, booked, booked);
  ASSERT_GE(one.size(), 1u);
  EXPECT_EQ(one[0], all[5]);
  // The regional time separator may differ from ":".
  std::string dotted = booked;
  dotted[13] = '.';
  dotted[16] = '.';
  EXPECT_EQ(AllPages(service, token, dotted, dotted), one);
  // Start after end: nothing, and zero pages.
  auto reversed = Json(
      Get(service, TransactionsTarget("2025-05-14T00:00:00.000Z", "2025-05-01T00:00:00.000Z", 0),
          token));
  EXPECT_EQ(reversed->GetValue("totalPages", ""), "0");
  EXPECT_EQ(reversed->GetValue<TJSONArray>("result")->Count(), 0u);
}

TEST_F(SandboxServiceTest, TheLastDayHoldsAFewDozenAndNothingComesFromTheFuture) {
  SandboxService service(Options());
  const std::string token = SignIn(service);
  const auto lastDay =
      AllPages(service, token, "2025-05-13T12:00:00.000Z", "2025-05-14T12:00:00.000Z");
  EXPECT_GE(lastDay.size(), 20u);
  EXPECT_LE(lastDay.size(), 80u);
  const auto future =
      AllPages(service, token, "2025-05-14T12:00:00.001Z", "2030-01-01T00:00:00.000Z");
  EXPECT_TRUE(future.empty());
  const auto tooOld =
      AllPages(service, token, "2020-01-01T00:00:00.000Z", "2024-04-01T00:00:00.000Z");
  EXPECT_TRUE(tooOld.empty());
}

TEST_F(SandboxServiceTest, DataIsTheSameForTheSameDayAndOnlyGrowsAtTheEnd) {
  LocalMillis now = kNow;
  ServiceOptions options = Options();
  options.clock = [&now] { return now; };
  SandboxService first(options);
  SandboxService second(options);
  const std::string start = "2025-05-01T00:00:00.000Z";
  const std::string end = "2025-05-31T00:00:00.000Z";
  const auto a = AllPages(first, SignIn(first), start, end);
  EXPECT_EQ(AllPages(second, SignIn(second), start, end), a);

  now += 6 * 3'600'000;  // later the same day: the old ones stay, new ones follow
  const auto later = AllPages(first, SignIn(first), start, end);
  ASSERT_GT(later.size(), a.size());
  EXPECT_TRUE(std::equal(a.begin(), a.end(), later.begin()));
}

TEST_F(SandboxServiceTest, TotalPagesIsANumberInProductionAndTextInTest) {
  SandboxService service(Options());
  const std::string target =
      TransactionsTarget("2025-05-10T00:00:00.000Z", "2025-05-14T12:00:00.000Z", 0);
  const ServiceReply production = Get(service, target, SignIn(service));
  const ServiceReply test = Get(service, target, SignIn(service, kTest), kTest);
  auto p = Json(production);
  auto t = Json(test);
  ASSERT_NE(p->FindValue("totalPages"), nullptr);
  ASSERT_NE(t->FindValue("totalPages"), nullptr);
  EXPECT_EQ(p->FindValue("totalPages")->Kind(), TJSONKind::Number);
  EXPECT_EQ(t->FindValue("totalPages")->Kind(), TJSONKind::String);
  const int elements = std::stoi(p->GetValue("totalElements", ""));
  EXPECT_EQ(std::stoi(p->GetValue("totalPages", "")), (elements + 49) / 50);
  EXPECT_EQ(p->GetValue("status", ""), "200 OK");
  // A page past the end is empty but still says how many there are.
  auto past = Json(
      Get(service, TransactionsTarget("2025-05-10T00:00:00.000Z", "2025-05-14T12:00:00.000Z", 999),
          SignIn(service)));
  EXPECT_EQ(past->GetValue<TJSONArray>("result")->Count(), 0u);
  EXPECT_EQ(past->GetValue("totalPages", ""), p->GetValue("totalPages", ""));
}

TEST_F(SandboxServiceTest, BadQueriesAreAnswered400Or404) {
  SandboxService service(Options());
  const std::string token = SignIn(service);
  const std::string ok = "2025-05-14T08:30:00.000Z";
  const std::string path = kTransactionsPath;
  struct Case {
    std::string query;
    int status;
  };
  const Case cases[] = {
      {"", 400},
      {"?startDate=" + ok, 400},
      {"?startDate=2025-02-29T08:30:00.000Z&endDate=" + ok, 400},  // not a leap year
      {"?startDate=2025-04-31T08:30:00.000Z&endDate=" + ok, 400},
      {"?startDate=2025-05-14T24:00:00.000Z&endDate=" + ok, 400},
      {"?startDate=2025-05-14 08:30:00.000Z&endDate=" + ok, 400},
      {"?startDate=2025-05-14T08:30:00.000&endDate=" + ok, 400},
      {"?startDate=" + ok + "&endDate=" + ok + "&pageNumber=-1", 400},
      {"?startDate=" + ok + "&endDate=" + ok + "&pageSize=0", 400},
      {"?startDate=" + ok + "&endDate=" + ok + "&pageSize=5000", 400},
      {"?startDate=" + ok + "&endDate=" + ok + "&accountId=x", 400},
      {"?startDate=" + ok + "&endDate=" + ok + "&accountId=99", 404},
      {"?startDate=2024-02-29T08%3A30%3A00.000Z&endDate=" + ok, 200},  // encoded colons
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    const ServiceReply reply = Get(service, path + c.query, token);
    EXPECT_EQ(reply.status, c.status) << reply.body;
    EXPECT_TRUE(Json(reply));
  }
  EXPECT_EQ(service.Handle(Request("GET", "/elsewhere", kProduction)).status, 404);
  const ServiceReply wrongMethod = service.Handle(Request("GET", kTokenPath, kProduction));
  EXPECT_EQ(wrongMethod.status, 405);
  EXPECT_EQ(service.Handle(Request("POST", kAccountsPath, kProduction)).status, 405);
}

TEST_F(SandboxServiceTest, InjectedPageFailureHitsOnlyThatPage) {
  ServiceOptions options = Options();
  options.pageFaults = {{1, {{503}}}, {3, {{404}}}};
  SandboxService service(options);
  const std::string token = SignIn(service);
  const std::string start = "2025-04-01T00:00:00.000Z";
  const std::string end = "2025-05-14T00:00:00.000Z";
  EXPECT_EQ(Get(service, TransactionsTarget(start, end, 0), token).status, 200);
  const ServiceReply failed = Get(service, TransactionsTarget(start, end, 1), token);
  EXPECT_EQ(failed.status, 503);
  EXPECT_EQ(Json(failed)->GetValue("status", ""), "503 Service Unavailable");
  EXPECT_EQ(Get(service, TransactionsTarget(start, end, 2), token).status, 200);
  EXPECT_EQ(Get(service, TransactionsTarget(start, end, 3), token).status, 404);
  EXPECT_EQ(Get(service, kAccountsPath, token).status, 200);
}

// The outcome of one request of a page: its status, or 0 for a 200 reply
// cut mid-body.
int Outcome(const ServiceReply& reply) {
  return reply.cutBodyAt ? 0 : reply.status;
}

TEST_F(SandboxServiceTest, PageFaultsHitTheirCountInTurnThenThePageIsServed) {
  struct Case {
    const char* what;
    std::vector<PageFault> faults;
    std::vector<int> outcomes;  // of the page's requests, one after another
  };
  const Case cases[] = {
      {"always failing", {{503}}, {503, 503, 503, 503}},
      {"failing twice", {{503, 2}}, {503, 503, 200, 200}},
      {"cut once", {{0, 1}}, {0, 200, 200}},
      {"always cut", {{0}}, {0, 0, 0}},
      {"in the order given", {{429, 1}, {0, 2}, {500, 1}}, {429, 0, 0, 500, 200, 200}},
      {"an endless fault hides later ones", {{404}, {0, 1}}, {404, 404, 404}},
  };
  const std::string start = "2025-04-01T00:00:00.000Z";
  const std::string end = "2025-05-14T00:00:00.000Z";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ServiceOptions options = Options();
    options.pageFaults = {{2, c.faults}};
    SandboxService service(options);
    const std::string token = SignIn(service);
    SandboxService clean(Options());

    std::vector<int> outcomes;
    for (std::size_t i = 0; i < c.outcomes.size(); ++i) {
      // Other pages and the accounts are never hit.
      EXPECT_EQ(Get(service, TransactionsTarget(start, end, 1), token).status, 200);
      EXPECT_EQ(Get(service, kAccountsPath, token).status, 200);
      const ServiceReply reply = Get(service, TransactionsTarget(start, end, 2), token);
      outcomes.push_back(Outcome(reply));
      if (reply.cutBodyAt) {
        // The page's own reply, of which only the first half of the body goes out.
        EXPECT_EQ(reply.body, Get(clean, TransactionsTarget(start, end, 2), SignIn(clean)).body);
        EXPECT_EQ(*reply.cutBodyAt, reply.body.size() / 2);
        EXPECT_FALSE(reply.close);
      }
      // The whole head, then the body up to the cut. (Each call makes a new
      // Date header, of the same length.)
      const std::string wire = reply.WireBytes();
      const std::size_t headLength = reply.Bytes().size() - reply.body.size();
      EXPECT_EQ(wire.substr(headLength),
                reply.body.substr(0, reply.cutBodyAt.value_or(std::string::npos)));
      EXPECT_NE(wire.find("\r\nContent-Length: " + std::to_string(reply.body.size()) + "\r\n\r\n"),
                std::string::npos);
      if (reply.status != 200) {
        EXPECT_EQ(Json(reply)->GetValue("message", ""), "Injected failure of page 2 (sandbox)");
      }
    }
    EXPECT_EQ(outcomes, c.outcomes);
  }
}

TEST_F(SandboxServiceTest, OnlyRequestsThatPassTheTokenAndQueryChecksCountForAFault) {
  ServiceOptions options = Options();
  options.pageFaults = {{1, {{503, 1}}}};
  SandboxService service(options);
  const std::string token = SignIn(service);
  const std::string start = "2025-04-01T00:00:00.000Z";
  const std::string end = "2025-05-14T00:00:00.000Z";
  EXPECT_EQ(Get(service, TransactionsTarget(start, end, 1), "stale").status, 401);
  EXPECT_EQ(Get(service, TransactionsTarget(start, end, 1, 0, 0), token).status, 400);
  EXPECT_EQ(Get(service, TransactionsTarget(start, end, 1, 99), token).status, 404);
  EXPECT_EQ(Get(service, TransactionsTarget(start, "never", 1), token).status, 400);
  // The page number is the pageNumber parameter, wherever it stands.
  EXPECT_EQ(Get(service,
                std::string(kTransactionsPath) + "?pageSize=50&pageNumber=1&startDate=" + start +
                    "&endDate=" + end,
                token)
                .status,
            503);
  EXPECT_EQ(Get(service, TransactionsTarget(start, end, 1), token).status, 200);
}

TEST_F(SandboxServiceTest, RetryAfterGoesOnInjected429And503RepliesOnly) {
  using Form = RetryAfterHint::Form;
  struct Case {
    RetryAfterHint hint;
    int status;
    std::optional<std::int64_t> delta;  // seconds the header says; none: no header
  };
  const Case cases[] = {
      {{Form::None, 0}, 503, std::nullopt},
      {{Form::None, 0}, 429, std::nullopt},
      {{Form::Seconds, 0}, 503, 0},
      {{Form::Seconds, 1}, 429, 1},
      {{Form::Seconds, 2147483647}, 503, 2147483647},
      {{Form::Seconds, 5}, 500, std::nullopt},
      {{Form::Seconds, 5}, 502, std::nullopt},
      {{Form::Seconds, 5}, 408, std::nullopt},
      {{Form::Date, 30}, 503, 30},
      {{Form::Date, -60}, 429, -60},
      {{Form::Date, 0}, 503, 0},
      {{Form::Date, 5}, 504, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.status) + " " + std::to_string(c.hint.seconds));
    ServiceOptions options = Options();
    options.pageFaults = {{0, {{c.status}}}};
    options.retryAfter = c.hint;
    SandboxService service(options);
    const std::string token = SignIn(service);
    const time_t before = time(nullptr);
    const ServiceReply reply =
        Get(service, TransactionsTarget("2025-05-01T00:00:00.000Z", "2025-05-14T00:00:00.000Z", 0),
            token);
    const time_t after = time(nullptr);
    ASSERT_EQ(reply.status, c.status);
    std::vector<std::string> values;
    for (const auto& header : reply.headers)
      if (header.rfind("Retry-After: ", 0) == 0) values.push_back(header.substr(13));
    if (!c.delta) {
      EXPECT_TRUE(values.empty());
      continue;
    }
    ASSERT_EQ(values.size(), 1u);
    if (c.hint.form == Form::Seconds) {
      EXPECT_EQ(values[0], std::to_string(*c.delta));
      continue;
    }
    // An IMF-fixdate of the reply's time plus the distance.
    tm parsed{};
    const char* rest = strptime(values[0].c_str(), "%a, %d %b %Y %H:%M:%S GMT", &parsed);
    ASSERT_TRUE(rest && *rest == '\0') << values[0];
    EXPECT_EQ(values[0].size(), 29u) << values[0];
    const time_t when = timegm(&parsed);
    EXPECT_GE(when, before + *c.delta);
    EXPECT_LE(when, after + *c.delta);
  }
}

TEST_F(SandboxServiceTest, FaultCountsHoldOverRequestsFromManyThreads) {
  constexpr int kThreads = 8;
  constexpr int kRequestsEach = 20;
  constexpr int kFailures = 50;
  constexpr int kCuts = 30;
  ServiceOptions options = Options();
  options.pageFaults = {{0, {{503, kFailures}, {0, kCuts}}}};
  options.scale.days = 30;
  SandboxService service(options);
  const std::string token = SignIn(service);
  const std::string target =
      TransactionsTarget("2025-05-13T00:00:00.000Z", "2025-05-14T00:00:00.000Z", 0);
  std::atomic<int> failed{0}, cut{0}, served{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < kRequestsEach; ++i) {
        const int outcome = Outcome(Get(service, target, token));
        (outcome == 503 ? failed : outcome == 0 ? cut : served)++;
      }
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failed, kFailures);
  EXPECT_EQ(cut, kCuts);
  EXPECT_EQ(served, kThreads * kRequestsEach - kFailures - kCuts);
}

TEST_F(SandboxServiceTest, TokensExpireAfterTheirRequestsOrTheirLifetime) {
  LocalMillis now = kNow;
  ServiceOptions options = Options();
  options.clock = [&now] { return now; };
  options.expireAfter = 2;
  SandboxService service(options);
  std::string token = SignIn(service);
  EXPECT_EQ(Get(service, kAccountsPath, token).status, 200);
  EXPECT_EQ(Get(service, kAccountsPath, token).status, 200);
  const ServiceReply expired = Get(service, kAccountsPath, token);
  EXPECT_EQ(expired.status, 401);
  EXPECT_EQ(Json(expired)->GetValue("message", ""), "Access token expired");
  token = SignIn(service);  // a new sign-in gives a fresh token
  EXPECT_EQ(Get(service, kAccountsPath, token).status, 200);

  now += 3600 * 1000;  // its lifetime has passed
  EXPECT_EQ(Get(service, kAccountsPath, token).status, 401);
}

TEST_F(SandboxServiceTest, EveryExportRequestOfATokenCountsTowardsItsExpiry) {
  ServiceOptions options = Options();
  options.expireAfter = 3;
  options.pageFaults = {{0, {{503, 1}}}};
  SandboxService service(options);
  const std::string token = SignIn(service);
  const std::string page0 =
      TransactionsTarget("2025-05-01T00:00:00.000Z", "2025-05-14T00:00:00.000Z", 0);
  EXPECT_EQ(Get(service, page0, token).status, 503);  // an injected failure
  EXPECT_EQ(Get(service, std::string(kTransactionsPath) + "?pageSize=x", token).status, 400);
  EXPECT_EQ(Get(service, page0, token).status, 200);
  const ServiceReply expired = Get(service, page0, token);
  EXPECT_EQ(expired.status, 401);
  EXPECT_EQ(Json(expired)->GetValue("message", ""), "Access token expired");
  EXPECT_EQ(Get(service, kAccountsPath, token).status, 401);  // and stays expired
  // Another token is counted on its own.
  EXPECT_EQ(Get(service, page0, SignIn(service)).status, 200);
}

TEST_F(SandboxServiceTest, ConnectionCloseAndHttp10EndTheConnection) {
  SandboxService service(Options());
  EXPECT_FALSE(service.Handle(Request("GET", "/x", kProduction)).close);
  EXPECT_TRUE(service.Handle(Request("GET", "/x", kProduction, {"Connection: close"})).close);
  auto old = Request("GET", "/x", kProduction);
  old.version = "HTTP/1.0";
  EXPECT_TRUE(service.Handle(old).close);
  const std::string bytes = service.Handle(Request("GET", "/x", kProduction)).Bytes();
  EXPECT_EQ(bytes.rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u);
  EXPECT_NE(bytes.find("\r\nContent-Type: application/json;charset=UTF-8\r\n"), std::string::npos);
}

TEST_F(SandboxServiceTest, ScaleReachesTenThousandTransactionsInARange) {
  ServiceOptions options = Options();
  options.scale.transactionsPerDay = 100;
  SandboxService service(options);
  const ServiceReply reply =
      Get(service, TransactionsTarget("2025-02-03T00:00:00.000Z", "2025-05-14T12:00:00.000Z", 0),
          SignIn(service));
  const int elements = std::stoi(Json(reply)->GetValue("totalElements", "0"));
  EXPECT_GE(elements, 9000);
  EXPECT_LE(elements, 11000);
}

TEST(SandboxEnvironment, TheApiTestPrefixSelectsTheTestEnvironment) {
  EXPECT_EQ(EnvironmentOfHost("localhost:8443"), Environment::Production);
  EXPECT_EQ(EnvironmentOfHost("127.0.0.1:8443"), Environment::Production);
  EXPECT_EQ(EnvironmentOfHost("api.test.localhost:8443"), Environment::Test);
  EXPECT_EQ(EnvironmentOfHost("API.Test.localhost"), Environment::Test);
  EXPECT_EQ(EnvironmentOfHost("api.testing.localhost"), Environment::Production);
}

TEST_F(SandboxServiceTest, AHostThatIsNoHostAndPortIsABadRequest) {
  SandboxService service(Options());
  for (const std::string host :
       {"", "https://localhost:8443", "localhost:8443/", "user@localhost", "localhost:0",
        "localhost:65536", "bad host", "under_score:8443", "::1"}) {
    const ServiceReply reply = service.Handle(Request("GET", kAccountsPath, host));
    EXPECT_EQ(reply.status, 400) << host;
    EXPECT_EQ(Json(reply)->GetValue("message", ""), "Invalid Host header") << host;
  }
  // Every form the programs take reaches the service.
  for (const std::string host : {"localhost", "127.0.0.1:8443", "[::1]:8443", "api.test.localhost"})
    EXPECT_EQ(service.Handle(Request("GET", kAccountsPath, host)).status, 401) << host;
}

TEST(SandboxJsonText, QuotingEscapesAndKeepsTheReplyValidUtf8) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain", "\"plain\""},
      {"a\"b\\c/d", "\"a\\\"b\\\\c/d\""},
      {"\b\f\n\r\t", "\"\\b\\f\\n\\r\\t\""},
      {std::string("\x01\x1f\x7f", 3), "\"\\u0001\\u001f\\u007f\""},
      {std::string("nul\0x", 5), "\"nul\\u0000x\""},
      {"ă â î ș ț €😀", "\"ă â î ș ț €😀\""},
      {"bad \xff byte", "\"bad \xEF\xBF\xBD byte\""},
      {"cut \xC8", "\"cut \xEF\xBF\xBD\""},
      {"overlong \xC0\xAF", "\"overlong \xEF\xBF\xBD\xEF\xBF\xBD\""},
      {"surrogate \xED\xA0\x80", "\"surrogate \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
  };
  for (const auto& [input, expected] : cases) EXPECT_EQ(Quoted(input), expected);
}

TEST(SandboxJsonText, AmountsHaveTwoDecimals) {
  const std::pair<std::int64_t, const char*> cases[] = {
      {0, "0.00"},         {5, "0.05"},     {-5, "-0.05"},
      {123450, "1234.50"}, {-100, "-1.00"}, {INT64_MIN, "-92233720368547758.08"},
  };
  for (const auto& [cents, text] : cases) EXPECT_EQ(AmountText(cents), text);
}

TEST(SandboxCivilTime, ParsesAndFormatsTheQueryForm) {
  const auto time = ParseQueryDateTime("2024-12-31T23:59:59.999Z");
  ASSERT_TRUE(time);
  EXPECT_EQ(*time, ToLocalMillis(2024, 12, 31, 23, 59, 59, 999));
  EXPECT_EQ(FormatDateTime(*time), "2024-12-31T23:59:59.999Z");
  EXPECT_EQ(FormatDate(*time), "2024-12-31");
  EXPECT_EQ(FormatDateTime(ToLocalMillis(1899, 12, 30)), "1899-12-30T00:00:00.000Z");
  EXPECT_TRUE(ParseQueryDateTime("2024-02-29T00:00:00.000Z"));
  EXPECT_FALSE(ParseQueryDateTime("2100-02-29T00:00:00.000Z"));
  EXPECT_FALSE(ParseQueryDateTime("2024-13-01T00:00:00.000Z"));
  EXPECT_FALSE(ParseQueryDateTime("2024-00-01T00:00:00.000Z"));
  EXPECT_FALSE(ParseQueryDateTime("2024-01-01T00:60:00.000Z"));
  EXPECT_FALSE(ParseQueryDateTime("2024-01-01T0:00:00.000Z"));
  EXPECT_FALSE(ParseQueryDateTime("2024-01-01T00:00:00.000Z "));
  EXPECT_FALSE(ParseQueryDateTime(""));
}

std::string Booked(const std::string& record) {
  const auto value = ParseJSONValue(record);
  return value ? value->GetValue("bookingDate", "") : "";
}

// Every transaction record of a range, page after page, at the service's now.
std::vector<std::string> AllRecords(SandboxService& service, const std::string& token,
                                    const std::string& start, const std::string& end) {
  std::vector<std::string> records;
  for (int page = 0, pages = 1; page < pages; ++page) {
    const ServiceReply reply =
        service.Handle(Request("GET", TransactionsTarget(start, end, page), kProduction,
                               {"Authorization: Bearer " + token}));
    EXPECT_EQ(reply.status, 200) << reply.body;
    const auto json = AsJSONObject(ParseJSONValue(reply.body));
    if (!json) break;
    pages = std::stoi(json->GetValue("totalPages", "0"));
    const TJSONArray* result = json->GetValue<TJSONArray>("result");
    for (std::size_t i = 0; result != nullptr && i < result->Count(); ++i)
      records.push_back(result->Get(i)->ToString());
  }
  return records;
}

TEST_F(SandboxServiceTest, LatePostingsShowInTheirPlaceOnceTheirDelayHasPassed) {
  LocalMillis now = kNow;
  ServiceOptions options = Options();
  options.clock = [&now] { return now; };
  options.latePostings = {30, 6};
  SandboxService late(options);
  SandboxService plain(Options());
  const std::string start = "2025-05-13T12:00:00.000Z", end = "2025-05-15T00:00:00.000Z";
  const std::vector<std::string> all = AllRecords(plain, SignIn(plain), start, end);
  const std::vector<std::string> early = AllRecords(late, SignIn(late), start, end);
  // Missing are only records of the last six hours, about a third of them.
  ASSERT_LT(early.size(), all.size());
  std::size_t missing = 0;
  for (std::size_t i = 0, j = 0; i < all.size(); ++i) {
    const bool shown = j < early.size() && early[j] == all[i];
    if (shown) {
      ++j;
      continue;
    }
    ++missing;
    EXPECT_GE(Booked(all[i]), "2025-05-14T06:00:00.000Z") << all[i];
  }
  EXPECT_EQ(missing, all.size() - early.size());
  EXPECT_GT(missing, 0u);
  // Six hours on, each shows in its place by booking time.
  now = kNow + 6 * 3'600'000;
  EXPECT_EQ(AllRecords(late, SignIn(late), start, "2025-05-14T12:00:00.000Z"),
            AllRecords(plain, SignIn(plain), start, "2025-05-14T12:00:00.000Z"));
}

TEST_F(SandboxServiceTest, AnAmendedRecordChangesItsDescriptionOnlyAndARepeatedOneComesTwice) {
  LocalMillis now = kNow;
  ServiceOptions options = Options();
  options.clock = [&now] { return now; };
  options.amendments = {50, 2};
  options.repeatAfterPage = 0;
  options.scale.transactionsPerDay = 400;
  SandboxService service(options);
  const std::string start = "2025-05-14T00:00:00.000Z", end = "2025-05-14T12:00:00.000Z";
  const std::vector<std::string> before = AllRecords(service, SignIn(service), start, end);
  now = kNow + 2 * 3'600'000;
  const std::vector<std::string> after = AllRecords(service, SignIn(service), start, end);
  ASSERT_EQ(before.size(), after.size());
  ASSERT_GT(before.size(), 51u);
  EXPECT_EQ(before[50], before[49]);  // page 1 begins with page 0's last record
  std::size_t amended = 0;
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (before[i] == after[i]) continue;
    ++amended;
    // Booked within two hours before the first reading, the same but for
    // the mark at the end of its description.
    std::string expected = before[i];
    const std::size_t at = expected.find("\",\"counterpartyName\"");
    ASSERT_NE(at, std::string::npos);
    expected.insert(at, kAmendedMark);
    EXPECT_EQ(after[i], expected);
    EXPECT_GE(Booked(before[i]), "2025-05-14T10:00:00.000Z") << before[i];
  }
  EXPECT_GT(amended, 0u);
}

}  // namespace
}  // namespace kestrava::sandbox
