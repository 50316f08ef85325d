#include "tests/support/ServiceReplies.h"

#include "tests/support/ScriptedServer.h"

namespace kestrava::testing {

std::string JsonReply(int code, std::string_view reason, std::string_view body,
                      std::vector<std::string> extraHeaders) {
  extraHeaders.insert(extraHeaders.begin(), "Content-Type: application/json; charset=utf-8");
  return HttpReply(code, reason, std::move(extraHeaders), body);
}

std::string TokenReply(std::string_view token) {
  return JsonReply(200, "OK",
                   R"({"status":"200 OK","message":"","result":{"accessToken":")" +
                       std::string(token) + R"(","expiresIn":3600}})",
                   {"Set-Cookie: session=s1; Path=/; Secure; HttpOnly"});
}

}  // namespace kestrava::testing
