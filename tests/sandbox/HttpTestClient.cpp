#include "tests/sandbox/HttpTestClient.h"

#include "base/Ascii.h"
#include "https/HttpRequestReader.h"

namespace kestrava::sandbox::testing {

namespace {
constexpr std::chrono::milliseconds kLimit(10'000);
}

std::string HttpTestReply::Header(const std::string& name) const {
  std::size_t at = head.find("\r\n");
  while (at != std::string::npos && at + 2 < head.size()) {
    const std::size_t end = head.find("\r\n", at + 2);
    const std::string line = head.substr(at + 2, end - at - 2);
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos && EqualsIgnoreCase(line.substr(0, colon), name)) {
      std::size_t start = colon + 1;
      while (start < line.size() && line[start] == ' ') ++start;
      return line.substr(start);
    }
    at = end;
  }
  return {};
}

HttpTestClient::HttpTestClient(std::uint16_t port, const std::string& caFile,
                               const std::string& serverName)
    : context_(https::TlsContext::Client(caFile)), host_(serverName + ":" + std::to_string(port)) {
  connection_ = https::Connect(port, &context_, serverName, kLimit, &error_);
}

HttpTestReply HttpTestClient::Exchange(const std::string& method, const std::string& target,
                                       const std::vector<std::string>& headers,
                                       const std::string& body) {
  HttpTestReply reply;
  if (!connection_) return reply;
  std::string request = method + " " + target + " HTTP/1.1\r\nHost: " + host_ + "\r\n";
  for (const auto& header : headers) request += header + "\r\n";
  if (!body.empty() || method == "POST")
    request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  request += "\r\n" + body;
  if (connection_->WriteAll(request, kLimit) != https::IoStatus::Ok) return reply;

  std::size_t headEnd;
  while ((headEnd = pending_.find("\r\n\r\n")) == std::string::npos)
    if (connection_->ReadSome(pending_, 65536, kLimit) != https::IoStatus::Ok) return reply;
  reply.head = pending_.substr(0, headEnd);
  pending_.erase(0, headEnd + 4);
  if (reply.head.size() > 12) reply.status = std::stoi(reply.head.substr(9, 3));
  const std::string length = reply.Header("Content-Length");
  const std::size_t size = length.empty() ? 0 : std::stoul(length);
  while (pending_.size() < size) {
    if (connection_->ReadSome(pending_, 65536, kLimit) != https::IoStatus::Ok) {
      reply.bodyCut = true;
      break;
    }
  }
  reply.body = pending_.substr(0, size);
  pending_.erase(0, size);
  return reply;
}

}  // namespace kestrava::sandbox::testing
