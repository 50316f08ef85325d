#include <gtest/gtest.h>

#include "net/StatusLine.h"

namespace kestrava::net {
namespace {

TEST(StatusLine, ParsesVersionCodeAndReasonExactly) {
  struct Case {
    const char* line;
    const char* version;
    int code;
    const char* reason;
  } cases[] = {
      {"HTTP/1.1 503 Service Unavailable\r\n", "HTTP/1.1", 503, "Service Unavailable"},
      {"HTTP/1.0 500 \r\n", "HTTP/1.0", 500, ""},
      {"HTTP/2 200\r\n", "HTTP/2", 200, ""},
      {"HTTP/1.1 404  Not  Found \r\n", "HTTP/1.1", 404, " Not  Found "},
      {"HTTP/1.1 404 Pas trouv\xE9\r\n", "HTTP/1.1", 404, "Pas trouv\xE9"},
      {"HTTP/1.1 200 OK", "HTTP/1.1", 200, "OK"},
      // The version compares without regard to letter case.
      {"http/1.1 503 Service Unavailable\r\n", "http/1.1", 503, "Service Unavailable"},
      {"Http/1.1 404 Not Found\r\n", "Http/1.1", 404, "Not Found"},
      // A tab is a separator as a space is; the reason is what follows it.
      {"HTTP/1.1 503\tService Unavailable\r\n", "HTTP/1.1", 503, "Service Unavailable"},
      {"HTTP/1.1 404\t\tNot Found\r\n", "HTTP/1.1", 404, "\tNot Found"},
      {"HTTP/1.1 204\t\r\n", "HTTP/1.1", 204, ""},
      {"HTTP/1.1\t200 OK\r\n", "HTTP/1.1", 200, "OK"},
      {"HTTP/1.1  200 OK\r\n", "HTTP/1.1", 200, "OK"},
      {"HTTP/1.1 000 Zero\r\n", "HTTP/1.1", 0, "Zero"},
  };
  for (const auto& c : cases) {
    auto line = ParseStatusLine(c.line);
    ASSERT_TRUE(line) << c.line;
    EXPECT_EQ(line->version, c.version) << c.line;
    EXPECT_EQ(line->code, c.code) << c.line;
    EXPECT_EQ(line->reason, c.reason) << c.line;
  }
  for (const char* bad : {"", "HTTP/1.1", "HTTP/1.1 ", "HTTP/1.1 20", "HTTP/1.1 2x0 OK",
                          "FTP/1.1 200 OK", "HTTP/1.1 2000 OK", " HTTP/1.1 200 OK",
                          "HTTP/1.1 200OK", "HTTPS/1.1 200 OK", "HTTP1.1 200", "HTTP/1.1 -20 OK"})
    EXPECT_FALSE(ParseStatusLine(bad)) << bad;
}

TEST(StatusLine, ReasonBecomesUtf8) {
  struct Case {
    const char* reason;
    const char* text;
  } cases[] = {
      {"Pas trouv\xE9", "Pas trouv\xC3\xA9"},        // ISO-8859-1
      {"D\xC3\xA9j\xC3\xA0", "D\xC3\xA9j\xC3\xA0"},  // already UTF-8
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ReasonAsUtf8(c.reason), c.text) << c.reason;
}

TEST(StatusLine, TextCarriesThePrefixOfTheVersion) {
  struct Case {
    const char* version;
    int code;
    const char* reason;
    const char* expected;
  } cases[] = {
      {"HTTP/1.1", 503, "Service Unavailable", "HTTP/1.1 503 Service Unavailable"},
      {"HTTP/1.0", 500, "", "HTTP/1.0 500 "},
      {"http/1.0", 502, "Bad Gateway", "HTTP/1.0 502 Bad Gateway"},
      {"HTTP/2", 504, "", "HTTP/2.0 504 "},
      {"HTTP/2.0", 500, "x", "HTTP/2.0 500 x"},
      {"HTTP/3", 500, "x", "500 x"},
      {"HTTP/0.9", 500, "x", "500 x"},
      {"", 404, "Not Found", "404 Not Found"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(StatusLineText(c.version, c.code, c.reason), c.expected) << c.version;
}

TEST(ReplyHead, InterimHeadsAreSkippedHeadersTrimmedAndFolded) {
  ReplyHead head;
  for (const char* line : {"HTTP/1.1 100 Continue\r\n", "X-Interim: 1\r\n", "\r\n",
                           "HTTP/1.1 200 OK\r\n", "Content-Type:  application/json \r\n",
                           "X-Folded: a\r\n", "\t b\r\n", "no colon here\r\n", "Empty:\r\n"}) {
    head.Feed(line);
    EXPECT_FALSE(head.complete) << line;
  }
  head.Feed("\r\n");
  EXPECT_TRUE(head.complete);
  EXPECT_EQ(head.code, 200);
  EXPECT_EQ(head.reason, "OK");
  ASSERT_EQ(head.headers.size(), 3u);
  EXPECT_EQ(head.headers[0],
            (std::pair<std::string, std::string>{"Content-Type", "application/json"}));
  EXPECT_EQ(head.headers[1].second, "a b");
  EXPECT_EQ(head.headers[2].second, "");
}

TEST(ReplyHead, LinesAfterTheFinalHeadAreIgnored) {
  ReplyHead head;
  for (const char* line : {"HTTP/1.1 302 Found\r\n", "Transfer-Encoding: chunked\r\n", "\r\n",
                           "Location: /trailer\r\n", "Set-Cookie: t=1\r\n", "HTTP/1.1 200 OK\r\n",
                           "X-After: 1\r\n", "\r\n"})
    head.Feed(line);
  EXPECT_TRUE(head.complete);
  EXPECT_EQ(head.code, 302);
  EXPECT_EQ(head.reason, "Found");
  ASSERT_EQ(head.headers.size(), 1u);
  EXPECT_EQ(head.headers[0].first, "Transfer-Encoding");
}

TEST(ReplyHead, AStatusLineThatDoesNotParseLeavesNoStatus) {
  for (const char* first : {"HTTP/1.1 200OK\r\n", "garbage\r\n"}) {
    ReplyHead head;
    for (const char* line :
         {"HTTP/1.1 100 Continue\r\n", "\r\n", first, "Content-Length: 2\r\n", "\r\n"})
      head.Feed(line);
    EXPECT_TRUE(head.complete) << first;
    EXPECT_FALSE(head.statusParsed) << first;
    EXPECT_EQ(head.code, 0) << first;
  }
}

TEST(ReplyHead, StatusLineOfAnyLetterCaseStartsTheHead) {
  for (const char* status :
       {"http/1.1 503 Service Unavailable\r\n", "Http/1.1 503\tService Unavailable\r\n"}) {
    ReplyHead head;
    head.Feed(status);
    head.Feed("Retry-After: 5\r\n");
    head.Feed("\r\n");
    EXPECT_TRUE(head.statusParsed) << status;
    EXPECT_TRUE(head.complete) << status;
    EXPECT_EQ(head.code, 503) << status;
    EXPECT_EQ(head.reason, "Service Unavailable") << status;
    EXPECT_EQ(StatusLineText(head.version, head.code, head.reason),
              "HTTP/1.1 503 Service Unavailable");
    ASSERT_EQ(head.headers.size(), 1u) << status;
  }
}

}  // namespace
}  // namespace kestrava::net
