#include "https/Certificates.h"

#include <unistd.h>

#include <ctime>
#include <fstream>
#include <system_error>
#include <thread>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rand.h>

#include "https/HttpsError.h"
#include "https/OpenSslPtr.h"

namespace kestrava::https {

namespace {

constexpr long kSecondsPerDay = 24L * 60 * 60;

KeyPtr MakeKey() {
  KeyPtr key(EVP_EC_gen("P-256"));
  if (!key) throw HttpsError(OpenSslFailure("Cannot make an EC key"));
  return key;
}

std::string ToPem(X509* certificate) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || PEM_write_bio_X509(bio.get(), certificate) != 1)
    throw HttpsError(OpenSslFailure("Cannot write a certificate"));
  char* data = nullptr;
  long size = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(size));
}

std::string ToPem(EVP_PKEY* key) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1)
    throw HttpsError(OpenSslFailure("Cannot write a private key"));
  char* data = nullptr;
  long size = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(size));
}

X509Ptr CertificateFromPem(const std::string& pem) {
  BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  X509Ptr certificate(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr);
  if (!certificate) throw HttpsError(OpenSslFailure("Cannot read a certificate"));
  return certificate;
}

KeyPtr KeyFromPem(const std::string& pem) {
  BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  KeyPtr key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
  if (!key) throw HttpsError(OpenSslFailure("Cannot read a private key"));
  return key;
}

void SetRandomSerial(X509* certificate) {
  unsigned char bytes[16];
  if (RAND_bytes(bytes, sizeof bytes) != 1) throw HttpsError(OpenSslFailure("No random bytes"));
  bytes[0] &= 0x7f;  // positive
  BIGNUM* number = BN_bin2bn(bytes, sizeof bytes, nullptr);
  ASN1_INTEGER* serial = number ? BN_to_ASN1_INTEGER(number, nullptr) : nullptr;
  BN_free(number);
  if (!serial || X509_set_serialNumber(certificate, serial) != 1) {
    ASN1_INTEGER_free(serial);
    throw HttpsError(OpenSslFailure("Cannot set a serial number"));
  }
  ASN1_INTEGER_free(serial);
}

void SetCommonName(X509_NAME* name, const std::string& commonName) {
  if (X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8,
                                 reinterpret_cast<const unsigned char*>("Kestrava test"), -1, -1,
                                 0) != 1 ||
      X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                 reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1,
                                 0) != 1)
    throw HttpsError(OpenSslFailure("Cannot set a certificate name"));
}

void AddExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  ExtensionPtr extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str()));
  if (!extension || X509_add_ext(certificate, extension.get(), -1) != 1)
    throw HttpsError(OpenSslFailure("Cannot add certificate extension " + value));
}

// A certificate with everything but extensions and signature.
X509Ptr NewCertificate(EVP_PKEY* subjectKey, const std::string& commonName, long notBeforeOffset,
                       long notAfterOffset) {
  X509Ptr certificate(X509_new());
  if (!certificate || X509_set_version(certificate.get(), 2) != 1)
    throw HttpsError(OpenSslFailure("Cannot make a certificate"));
  SetRandomSerial(certificate.get());
  if (!X509_gmtime_adj(X509_getm_notBefore(certificate.get()), notBeforeOffset) ||
      !X509_gmtime_adj(X509_getm_notAfter(certificate.get()), notAfterOffset) ||
      X509_set_pubkey(certificate.get(), subjectKey) != 1)
    throw HttpsError(OpenSslFailure("Cannot set certificate validity or key"));
  SetCommonName(X509_get_subject_name(certificate.get()), commonName);
  return certificate;
}

void Sign(X509* certificate, EVP_PKEY* issuerKey) {
  if (X509_sign(certificate, issuerKey, EVP_sha256()) <= 0)
    throw HttpsError(OpenSslFailure("Cannot sign a certificate"));
}

}  // namespace

struct CertificateAuthority::Impl {
  KeyPtr key;
  X509Ptr certificate;
  Credentials pem;
};

