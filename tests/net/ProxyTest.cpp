// The exchange through an HTTP proxy (the usual proxy variables): the
// proxy's answer to CONNECT is part of setting up the connection, not the
// reply, so failures before the tunnel carries the request are failures of
// the sending stage.

#include <cstdlib>
#include <optional>

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

class ProxyTest : public TrioTest {
 protected:
  // A plain scripted server stands in for the proxy.
  ProxyTest()
      : proxy_({.tls = false}),
        httpsProxy_("https_proxy", ("http://127.0.0.1:" + std::to_string(proxy_.Port())).c_str()),
        httpsProxyUpper_("HTTPS_PROXY", nullptr),
        allProxy_("ALL_PROXY", nullptr),
        allProxyLower_("all_proxy", nullptr),
        noProxy_("no_proxy", nullptr),
        noProxyUpper_("NO_PROXY", nullptr) {}

  ScriptedServer proxy_;

  bool InnerIsClientFailure() const {
    try {
      if (lastInner) std::rethrow_exception(lastInner);
    } catch (const ENetHTTPClientException&) {
      return true;
    } catch (...) {
    }
    return false;
  }

 private:
  ScopedEnv httpsProxy_, httpsProxyUpper_, allProxy_, allProxyLower_, noProxy_, noProxyUpper_;
};

TEST_F(ProxyTest, FailuresBeforeTheTunnelCarriesTheRequestAreSendingFailures) {
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
    proxy_.Enqueue(std::move(c.proxyReply));
    client.SetBaseURL("https://localhost:" + std::to_string(RefusedPort()) + "/v2/accounts");
    request.SetTimeout(300);
    EXPECT_EQ(Run(), c.message) << c.name;
    EXPECT_TRUE(InnerIsClientFailure()) << c.name;
    EXPECT_EQ(response.StatusCode(), 0) << c.name;
  }
  auto received = proxy_.Requests();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].method, "CONNECT");
}

}  // namespace
}  // namespace kestrava::testing
