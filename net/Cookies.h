#pragma once

// The cookie store of one REST client: Set-Cookie parsing, replacement,
// expiry and the Cookie header for a request.

#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::net {

using CookieClock = std::chrono::system_clock;

struct Cookie {
  std::string name;
  std::string value;
  std::string domain;  // always starts with "."; lower case
  std::string path;    // always ends with "/"
  std::optional<CookieClock::time_point> expiry;
  bool secure = false;
  bool httpOnly = false;
};

// The bounds of the store, sized as RFC 6265 sizes a cookie store and as
// browsers keep theirs, so that no sequence of replies can make the store,
// or the head of a later request, grow without end:
// - a cookie whose name and value together pass 4096 bytes is ignored;
inline constexpr std::size_t kMaxCookieBytes = 4096;
// - a Path or Domain attribute whose value passes 1024 bytes is ignored
//   (the cookie keeps its default path, or stays with its host);
inline constexpr std::size_t kMaxCookieAttributeBytes = 1024;
// - a domain keeps at most 180 cookies and the store at most 3000: storing
//   one more first drops the expired ones, then the oldest of that domain,
//   then the oldest of all;
inline constexpr std::size_t kMaxCookiesPerDomain = 180;
inline constexpr std::size_t kMaxCookies = 3000;
// - the Cookie header of a request holds at most 8192 bytes (what common
//   servers take in one header field): a cookie that would pass it stays
//   out of that request.
inline constexpr std::size_t kMaxCookieHeaderBytes = 8192;

// One cookie from a Set-Cookie value received for a request to requestHost.
// None when the first piece holds no "=" or an empty name, when its name
// and value pass kMaxCookieBytes, when its name or value holds a control
// character (U+0000 to U+001F other than tab, or U+007F), or when its
// Domain attribute is not acceptable: it must be the request host, or a
// domain the host belongs to that is no public suffix (an address belongs
// to no domain but itself).
std::optional<Cookie> ParseSetCookie(std::string_view text, std::string_view requestHost,
                                     CookieClock::time_point now);

class CookieStore {
 public:
  // Replaces a stored cookie of the same name, domain and path (any case)
  // in place; otherwise appends it unless it has already expired, within
  // the bounds above.
  void Store(Cookie cookie, CookieClock::time_point now);
  void Receive(std::string_view setCookie, std::string_view requestHost,
               CookieClock::time_point now);

  // Drops expired cookies, then gives the Cookie header value for a
  // request (newest first, "; " between, at most kMaxCookieHeaderBytes), or
  // empty when none matches.
  std::string HeaderFor(std::string_view scheme, std::string_view host, std::string_view path,
                        CookieClock::time_point now);

  const std::vector<Cookie>& Cookies() const noexcept { return cookies_; }

 private:
  void Erase(std::vector<Cookie>::iterator at);
  void DropExpired(CookieClock::time_point now);

  std::vector<Cookie> cookies_;  // oldest first
  // How many cookies each domain (in lower case) holds.
  std::map<std::string, std::size_t, std::less<>> perDomain_;
};

}  // namespace kestrava::net
