#pragma once

// The cookie store of one REST client: Set-Cookie parsing, replacement,
// expiry and the Cookie header for a request.

#include <chrono>
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

// One cookie from a Set-Cookie value received for a request to requestHost.
// None when the first piece holds no "=" or an empty name, when its name
// or value holds a control character (U+0000 to U+001F other than tab, or
// U+007F), or when its Domain attribute is not acceptable: it must be the
// request host, or a domain the host belongs to that is no public suffix
// (an address belongs to no domain but itself).
std::optional<Cookie> ParseSetCookie(std::string_view text, std::string_view requestHost,
                                     CookieClock::time_point now);

class CookieStore {
 public:
  // Replaces a stored cookie of the same name, domain and path (any case)
  // in place; otherwise appends it unless it has already expired.
  void Store(Cookie cookie, CookieClock::time_point now);
  void Receive(std::string_view setCookie, std::string_view requestHost,
               CookieClock::time_point now);

  // Drops expired cookies, then gives the Cookie header value for a
  // request (newest first, "; " between), or empty when none matches.
  std::string HeaderFor(std::string_view scheme, std::string_view host, std::string_view path,
                        CookieClock::time_point now);

  const std::vector<Cookie>& Cookies() const noexcept { return cookies_; }

 private:
  std::vector<Cookie> cookies_;  // oldest first
};

}  // namespace kestrava::net
