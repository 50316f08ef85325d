#pragma once

#include <string>

#include "base/Exception.h"

namespace kestrava::https {

// A certificate, key, socket or TLS set-up step failed. The message names the
// step and carries OpenSSL's own reason when there is one.
class HttpsError : public Exception {
 public:
  using Exception::Exception;
};

// "<what>: <OpenSSL error queue text>", clearing the queue.
std::string OpenSslFailure(const std::string& what);

}  // namespace kestrava::https
