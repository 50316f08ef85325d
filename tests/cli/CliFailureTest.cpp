// What kestrava-cli writes on standard error when a command fails: by
// default the lines for a log, which never hold an earlier reply (a page,
// the token reply) or the token; with --exact-errors the client's whole
// error text as ever, the secret and the token masked.

#include <string>
#include <vector>

#include "tests/cli/CliFixture.h"

namespace kestrava::testing {
namespace {

using CliFailure = CliTest;

const std::string kToken = "tok-live-7";
// The first page: its text follows the error text of a later page that the
// transport broke off, and is never part of the lines for a log.
const std::string kPage0 = R"({"totalPages":3,"result":[{"id":1,"counterparty":"page zero"}]})";

// Repeats a UTF-8 text.
std::string Times(std::size_t count, const std::string& text) {
  std::string all;
  for (std::size_t i = 0; i < count; ++i) all += text;
  return all;
}

TEST_F(CliFailure, EachKindOfFailureGivesItsLinesForALogOrItsExactText) {
  const std::string tokenBody = R"({"status":"200 OK","message":"","result":{"accessToken":")" +
                                kToken + R"(","expiresIn":3600}})";
  const Reply signedIn(TokenReply(kToken));
  const Reply page0(JsonReply(200, "OK", kPage0));
  const std::string cutBody = "HTTP/1.1 200 OK\r\nContent-Length: 90\r\n\r\n{\"res";
  const std::string longBody = Times(1500, "\xC3\xA9");  // é
  const std::string wideReply = Times(400, "\xC3\xBC");  // ü
  struct Case {
    const char* name;
    std::vector<Reply> replies;
    std::string lines;  // by default
    std::string exact;  // with --exact-errors
  };
  const Case cases[] = {
      {"a sign-in refused with a status",
       {Reply(JsonReply(401, "Unauthorized", "{\"error\":\"invalid_client\"}\r\n"))},
       "kestrava-cli: StatusCode: 401 - Unauthorized\n"
       "kestrava-cli: reply: {\"error\":\"invalid_client\"}\\x0d\\x0a\n",
       "StatusCode: 401 - Unauthorized\r{\"error\":\"invalid_client\"}\r\n\n"},
      {"a sign-in refused in its reply",
       {Reply(JsonReply(200, "OK", R"({"status":"401","message":"bad credentials"})"))},
       "kestrava-cli: Status = 401 bad credentials\n"
       "kestrava-cli: reply: {\"status\":\"401\",\"message\":\"bad credentials\"}\n",
       "Status = 401 bad credentials\n"},
      {"a sign-in reply that is no object",
       {Reply(JsonReply(200, "OK", "[1]"))},
       "kestrava-cli: failed without an error text\nkestrava-cli: reply: [1]\n",
       "\n"},
      {"a sign-in that gets no reply",
       {Reply().Close()},
       "kestrava-cli: REST request failed: Error receiving data: (52) Server returned nothing "
       "(no headers, no data)\n",
       "REST request failed: Error receiving data: (52) Server returned nothing (no headers, no "
       "data)\r\n"},
      {"a server error on a later page",
       {signedIn, page0, Reply(HttpReply(502, "Bad Gateway", {}, "upstream down"))},
       "kestrava-cli: HTTP/1.1 502 Bad Gateway\nkestrava-cli: reply: upstream down\n",
       "HTTP/1.1 502 Bad Gateway\rupstream down\n"},
      {"a status whose body is on the line",
       {signedIn, page0, Reply(HttpReply(404, "Not Found", {}, "gone"))},
       "kestrava-cli: 404/Not Found - gone\n",
       "404/Not Found - gone\n"},
      {"a status whose body goes on after a line break",
       {signedIn, page0, Reply(HttpReply(404, "Not Found", {}, "no such\r\npage\tat all"))},
       "kestrava-cli: 404/Not Found - no such\n"
       "kestrava-cli: reply: no such\\x0d\\x0apage\\x09at all\n",
       "404/Not Found - no such\r\npage\tat all\n"},
      {"a reply that cannot be read",
       {signedIn, page0, Reply(HttpReply(200, "OK", {}, "<html>maintenance</html>"))},
       "kestrava-cli: StatusCode: 200 - OK\nkestrava-cli: reply: <html>maintenance</html>\n",
       "StatusCode: 200 - OK\n"},
      {"a transport failure after an earlier page",
       {signedIn, page0, Reply().Send(cutBody).Reset()},
       "kestrava-cli: REST request failed: Error reading data: (56) Failure when receiving data "
       "from the peer\n",
       "REST request failed: Error reading data: (56) Failure when receiving data from the "
       "peer\r" +
           kPage0 + "\n"},
      {"a transport failure after the sign-in",
       {signedIn, Reply().Send(cutBody).Reset()},
       "kestrava-cli: REST request failed: Error reading data: (56) Failure when receiving data "
       "from the peer\n",
       "REST request failed: Error reading data: (56) Failure when receiving data from the "
       "peer\r{\"status\":\"200 OK\",\"message\":\"\",\"result\":{\"accessToken\":\"********\","
       "\"expiresIn\":3600}}\n"},
      {"a reply whose text cannot be made, after an earlier page",
       {signedIn, page0,
        Reply(HttpReply(503, "Service Unavailable", {"Content-Type: text/html; charset=klingon"},
                        "down"))},
       "kestrava-cli: REST request failed: Invalid encoding name\n",
       "REST request failed: Invalid encoding name\r" + kPage0 + "\n"},
      {"a first line of more than 1,000 characters",
       {signedIn, page0, Reply(HttpReply(404, "Not Found", {}, longBody))},
       "kestrava-cli: 404/Not Found - " + Times(984, "\xC3\xA9") + "\u2026\n",
       "404/Not Found - " + longBody + "\n"},
      {"a reply of more than 300 characters",
       {signedIn, page0, Reply(HttpReply(500, "Internal Server Error", {}, wideReply))},
       "kestrava-cli: HTTP/1.1 500 Internal Server Error\nkestrava-cli: reply: " +
           Times(300, "\xC3\xBC") + "\n",
       "HTTP/1.1 500 Internal Server Error\r" + wideReply + "\n"},
      {"a reply that echoes the secret and the token",
       {signedIn, page0,
        Reply(
            HttpReply(400, "Bad Request", {}, "s3cret-value\r\nAuthorization: Bearer " + kToken))},
       "kestrava-cli: 400/Bad Request - ********\n"
       "kestrava-cli: reply: ********\\x0d\\x0aAuthorization: Bearer ********\n",
       "400/Bad Request - ********\r\nAuthorization: Bearer ********\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const bool exact : {false, true}) {
      for (const Reply& reply : c.replies) server.Enqueue(reply);
      const Outcome run = Transactions(exact ? std::vector<std::string>{"--exact-errors"}
                                             : std::vector<std::string>{});
      EXPECT_EQ(run.code, 1);
      EXPECT_EQ(run.out, "");
      EXPECT_EQ(run.err, exact ? c.exact : c.lines);
      EXPECT_EQ(run.err.find(kToken), std::string::npos);
      if (!exact) {
        EXPECT_EQ(run.err.find("page zero"), std::string::npos);
      }
    }
  }
}

