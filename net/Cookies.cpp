#include "net/Cookies.h"

#include <curl/curl.h>

#include <algorithm>
#include <charconv>
#include <limits>

#include "base/Ascii.h"
#include "net/PublicSuffix.h"
#include "net/Url.h"

namespace kestrava::net {

namespace {

// Splits at ";" outside quotation marks.
std::vector<std::string_view> SplitPieces(std::string_view text) {
  std::vector<std::string_view> pieces;
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') {
      quoted = !quoted;
    } else if (text[i] == ';' && !quoted) {
      pieces.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  pieces.push_back(text.substr(start));
  return pieces;
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
    return value.substr(1, value.size() - 2);
  return value;
}

bool Expired(const Cookie& cookie, CookieClock::time_point now) {
  return cookie.expiry && *cookie.expiry <= now;
}

CookieClock::time_point AddSeconds(CookieClock::time_point now, long long seconds) {
  // Clamp so that absurd Max-Age values cannot overflow the clock.
  constexpr long long kLimit = 100LL * 365 * 24 * 3600;
  seconds = std::clamp(seconds, -kLimit, kLimit);
  return now + std::chrono::seconds(seconds);
}

// "." followed by the host, the form domains are stored and matched in.
std::string Dotted(std::string_view host) {
  std::string out;
  out.reserve(host.size() + 1);
  out += '.';
  out += host;
  return out;
}

// A date far outside the clock's range (year 10000 and the like) is taken
// as the furthest point it can hold instead of overflowing.
CookieClock::time_point FromTimeT(long long seconds) {
  constexpr long long kLimit = 9'000'000'000LL;  // about the year 2255
  return CookieClock::time_point(std::chrono::seconds(std::clamp(seconds, -kLimit, kLimit)));
}

// U+0000 to U+001F other than tab, and U+007F: a name or value holding one
// could not go back in a Cookie header.
bool HoldsControlCharacter(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && byte != '\t') || byte == 0x7F;
  });
}

// An IPv4 address (digits and dots) or a bracketed IPv6 one.
bool IsAddress(std::string_view host) {
  if (host.starts_with('[')) return true;
  return !host.empty() && host.find_first_not_of("0123456789.") == std::string_view::npos;
}

// Whether a cookie of the lower-case request host may name the dotted
// domain: the host must belong to it, an address only to itself, and a
// public suffix ("com", "co.uk") only when it is the host itself, or the
// cookie would reach every site under it.
bool DomainAcceptable(std::string_view host, std::string_view domain) {
  const std::string_view name = domain.substr(1);
  if (name == host) return true;
  if (!Dotted(host).ends_with(domain) || IsAddress(host)) return false;
  return !IsPublicSuffix(name);
}

}  // namespace

std::optional<Cookie> ParseSetCookie(std::string_view text, std::string_view requestHost,
                                     CookieClock::time_point now) {
  auto pieces = SplitPieces(text);
  std::string_view first = pieces[0];
  auto eq = first.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  Cookie cookie;
  cookie.name = std::string(TrimWhitespace(first.substr(0, eq)));
  cookie.value = std::string(TrimWhitespace(first.substr(eq + 1)));
  if (cookie.name.empty() || cookie.name.size() + cookie.value.size() > kMaxCookieBytes ||
      HoldsControlCharacter(cookie.name) || HoldsControlCharacter(cookie.value))
    return std::nullopt;
  std::string host = AsciiLower(requestHost);
  cookie.domain = Dotted(host);
  cookie.path.assign(1, '/');

  std::optional<CookieClock::time_point> maxAge;
  std::optional<CookieClock::time_point> expires;
  std::optional<std::string> domainAttribute;
  for (std::size_t i = 1; i < pieces.size(); ++i) {
    std::string_view piece = TrimWhitespace(pieces[i]);
    auto split = piece.find('=');
    std::string_view name = TrimWhitespace(piece.substr(0, split));
    std::string_view value = split == std::string_view::npos
                                 ? std::string_view{}
                                 : TrimWhitespace(piece.substr(split + 1));
    value = Unquote(value);
    if (EqualsIgnoreCase(name, "max-age")) {
      long long seconds = 0;
      const char* end = value.data() + value.size();
      auto [ptr, ec] = std::from_chars(value.data(), end, seconds);
      if (!value.empty() && ec == std::errc() && ptr == end) {
        maxAge = AddSeconds(now, seconds);
      } else if (ec == std::errc::result_out_of_range && ptr == end) {
        maxAge = AddSeconds(now, value[0] == '-' ? std::numeric_limits<long long>::min()
                                                 : std::numeric_limits<long long>::max());
      }
    } else if (EqualsIgnoreCase(name, "expires")) {
      if (!expires) {
        std::string date(value);
        time_t seconds = curl_getdate(date.c_str(), nullptr);
        if (seconds != -1) expires = FromTimeT(seconds);
      }
    } else if (EqualsIgnoreCase(name, "path")) {
      if (value.size() > kMaxCookieAttributeBytes) continue;
      cookie.path = std::string(value);
      if (cookie.path.empty() || cookie.path.back() != '/') cookie.path += '/';
    } else if (EqualsIgnoreCase(name, "domain")) {
      if (value.size() > kMaxCookieAttributeBytes) continue;
      std::string domain = AsciiLower(value);
      if (domain.empty() || domain[0] != '.') domain.insert(0, 1, '.');
      domainAttribute = domain;
    } else if (EqualsIgnoreCase(name, "secure")) {
      cookie.secure = true;
    } else if (EqualsIgnoreCase(name, "httponly")) {
      cookie.httpOnly = true;
    }
  }
  if (domainAttribute) {
    if (!DomainAcceptable(host, *domainAttribute)) return std::nullopt;
    cookie.domain = *domainAttribute;
  }
  cookie.expiry = maxAge ? maxAge : expires;
  return cookie;
}

