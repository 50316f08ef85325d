#include <gtest/gtest.h>

#include "net/Cookies.h"

namespace kestrava::net {
namespace {

using namespace std::chrono_literals;

const CookieClock::time_point kNow = CookieClock::from_time_t(1'750'000'000);  // 2025-06-15

TEST(SetCookie, ParsesNameValueDefaultsAndAttributes) {
  auto c = ParseSetCookie(" sid = a b=c ; Path=/api; Secure; HttpOnly", "API.test.localhost", kNow);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->name, "sid");
  EXPECT_EQ(c->value, "a b=c");
  EXPECT_EQ(c->domain, ".api.test.localhost");
  EXPECT_EQ(c->path, "/api/");
  EXPECT_TRUE(c->secure);
  EXPECT_TRUE(c->httpOnly);
  EXPECT_FALSE(c->expiry);

  c = ParseSetCookie("a=1", "h", kNow);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->domain, ".h");
  EXPECT_EQ(c->path, "/");
  EXPECT_FALSE(c->secure);
}

TEST(SetCookie, SemicolonInsideQuotesDoesNotSplit) {
  auto c = ParseSetCookie("q=\"a;b\"; path=\"/x\"", "h", kNow);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->value, "\"a;b\"");
  EXPECT_EQ(c->path, "/x/");
}

TEST(SetCookie, ExpiryFromMaxAgeOverExpires) {
  struct Case {
    const char* text;
    std::optional<CookieClock::time_point> expiry;
  } cases[] = {
      {"a=1; Max-Age=60", kNow + 60s},
      {"a=1; max-age=\"60\"", kNow + 60s},
      {"a=1; Expires=Sun, 06 Nov 1994 08:49:37 GMT; Max-Age=60", kNow + 60s},
      {"a=1; Max-Age=60; Expires=Sun, 06 Nov 1994 08:49:37 GMT", kNow + 60s},
      {"a=1; Max-Age=0", kNow},
      {"a=1; Max-Age=-5", kNow - 5s},
      {"a=1; Max-Age=1.5", std::nullopt},
      {"a=1; Max-Age=abc", std::nullopt},
      {"a=1; Max-Age=", std::nullopt},
      {"a=1; Expires=Sun, 06 Nov 1994 08:49:37 GMT", CookieClock::from_time_t(784111777)},
      {"a=1; Expires=Sunday, 06-Nov-94 08:49:37 GMT", CookieClock::from_time_t(784111777)},
      {"a=1; Expires=Sun Nov  6 08:49:37 1994", CookieClock::from_time_t(784111777)},
      {"a=1; Expires=Sun, 06 Nov 1994 08:49:37 GMT; Expires=Mon, 07 Nov 1994 08:49:37 GMT",
       CookieClock::from_time_t(784111777)},
      {"a=1; Expires=not a date", std::nullopt},
  };
  for (const auto& c : cases) {
    auto cookie = ParseSetCookie(c.text, "h", kNow);
    ASSERT_TRUE(cookie) << c.text;
    EXPECT_EQ(cookie->expiry, c.expiry) << c.text;
  }
  // Dates and ages beyond the clock's range neither overflow nor wrap.
  auto far = ParseSetCookie("a=1; Expires=Sun, 06 Nov 1994994 08:49:37 GMT", "h", kNow);
  ASSERT_TRUE(far && far->expiry);
  EXPECT_GT(*far->expiry, kNow);
  auto huge = ParseSetCookie("a=1; Max-Age=99999999999999999999999", "h", kNow);
  ASSERT_TRUE(huge && huge->expiry);
  EXPECT_GT(*huge->expiry, kNow);
}

TEST(SetCookie, DomainIsNormalisedAndMustMatchTheRequestHost) {
  auto c = ParseSetCookie("a=1; Domain=Test.Localhost", "api.test.localhost", kNow);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->domain, ".test.localhost");
  c = ParseSetCookie("a=1; Domain=.api.test.localhost", "api.test.localhost", kNow);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->domain, ".api.test.localhost");
  // Foreign domains, and suffixes that are not at a label boundary, are refused.
  EXPECT_FALSE(ParseSetCookie("a=1; Domain=example.com", "api.test.localhost", kNow));
  EXPECT_FALSE(ParseSetCookie("a=1; Domain=st.localhost", "api.test.localhost", kNow));
  EXPECT_FALSE(ParseSetCookie("a=1; Domain=www.api.test.localhost", "api.test.localhost", kNow));
}

