#pragma once

#include <exception>
#include <string>

#include "base/Exception.h"

namespace kestrava {

// The only kind that leaves TRESTRequest::Execute for a failure of the
// exchange: "REST request failed: <inner message>" with the inner failure
// kept, or the status line text of a server error (500 and above).
class ERESTException : public Exception {
 public:
  explicit ERESTException(std::string message, std::exception_ptr inner = nullptr)
      : Exception(std::move(message)), inner_(std::move(inner)) {}
  const std::exception_ptr& InnerException() const noexcept { return inner_; }

 private:
  std::exception_ptr inner_;
};

// A final status above 299; never leaves Execute.
class EHTTPProtocolException : public Exception {
 public:
  EHTTPProtocolException(int errorCode, std::string errorMessage, std::string statusLine)
      : Exception(std::move(statusLine)),
        ErrorCode(errorCode),
        ErrorMessage(std::move(errorMessage)) {}
  int ErrorCode;
  std::string ErrorMessage;
};

class ENetException : public Exception {
 public:
  using Exception::Exception;
};
class ENetURIClientException : public ENetException {
 public:
  using ENetException::ENetException;
};
class ENetHTTPClientException : public ENetURIClientException {
 public:
  using ENetURIClientException::ENetURIClientException;
};
class ENetURIRequestException : public ENetException {
 public:
  using ENetException::ENetException;
};
class ENetHTTPRequestException : public ENetURIRequestException {
 public:
  using ENetURIRequestException::ENetURIRequestException;
};
class ENetURIResponseException : public ENetException {
 public:
  using ENetException::ENetException;
};
class ENetHTTPResponseException : public ENetURIResponseException {
 public:
  using ENetURIResponseException::ENetURIResponseException;
};
class ENetURIException : public ENetException {
 public:
  using ENetException::ENetException;
};
class ENetHTTPException : public ENetURIException {
 public:
  using ENetURIException::ENetURIException;
};
class ENetHTTPCertificateException : public ENetURIException {
 public:
  using ENetURIException::ENetURIException;
};
class EEncodingError : public Exception {
 public:
  using Exception::Exception;
};
class EZLibError : public Exception {
 public:
  using Exception::Exception;
};
class EZDecompressionError : public EZLibError {
 public:
  using EZLibError::EZLibError;
};

}  // namespace kestrava
