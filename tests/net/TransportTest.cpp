// The transport handle: kept connections, the trust store variables.

#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include <unistd.h>

#include "tests/net/NetFixture.h"

namespace kestrava::testing {
namespace {

using TransportTest = TrioTest;

TEST_F(TransportTest, OneConnectionAndOneHandshakeServeManyExecutions) {
  ScriptedServer server;
  request.AddParameter("Authorization", "Bearer t", pkHTTPHEADER,
                       static_cast<unsigned>(poDoNotEncode));
  for (int page = 0; page < 5; ++page) {
    request.SetMethod(page == 0 ? rmPOST : rmGET);
    ASSERT_EQ(Get(server, "/v2/transactions?page=" + std::to_string(page),
                  Reply(HttpReply(200, "OK", {}, "{\"page\":" + std::to_string(page) + "}"))),
              "");
  }
  EXPECT_EQ(server.Requests().size(), 5u);
  EXPECT_EQ(server.ConnectionsAccepted(), 1);
  EXPECT_EQ(server.HandshakesCompleted(), 1);
  for (const auto& r : server.Requests()) EXPECT_EQ(r.connection, 0);
}

TEST_F(TransportTest, ServerClosingAKeptConnectionIsNoFailure) {
  ScriptedServer server;
  ASSERT_EQ(Get(server, "/a", Reply(HttpReply(200, "OK", {}, "1")).Close()), "");
  ASSERT_EQ(Get(server, "/b", Reply(HttpReply(200, "OK", {}, "2"))), "");
  EXPECT_EQ(response.Content(), "2");
  EXPECT_EQ(server.ConnectionsAccepted(), 2);
}

TEST_F(TransportTest, ServerThatKeepsClosingGetsOneFreshAttemptOnly) {
  ScriptedServer server;
  ASSERT_EQ(Get(server, "/a", Reply(HttpReply(200, "OK", {}, "1"))), "");
  for (int i = 0; i < 5; ++i) server.Enqueue(Reply().Close());
  EXPECT_EQ(Get(server, "/b", Reply().Close()),
            "REST request failed: Error receiving data: (52) Server returned nothing (no headers, "
            "no data)");
  // The kept connection, then one fresh connection: never more.
  EXPECT_EQ(server.Requests().size(), 3u);
  EXPECT_EQ(server.ConnectionsAccepted(), 2);
  EXPECT_EQ(response.Content(), "1");
}

// Sets an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST_F(TransportTest, TrustStoreVariablesAreReadAtEveryExecute) {
  ScriptedServer server;
  {
    // Without the test CA the system store does not trust the server (60);
    // a machine without a CA bundle at all fails on the store itself (77).
    ScopedEnv file("SSL_CERT_FILE", nullptr);
    ScopedEnv dir("SSL_CERT_DIR", "/nonexistent-kestrava-dir");
    const std::string message = Get(server, "/", Reply(HttpReply(200, "OK", {}, "")));
    EXPECT_TRUE(message ==
                    "REST request failed: Error sending data: (60) SSL peer certificate or SSH "
                    "remote key was not OK" ||
                message.starts_with("REST request failed: Error sending data: (77) "))
        << message;
    EXPECT_TRUE(server.Requests().empty());
  }
  server.Enqueue(Reply(HttpReply(200, "OK", {}, "")));
  EXPECT_EQ(Run(), "");
}

// A hashed certificate folder holding the test CA, as SSL_CERT_DIR expects.
std::filesystem::path HashedCaFolder() {
  std::FILE* file = std::fopen(TestCaFile().c_str(), "r");
  if (file == nullptr) return {};
  X509* ca = PEM_read_X509(file, nullptr, nullptr, nullptr);
  std::fclose(file);
  if (ca == nullptr) return {};
  char name[32];
  std::snprintf(name, sizeof name, "%08lx.0", X509_subject_name_hash(ca));
  X509_free(ca);
  auto folder =
      std::filesystem::temp_directory_path() / ("kestrava-net-cadir-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  std::filesystem::copy_file(TestCaFile(), folder / name,
                             std::filesystem::copy_options::overwrite_existing);
  return folder;
}

TEST_F(TransportTest, CertificateFolderVariableIsHonoured) {
  ScriptedServer server;
  const auto folder = HashedCaFolder();
  ASSERT_FALSE(folder.empty());
  {
    ScopedEnv file("SSL_CERT_FILE", nullptr);
    ScopedEnv dir("SSL_CERT_DIR", folder.c_str());
    EXPECT_EQ(Get(server, "/", Reply(HttpReply(200, "OK", {}, "ok"))), "");
    EXPECT_EQ(response.Content(), "ok");
  }
  std::filesystem::remove_all(folder);
}

// While a request waits (for the head, inside the body), the hook runs, and
// never twice within its interval; a wait still times out as without it.
TEST_F(TransportTest, TheWaitHookRunsWhileARequestWaitsAndNoMoreOftenThanItsInterval) {
  using Clock = std::chrono::steady_clock;
  constexpr auto kInterval = std::chrono::milliseconds(50);
  std::vector<Clock::time_point> runs;
  client.SetWaitHook(
      [&runs] {
        runs.push_back(Clock::now());
        return true;
      },
      kInterval);
  ScriptedServer server;
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n";

  struct Case {
    const char* name;
    Reply reply;
  };
  Case cases[] = {
      {"waiting for the head", Reply().Pause(std::chrono::milliseconds(300)).Send(head + "body")},
      {"waiting inside the body",
       Reply().Send(head + "bo").Pause(std::chrono::milliseconds(300)).Send("dy")},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    runs.clear();
    const auto begun = Clock::now();
    ASSERT_EQ(Get(server, "/slow", std::move(c.reply)), "");
    const auto ended = Clock::now();
    EXPECT_EQ(response.Content(), "body");
    // Some runs during the pause, none after the reply, none too close.
    EXPECT_GE(runs.size(), 2u);
    for (std::size_t i = 0; i < runs.size(); ++i) {
      EXPECT_GE(runs[i] - (i == 0 ? begun : runs[i - 1]), kInterval) << "run " << i;
      EXPECT_LE(runs[i], ended);
    }
  }

  runs.clear();
  request.SetTimeout(200);
  EXPECT_EQ(Get(server, "/never", Reply().Pause(std::chrono::milliseconds(1500))),
            "REST request failed: Error receiving data: (28) Timeout was reached");
  EXPECT_GE(runs.size(), 2u);
}

// A hook may stop a request by throwing: the exchange fails with the hook's
// message, and the transport serves the next request as if nothing had
// happened.
TEST_F(TransportTest, AWaitHookThatThrowsEndsTheRequestAndLeavesTheTransportWhole) {
  bool stop = true;
  client.SetWaitHook(
      [&stop] {
        if (stop) throw std::runtime_error("stopped by the caller");
        return true;
      },
      std::chrono::milliseconds(20));
  ScriptedServer server;
  const std::string reply = HttpReply(200, "OK", {}, "body");
  EXPECT_EQ(Get(server, "/slow", Reply().Pause(std::chrono::milliseconds(300)).Send(reply)),
            "REST request failed: stopped by the caller");
  EXPECT_EQ(lastStage, TExchangeStage::None);
  EXPECT_EQ(response.StatusCode(), 0);

  stop = false;
  EXPECT_EQ(Get(server, "/next", Reply(reply)), "");
  EXPECT_EQ(response.StatusCode(), 200);
  EXPECT_EQ(response.Content(), "body");
  EXPECT_EQ(server.Requests().size(), 2u);
}

// The hook saying stop breaks the transfer off where it waits, whatever it
// waits for, and closes its connection; the next request goes as before.
TEST_F(TransportTest, AWaitHookThatSaysStopBreaksTheTransferOffAtOnce) {
  constexpr auto interval = std::chrono::milliseconds(20);
  int runs = 0;
  int stopAt = 0;
  client.SetWaitHook([&] { return ++runs < stopAt; }, interval);
  ScriptedServer server;
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n";
  struct Case {
    const char* name;
    Reply reply;
  };
  Case cases[] = {
      {"waiting for the head", Reply().Pause(std::chrono::seconds(20)).Send(head + "body")},
      {"waiting inside the body", Reply().Send(head + "bo").Pause(std::chrono::seconds(20))},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(Get(server, "/fine", Reply(head + "fine")), "");
    const int connections = server.ConnectionsAccepted();
    runs = 0;
    stopAt = 3;
    EXPECT_EQ(Get(server, "/slow", std::move(c.reply)),
              "REST request failed: Cancelled by the operator");
    EXPECT_EQ(runs, 3);
    // Nothing of the broken-off reply reaches the response.
    EXPECT_EQ(response.Content(), "fine");

    stopAt = 1000;
    ASSERT_EQ(Get(server, "/after", Reply(head + "next")), "");
    EXPECT_EQ(response.Content(), "next");
    // On a new connection: the broken-off one was closed.
    EXPECT_EQ(server.ConnectionsAccepted(), connections + 1);
  }
}

}  // namespace
}  // namespace kestrava::testing
