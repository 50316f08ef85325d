// Arbitrary bytes as a request to the sandbox: the head goes through the
// request parser and, when it parses, the rest of the input is the body the
// service handles. Whatever comes in, the reply must be a whole HTTP reply
// whose body is JSON the client's parser accepts.
//
// A bearer token "FUZZTOKEN" is swapped for one the service has just issued
// in the request's environment, so the exports are reachable past the token
// check.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "https/HttpRequestReader.h"
#include "json/JSON.h"
#include "sandbox/SandboxService.h"

namespace {

using kestrava::https::HttpRequest;
using kestrava::sandbox::SandboxService;
using kestrava::sandbox::ServiceOptions;
using kestrava::sandbox::ServiceReply;

constexpr std::string_view kTokenPlaceholder = "FUZZTOKEN";

void Require(bool condition) {
  if (!condition) std::abort();
}

ServiceOptions SmallOptions() {
  ServiceOptions options;
  options.scale.accounts = 3;
  options.scale.transactionsPerDay = 6;
  options.scale.days = 20;
  const kestrava::sandbox::LocalMillis now = kestrava::sandbox::ToLocalMillis(2026, 3, 15, 12, 30);
  options.clock = [now] { return now; };
  return options;
}

// Every header the service adds must stay one line of the reply.
bool IsOneLine(std::string_view text) {
  return text.find_first_of("\r\n") == std::string_view::npos;
}

void CheckReply(const ServiceReply& reply) {
  Require(reply.status >= 100 && reply.status <= 599);
  for (const std::string& header : reply.headers)
    Require(IsOneLine(header) && header.find(':') != std::string::npos);
  // Bytes() always labels the body application/json.
  Require(kestrava::ParseJSONValue(reply.body) != nullptr);

  const std::string bytes = reply.Bytes();
  Require(bytes.rfind("HTTP/1.1 " + std::to_string(reply.status) + " ", 0) == 0);
  const std::size_t headEnd = bytes.find("\r\n\r\n");
  Require(headEnd != std::string::npos);
  Require(bytes.compare(headEnd + 4, std::string::npos, reply.body) == 0);
  Require(bytes.find("Content-Length: " + std::to_string(reply.body.size()) + "\r\n") < headEnd);

  // A cut reply keeps its whole head and loses part of its body, never all.
  // (Each call makes a new Date header, of the same length.)
  const std::string wire = reply.WireBytes();
  std::size_t sent = reply.body.size();
  if (reply.cutBodyAt) {
    sent = *reply.cutBodyAt;
    Require(reply.status == 200 && sent > 0 && sent < reply.body.size());
  }
  Require(wire.size() == headEnd + 4 + sent);
  Require(wire.compare(headEnd + 4, sent, reply.body, 0, sent) == 0);
}

// A token the service issues for the environment of the request's host.
std::string IssueToken(SandboxService& service, const HttpRequest& request) {
  HttpRequest login;
  login.method = "POST";
  login.target = kestrava::sandbox::kTokenPath;
  login.version = "HTTP/1.1";
  login.requestLine = login.method + " " + login.target + " " + login.version;
  login.headers = {{"Host", request.Header("Host")}, {"Content-Type", "application/json"}};
  login.body = std::string("{\"grant_type\":\"client_credentials\",\"client_id\":\"") +
               kestrava::sandbox::kDefaultClientId + "\",\"client_secret\":\"" +
               kestrava::sandbox::kDefaultClientSecret + "\"}";
  const ServiceReply reply = service.Handle(login);
  CheckReply(reply);
  Require(reply.status == 200);
  const auto json = kestrava::AsJSONObject(kestrava::ParseJSONValue(reply.body));
  return json->GetValue<kestrava::TJSONObject>("result")->GetValue("accessToken", "");
}

void SwapInToken(SandboxService& service, HttpRequest& request) {
  std::string token;
  for (auto& [name, value] : request.headers) {
    const std::size_t at = value.find(kTokenPlaceholder);
    if (at == std::string::npos) continue;
    if (token.empty()) token = IssueToken(service, request);
    value.replace(at, kTokenPlaceholder.size(), token);
  }
}

void CheckParsed(const HttpRequest& request, std::string_view head) {
  Require(!request.method.empty() && !request.target.empty());
  Require(request.version.size() == 8 && request.version.rfind("HTTP/1.", 0) == 0);
  Require(request.requestLine == request.method + " " + request.target + " " + request.version);
  Require(head.rfind(request.requestLine, 0) == 0);
  for (const auto& [name, value] : request.headers) {
    Require(!name.empty() && IsOneLine(name) && IsOneLine(value));
    Require(name.find(':') == std::string::npos);
  }
}

void Serve(ServiceOptions options, HttpRequest request, int times) {
  SandboxService service(std::move(options));
  SwapInToken(service, request);
  for (int i = 0; i < times; ++i) CheckReply(service.Handle(request));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t headEnd = input.find("\r\n\r\n");
  const std::string_view head = input.substr(0, headEnd);
  const std::string_view body =
      headEnd == std::string_view::npos ? std::string_view() : input.substr(headEnd + 4);

  HttpRequest request;
  if (!kestrava::https::ParseRequestHead(head, request)) return 0;
  CheckParsed(request, head);
  request.body = std::string(body);

  // The default service, and one with every injected fault switched on: a
  // refusal in a 200 reply, failing and cut pages (some for a count of
  // requests), Retry-After and a token good for two exports.
  Serve(SmallOptions(), request, 1);
  ServiceOptions faulty = SmallOptions();
  faulty.softRefusal = true;
  faulty.pageFaults = {
      {0, {{0, 1}}}, {1, {{503}}}, {2, {{429, 1}, {0, 1}}}, {3, {{500, 2}}}, {4, {{0}}}};
  faulty.retryAfter = {kestrava::sandbox::RetryAfterHint::Form::Date, 30};
  faulty.expireAfter = 2;
  Serve(std::move(faulty), request, 3);
  return 0;
}
