#include "https/Tls.h"

#include <openssl/pem.h>
#include <openssl/ssl.h>

#include "https/HttpsError.h"
#include "https/OpenSslPtr.h"

namespace kestrava::https {

void TlsContext::Free::operator()(SSL_CTX* context) const noexcept {
  SSL_CTX_free(context);
}

TlsContext::TlsContext(SSL_CTX* context, bool server, bool verifies)
    : context_(context), server_(server), verifies_(verifies) {}
TlsContext::TlsContext(TlsContext&&) noexcept = default;
TlsContext& TlsContext::operator=(TlsContext&&) noexcept = default;
TlsContext::~TlsContext() = default;

SSL_CTX* TlsContext::Get() const noexcept {
  return context_.get();
}

TlsContext TlsContext::Server(const Credentials& credentials) {
  SslCtxPtr context(SSL_CTX_new(TLS_server_method()));
  if (!context) throw HttpsError(OpenSslFailure("Cannot make a TLS server context"));
  SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION);
  SSL_CTX_set_options(context.get(), SSL_OP_IGNORE_UNEXPECTED_EOF);

  BioPtr certificateBio(BIO_new_mem_buf(credentials.certificatePem.data(),
                                        static_cast<int>(credentials.certificatePem.size())));
  X509Ptr certificate(certificateBio
                          ? PEM_read_bio_X509(certificateBio.get(), nullptr, nullptr, nullptr)
                          : nullptr);
  BioPtr keyBio(
      BIO_new_mem_buf(credentials.keyPem.data(), static_cast<int>(credentials.keyPem.size())));
  KeyPtr key(keyBio ? PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr) : nullptr);
  if (!certificate || !key || SSL_CTX_use_certificate(context.get(), certificate.get()) != 1 ||
      SSL_CTX_use_PrivateKey(context.get(), key.get()) != 1 ||
      SSL_CTX_check_private_key(context.get()) != 1)
    throw HttpsError(OpenSslFailure("Cannot load the server certificate"));
  return TlsContext(context.release(), true, false);
}

TlsContext TlsContext::Client(const std::string& caFile) {
  SslCtxPtr context(SSL_CTX_new(TLS_client_method()));
  if (!context) throw HttpsError(OpenSslFailure("Cannot make a TLS client context"));
  SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION);
  SSL_CTX_set_options(context.get(), SSL_OP_IGNORE_UNEXPECTED_EOF);
  const bool verifies = !caFile.empty();
  if (verifies) {
    if (SSL_CTX_load_verify_locations(context.get(), caFile.c_str(), nullptr) != 1)
      throw HttpsError(OpenSslFailure("Cannot load CA file " + caFile));
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);
  } else {
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_NONE, nullptr);
  }
  return TlsContext(context.release(), false, verifies);
}

}  // namespace kestrava::https