TEST(SetCookie, DomainNamingAPublicSuffixIsRefusedUnlessItIsTheHost) {
  struct Case {
    const char* text;
    const char* host;
    const char* domain;  // of the cookie kept, or null when it is refused
  } cases[] = {
      {"a=1; Domain=com", "www.example.com", nullptr},
      {"a=1; Domain=.COM", "WWW.Example.COM", nullptr},
      {"a=1; Domain=co.uk", "shop.example.co.uk", nullptr},
      {"a=1; Domain=github.io", "someone.github.io", nullptr},  // a private suffix
      {"a=1; Domain=example.co.uk", "shop.example.co.uk", ".example.co.uk"},
      {"a=1; Domain=example.com", "www.example.com", ".example.com"},
      {"a=1; Domain=co.uk", "co.uk", ".co.uk"},  // the request host itself
      {"a=1; Domain=localhost", "localhost", ".localhost"},
      {"a=1; Domain=.localhost", "LocalHost", ".localhost"},
      // Any unlisted top-level name counts as a public suffix.
      {"a=1; Domain=localhost", "api.test.localhost", nullptr},
      {"a=1; Domain=test.localhost", "api.test.localhost", ".test.localhost"},
      // An address is no name: its Domain is the address itself or nothing.
      {"a=1; Domain=0.0.1", "10.0.0.1", nullptr},
      {"a=1; Domain=10.0.0.1", "10.0.0.1", ".10.0.0.1"},
      {"a=1; Domain=1", "127.0.0.1", nullptr},
  };
  for (const auto& c : cases) {
    auto cookie = ParseSetCookie(c.text, c.host, kNow);
    if (c.domain == nullptr) {
      EXPECT_FALSE(cookie) << c.text << " from " << c.host;
    } else {
      ASSERT_TRUE(cookie) << c.text << " from " << c.host;
      EXPECT_EQ(cookie->domain, c.domain) << c.text << " from " << c.host;
    }
  }
}

TEST(SetCookie, FirstPieceWithoutNameIsIgnored) {
  EXPECT_FALSE(ParseSetCookie("novalue", "h", kNow));
  EXPECT_FALSE(ParseSetCookie("=v", "h", kNow));
  EXPECT_FALSE(ParseSetCookie("", "h", kNow));
  EXPECT_TRUE(ParseSetCookie("a=", "h", kNow));
}

TEST(SetCookie, ControlCharactersInNameOrValueAreIgnored) {
  for (std::string text : {std::string("a=b\rX: 1"), std::string("a=b\nX: 1"),
                           std::string("a=b\0c", 5), std::string("a=y\x01z"),
                           std::string("a=b\x1F"
                                       "c"),
                           std::string("a=b\x7F"), std::string("a\rb=c"), std::string("\x7F=c"),
                           std::string("a=b\rc; Path=/")})
    EXPECT_FALSE(ParseSetCookie(text, "h", kNow)) << ::testing::PrintToString(text);
  // A tab is no control character here, and what trimming removes is gone.
  auto tab = ParseSetCookie("a=b\tc", "h", kNow);
  ASSERT_TRUE(tab);
  EXPECT_EQ(tab->value, "b\tc");
  for (const char* text : {"a=b\r", "a=b\x01", "\x1F a=b"}) {
    auto trimmed = ParseSetCookie(text, "h", kNow);
    ASSERT_TRUE(trimmed) << ::testing::PrintToString(text);
    EXPECT_EQ(trimmed->name + "=" + trimmed->value, "a=b");
  }
  // Only name and value matter: attributes never reach a request.
  EXPECT_TRUE(ParseSetCookie("a=b; Path=/x\x01", "h", kNow));
}

TEST(CookieStore, ReplacesInPlaceByNameDomainPathIgnoringCase) {
  CookieStore store;
  store.Receive("a=1", "h", kNow);
  store.Receive("b=2", "h", kNow);
  store.Receive("A=3; Path=/", "H", kNow);
  ASSERT_EQ(store.Cookies().size(), 2u);
  EXPECT_EQ(store.Cookies()[0].value, "3");
  EXPECT_EQ(store.HeaderFor("https", "h", "/", kNow), "b=2; A=3");
}

TEST(CookieStore, ExpiredCookiesAreNotAddedAndReplacingWithOneDeletes) {
  CookieStore store;
  store.Receive("gone=1; Max-Age=0", "h", kNow);
  EXPECT_TRUE(store.Cookies().empty());
  store.Receive("a=1", "h", kNow);
  store.Receive("b=1; Max-Age=10", "h", kNow);
  store.Receive("a=1; Max-Age=0", "h", kNow);
  EXPECT_EQ(store.HeaderFor("https", "h", "/", kNow), "b=1");
  EXPECT_EQ(store.HeaderFor("https", "h", "/", kNow + 10s), "");
  EXPECT_TRUE(store.Cookies().empty());
}

TEST(CookieStore, MatchesDomainPathAndSecureNewestFirst) {
  CookieStore store;
  store.Receive("n=root; Path=/", "api.test.localhost", kNow);
  store.Receive("n=deep; Path=/v1", "api.test.localhost", kNow);
  store.Receive("wide=1; Domain=test.localhost", "api.test.localhost", kNow);
  store.Receive("s=1; Secure", "api.test.localhost", kNow);
  struct Case {
    const char* scheme;
    const char* host;
    const char* path;
    const char* expected;
  } cases[] = {
      {"https", "api.test.localhost", "/v1/x", "s=1; wide=1; n=deep; n=root"},
      {"https", "api.test.localhost", "/v1", "s=1; wide=1; n=root"},
      {"https", "api.test.localhost", "/V1/x", "s=1; wide=1; n=root"},
      {"http", "api.test.localhost", "/v1/x", "wide=1; n=deep; n=root"},
      {"https", "other.test.localhost", "/v1/x", "wide=1"},
      {"https", "API.TEST.LOCALHOST", "/", "s=1; wide=1; n=root"},
      {"https", "localhost", "/", ""},
      {"https", "xapi.test.localhost", "/", "wide=1"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(store.HeaderFor(c.scheme, c.host, c.path, kNow), c.expected)
        << c.scheme << "://" << c.host << c.path;
}

}  // namespace
}  // namespace kestrava::net
