// The exchange through an HTTP proxy (the usual proxy variables): the
// proxy's answer to CONNECT is part of setting up the connection, not the
// reply, so failures before the tunnel carries the request are failures of
// the sending stage.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <optional>
#include <thread>

#include "tests/net/NetFixture.h"

namespace kestrava::testing {
namespace {

using namespace std::chrono_literals;

// Sets an environment variable (or unsets it) for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// Points the proxy variables at a proxy on 127.0.0.1 for one scope.
class ProxyVariables {
 public:
  explicit ProxyVariables(std::uint16_t port)
      : httpsProxy_("https_proxy", ("http://127.0.0.1:" + std::to_string(port)).c_str()),
        httpsProxyUpper_("HTTPS_PROXY", nullptr),
        allProxy_("ALL_PROXY", nullptr),
        allProxyLower_("all_proxy", nullptr),
        noProxy_("no_proxy", nullptr),
        noProxyUpper_("NO_PROXY", nullptr) {}

 private:
  ScopedEnv httpsProxy_, httpsProxyUpper_, allProxy_, allProxyLower_, noProxy_, noProxyUpper_;
};

// A forwarding proxy on 127.0.0.1: answers a CONNECT to any port with 200,
// then carries the bytes both ways between the client and that port on
// 127.0.0.1. One tunnel at a time; every wait is bounded by a stop flag.
class TunnelProxy {
 public:
  TunnelProxy() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 4);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~TunnelProxy() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
  }
  TunnelProxy(const TunnelProxy&) = delete;
  TunnelProxy& operator=(const TunnelProxy&) = delete;

  std::uint16_t Port() const { return port_; }
  int Tunnels() const { return tunnels_; }

 private:
  // True when fd became readable within 50 ms.
  static bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 50) > 0;
  }

  void Serve() {
    while (!stop_) {
      if (!Readable(listener_)) continue;
      int client = ::accept(listener_, nullptr, nullptr);
      if (client < 0) continue;
      Tunnel(client);
      ::close(client);
    }
  }

  void Tunnel(int client) {
    std::string head;
    while (!stop_ && head.find("\r\n\r\n") == std::string::npos) {
      if (!Readable(client)) continue;
      char buffer[4096];
      ssize_t n = ::read(client, buffer, sizeof buffer);
      if (n <= 0) return;
      head.append(buffer, static_cast<std::size_t>(n));
    }
    auto colon = head.find(':');
    auto space = head.find(' ', colon);
    if (!head.starts_with("CONNECT ") || colon == std::string::npos) return;
    const int port = std::stoi(head.substr(colon + 1, space - colon - 1));
    int server = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      ++tunnels_;
      const std::string established = "HTTP/1.1 200 Connection established\r\n\r\n";
      if (::write(client, established.data(), established.size()) > 0) Pump(client, server);
    }
    ::close(server);
  }

  void Pump(int client, int server) {
    while (!stop_) {
      pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
      if (::poll(fds, 2, 50) <= 0) continue;
      for (int i = 0; i < 2; ++i) {
        if (fds[i].revents == 0) continue;
        char buffer[16384];
        ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
        if (n <= 0) return;
        if (::write(fds[1 - i].fd, buffer, static_cast<std::size_t>(n)) != n) return;
      }
    }
  }

  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> tunnels_{0};
  std::thread thread_;
};

class ProxyTest : public TrioTest {
 protected:
  bool InnerIs(bool wantClientFailure) const {
    try {
      if (lastInner) std::rethrow_exception(lastInner);
    } catch (const ENetHTTPClientException&) {
      return wantClientFailure;
    } catch (const ENetHTTPResponseException&) {
      return !wantClientFailure;
    } catch (...) {
    }
    return false;
  }
};

TEST_F(ProxyTest, FailuresBeforeTheTunnelCarriesTheRequestAreSendingFailures) {
  // A plain scripted server stands in for the proxy.
  ScriptedServer proxy({.tls = false});
  ProxyVariables variables(proxy.Port());
  struct Case {
    const char* name;
    Reply proxyReply;
    const char* message;
  } cases[] = {
      {"handshake through the tunnel never completes",
       Reply().Send("HTTP/1.1 200 Connection established\r\n\r\n").Pause(1500ms),
       "REST request failed: Error sending data: (28) Timeout was reached"},
      {"proxy refuses the tunnel",
       Reply().Send("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n").Close(),
       "REST request failed: Error sending data: (56) Failure when receiving data from the peer"},
  };
  for (auto& c : cases) {
    proxy.Enqueue(std::move(c.proxyReply));
    client.SetBaseURL("https://localhost:" + std::to_string(RefusedPort()) + "/v2/accounts");
    request.SetTimeout(300);
    EXPECT_EQ(Run(), c.message) << c.name;
    EXPECT_TRUE(InnerIs(true)) << c.name;
    EXPECT_EQ(response.StatusCode(), 0) << c.name;
  }
  auto received = proxy.Requests();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].method, "CONNECT");
}

TEST_F(ProxyTest, ThroughATunnelTheStagesAreThoseOfTheReply) {
  TunnelProxy proxy;
  ProxyVariables variables(proxy.Port());
  ScriptedServer server;
  ASSERT_EQ(Get(server, "/v1/auth/token",
                Reply(HttpReply(200, "Fine", {"Set-Cookie: sid=1"}, "{\"page\":0}")).Close()),
            "");
  EXPECT_EQ(response.StatusText(), "Fine");
  EXPECT_EQ(proxy.Tunnels(), 1);

  // Closed after that reply, so each request below opens a new tunnel.
  const std::string head =
      "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 20\r\n\r\n";
  struct Case {
    const char* name;
    Reply reply;
    const char* message;
    bool clientFailure;
  } cases[] = {
      {"time-out waiting for the head", Reply().Pause(1500ms).Send(HttpReply(200, "OK", {}, "")),
       "REST request failed: Error receiving data: (28) Timeout was reached", true},
      {"time-out reading the body", Reply().Send(head + "{\"page\":").Pause(1500ms),
       "REST request failed: Error reading data: (28) Timeout was reached", false},
  };
  request.SetTimeout(300);
  for (auto& c : cases) {
    EXPECT_EQ(Get(server, "/v2/accounts", std::move(c.reply)), c.message) << c.name;
    EXPECT_TRUE(InnerIs(c.clientFailure)) << c.name;
    EXPECT_EQ(response.Content(), "{\"page\":0}") << c.name;
  }
  // Every failing request opened a tunnel of its own.
  EXPECT_EQ(proxy.Tunnels(), 3);
  auto received = server.Requests();
  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(received[1].Header("Cookie"), "sid=1");
}

}  // namespace
}  // namespace kestrava::testing
