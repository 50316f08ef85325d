#pragma once

// The sandbox as a running HTTPS server on 127.0.0.1: its certificates in a
// state folder, a listener, and a thread per connection that serves
// requests (kept alive) from a SandboxService.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "sandbox/SandboxService.h"
#include "sandbox/StateFolder.h"

namespace kestrava::sandbox {

struct SandboxOptions {
  std::uint16_t port = 0;                // 0: a free port
  std::filesystem::path stateDir;        // empty: DefaultStateDir()
  std::chrono::milliseconds latency{0};  // added before every reply
  ServiceOptions service;
  // Connections served at once. At the limit, a new one takes the place
  // of the connection that has been idle longest (no complete request head
  // since it opened or since its last reply) when that is idleGrace or
  // more; otherwise the new one is closed at once.
  int maxConnections = 64;
  std::chrono::milliseconds idleGrace{5000};
  // One line per request ("GET /path -> 200"); none when empty.
  std::function<void(const std::string&)> log;
};

// $XDG_RUNTIME_DIR/kestrava-sandbox, or /tmp/kestrava-sandbox-<uid>.
std::filesystem::path DefaultStateDir();

// The CA and server certificate in the state folder: reused when present
// and still fitting, made (and written) otherwise. Returns the server's
// credentials. Throws https::HttpsError for a file in the folder that is no
// regular file of this user.
struct SandboxCertificates {
  std::filesystem::path caFile;
  https::Credentials server;
  bool madeNewCa = false;
};
SandboxCertificates LoadOrMakeCertificates(const StateFolder& folder);

// Names on the sandbox's server certificate.
inline const std::vector<std::string> kSandboxNames{"localhost", "api.test.localhost"};

class SandboxServer {
 public:
  // Opens the state folder (StateFolder), loads or makes the certificates
  // and starts listening. Throws https::HttpsError (state folder,
  // certificates, port in use).
  explicit SandboxServer(SandboxOptions options);
  ~SandboxServer();
  SandboxServer(const SandboxServer&) = delete;
  SandboxServer& operator=(const SandboxServer&) = delete;

  std::uint16_t Port() const noexcept;
  const std::filesystem::path& CaFile() const noexcept;
  // "kestrava-sandbox: host localhost:PORT ca /path/ca.pem"
  std::string ReadyLine() const;

  // Serves until stop becomes true, then closes every connection (within a
  // fraction of a second) and returns.
  void Run(const std::atomic<bool>& stop);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kestrava::sandbox
