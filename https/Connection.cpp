#include "https/Connection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include "https/HttpsError.h"

namespace kestrava::https {

namespace {

using Clock = std::chrono::steady_clock;
// Longest single sleep inside a wait, so a cancel flag is seen quickly.
constexpr Milliseconds kSlice(20);

// Writing to a socket the peer has reset raises SIGPIPE, which would end
// the whole process; a server must survive a client that goes away.
void IgnoreBrokenPipes() {
  static std::once_flag once;
  std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

bool SetNonBlocking(int socket) {
  const int flags = fcntl(socket, F_GETFL, 0);
  return flags >= 0 && fcntl(socket, F_SETFL, flags | O_NONBLOCK) == 0;
}

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

std::string SystemError(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

// Waits for events on a socket until the deadline or the cancel flag.
IoStatus WaitOn(int socket, short events, Clock::time_point deadline,
                const std::atomic<bool>* cancel) {
  for (;;) {
    if (cancel && cancel->load()) return IoStatus::Cancelled;
    const auto now = Clock::now();
    if (now >= deadline) return IoStatus::TimedOut;
    const auto left = std::chrono::duration_cast<Milliseconds>(deadline - now) + Milliseconds(1);
    pollfd entry{socket, events, 0};
    const int ready = poll(&entry, 1, static_cast<int>(std::min(left, kSlice).count()));
    if (ready > 0) return IoStatus::Ok;  // includes POLLERR/POLLHUP: the next call reports it
    if (ready < 0 && errno != EINTR) return IoStatus::Failed;
  }
}

}  // namespace

const char* ToString(IoStatus status) noexcept {
  switch (status) {
    case IoStatus::Ok:
      return "ok";
    case IoStatus::Closed:
      return "closed";
    case IoStatus::TimedOut:
      return "timed out";
    case IoStatus::Cancelled:
      return "cancelled";
    case IoStatus::Failed:
      return "failed";
  }
  return "?";
}

Connection::Connection(int socket, const TlsContext* tls) : socket_(socket) {
  IgnoreBrokenPipes();
  SetNonBlocking(socket_);
  const int one = 1;
  setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  if (tls) {
    server_ = tls->IsServer();
    ssl_ = SSL_new(tls->Get());
    if (!ssl_ || SSL_set_fd(ssl_, socket_) != 1) {
      CloseSocket();
      throw HttpsError(OpenSslFailure("Cannot set up TLS on a connection"));
    }
    if (server_)
      SSL_set_accept_state(ssl_);
    else
      SSL_set_connect_state(ssl_);
  }
}

Connection::~Connection() {
  CloseSocket();
}

void Connection::CloseSocket() noexcept {
  if (ssl_) {
    SSL_free(ssl_);
    ssl_ = nullptr;
  }
  if (socket_ >= 0) {
    ::close(socket_);
    socket_ = -1;
  }
}

void Connection::SetServerName(const std::string& name) {
  if (!ssl_ || server_) return;
  const bool isAddress = name.find_first_not_of("0123456789.") == std::string::npos;
  if (!isAddress) SSL_set_tlsext_host_name(ssl_, name.c_str());
  if (SSL_get_SSL_CTX(ssl_) && (SSL_CTX_get_verify_mode(SSL_get_SSL_CTX(ssl_)) & SSL_VERIFY_PEER)) {
    if (isAddress) {
      X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), name.c_str());
    } else {
      SSL_set1_host(ssl_, name.c_str());
    }
  }
}

IoStatus Connection::Fail(std::string what) {
  lastError_ = std::move(what);
  return IoStatus::Failed;
}

IoStatus Connection::Wait(short events, Clock::time_point deadline) {
  const IoStatus status = WaitOn(socket_, events, deadline, cancel_);
  if (status == IoStatus::Failed) return Fail(SystemError("poll"));
  return status;
}

template <typename Operation>
IoStatus Connection::RunTls(Operation operation, Clock::time_point deadline, int* result) {
  for (;;) {
    ERR_clear_error();
    const int value = operation();
    if (value > 0) {
      if (result) *result = value;
      return IoStatus::Ok;
    }
    const int error = SSL_get_error(ssl_, value);
    IoStatus waited;
    if (error == SSL_ERROR_WANT_READ) {
      waited = Wait(POLLIN, deadline);
    } else if (error == SSL_ERROR_WANT_WRITE) {
      waited = Wait(POLLOUT, deadline);
    } else if (error == SSL_ERROR_ZERO_RETURN) {
      return IoStatus::Closed;
    } else if (error == SSL_ERROR_SYSCALL && ERR_peek_error() == 0 && errno == 0) {
      return IoStatus::Closed;  // end of stream without close_notify
    } else if (error == SSL_ERROR_SYSCALL) {
      if (errno == ECONNRESET || errno == EPIPE) return Fail(SystemError("TLS"));
      return Fail(OpenSslFailure(SystemError("TLS")));
    } else {
      return Fail(OpenSslFailure("TLS"));
    }
    if (waited != IoStatus::Ok) return waited;
  }
}

IoStatus Connection::Handshake(Milliseconds limit) {
  if (socket_ < 0) return Fail("Connection is closed");
  if (!ssl_) return IoStatus::Ok;
  errno = 0;
  return RunTls([this] { return SSL_do_handshake(ssl_); }, Clock::now() + limit, nullptr);
}

IoStatus Connection::ReadSome(std::string& out, std::size_t maxBytes, Milliseconds limit) {
  if (socket_ < 0) return Fail("Connection is closed");
  const auto deadline = Clock::now() + limit;
  const std::size_t start = out.size();
  out.resize(start + std::max<std::size_t>(maxBytes, 1));
  char* buffer = out.data() + start;
  const int want = static_cast<int>(std::min<std::size_t>(out.size() - start, 1 << 20));
  IoStatus status;
  int got = 0;
  if (ssl_) {
    errno = 0;
    status = RunTls([&] { return SSL_read(ssl_, buffer, want); }, deadline, &got);
  } else {
    for (;;) {
      const ssize_t n = ::recv(socket_, buffer, static_cast<std::size_t>(want), 0);
      if (n > 0) {
        got = static_cast<int>(n);
        status = IoStatus::Ok;
        break;
      }
      if (n == 0) {
        status = IoStatus::Closed;
        break;
      }
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        status = Fail(SystemError("recv"));
        break;
      }
      status = Wait(POLLIN, deadline);
      if (status != IoStatus::Ok) break;
    }
  }
  out.resize(start + (status == IoStatus::Ok ? static_cast<std::size_t>(got) : 0));
  return status;
}

