#include "net/Exchange.h"

#include <algorithm>

#include "base/Ascii.h"
#include "net/NetExceptions.h"
#include "net/Url.h"

namespace kestrava::net {

bool IsRedirectStatus(int code) {
  return code == 300 || code == 301 || code == 302 || code == 303 || code == 307 || code == 308;
}

FinalReply RunExchange(Transport& transport, CookieStore& cookies, TransportRequest request) {
  HeaderList headers = std::move(request.headers);
  int redirects = 0;
  while (true) {
    Url url = ParseUrl(request.url);
    std::string path = url.path.empty() ? "/" : url.path;
    request.headers = headers;
    std::string cookie = cookies.HeaderFor(url.scheme, url.host, path, CookieClock::now());
    if (!cookie.empty()) request.headers.Add("Cookie", std::move(cookie));

    TransportReply reply = transport.Perform(request, url.host);

    for (const auto& [name, value] : reply.headers) {
      if (EqualsIgnoreCase(name, "Set-Cookie"))
        cookies.Receive(value, url.host, CookieClock::now());
    }
    if (!IsRedirectStatus(reply.code)) return {std::move(reply), std::move(request.url)};
    if (++redirects > kMaxRedirects)
      throw ENetHTTPRequestException("Maximum number of redirections (" +
                                     std::to_string(kMaxRedirects) + ") exceeded");
    std::string location(TrimWhitespace(reply.headers.Value("Location")));
    if (location.empty()) return {std::move(reply), std::move(request.url)};

    std::string next = NormaliseUrl(ResolveReference(request.url, location));
    // What was meant to travel over TLS (a client secret, a bearer token,
    // cookies) never follows a redirect out of it: such a target fails as
    // one of a scheme the transport does not speak, before anything is sent.
    const Url target = ParseUrl(next);
    if (EqualsIgnoreCase(url.scheme, "https") && !EqualsIgnoreCase(target.scheme, "https"))
      throw ENetHTTPRequestException("Error connecting to server: " + target.host,
                                     TExchangeStage::Connecting);
    if (request.post && (reply.code == 301 || reply.code == 302 || reply.code == 303)) {
      request.post = false;
      request.body.clear();
      headers.Remove("Content-Type");
      headers.Remove("Content-Length");
    }
    // The bearer token goes only to the origin it was meant for.
    if (!SameOrigin(request.url, next)) headers.Remove("Authorization");
    request.url = std::move(next);
  }
}

}  // namespace kestrava::net