// A refused server certificate: the reason after the first line, from
// certificates made by the test's own CA; the exact text as ever.
TEST_F(CliFailure, ARefusedCertificateSaysWhy) {
  const std::string refused =
      "REST request failed: Error sending data: (60) SSL peer certificate or SSH remote key was "
      "not OK";
  const std::pair<ServerCertificate, std::string> cases[] = {
      {ServerCertificate::Expired, "certificate has expired"},
      {ServerCertificate::NotYetValid, "certificate is not yet valid"},
      {ServerCertificate::WrongHost, "certificate is for another host name"},
      {ServerCertificate::UnknownIssuer, "certificate from an untrusted issuer"},
      {ServerCertificate::SelfSigned, "self-signed certificate"},
  };
  for (const auto& [certificate, reason] : cases) {
    SCOPED_TRACE(reason);
    ScriptedServer refusing({.certificate = certificate});
    const std::vector<std::string> args = {"--host",   refusing.HostPort(), "--id", "id-1",
                                           "--secret", "s3cret-value",      "login"};
    const Outcome run = Call(args);
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "kestrava-cli: " + refused + ": " + reason + "\n");
    std::vector<std::string> exact = {"--exact-errors"};
    exact.insert(exact.end(), args.begin(), args.end());
    EXPECT_EQ(Call(exact).err, refused + "\r\n");
    EXPECT_TRUE(refusing.Requests().empty());
  }
}

}  // namespace
}  // namespace kestrava::testing
