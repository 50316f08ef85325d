#include "tests/support/TestPki.h"

#include <stdlib.h>

#include <system_error>
#include <vector>

#include "https/HttpsError.h"

namespace kestrava::testing {

namespace {

std::filesystem::path MakeTemporaryFolder() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "kestrava-test-ca-XXXXXX").string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (!mkdtemp(name.data())) throw https::HttpsError("Cannot make a folder for the test CA");
  return std::filesystem::path(name.data());
}

}  // namespace

const TestPki& TestPki::Get() {
  static const TestPki pki;
  return pki;
}

TestPki::TestPki() : folder_(MakeTemporaryFolder()) {
  const auto ca = https::CertificateAuthority::Create("Kestrava Test CA");
  const auto stranger =
      https::CertificateAuthority::Create("Kestrava Test CA");  // same name, other key

  https::ServerCertificateRequest trusted;
  trusted.dnsNames.assign(std::begin(kTrustedNames), std::end(kTrustedNames));
  trusted_ = ca.Issue(trusted);
  unknownIssuer_ = stranger.Issue(trusted);

  https::ServerCertificateRequest otherHost;
  otherHost.dnsNames = {"other-host.example"};
  otherHost.ipAddresses.clear();
  wrongHost_ = ca.Issue(otherHost);

  https::ServerCertificateRequest expired = trusted;
  expired.expired = true;
  expired_ = ca.Issue(expired);

  https::ServerCertificateRequest notYetValid = trusted;
  notYetValid.notYetValid = true;
  notYetValid_ = ca.Issue(notYetValid);

  https::ServerCertificateRequest selfSigned = trusted;
  selfSigned.selfSigned = true;
  selfSigned_ = ca.Issue(selfSigned);

  https::ServerCertificateRequest wrongUsage = trusted;
  wrongUsage.wrongUsage = true;
  wrongUsage_ = ca.Issue(wrongUsage);

  https::WritePemFiles(folder_, "ca", ca.Pem());
  caFile_ = (folder_ / "ca.pem").string();
}

TestPki::~TestPki() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

const https::Credentials& TestPki::Server(ServerCertificate kind) const {
  switch (kind) {
    case ServerCertificate::Trusted:
      return trusted_;
    case ServerCertificate::UnknownIssuer:
      return unknownIssuer_;
    case ServerCertificate::WrongHost:
      return wrongHost_;
    case ServerCertificate::Expired:
      return expired_;
    case ServerCertificate::NotYetValid:
      return notYetValid_;
    case ServerCertificate::WrongUsage:
      return wrongUsage_;
    case ServerCertificate::SelfSigned:
      return selfSigned_;
  }
  return trusted_;
}

const std::string& TestCaFile() {
  return TestPki::Get().CaFile();
}

void TrustTestCa() {
  setenv("SSL_CERT_FILE", TestCaFile().c_str(), 1);
}

}  // namespace kestrava::testing
