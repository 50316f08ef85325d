#pragma once

#include <exception>
#include <string>

#include "base/Exception.h"

namespace kestrava {

// The step of an exchange at which it failed, as the failure that the
// transport throws carries it. A caller tells a connection that broke off
// (Sending, Receiving, Reading) from a reply it cannot use without asking
// for the kind of the failure.
enum class TExchangeStage {
  None,          // no step of the transport: the redirect limit, the reply text, ...
  Connecting,    // opening the connection for the URL's host
  Preparing,     // opening the request, its time-outs and headers
  Sending,       // resolving, connecting, the handshake, the request head and body
  Receiving,     // waiting for the reply head
  QueryingHead,  // reading a field of the reply head
  Reading,       // reading the reply body
  ServerError,   // a final reply of 500 and above
};

// The only kind that leaves TRESTRequest::Execute for a failure of the
// exchange: "REST request failed: <inner message>" with the inner failure
// and its stage kept, or the status line text of a server error (500 and
// above, stage ServerError).
class ERESTException : public Exception {
 public:
  explicit ERESTException(std::string message, std::exception_ptr inner = nullptr,
                          TExchangeStage stage = TExchangeStage::None,
                          bool certificateRejected = false)
      : Exception(std::move(message)),
        inner_(std::move(inner)),
        stage_(stage),
        certificateRejected_(certificateRejected) {}
  const std::exception_ptr& InnerException() const noexcept { return inner_; }
  TExchangeStage Stage() const noexcept { return stage_; }
  // The server's certificate failed verification (untrusted, expired, for
  // another host, revoked): a failure of the sending stage, but no passing
  // trouble of the connection that trying again could mend.
  bool CertificateRejected() const noexcept { return certificateRejected_; }

 private:
  std::exception_ptr inner_;
  TExchangeStage stage_;
  bool certificateRejected_;
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
  explicit ENetException(std::string message, TExchangeStage stage = TExchangeStage::None,
                         bool certificateRejected = false)
      : Exception(std::move(message)), stage_(stage), certificateRejected_(certificateRejected) {}
  TExchangeStage Stage() const noexcept { return stage_; }
  // See ERESTException::CertificateRejected.
  bool CertificateRejected() const noexcept { return certificateRejected_; }

 private:
  TExchangeStage stage_;
  bool certificateRejected_;
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
