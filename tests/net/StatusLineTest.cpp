#include <gtest/gtest.h>

#include "net/StatusLine.h"

namespace kestrava::net {
namespace {

TEST(StatusLine, ParsesVersionCodeAndReasonExactly) {
  auto line = ParseStatusLine("HTTP/1.1 503 Service Unavailable\r\n");
  ASSERT_TRUE(line);
  EXPECT_EQ(line->version, "HTTP/1.1");
  EXPECT_EQ(line->code, 503);
  EXPECT_EQ(line->reason, "Service Unavailable");

  line = ParseStatusLine("HTTP/1.0 500 \r\n");
  ASSERT_TRUE(line);
  EXPECT_EQ(line->reason, "");
  line = ParseStatusLine("HTTP/2 200\r\n");
  ASSERT_TRUE(line);
  EXPECT_EQ(line->code, 200);
  EXPECT_EQ(line->reason, "");
  line = ParseStatusLine("HTTP/1.1 404  Not  Found \r\n");
  ASSERT_TRUE(line);
  EXPECT_EQ(line->reason, " Not  Found ");

  line = ParseStatusLine("HTTP/1.1 404 Pas trouv\xE9\r\n");
  ASSERT_TRUE(line);
  EXPECT_EQ(line->reason, "Pas trouv\xE9");
  EXPECT_EQ(ReasonAsUtf8(line->reason), "Pas trouv\xC3\xA9");
  EXPECT_EQ(ReasonAsUtf8("D\xC3\xA9j\xC3\xA0"), "D\xC3\xA9j\xC3\xA0");

  for (const char* bad : {"", "HTTP/1.1", "HTTP/1.1 20", "HTTP/1.1 2x0 OK", "FTP/1.1 200 OK",
                          "HTTP/1.1 2000 OK", " HTTP/1.1 200 OK"})
    EXPECT_FALSE(ParseStatusLine(bad)) << bad;
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

}  // namespace
}  // namespace kestrava::net