void CookieStore::Store(Cookie cookie, CookieClock::time_point now) {
  for (Cookie& stored : cookies_) {
    if (EqualsIgnoreCase(stored.name, cookie.name) &&
        EqualsIgnoreCase(stored.domain, cookie.domain) &&
        EqualsIgnoreCase(stored.path, cookie.path)) {
      stored = std::move(cookie);
      return;
    }
  }
  if (Expired(cookie, now)) return;
  std::string domain = AsciiLower(cookie.domain);
  if (cookies_.size() >= kMaxCookies || perDomain_[domain] >= kMaxCookiesPerDomain) {
    // Room first: the expired go, then the oldest of the domain, or else
    // the oldest of all.
    DropExpired(now);
    if (perDomain_[domain] >= kMaxCookiesPerDomain) {
      Erase(std::find_if(cookies_.begin(), cookies_.end(), [&cookie](const Cookie& c) {
        return EqualsIgnoreCase(c.domain, cookie.domain);
      }));
    } else if (cookies_.size() >= kMaxCookies) {
      Erase(cookies_.begin());
    }
  }
  ++perDomain_[domain];
  cookies_.push_back(std::move(cookie));
}

void CookieStore::Erase(std::vector<Cookie>::iterator at) {
  const auto count = perDomain_.find(AsciiLower(at->domain));
  if (--count->second == 0) perDomain_.erase(count);
  cookies_.erase(at);
}

void CookieStore::DropExpired(CookieClock::time_point now) {
  std::erase_if(cookies_, [this, now](const Cookie& c) {
    if (!Expired(c, now)) return false;
    const auto count = perDomain_.find(AsciiLower(c.domain));
    if (--count->second == 0) perDomain_.erase(count);
    return true;
  });
}

void CookieStore::Receive(std::string_view setCookie, std::string_view requestHost,
                          CookieClock::time_point now) {
  if (auto cookie = ParseSetCookie(setCookie, requestHost, now)) Store(std::move(*cookie), now);
}

std::string CookieStore::HeaderFor(std::string_view scheme, std::string_view host,
                                   std::string_view path, CookieClock::time_point now) {
  DropExpired(now);
  std::string dottedHost = Dotted(AsciiLower(host));
  bool https = EqualsIgnoreCase(scheme, "https");
  std::string header;
  for (auto it = cookies_.rbegin(); it != cookies_.rend(); ++it) {
    if (!dottedHost.ends_with(it->domain)) continue;
    if (!path.starts_with(it->path)) continue;
    if (it->secure && !https) continue;
    const std::size_t separator = header.empty() ? 0 : 2;
    if (header.size() + separator + it->name.size() + 1 + it->value.size() > kMaxCookieHeaderBytes)
      continue;  // an older, smaller one may still fit
    if (separator != 0) header += "; ";
    header += it->name + "=" + it->value;
  }
  return header;
}

}  // namespace kestrava::net