CertificateAuthority::CertificateAuthority(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
CertificateAuthority::CertificateAuthority(CertificateAuthority&&) noexcept = default;
CertificateAuthority& CertificateAuthority::operator=(CertificateAuthority&&) noexcept = default;
CertificateAuthority::~CertificateAuthority() = default;

CertificateAuthority CertificateAuthority::Create(const std::string& commonName, int validDays) {
  auto impl = std::make_unique<Impl>();
  impl->key = MakeKey();
  impl->certificate =
      NewCertificate(impl->key.get(), commonName, -kSecondsPerDay, validDays * kSecondsPerDay);
  X509* certificate = impl->certificate.get();
  if (X509_set_issuer_name(certificate, X509_get_subject_name(certificate)) != 1)
    throw HttpsError(OpenSslFailure("Cannot set the issuer name"));
  AddExtension(certificate, certificate, NID_basic_constraints, "critical,CA:TRUE");
  AddExtension(certificate, certificate, NID_key_usage, "critical,keyCertSign,cRLSign");
  AddExtension(certificate, certificate, NID_subject_key_identifier, "hash");
  Sign(certificate, impl->key.get());
  impl->pem = {ToPem(certificate), ToPem(impl->key.get())};
  return CertificateAuthority(std::move(impl));
}

CertificateAuthority CertificateAuthority::FromPem(const Credentials& credentials) {
  auto impl = std::make_unique<Impl>();
  impl->certificate = CertificateFromPem(credentials.certificatePem);
  impl->key = KeyFromPem(credentials.keyPem);
  if (X509_check_private_key(impl->certificate.get(), impl->key.get()) != 1)
    throw HttpsError(OpenSslFailure("The CA key does not match its certificate"));
  impl->pem = credentials;
  return CertificateAuthority(std::move(impl));
}

const Credentials& CertificateAuthority::Pem() const noexcept {
  return impl_->pem;
}

Credentials CertificateAuthority::Issue(const ServerCertificateRequest& request) const {
  KeyPtr key = MakeKey();
  long notBefore = request.expired ? -30 * kSecondsPerDay : -kSecondsPerDay;
  long notAfter = request.expired ? -kSecondsPerDay : request.validDays * kSecondsPerDay;
  if (request.notYetValid) {
    notBefore = 30 * kSecondsPerDay;
    notAfter = notBefore + request.validDays * kSecondsPerDay;
  }
  const std::string commonName = request.dnsNames.empty() ? "127.0.0.1" : request.dnsNames.front();
  X509Ptr certificate = NewCertificate(key.get(), commonName, notBefore, notAfter);
  X509* issuer = request.selfSigned ? certificate.get() : impl_->certificate.get();
  if (X509_set_issuer_name(certificate.get(), X509_get_subject_name(issuer)) != 1)
    throw HttpsError(OpenSslFailure("Cannot set the issuer name"));

  std::string names;
  for (const auto& name : request.dnsNames) names += (names.empty() ? "DNS:" : ",DNS:") + name;
  for (const auto& ip : request.ipAddresses) names += (names.empty() ? "IP:" : ",IP:") + ip;

  AddExtension(certificate.get(), issuer, NID_basic_constraints, "critical,CA:FALSE");
  if (request.wrongUsage) {
    AddExtension(certificate.get(), issuer, NID_key_usage, "critical,keyAgreement");
    AddExtension(certificate.get(), issuer, NID_ext_key_usage, "clientAuth");
  } else {
    AddExtension(certificate.get(), issuer, NID_key_usage, "critical,digitalSignature");
    AddExtension(certificate.get(), issuer, NID_ext_key_usage, "serverAuth");
  }
  if (!names.empty()) AddExtension(certificate.get(), issuer, NID_subject_alt_name, names);
  AddExtension(certificate.get(), issuer, NID_subject_key_identifier, "hash");
  AddExtension(certificate.get(), issuer, NID_authority_key_identifier, "keyid:always");
  Sign(certificate.get(), request.selfSigned ? key.get() : impl_->key.get());
  return {ToPem(certificate.get()), ToPem(key.get())};
}

bool CertificateAuthority::StillFits(const Credentials& server,
                                     const std::vector<std::string>& dnsNames,
                                     int minimumDaysLeft) const {
  try {
    X509Ptr certificate = CertificateFromPem(server.certificatePem);
    KeyPtr key = KeyFromPem(server.keyPem);
    if (X509_check_private_key(certificate.get(), key.get()) != 1) return false;
    if (X509_verify(certificate.get(), impl_->key.get()) != 1) return false;
    time_t horizon = time(nullptr) + static_cast<time_t>(minimumDaysLeft) * kSecondsPerDay;
    if (X509_cmp_time(X509_get0_notAfter(certificate.get()), &horizon) <= 0) return false;
    if (X509_cmp_current_time(X509_get0_notBefore(certificate.get())) > 0) return false;
    for (const auto& name : dnsNames)
      if (X509_check_host(certificate.get(), name.c_str(), name.size(), 0, nullptr) != 1)
        return false;
    return true;
  } catch (const HttpsError&) {
    ERR_clear_error();
    return false;
  }
}

void WriteTextFile(const std::filesystem::path& path, const std::string& text,
                   std::filesystem::perms permissions) {
  // Written beside and renamed over, so a reader sees the old or the new
  // text, never half of one.
  const std::filesystem::path temporary =
      path.string() + ".tmp-" + std::to_string(static_cast<long>(getpid())) + "-" +
      std::to_string(std::hash<std::thread::id>{}(std::this_thread::get_id()));
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) throw HttpsError("Cannot write " + temporary.string());
    std::error_code error;
    std::filesystem::permissions(temporary, permissions, error);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) throw HttpsError("Cannot write " + temporary.string());
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) {
    std::filesystem::remove(temporary, error);
    throw HttpsError("Cannot write " + path.string());
  }
}

std::string ReadTextFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw HttpsError("Cannot read " + path.string());
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw HttpsError("Cannot read " + path.string());
  return text;
}

void WritePemFiles(const std::filesystem::path& folder, const std::string& name,
                   const Credentials& credentials) {
  using std::filesystem::perms;
  WriteTextFile(folder / (name + ".pem"), credentials.certificatePem,
                perms::owner_read | perms::owner_write | perms::group_read | perms::others_read);
  WriteTextFile(folder / (name + "-key.pem"), credentials.keyPem,
                perms::owner_read | perms::owner_write);
}

}  // namespace kestrava::https