IoStatus Connection::WriteAll(std::string_view data, Milliseconds limit) {
  if (socket_ < 0) return Fail("Connection is closed");
  const auto deadline = Clock::now() + limit;
  while (!data.empty()) {
    const int chunk = static_cast<int>(std::min<std::size_t>(data.size(), 1 << 20));
    int written = 0;
    if (ssl_) {
      errno = 0;
      const IoStatus status =
          RunTls([&] { return SSL_write(ssl_, data.data(), chunk); }, deadline, &written);
      if (status != IoStatus::Ok) return status;
    } else {
      const ssize_t n = ::send(socket_, data.data(), static_cast<std::size_t>(chunk), MSG_NOSIGNAL);
      if (n < 0) {
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return Fail(SystemError("send"));
        const IoStatus status = Wait(POLLOUT, deadline);
        if (status != IoStatus::Ok) return status;
        continue;
      }
      written = static_cast<int>(n);
    }
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return IoStatus::Ok;
}

void Connection::Close(Milliseconds drainLimit) {
  if (socket_ < 0) return;
  const auto deadline = Clock::now() + drainLimit;
  if (ssl_) {
    ERR_clear_error();
    // One close_notify is enough; the peer's answer is not awaited here.
    if (SSL_shutdown(ssl_) < 0) ERR_clear_error();
  }
  ::shutdown(socket_, SHUT_WR);
  char sink[4096];
  while (WaitOn(socket_, POLLIN, deadline, cancel_) == IoStatus::Ok) {
    const ssize_t n = ::recv(socket_, sink, sizeof sink, 0);
    if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) break;
  }
  CloseSocket();
}

