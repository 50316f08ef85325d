// Replies read back into the response through the real transport.

#include "tests/net/NetFixture.h"

namespace kestrava::testing {
namespace {

using DecodingTest = TrioTest;

TEST_F(DecodingTest, RepliesThatReturnNormally) {
  struct Case {
    const char* name;
    std::string reply;
    int status;
    std::string statusText;
    std::string content;
    bool hasJson;
  } cases[] = {
      {"latin-1 charset",
       HttpReply(200, "OK", {"Content-Type: application/json; charset=ISO-8859-1"}, "\"caf\xE9\""),
       200, "OK", "\"caf\xC3\xA9\"", true},
      {"quoted utf-8",
       HttpReply(200, "OK", {"Content-Type: application/json; charset=\"utf-8\""},
                 "[\"\xC3\xA9\"]"),
       200, "OK", "[\"\xC3\xA9\"]", true},
      {"bom without content type", HttpReply(200, "OK", {}, "\xEF\xBB\xBF{\"a\":1}"), 200, "OK",
       "{\"a\":1}", true},
      {"octet-stream", HttpReply(200, "OK", {"Content-Type: application/octet-stream"}, "{}"), 200,
       "OK", "", false},
      {"bad utf-8 of class other",
       HttpReply(200, "OK", {"Content-Type: application/x-thing"}, "\xE9"), 200, "OK", "", false},
      {"empty body", HttpReply(200, "OK", {"Content-Type: application/json"}, ""), 200, "OK", "",
       false},
      {"gzip",
       HttpReply(200, "OK", {"Content-Type: application/json", "Content-Encoding: gzip"},
                 Compress("{\"z\":true}", true)),
       200, "OK", "{\"z\":true}", true},
      {"chunked",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Type: application/json\r\n\r\n"
       "3\r\n{\"a\r\n4\r\n\":2}\r\n0\r\n\r\n",
       200, "OK", "{\"a\":2}", true},
      {"unknown charset below 300",
       HttpReply(200, "OK", {"Content-Type: text/plain; charset=klingon"}, "\xC3\xA9"), 200, "OK",
       "\xC3\xA9", false},
      {"404 html", HttpReply(404, "Not Found", {"Content-Type: text/html"}, "<h1>nope</h1>"), 404,
       "Not Found", "<h1>nope</h1>", false},
      {"401 json", HttpReply(401, "Unauthorized", {"Content-Type: application/json"}, "{\"e\":1}"),
       401, "Unauthorized", "{\"e\":1}", true},
      {"http/1.0 reason with spaces", "HTTP/1.0 299 Odd  Reason \r\nContent-Length: 0\r\n\r\n", 299,
       "Odd  Reason ", "", false},
      {"latin-1 reason phrase", "HTTP/1.1 404 Pas trouv\xE9\r\nContent-Length: 0\r\n\r\n", 404,
       "Pas trouv\xC3\xA9", "", false},
      {"lower-case version", "http/1.1 404 Not Found\r\nContent-Length: 1\r\n\r\nx", 404,
       "Not Found", "x", false},
      {"mixed-case version", "Http/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n", 404,
       "Not Found", "", false},
      {"tab after the code", "HTTP/1.1 404\tNot Found\r\nContent-Length: 0\r\n\r\n", 404,
       "Not Found", "", false},
      {"interim 100 then 200", "HTTP/1.1 100 Continue\r\n\r\n" + HttpReply(200, "Fine", {}, "1"),
       200, "Fine", "1", true},
  };
  ScriptedServer server;
  for (const auto& c : cases) {
    ASSERT_EQ(Get(server, "/r", Reply(c.reply)), "") << c.name;
    EXPECT_EQ(response.StatusCode(), c.status) << c.name;
    EXPECT_EQ(response.StatusText(), c.statusText) << c.name;
    EXPECT_EQ(response.Content(), c.content) << c.name;
    EXPECT_EQ(response.JSONValue() != nullptr, c.hasJson) << c.name;
  }
}

TEST_F(DecodingTest, ResponseRecordsHeadersAndRawBytes) {
  ScriptedServer server;
  const std::string gz = Compress("{}", true);
  ASSERT_EQ(
      Get(server, "/r?x=1",
          Reply(HttpReply(200, "OK",
                          {"Server: scripted", "Content-Type: Application/JSON; charset=utf-8",
                           "Content-Encoding: gzip", "X-Twice: 1", "x-twice: 2"},
                          gz))),
      "");
  EXPECT_EQ(response.Server(), "scripted");
  EXPECT_EQ(response.ContentType(), "application/json");
  EXPECT_EQ(response.ContentEncoding(), "gzip");
  EXPECT_EQ(response.RawBytes(), gz);
  EXPECT_EQ(response.Content(), "{}");
  EXPECT_EQ(response.FullRequestURI(), UrlOf(server, "/r?x=1"));
  const auto& headers = response.Headers();
  EXPECT_NE(std::find(headers.begin(), headers.end(), "X-Twice=1"), headers.end());
  EXPECT_NE(std::find(headers.begin(), headers.end(), "x-twice=2"), headers.end());
}

TEST_F(DecodingTest, JsonViewIsReplacedWithTheNextReply) {
  ScriptedServer server;
  ASSERT_EQ(Get(server, "/a", Reply(HttpReply(200, "OK", {}, "{\"n\":1}"))), "");
  const TJSONValue* first = response.JSONValue();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(response.JSONValue(), first);  // parsed once, then kept
  ASSERT_EQ(Get(server, "/b", Reply(HttpReply(200, "OK", {}, "not json"))), "");
  EXPECT_EQ(response.JSONValue(), nullptr);
  EXPECT_EQ(response.JSONValue(), nullptr);
  ASSERT_EQ(Get(server, "/c", Reply(HttpReply(200, "OK", {}, "[2]"))), "");
  ASSERT_NE(response.JSONValue(), nullptr);
  EXPECT_EQ(response.JSONValue()->ToString(), "[2]");
}

}  // namespace
}  // namespace kestrava::testing
