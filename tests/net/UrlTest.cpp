#include <gtest/gtest.h>

#include "net/Url.h"

namespace kestrava::net {
namespace {

TEST(BaseUrl, TrimsWhitespaceAndOneTrailingSlashAndAddsScheme) {
  struct Case {
    const char* input;
    const char* expected;
  } cases[] = {
      {"  https://api.example/v1/  ", "https://api.example/v1"},
      {"https://api.example/v1//", "https://api.example/v1/"},
      {"\thttps://api.example\n", "https://api.example"},
      {"api.example/v1", "http://api.example/v1"},
      {"localhost:8080/x", "http://localhost:8080/x"},
      {"HTTPS://api.example", "HTTPS://api.example"},
      {"", "http://"},
  };
  for (const auto& c : cases) EXPECT_EQ(TrimBaseUrl(c.input), c.expected) << c.input;
}

TEST(NormaliseUrl, EncodesPathAndQueryAsTheWireNeeds) {
  struct Case {
    const char* input;
    const char* expected;
  } cases[] = {
      // The program's own URLs go out exactly as built.
      {"https://api.test.kestrava.example/v2/"
       "transactions?accountId=0&dateFrom=2025-05-14T08:30:00.000Z"
       "&dateTo=2025-05-15T08:30:00.000Z&page=1&pageSize=50",
       "https://api.test.kestrava.example/v2/"
       "transactions?accountId=0&dateFrom=2025-05-14T08:30:00.000Z"
       "&dateTo=2025-05-15T08:30:00.000Z&page=1&pageSize=50"},
      // Scheme lower case, default port dropped, other port kept.
      {"HTTPS://Host.example:443/a", "https://Host.example/a"},
      {"Http://host:80/a", "http://host/a"},
      {"https://host:8443/a", "https://host:8443/a"},
      {"http://host:443/a", "http://host:443/a"},
      // Path segments: excluded ASCII and every non-ASCII byte encoded.
      {"https://h/a b/\xC3\xA9", "https://h/a%20b/%C3%A9"},
      {"https://h/q\"<>\\^`{|}x", "https://h/q%22%3C%3E%5C%5E%60%7B%7C%7Dx"},
      {"https://h/keep!$&'()*+,;=:@~-._%41", "https://h/keep!$&'()*+,;=:@~-._%41"},
      // Query: space and é encoded with upper-case hex; ', ", <, >, % too.
      {"https://h/p?q=a b&n=\xC3\xA9", "https://h/p?q=a%20b&n=%C3%A9"},
      {"https://h/p?q=it's&r=<x>&s=\"&t=50%", "https://h/p?q=it%27s&r=%3Cx%3E&s=%22&t=50%25"},
      // A name or value already holding an escape is left exactly alone.
      {"https://h/p?q=%41 b&r=a b", "https://h/p?q=%41 b&r=a%20b"},
      {"https://h/p?%7Ex y=1", "https://h/p?%7Ex y=1"},
      {"https://h/p?%zz=1", "https://h/p?%25zz=1"},
      // Parts split at "&", then at the first "=" only; order and empties kept.
      {"https://h/p?a=b=c&&flag&=v", "https://h/p?a=b=c&&flag&=v"},
      {"https://h/p?", "https://h/p?"},
      // The fragment is never sent.
      {"https://h/p?x=1#frag ment", "https://h/p?x=1"},
      {"https://h/p#f", "https://h/p"},
      {"https://h", "https://h"},
      {"https://user:pw@h:443/p", "https://user:pw@h/p"},
      {"https://[::1]:443/p", "https://[::1]/p"},
      {"https://[::1]:8443/p", "https://[::1]:8443/p"},
  };
  for (const auto& c : cases) EXPECT_EQ(NormaliseUrl(c.input), c.expected) << c.input;
}

TEST(ResolveReference, ResolvesEveryKindOfLocation) {
  const char* base = "https://h:8443/v1/auth/token?x=1";
  struct Case {
    const char* reference;
    const char* expected;
  } cases[] = {
      {"https://other/p", "https://other/p"},
      {"HTTP://other/p", "HTTP://other/p"},
      {"mailto:x@y", "mailto:x@y"},
      {"//other:1/p", "https://other:1/p"},
      {"/root?q=2", "https://h:8443/root?q=2"},
      {"next", "https://h:8443/v1/auth/next"},
      {"../next", "https://h:8443/v1/next"},
      {"../../../../next", "https://h:8443/next"},
      {"./a/./b/../c", "https://h:8443/v1/auth/a/c"},
      {"?page=2", "https://h:8443/v1/auth/token?page=2"},
      {"  /spaced  ", "https://h:8443/spaced"},
      {"/p#frag", "https://h:8443/p"},
      {"", "https://h:8443/v1/auth/token?x=1"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ResolveReference(base, c.reference), c.expected) << c.reference;
  EXPECT_EQ(ResolveReference("https://h", "x"), "https://h/x");
}

TEST(SameOrigin, ComparesSchemeHostAndEffectivePort) {
  EXPECT_TRUE(SameOrigin("https://h/a", "HTTPS://H:443/b?c"));
  EXPECT_TRUE(SameOrigin("http://h:80/a", "http://h/b"));
  EXPECT_FALSE(SameOrigin("https://h/a", "http://h/a"));
  EXPECT_FALSE(SameOrigin("https://h/a", "https://h:8443/a"));
  EXPECT_FALSE(SameOrigin("https://localhost:1/a", "https://127.0.0.1:1/a"));
  EXPECT_FALSE(SameOrigin("https://api.h/a", "https://h/a"));
}

}  // namespace
}  // namespace kestrava::net
