#pragma once

// The exchange loop of one Execute: sends the request, keeps the cookies of
// every reply, follows redirects, and gives the final reply.

#include <string>
#include <utility>
#include <vector>

#include "net/Cookies.h"
#include "net/Transport.h"

namespace kestrava::net {

inline constexpr int kMaxRedirects = 5;

struct FinalReply {
  TransportReply reply;
  std::string url;  // the URL the final reply answered
};

bool IsRedirectStatus(int code);

// request.headers must not hold a Cookie header: it is computed for every
// request from the store. Throws the transport's stage failures,
// ENetHTTPRequestException "Maximum number of redirections (5) exceeded",
// and "Error connecting to server: <host>" for a redirect from https to any
// other scheme.
FinalReply RunExchange(Transport& transport, CookieStore& cookies, TransportRequest request);

}  // namespace kestrava::net
