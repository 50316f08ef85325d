#pragma once

// Replies of the service as the tests script them.

#include <string>
#include <string_view>
#include <vector>

namespace kestrava::testing {

// A reply with a JSON body: "Content-Type: application/json; charset=utf-8",
// then the extra headers ("Name: value" each).
std::string JsonReply(int code, std::string_view reason, std::string_view body,
                      std::vector<std::string> extraHeaders = {});

// The reply to a sign-in that succeeds: the token, and the session cookie
// "session=s1" that the service sets with it.
std::string TokenReply(std::string_view token);

}  // namespace kestrava::testing
