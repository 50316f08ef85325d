#pragma once

// Loopback TCP connections, plain or TLS, where every wait is bounded: each
// call takes a time limit and gives up when it passes, and a cancel flag set
// by another thread ends any wait within a few milliseconds.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "https/Tls.h"

typedef struct ssl_st SSL;

namespace kestrava::https {

using Milliseconds = std::chrono::milliseconds;

enum class IoStatus {
  Ok,
  Closed,     // the peer closed (end of stream)
  TimedOut,   // the time limit passed
  Cancelled,  // the cancel flag was set
  Failed,     // socket or TLS error (see LastError)
};

const char* ToString(IoStatus status) noexcept;

class Connection {
 public:
  // Takes ownership of a connected socket. With a TLS context, the TLS layer
  // is set up but the handshake is left to Handshake().
  Connection(int socket, const TlsContext* tls);
  ~Connection();  // closes the socket without any further exchange
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Stops every wait once *flag is true. The flag must outlive the connection.
  void SetCancelFlag(const std::atomic<bool>* flag) noexcept { cancel_ = flag; }

  // Client side only: the name sent as SNI and checked against the
  // certificate when the context verifies.
  void SetServerName(const std::string& name);

  // TLS handshake (plain connections: Ok at once).
  IoStatus Handshake(Milliseconds limit);
  // Appends what arrives (at most maxBytes) to out; waits until something does.
  IoStatus ReadSome(std::string& out, std::size_t maxBytes, Milliseconds limit);
  IoStatus WriteAll(std::string_view data, Milliseconds limit);
  // Orderly close: TLS close_notify, FIN, then reads what the peer still
  // sends (at most drainLimit) so the kernel does not answer it with a reset.
  void Close(Milliseconds drainLimit = Milliseconds(500));
  // Abortive close: SO_LINGER 0, the peer sees a TCP reset.
  void Reset();

  bool IsTls() const noexcept { return ssl_ != nullptr; }
  bool IsOpen() const noexcept { return socket_ >= 0; }
  // Client side: the certificate check result (X509_V_OK when it passed).
  long VerifyResult() const;
  const std::string& LastError() const noexcept { return lastError_; }

 private:
  using Clock = std::chrono::steady_clock;
  IoStatus Wait(short events, Clock::time_point deadline);
  template <typename Operation>
  IoStatus RunTls(Operation operation, Clock::time_point deadline, int* result);
  IoStatus Fail(std::string what);
  void CloseSocket() noexcept;

  int socket_ = -1;
  SSL* ssl_ = nullptr;
  bool server_ = true;
  const std::atomic<bool>* cancel_ = nullptr;
  std::string lastError_;
};

// A listening socket on 127.0.0.1.
class Listener {
 public:
  // port 0 lets the system choose. Throws HttpsError when it cannot listen.
  explicit Listener(std::uint16_t port = 0);
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  std::uint16_t Port() const noexcept { return port_; }
  // The next connection, or nullptr when none arrived within the limit (or
  // the cancel flag was set). tls may be null for plain TCP.
  std::unique_ptr<Connection> Accept(Milliseconds limit, const TlsContext* tls,
                                     const std::atomic<bool>* cancel = nullptr);

 private:
  int socket_ = -1;
  std::uint16_t port_ = 0;
};

// Connects to 127.0.0.1:port (bounded). With a client TLS context, the
// handshake is made too, sending serverName as SNI and, if the context
// verifies, checking it against the certificate. Returns nullptr with the
// reason in *error when connecting or the handshake fails; *verifyResult
// gets the certificate check result when there was a handshake.
std::unique_ptr<Connection> Connect(std::uint16_t port, const TlsContext* tls,
                                    const std::string& serverName, Milliseconds limit,
                                    std::string* error = nullptr, long* verifyResult = nullptr);

// A loopback port on which nothing listens (connections to it are refused).
std::uint16_t UnusedLoopbackPort();

}  // namespace kestrava::https
