// The real API client against the sandbox: the sandbox must answer the three
// requests exactly as the client reads them, in both environments.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <thread>

#include "client/Kestrava2Intf.h"
#include "datetime/DateTime.h"
#include "sandbox/SandboxServer.h"

namespace kestrava::sandbox {
namespace {

class SandboxClientTest : public ::testing::Test {
 protected:
  void Start(SandboxOptions options) {
    char pattern[] = "/tmp/kestrava-sandbox-client-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    state_ = pattern;
    options.stateDir = state_;
    server_ = std::make_unique<SandboxServer>(std::move(options));
    thread_ = std::thread([this] { server_->Run(stop_); });
    setenv("SSL_CERT_FILE", server_->CaFile().c_str(), 1);
    SetServiceHost("localhost:" + std::to_string(server_->Port()));
  }

  // Stops the server and removes its state folder; Start may follow again.
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    server_.reset();
    stop_ = false;
    std::error_code ignored;
    if (!state_.empty()) std::filesystem::remove_all(state_, ignored);
    state_.clear();
  }

  void TearDown() override { Stop(); }

  std::filesystem::path state_;
  std::unique_ptr<SandboxServer> server_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST_F(SandboxClientTest, SignsInAndExportsInBothEnvironments) {
  Start({});
  for (int environment : {1, 2}) {
    SCOPED_TRACE(environment);
    TKestrava_2 client(kDefaultClientId, kDefaultClientSecret, environment);
    ASSERT_TRUE(client.LogatLaServer) << client.MesajEroare();
    EXPECT_FALSE(client.Token.empty());

    TJSONArray accounts;
    ASSERT_TRUE(client.Accounts(accounts)) << client.MesajEroare();
    EXPECT_EQ(accounts.Count(), 4u);

    // Three days: more than one page of 50.
    const TDateTime end = Now();
    const TDateTime start = IncHour(end, -72);
    int pages = 0;
    client.Settings().OnPage = [&pages](int read, int) { pages = read; };
    TJSONArray transactions;
    ASSERT_TRUE(client.GetTranzactii(start, end, 0, transactions)) << client.MesajEroare();
    EXPECT_GT(transactions.Count(), 50u);
    EXPECT_EQ(static_cast<std::size_t>(pages), (transactions.Count() + 49) / 50);
    for (std::size_t i = 0; i < transactions.Count(); ++i) {
      const std::string booked = transactions.Get(i)->GetValue("bookingDate", "");
      ASSERT_GE(booked, DateTimeToNetFormat(start));
      ASSERT_LE(booked, DateTimeToNetFormat(end));
    }
  }
}

TEST_F(SandboxClientTest, RefusedCredentialsBecomeTheClientsErrorText) {
  Start({});
  TKestrava_2 client(kDefaultClientId, "wrong", 1);
  EXPECT_FALSE(client.LogatLaServer);
  EXPECT_EQ(
      client.MesajEroare().rfind("StatusCode: 401 - Unauthorized\r{\"status\":\"401 Unauthorized\","
                                 "\"message\":\"Invalid client credentials\"",
                                 0),
      0u)
      << client.MesajEroare();
}

TEST_F(SandboxClientTest, AFailingPageAndAnExpiredTokenFailTheExport) {
  SandboxOptions options;
  options.service.pageFaults = {{1, {{503}}}};
  Start(options);
  TKestrava_2 client(kDefaultClientId, kDefaultClientSecret, 2);
  ASSERT_TRUE(client.LogatLaServer) << client.MesajEroare();
  TJSONArray transactions;
  EXPECT_FALSE(client.GetTranzactii(IncHour(Now(), -96), Now(), 0, transactions));
  EXPECT_EQ(transactions.Count(), 50u);  // page 0 stays
  EXPECT_EQ(client.MesajEroare().rfind("HTTP/1.1 503 Service Unavailable\r", 0), 0u)
      << client.MesajEroare();
}

// The faults the CLI retries, as libcurl meets them: each one fails the
// export once, with the page before it kept, and the next export is whole.
TEST_F(SandboxClientTest, CountedFaultsFailOneExportThenThePageIsServed) {
  struct Case {
    const char* what;
    PageFault fault;
    std::string error;  // how the error text begins
  };
  const Case cases[] = {
      // The head promised more body than came before the connection closed.
      {"reset mid-body",
       {0, 1},
       "REST request failed: Error reading data: (18) Transferred a partial file\r{"},
      {"503", {503, 1}, "HTTP/1.1 503 Service Unavailable\r{"},
      {"429", {429, 1}, "429/Too Many Requests - {"},
  };
  const TDateTime end = Now();
  const TDateTime start = IncHour(end, -24 * 7);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Stop();
    SandboxOptions options;
    options.service.pageFaults = {{1, {c.fault}}};
    Start(options);
    TKestrava_2 client(kDefaultClientId, kDefaultClientSecret, 1);
    ASSERT_TRUE(client.LogatLaServer) << client.MesajEroare();

    TJSONArray failed;
    client.GetTranzactii(start, end, 0, failed);
    EXPECT_EQ(client.MesajEroare().rfind(c.error, 0), 0u) << client.MesajEroare();
    ASSERT_EQ(failed.Count(), 50u);  // page 0 stays

    TJSONArray whole;
    ASSERT_TRUE(client.GetTranzactii(start, end, 0, whole)) << client.MesajEroare();
    EXPECT_EQ(client.MesajEroare(), "");
    ASSERT_GT(whole.Count(), 100u);
    for (std::size_t i = 0; i < failed.Count(); ++i)
      EXPECT_EQ(whole.Get(i)->ToString(), failed.Get(i)->ToString());
  }
}

TEST_F(SandboxClientTest, TokenExpiryIsReported) {
  SandboxOptions options;
  options.service.expireAfter = 1;
  Start(options);
  TKestrava_2 client(kDefaultClientId, kDefaultClientSecret, 1);
  ASSERT_TRUE(client.LogatLaServer) << client.MesajEroare();
  TJSONArray accounts;
  EXPECT_TRUE(client.Accounts(accounts));
  EXPECT_FALSE(client.Accounts(accounts));
  EXPECT_EQ(client.MesajEroare().rfind("401/Unauthorized - {", 0), 0u) << client.MesajEroare();
}

}  // namespace
}  // namespace kestrava::sandbox
