#pragma once

// Certificates made at run time: a CA and server certificates it signs, all
// with EC P-256 keys (fast to make). Nothing here is ever committed to disk
// except where a caller writes the PEM texts.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace kestrava::https {

// A certificate and its private key, both as PEM text.
struct Credentials {
  std::string certificatePem;
  std::string keyPem;
};

// What a server certificate says. The defaults make a sound one.
struct ServerCertificateRequest {
  std::vector<std::string> dnsNames{"localhost"};
  std::vector<std::string> ipAddresses{"127.0.0.1"};
  int validDays = 825;
  bool expired = false;      // validity ended a day ago
  bool notYetValid = false;  // validity begins in a month
  bool wrongUsage = false;   // for client authentication only, no server use
  bool selfSigned = false;   // signed with its own key, by no CA
};

class CertificateAuthority {
 public:
  // A new self-signed CA with the given common name.
  static CertificateAuthority Create(const std::string& commonName, int validDays = 3650);
  // A CA from earlier PEM texts (throws HttpsError if unreadable or not matching).
  static CertificateAuthority FromPem(const Credentials& credentials);

  CertificateAuthority(CertificateAuthority&&) noexcept;
  CertificateAuthority& operator=(CertificateAuthority&&) noexcept;
  ~CertificateAuthority();

  const Credentials& Pem() const noexcept;
  Credentials Issue(const ServerCertificateRequest& request) const;

  // True when the server credentials were signed by this CA, their key
  // matches, they stay valid for at least minimumDaysLeft more days and
  // cover every one of the DNS names. False for unreadable texts.
  bool StillFits(const Credentials& server, const std::vector<std::string>& dnsNames,
                 int minimumDaysLeft = 1) const;

 private:
  struct Impl;
  explicit CertificateAuthority(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// Writes text to a file with the given permission bits (0600 for keys),
// replacing it. Throws HttpsError on failure.
void WriteTextFile(const std::filesystem::path& path, const std::string& text,
                   std::filesystem::perms permissions);
// Reads a whole file; throws HttpsError when it cannot be read.
std::string ReadTextFile(const std::filesystem::path& path);

// Writes <folder>/<name>.pem and <folder>/<name>-key.pem.
void WritePemFiles(const std::filesystem::path& folder, const std::string& name,
                   const Credentials& credentials);

}  // namespace kestrava::https
