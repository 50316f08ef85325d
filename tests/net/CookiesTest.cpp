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

// "nN=" followed by filler up to `size` bytes of name and value.
std::string SizedCookie(int n, std::size_t size) {
  std::string name = "n" + std::to_string(n);
  return name + "=" + std::string(size - name.size(), 'v');
}

TEST(SetCookie, SizesPastTheBoundsAreIgnored) {
  const std::string path = "/" + std::string(kMaxCookieAttributeBytes - 1, 'p');
  const std::string parent = std::string(kMaxCookieAttributeBytes - 5, 'd') + ".test";
  const std::string host = "api." + parent;
  struct Case {
    const char* name;
    std::string text;
    bool kept;
    std::string path = "/";
    std::string domain = {};  // none: the host's own
  } cases[] = {
      {"name and value at the bound", SizedCookie(1, kMaxCookieBytes), true},
      {"one byte past it", SizedCookie(1, kMaxCookieBytes + 1), false},
      {"a name alone at the bound", std::string(kMaxCookieBytes, 'n') + "=", true},
      {"a name at the bound and a value", std::string(kMaxCookieBytes, 'n') + "=v", false},
      {"66,000 bytes", SizedCookie(1, 66000), false},
      {"a path at the bound", "a=1; Path=" + path, true, path + "/"},
      {"a path past it is ignored", "a=1; Path=" + path + "q", true},
      {"a domain at the bound", "a=1; Domain=" + parent, true, "/", "." + parent},
      {"a domain past it is ignored", "a=1; Domain=." + parent, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto cookie = ParseSetCookie(c.text, host, kNow);
    ASSERT_EQ(cookie.has_value(), c.kept);
    if (!cookie) continue;
    EXPECT_EQ(cookie->path, c.path);
    EXPECT_EQ(cookie->domain, c.domain.empty() ? "." + host : c.domain);
  }
}

TEST(CookieStore, EvictsTheOldestOfTheDomainThenTheOldestOfAll) {
  CookieStore store;
  store.Receive("other=1", "other.test", kNow);
  for (std::size_t i = 0; i < kMaxCookiesPerDomain + 5; ++i)
    store.Receive("c" + std::to_string(i) + "=1", "h.test", kNow);
  ASSERT_EQ(store.Cookies().size(), kMaxCookiesPerDomain + 1);
  EXPECT_EQ(store.Cookies()[0].name, "other");  // another domain keeps its own
  EXPECT_EQ(store.Cookies()[1].name, "c5");
  EXPECT_EQ(store.Cookies().back().name, "c" + std::to_string(kMaxCookiesPerDomain + 4));
  // Replacing in place takes no room.
  store.Receive("c5=2", "h.test", kNow);
  EXPECT_EQ(store.Cookies()[1].value, "2");
  EXPECT_EQ(store.Cookies().size(), kMaxCookiesPerDomain + 1);

  // An expired cookie goes before the oldest of the domain does.
  store.Receive("c6=1; Max-Age=1", "h.test", kNow);
  store.Receive("late=1", "h.test", kNow + 2s);
  EXPECT_EQ(store.Cookies()[1].name, "c5");
  EXPECT_EQ(store.Cookies()[2].name, "c7");

  // Across domains, the store as a whole keeps the newest.
  CookieStore all;
  const std::size_t domains = kMaxCookies / kMaxCookiesPerDomain + 2;
  for (std::size_t d = 0; d < domains; ++d)
    for (std::size_t i = 0; i < kMaxCookiesPerDomain; ++i)
      all.Receive("c" + std::to_string(i) + "=1", "d" + std::to_string(d) + ".test", kNow);
  ASSERT_EQ(all.Cookies().size(), kMaxCookies);
  EXPECT_EQ(all.Cookies().back().domain, ".d" + std::to_string(domains - 1) + ".test");
  EXPECT_EQ(all.HeaderFor("https", "d0.test", "/", kNow), "");
  EXPECT_NE(all.HeaderFor("https", "d3.test", "/", kNow), "");
}

TEST(CookieStore, TheHeaderStaysWithinItsBoundNewestFirst) {
  CookieStore store;
  store.Receive("small=1", "h", kNow);
  for (int i = 0; i < 100; ++i) store.Receive(SizedCookie(i, kMaxCookieBytes), "h", kNow);
  // The newest of full size; the one before it would pass the bound, and so
  // would every other, but the small old one still fits.
  const std::string header = store.HeaderFor("https", "h", "/", kNow);
  EXPECT_LE(header.size(), kMaxCookieHeaderBytes);
  EXPECT_TRUE(header == SizedCookie(99, kMaxCookieBytes) + "; small=1") << header.size();

  // Exactly at the bound: both go.
  CookieStore exact;
  const std::size_t half = (kMaxCookieHeaderBytes - 2) / 2 - 1;  // "=" and "; " besides
  exact.Receive(SizedCookie(1, half), "h", kNow);
  exact.Receive(SizedCookie(2, half), "h", kNow);
  EXPECT_EQ(exact.HeaderFor("https", "h", "/", kNow).size(), kMaxCookieHeaderBytes);
  exact.Receive("one=more", "h", kNow);
  EXPECT_EQ(exact.HeaderFor("https", "h", "/", kNow).substr(0, 10), "one=more; ");
}

}  // namespace
}  // namespace kestrava::net
