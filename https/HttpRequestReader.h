#pragma once

// Reads HTTP/1.1 requests one after another from a connection, keeping the
// bytes that already belong to the next request.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "base/HeaderList.h"
#include "https/Connection.h"

namespace kestrava::https {

struct HttpRequest {
  std::string requestLine;  // "GET /path?query HTTP/1.1"
  std::string method, target, version;
  HeaderList headers;  // in order received
  std::string body;    // decoded when chunked
  bool chunked = false;

  // First value of the header with that name (case-insensitive), or empty.
  std::string Header(std::string_view name) const { return headers.Value(name); }
  bool HasHeader(std::string_view name) const { return headers.Has(name); }
  int HeaderCount(std::string_view name) const { return static_cast<int>(headers.Count(name)); }
};

enum class ReadStatus {
  Ok,
  Closed,     // the peer closed before the first byte of a request
  TimedOut,   // nothing complete arrived within the limit
  Cancelled,  // the connection's cancel flag was set
  Malformed,  // not an HTTP/1.x request (answer 400 and close)
  TooLarge,   // headers or body over the limits (answer 413/431 and close)
  Failed,     // connection error, or closed in the middle of a request
};

struct RequestLimits {
  std::size_t maxHeaderBytes = 64 * 1024;
  std::size_t maxBodyBytes = 32 * 1024 * 1024;
};

class HttpRequestReader {
 public:
  explicit HttpRequestReader(Connection& connection, RequestLimits limits = {})
      : connection_(connection), limits_(limits) {}

  // When set, a request with "Expect: 100-continue" whose body has not yet
  // arrived is answered "HTTP/1.1 100 Continue" first, as servers do.
  void AnswerExpectContinue(bool answer) noexcept { answerContinue_ = answer; }

  // Runs `hook` each time the head of a request has been read whole, before
  // its body is read (a server tells a client at work from an idle one).
  void OnHeadRead(std::function<void()> hook) { onHeadRead_ = std::move(hook); }

  // Waits at most idleLimit for the request to start and at most readLimit
  // between later pieces of it.
  ReadStatus Read(HttpRequest& request, Milliseconds idleLimit, Milliseconds readLimit);

 private:
  ReadStatus Fill(Milliseconds limit, bool inRequest);
  ReadStatus ReadHead(HttpRequest& request, Milliseconds idleLimit, Milliseconds readLimit);
  ReadStatus ReadChunkedBody(HttpRequest& request, Milliseconds readLimit);
  ReadStatus ReadLine(std::string& line, Milliseconds readLimit);

  Connection& connection_;
  RequestLimits limits_;
  bool answerContinue_ = false;
  std::function<void()> onHeadRead_;
  std::string buffer_;
};

// Splits the head of a request (everything before the blank line, without
// it) into request line and headers. False when it is not well-formed.
bool ParseRequestHead(std::string_view head, HttpRequest& request);

}  // namespace kestrava::https
