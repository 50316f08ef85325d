#pragma once

// A small HTTPS client for the sandbox tests: writes a request and reads
// one reply (Content-Length bodies), every wait bounded.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "https/Connection.h"

namespace kestrava::sandbox::testing {

struct HttpTestReply {
  int status = 0;
  std::string head;  // status line and headers
  std::string body;
  // The connection ended before Content-Length bytes of body came; body
  // holds those that did.
  bool bodyCut = false;
  std::string Header(const std::string& name) const;
};

class HttpTestClient {
 public:
  // Connects to 127.0.0.1:port, trusting only caFile, checking serverName.
  HttpTestClient(std::uint16_t port, const std::string& caFile, const std::string& serverName);
  bool Connected() const { return connection_ != nullptr; }
  const std::string& Error() const { return error_; }

  // Sends the request (Host = serverName:port) and reads the reply; status 0
  // when no head came.
  HttpTestReply Exchange(const std::string& method, const std::string& target,
                         const std::vector<std::string>& headers = {},
                         const std::string& body = {});

 private:
  https::TlsContext context_;
  std::unique_ptr<https::Connection> connection_;
  std::string host_;
  std::string error_;
  std::string pending_;
};

}  // namespace kestrava::sandbox::testing
