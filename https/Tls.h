#pragma once

// TLS settings for both ends of a connection.

#include <memory>
#include <string>

#include "https/Certificates.h"

typedef struct ssl_ctx_st SSL_CTX;

namespace kestrava::https {

class TlsContext {
 public:
  // A server presenting the given certificate and key.
  static TlsContext Server(const Credentials& credentials);
  // A client that trusts only the CA certificates in caFile and checks the
  // peer's certificate and host name. An empty caFile makes a client that
  // checks nothing (for reaching a server whose certificate is meant to fail).
  static TlsContext Client(const std::string& caFile);

  TlsContext(TlsContext&&) noexcept;
  TlsContext& operator=(TlsContext&&) noexcept;
  ~TlsContext();

  SSL_CTX* Get() const noexcept;
  bool IsServer() const noexcept { return server_; }
  bool Verifies() const noexcept { return verifies_; }

 private:
  TlsContext(SSL_CTX* context, bool server, bool verifies);
  struct Free {
    void operator()(SSL_CTX* context) const noexcept;
  };
  std::unique_ptr<SSL_CTX, Free> context_;
  bool server_ = false;
  bool verifies_ = false;
};

}  // namespace kestrava::https