void Connection::Reset() {
  if (socket_ < 0) return;
  linger option{1, 0};
  setsockopt(socket_, SOL_SOCKET, SO_LINGER, &option, sizeof option);
  if (ssl_) {
    SSL_set_quiet_shutdown(ssl_, 1);  // no close_notify: the reset is all the peer gets
  }
  CloseSocket();
}

long Connection::VerifyResult() const {
  return ssl_ ? SSL_get_verify_result(ssl_) : X509_V_OK;
}

Listener::Listener(std::uint16_t port) {
  IgnoreBrokenPipes();
  socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (socket_ < 0) throw HttpsError(SystemError("socket"));
  const int one = 1;
  setsockopt(socket_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address = Loopback(port);
  if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(socket_, 64) != 0 || !SetNonBlocking(socket_)) {
    const std::string message = SystemError("Cannot listen on 127.0.0.1:" + std::to_string(port));
    ::close(socket_);
    throw HttpsError(message);
  }
  socklen_t length = sizeof address;
  getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
}

Listener::~Listener() {
  if (socket_ >= 0) ::close(socket_);
}

std::unique_ptr<Connection> Listener::Accept(Milliseconds limit, const TlsContext* tls,
                                             const std::atomic<bool>* cancel) {
  const auto deadline = Clock::now() + limit;
  for (;;) {
    const int client = ::accept4(socket_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client >= 0) return std::make_unique<Connection>(client, tls);
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED)
      return nullptr;
    if (WaitOn(socket_, POLLIN, deadline, cancel) != IoStatus::Ok) return nullptr;
  }
}

std::unique_ptr<Connection> Connect(std::uint16_t port, const TlsContext* tls,
                                    const std::string& serverName, Milliseconds limit,
                                    std::string* error, long* verifyResult) {
  const auto deadline = Clock::now() + limit;
  auto setError = [&](std::string text) {
    if (error) *error = std::move(text);
    return nullptr;
  };
  const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (socket < 0) return setError(SystemError("socket"));
  auto connection = std::make_unique<Connection>(socket, tls);  // non-blocking from here
  sockaddr_in address = Loopback(port);
  if (::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (errno != EINPROGRESS) return setError(SystemError("connect"));
    if (WaitOn(socket, POLLOUT, deadline, nullptr) != IoStatus::Ok)
      return setError("connect: timed out");
    int socketError = 0;
    socklen_t length = sizeof socketError;
    getsockopt(socket, SOL_SOCKET, SO_ERROR, &socketError, &length);
    if (socketError != 0) return setError(std::string("connect: ") + std::strerror(socketError));
  }
  if (tls) {
    connection->SetServerName(serverName);
    const auto left = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now());
    const IoStatus status = connection->Handshake(std::max(left, Milliseconds(1)));
    if (verifyResult) *verifyResult = connection->VerifyResult();
    if (status != IoStatus::Ok)
      return setError(std::string("handshake ") + ToString(status) + ": " +
                      connection->LastError());
  }
  return connection;
}

std::uint16_t UnusedLoopbackPort() {
  const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (socket < 0) throw HttpsError(SystemError("socket"));
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  // Bound but never listening: connections to the port are refused while
  // it stays bound, and the system hands out ports in sequence, so the port
  // stays free for a good while after it is released.
  if (::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(socket);
    throw HttpsError(SystemError("Cannot find a free port"));
  }
  ::close(socket);
  return ntohs(address.sin_port);
}

}  // namespace kestrava::https
