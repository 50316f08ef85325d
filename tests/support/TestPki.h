#pragma once

// The certificates of the test process, made once on first use in a
// temporary folder that is removed when the process ends.

#include <filesystem>
#include <string>

#include "https/Certificates.h"
#include "tests/support/ScriptedServer.h"

namespace kestrava::testing {

// The names the trusted server certificate is issued for.
inline constexpr const char* kTrustedNames[] = {"localhost", "api.test.localhost", "*.localhost",
                                                "*.test.localhost"};

class TestPki {
 public:
  static const TestPki& Get();

  const std::filesystem::path& Folder() const noexcept { return folder_; }
  const std::string& CaFile() const noexcept { return caFile_; }
  const https::Credentials& Server(ServerCertificate kind) const;

  TestPki(const TestPki&) = delete;
  TestPki& operator=(const TestPki&) = delete;
  ~TestPki();

 private:
  TestPki();
  std::filesystem::path folder_;
  std::string caFile_;
  https::Credentials trusted_, unknownIssuer_, wrongHost_, expired_, notYetValid_, wrongUsage_,
      selfSigned_;
};

}  // namespace kestrava::testing
