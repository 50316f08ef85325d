// --retry against the scripted server: each passing failure of each request
// is tried again after the wait it asks for, only the failing request is
// repeated, and the output equals that of a run without faults.

#include <chrono>
#include <string>
#include <vector>

#include "tests/cli/CliFixture.h"

namespace kestrava::testing {
namespace {

using namespace std::chrono_literals;

const std::string kPage0 = R"([{"id":1,"amount":12.50},{"id":2,"note":"=x"}])";
const std::string kPage1 = R"([{"id":3,"amount":-1}])";
const std::string kPage2 = R"([{"id":4,"tags":[1,{"a":null}]}])";

std::string PageOf(const ReceivedRequest& request) {
  if (request.target.find(kTransactionsPath) != 0) return request.method + " " + request.target;
  const std::size_t at = request.target.find("&pageNumber=") + 12;
  return "page " + request.target.substr(at, request.target.find('&', at) - at);
}

class CliRetry : public CliTest {
 protected:
  // The sign-in and three pages, with `fault` (any number of replies) in
  // place of the first answer to page 1; without the pages after it for an
  // export that is to fail there.
  void EnqueueWithFault(const std::vector<Reply>& fault, bool recovers = true) {
    server.Enqueue(Reply(TokenReply("tok-9")));
    server.Enqueue(Reply(PageReply(3, kPage0)));
    for (const Reply& reply : fault) server.Enqueue(reply);
    if (!recovers) return;
    server.Enqueue(Reply(PageReply(3, kPage1)));
    server.Enqueue(Reply(PageReply(3, kPage2)));
  }
  // What a run without faults prints, in a format.
  std::string CleanRun(const std::string& format) {
    EnqueueWithFault({});
    const Outcome clean = Transactions({"--format", format});
    EXPECT_EQ(clean.code, 0) << clean.err;
    return clean.out;
  }
  std::vector<std::string> Pages() const {
    std::vector<std::string> pages;
    for (const ReceivedRequest& r : server.Requests()) pages.push_back(PageOf(r));
    return pages;
  }
};

TEST_F(CliRetry, EachPassingFailureIsTriedAgainAfterTheWaitItAsksFor) {
  const std::string body3 =
      "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
      "Content-Length: 200\r\n\r\n{\"totalPages\":3,\"res";
  struct Case {
    const char* name;
    Reply fault;
    std::chrono::seconds wait;
    std::string reason;
  };
  const Case cases[] = {
      {"503, Retry-After 0", Reply(HttpReply(503, "Service Unavailable", {"Retry-After: 0"}, "x")),
       0s, "HTTP/1.1 503 Service Unavailable"},
      {"429, Retry-After 1",
       Reply(JsonReply(429, "Too Many Requests", "slow down", {"Retry-After: 1"})), 1s,
       "429/Too Many Requests - slow down"},
      {"503, a date 3 s ahead",
       Reply(HttpReply(503, "Service Unavailable", {"Retry-After: Thu, 15 May 2025 08:30:03 GMT"},
                       "")),
       3s, "HTTP/1.1 503 Service Unavailable"},
      {"503, a date gone by",
       Reply(HttpReply(503, "Service Unavailable", {"Retry-After: Thu, 15 May 2025 08:00:00 GMT"},
                       "")),
       0s, "HTTP/1.1 503 Service Unavailable"},
      {"503, Retry-After beyond ten minutes",
       Reply(HttpReply(503, "Service Unavailable", {"Retry-After: 86400"}, "")), 600s,
       "HTTP/1.1 503 Service Unavailable"},
      {"500", Reply(HttpReply(500, "Internal Server Error", {}, "")), 1s,
       "HTTP/1.1 500 Internal Server Error"},
      {"502, a Retry-After that is neither",
       Reply(HttpReply(502, "Bad Gateway", {"Retry-After: soon"}, "")), 1s,
       "HTTP/1.1 502 Bad Gateway"},
      {"504", Reply(HttpReply(504, "Gateway Timeout", {}, "")), 1s, "HTTP/1.1 504 Gateway Timeout"},
      {"408", Reply(HttpReply(408, "Request Timeout", {}, "again")), 1s,
       "408/Request Timeout - again"},
      {"reset in the body", Reply().Send(body3).Reset(), 1s,
       "REST request failed: Error reading data: (56) Failure when receiving data from the peer"},
      {"closed in the body", Reply().Send(body3).Close(), 1s,
       "REST request failed: Error reading data: (18) Transferred a partial file"},
  };
  const std::string clean = CleanRun("display");
  const auto startOfDay = utc;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    waits.clear();
    utc = startOfDay;
    const std::size_t before = server.Requests().size();
    EnqueueWithFault({c.fault});
    const Outcome run = Transactions({"--retry", "3"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, clean);
    EXPECT_EQ(run.err, "kestrava-cli: retry 1 of 3 in " + std::to_string(c.wait.count()) +
                           " s: " + c.reason + "\n");
    EXPECT_EQ(waits, std::vector<std::chrono::seconds>{c.wait});
    const auto pages = Pages();
    EXPECT_EQ(std::vector<std::string>(pages.begin() + static_cast<long>(before), pages.end()),
              (std::vector<std::string>{"POST " + std::string(kTokenPath), "page 0", "page 1",
                                        "page 1", "page 2"}));
  }
}

TEST_F(CliRetry, ATimeOutAndARefusedConnectionAreTriedAgainToo) {
  // A page that does not answer within --timeout.
  EnqueueWithFault({Reply().Pause(3s).Close()});
  const Outcome slow = Transactions({"--retry", "1", "--timeout", "1", "--compact"});
  EXPECT_EQ(slow.code, 0) << slow.err;
  EXPECT_EQ(slow.err.rfind("kestrava-cli: retry 1 of 1 in 1 s: REST request failed: Error "
                           "receiving data: (28) ",
                           0),
            0u)
      << slow.err;

  // Nothing listens: every try of the sign-in is refused.
  const std::string refused = "localhost:" + std::to_string(RefusedPort());
  waits.clear();
  const Outcome run =
      Call({"--host", refused, "--id", "i", "--secret", "s", "--retry", "3", "accounts"});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(waits, (std::vector<std::chrono::seconds>{1s, 2s, 4s}));
  const std::string reason =
      "REST request failed: Error sending data: (7) Couldn't connect to server";
  EXPECT_EQ(run.err, "kestrava-cli: retry 1 of 3 in 1 s: " + reason + "\n" +
                         "kestrava-cli: retry 2 of 3 in 2 s: " + reason + "\n" +
                         "kestrava-cli: retry 3 of 3 in 4 s: " + reason + "\n" +
                         "kestrava-cli: " + reason + "\n");
}

TEST_F(CliRetry, WhatCannotPassIsTriedOnce) {
  struct Case {
    const char* name;
    std::vector<Reply> replies;
    std::string error;  // the lines on standard error
  };
  const Case cases[] = {
      {"404",
       {Reply(HttpReply(404, "Not Found", {}, "gone"))},
       "kestrava-cli: 404/Not Found - gone"},
      {"400", {Reply(JsonReply(400, "Bad Request", "{}"))}, "kestrava-cli: 400/Bad Request - {}"},
      {"501",
       {Reply(HttpReply(501, "Not Implemented", {}, ""))},
       "kestrava-cli: HTTP/1.1 501 Not Implemented"},
      {"not an object",
       {Reply(JsonReply(200, "OK", "[1]"))},
       "kestrava-cli: StatusCode: 200 - OK\nkestrava-cli: reply: [1]"},
      // The error texts end with the previous page, which is not shown.
      {"cannot be decoded",
       {Reply(HttpReply(503, "Service Unavailable", {"Content-Type: text/html; charset=klingon"},
                        "x"))},
       "kestrava-cli: REST request failed: Invalid encoding name"},
      {"the redirect limit",
       {6, Reply(HttpReply(302, "Found", {"Location: /elsewhere"}, ""))},
       "kestrava-cli: REST request failed: Maximum number of redirections (5) exceeded"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t before = server.Requests().size();
    server.Enqueue(Reply(TokenReply("tok-9")));
    server.Enqueue(Reply(PageReply(3, kPage0)));
    for (const Reply& reply : c.replies) server.Enqueue(reply);
    const Outcome run = Transactions({"--retry", "5"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, c.error + "\n");
    EXPECT_EQ(server.Requests().size() - before, 2 + c.replies.size());
  }
  // A refused sign-in is no passing failure either.
  server.Enqueue(Reply(JsonReply(401, "Unauthorized", "bad credentials")));
  const Outcome refused = Service({"--retry", "5", "login"});
  EXPECT_EQ(refused.err,
            "kestrava-cli: StatusCode: 401 - Unauthorized\nkestrava-cli: reply: bad credentials\n");
  EXPECT_TRUE(waits.empty());
}

TEST_F(CliRetry, ACertificateThatFailsVerificationIsNeverTriedAgain) {
  for (const auto certificate : {ServerCertificate::UnknownIssuer, ServerCertificate::Expired,
                                 ServerCertificate::WrongHost}) {
    SCOPED_TRACE(static_cast<int>(certificate));
    ScriptedServer untrusted({.certificate = certificate});
    untrusted.Enqueue(Reply(TokenReply("tok-9")));
    const Outcome run = Call(
        {"--host", untrusted.HostPort(), "--id", "i", "--secret", "s", "--retry", "3", "accounts"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.find("retry"), std::string::npos) << run.err;
    EXPECT_TRUE(waits.empty());
    EXPECT_EQ(untrusted.ConnectionsAccepted(), 1);
    EXPECT_TRUE(untrusted.Requests().empty());
  }
}

TEST_F(CliRetry, RetriesOfARequestEndAtNAndAtTheTimeBudget) {
  const Reply busy(HttpReply(503, "Service Unavailable", {}, "busy"));
  // N retries, then the last error text.
  EnqueueWithFault({busy, busy, busy}, false);
  const Outcome exhausted = Transactions({"--retry", "2"});
  EXPECT_EQ(exhausted.code, 1);
  EXPECT_EQ(exhausted.out, "");
  EXPECT_EQ(exhausted.err,
            "kestrava-cli: retry 1 of 2 in 1 s: HTTP/1.1 503 Service Unavailable\n"
            "kestrava-cli: retry 2 of 2 in 2 s: HTTP/1.1 503 Service Unavailable\n"
            "kestrava-cli: HTTP/1.1 503 Service Unavailable\n"
            "kestrava-cli: reply: busy\n");

  // The doubling wait: 1 + 2 s have passed, 4 s more would pass 6 s.
  waits.clear();
  EnqueueWithFault({busy, busy, busy}, false);
  const Outcome budget = Transactions({"--retry", "9", "--retry-max-time", "6"});
  EXPECT_EQ(budget.code, 1);
  EXPECT_EQ(waits, (std::vector<std::chrono::seconds>{1s, 2s}));
  EXPECT_EQ(budget.err.substr(budget.err.rfind("kestrava-cli: retry")),
            "kestrava-cli: retry 2 of 9 in 2 s: HTTP/1.1 503 Service Unavailable\n"
            "kestrava-cli: HTTP/1.1 503 Service Unavailable\n"
            "kestrava-cli: reply: busy\n");

  // A Retry-After longer than what is left ends the retries at once.
  waits.clear();
  EnqueueWithFault({Reply(HttpReply(503, "Service Unavailable", {"Retry-After: 120"}, "later"))},
                   false);
  const Outcome later = Transactions({"--retry", "3", "--retry-max-time", "60"});
  EXPECT_EQ(later.code, 1);
  EXPECT_EQ(later.err,
            "kestrava-cli: HTTP/1.1 503 Service Unavailable\nkestrava-cli: reply: later\n");
  EXPECT_TRUE(waits.empty());

  // Nor does one start whose wait would pass --max-time.
  waits.clear();
  EnqueueWithFault({Reply(HttpReply(503, "Service Unavailable", {"Retry-After: 30"}, "later"))},
                   false);
  const Outcome bounded = Transactions({"--retry", "3", "--max-time", "20"});
  EXPECT_EQ(bounded.code, 1);
  EXPECT_EQ(bounded.err,
            "kestrava-cli: HTTP/1.1 503 Service Unavailable\nkestrava-cli: reply: later\n");
  EXPECT_TRUE(waits.empty());
  waits.clear();
  EnqueueWithFault({busy, busy});
  const Outcome inTime = Transactions({"--retry", "3", "--max-time", "20"});
  EXPECT_EQ(inTime.code, 0) << inTime.err;
  EXPECT_EQ(waits, (std::vector<std::chrono::seconds>{1s, 2s}));

  // The budget counts from the start of the command, for every request.
  waits.clear();
  EnqueueWithFault({busy});
  const Outcome fits = Transactions({"--retry", "3", "--retry-max-time", "1"});
  EXPECT_EQ(fits.code, 0) << fits.err;
}

TEST_F(CliRetry, TheDoublingWaitOfManyRetries) {
  const Reply busy(HttpReply(503, "Service Unavailable", {}, ""));
  EnqueueWithFault(std::vector<Reply>(8, busy));
  const Outcome run = Transactions({"--retry", "8", "--retry-max-time", "600", "--compact"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(waits, (std::vector<std::chrono::seconds>{1s, 2s, 4s, 8s, 16s, 32s, 60s, 60s}));
}

TEST_F(CliRetry, AnExpiredTokenSignsInAgainOnceAndTheResultIsTheCleanOne) {
  const Reply expired(JsonReply(401, "Unauthorized", R"({"error":"token expired"})"));
  for (const std::string format : {"display", "csv"}) {
    SCOPED_TRACE(format);
    const std::string clean = CleanRun(format);
    ScratchFolder folder;
    const std::string file = folder.File("tx");
    const std::size_t before = server.Requests().size();
    EnqueueWithFault({expired, Reply(TokenReply("tok-new"))});
    const Outcome run = Transactions({"--retry", "3", "--format", format, "--output", file});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(
        run.err,
        "kestrava-cli: retry 1 of 3 in 0 s: 401/Unauthorized - {\"error\":\"token expired\"}\n");
    EXPECT_EQ(ReadWhole(file), clean);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"tx"});
    const auto requests = server.Requests();
    std::vector<std::string> pages;
    for (std::size_t i = before; i < requests.size(); ++i) pages.push_back(PageOf(requests[i]));
    EXPECT_EQ(pages,
              (std::vector<std::string>{"POST " + std::string(kTokenPath), "page 0", "page 1",
                                        "POST " + std::string(kTokenPath), "page 1", "page 2"}));
    EXPECT_EQ(requests[before + 2].Header("Authorization"), "Bearer tok-9");
    EXPECT_EQ(requests.back().Header("Authorization"), "Bearer tok-new");
  }
  EXPECT_TRUE(waits.empty());
}

TEST_F(CliRetry, ASecondRefusalOrAFailedSignInAgainEndTheExport) {
  const Reply expired(JsonReply(401, "Unauthorized", "expired"));
  EnqueueWithFault({expired, Reply(TokenReply("tok-new")), expired}, false);
  const Outcome twice = Transactions({"--retry", "3"});
  EXPECT_EQ(twice.code, 1);
  EXPECT_EQ(twice.err,
            "kestrava-cli: retry 1 of 3 in 0 s: 401/Unauthorized - expired\n"
            "kestrava-cli: 401/Unauthorized - expired\n");

  EnqueueWithFault({expired, Reply(JsonReply(400, "Bad Request", "no more"))}, false);
  const Outcome refused = Transactions({"--retry", "3"});
  EXPECT_EQ(refused.code, 1);
  EXPECT_EQ(refused.err,
            "kestrava-cli: retry 1 of 3 in 0 s: 401/Unauthorized - expired\n"
            "kestrava-cli: StatusCode: 400 - Bad Request\n"
            "kestrava-cli: reply: no more\n");

  // Without --retry a 401 is final at once.
  EnqueueWithFault({expired}, false);
  const Outcome once = Transactions({});
  EXPECT_EQ(once.err, "kestrava-cli: 401/Unauthorized - expired\n");
}

// The access token is a secret too: the token reply that a transport
// failure's text ends with, a failing reply that echoes the Authorization
// header, and the token of a sign-in again in the middle of an export.
TEST_F(CliRetry, NoTokenTheClientGotShowsInAnyLine) {
  // A token with a "/" and a "+", written escaped in its reply.
  const std::string token = "tok/live+1", written = R"(tok\/live\u002b1)";
  const Reply tokenReply(
      JsonReply(200, "OK", R"({"status":"200 OK","result":{"accessToken":")" + written + R"("}})"));
  const std::string head =
      "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 50\r\n\r\n{";
  struct Case {
    const char* name;
    std::vector<Reply> replies;  // after the sign-in
    std::vector<std::string> options;
    int code;
  };
  const Case cases[] = {
      // The whole error text, which ends with the token reply.
      {"the first export cut off", {Reply().Send(head).Reset()}, {"--exact-errors"}, 1},
      {"echoed in a refusal",
       {Reply(JsonReply(400, "Bad Request", R"({"got":"Bearer tok/live+1"})"))},
       {},
       1},
      {"echoed in a retry line",
       {Reply(HttpReply(503, "Service Unavailable", {}, "Bearer tok/live+1")),
        Reply(JsonReply(429, "Too Many Requests", R"({"got":"Bearer tok\/live+1"})")),
        Reply(PageReply(1, "[]"))},
       {"--retry", "2"},
       0},
      {"the token of a sign-in again",
       {Reply(JsonReply(401, "Unauthorized", "expired")), Reply(TokenReply("tok-second-2")),
        Reply(JsonReply(400, "Bad Request", "Bearer tok-second-2 and tok/live+1"))},
       {"--retry", "2"},
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server.Enqueue(tokenReply);
    for (const Reply& reply : c.replies) server.Enqueue(reply);
    const Outcome run = Transactions(c.options);
    EXPECT_EQ(run.code, c.code);
    for (const std::string& form :
         {token, written, std::string("tok\\/live+1"), std::string("tok-second-2")})
      EXPECT_EQ(run.err.find(form), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("********"), std::string::npos) << run.err;
  }
  // A result is data: login prints the token as it is.
  server.Enqueue(tokenReply);
  EXPECT_EQ(Service({"login"}).out, token + "\n");
}

TEST_F(CliRetry, RetryLinesAreMaskedCutAndBreakTheProgressLine) {
  const std::string longBody = "s3cret-value " + std::string(300, 'z');
  EnqueueWithFault({Reply(JsonReply(429, "Too Many Requests", longBody, {"Retry-After: 0"}))});
  const Outcome run = Transactions({"--retry", "1", "--compact"}, true);
  EXPECT_EQ(run.code, 0) << run.err;
  const std::string reason =
      ("429/Too Many Requests - ******** " + std::string(300, 'z')).substr(0, 200);
  EXPECT_EQ(run.err, "\rkestrava-cli: page 1 of 3\nkestrava-cli: retry 1 of 1 in 0 s: " + reason +
                         "\n\rkestrava-cli: page 2 of 3\rkestrava-cli: page 3 of 3\n");
}

}  // namespace
}  // namespace kestrava::testing
