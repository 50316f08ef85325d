#pragma once

// Owning pointers for the OpenSSL objects this library uses.

#include <memory>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace kestrava::https {

template <auto Free>
struct OpenSslDeleter {
  template <typename T>
  void operator()(T* p) const noexcept {
    Free(p);
  }
};

using KeyPtr = std::unique_ptr<EVP_PKEY, OpenSslDeleter<EVP_PKEY_free>>;
using X509Ptr = std::unique_ptr<X509, OpenSslDeleter<X509_free>>;
using BioPtr = std::unique_ptr<BIO, OpenSslDeleter<BIO_free_all>>;
using SslPtr = std::unique_ptr<SSL, OpenSslDeleter<SSL_free>>;
using SslCtxPtr = std::unique_ptr<SSL_CTX, OpenSslDeleter<SSL_CTX_free>>;
using ExtensionPtr = std::unique_ptr<X509_EXTENSION, OpenSslDeleter<X509_EXTENSION_free>>;

}  // namespace kestrava::https
