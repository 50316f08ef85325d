#pragma once

// The sandbox of kestrava-demo: kestrava-sandbox started as a child on a
// free loopback port with a fresh state folder (a private temporary folder),
// and stopped, its folder removed, when the object goes. The child is told
// to end with its parent, so even a demo killed outright leaves no sandbox
// running.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace kestrava {

// Why the sandbox could not start, for a message.
class EDemoSandboxError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TDemoSandbox {
 public:
  // Starts the sandbox found beside `demoPath` (installed: the same folder;
  // built: ../sandbox), else on PATH, and waits up to `limit` for its ready
  // line. `breakFd` (or -1): a descriptor that, once readable, breaks the
  // wait off. Throws EDemoSandboxError.
  TDemoSandbox(const std::filesystem::path& demoPath, std::chrono::milliseconds limit,
               int breakFd = -1);
  ~TDemoSandbox();
  TDemoSandbox(const TDemoSandbox&) = delete;
  TDemoSandbox& operator=(const TDemoSandbox&) = delete;

  // "localhost:PORT", the production host of the sandbox.
  const std::string& Host() const noexcept { return host_; }
  // Its certificate authority, for SSL_CERT_FILE.
  const std::string& CaFile() const noexcept { return caFile_; }
  pid_t Pid() const noexcept { return pid_; }

 private:
  void Stop() noexcept;

  std::filesystem::path folder_;
  pid_t pid_ = -1;
  std::string host_;
  std::string caFile_;
};

// The sandbox program that the demo at `demoPath` starts: the first of the
// candidates that is an executable file, or the bare name for PATH.
std::string SandboxProgram(const std::filesystem::path& demoPath);

}  // namespace kestrava
