#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <mutex>
#include <thread>

#include "https/Certificates.h"
#include "https/HttpsError.h"
#include "json/JSON.h"
#include "sandbox/CommandLine.h"
#include "sandbox/SandboxServer.h"
#include "sandbox/StateFolder.h"
#include "tests/sandbox/HttpTestClient.h"

extern char** environ;

namespace kestrava::sandbox {
namespace {

using namespace std::chrono_literals;
using testing::HttpTestClient;

const std::string kTokenBody =
    std::string("{\"grant_type\":\"client_credentials\",\"client_id\":\"") + kDefaultClientId +
    "\",\"client_secret\":\"" + kDefaultClientSecret + "\"}";

class TemporaryFolder {
 public:
  TemporaryFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "kestrava-sandbox-test-XXXXXX").string();
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The server running on a thread for the length of a test.
class RunningServer {
 public:
  explicit RunningServer(SandboxOptions options) : server_(std::move(options)) {
    thread_ = std::thread([this] { server_.Run(stop_); });
  }
  ~RunningServer() {
    stop_ = true;
    thread_.join();
  }
  SandboxServer& Server() { return server_; }

 private:
  SandboxServer server_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

std::string Token(const testing::HttpTestReply& reply) {
  auto json = AsJSONObject(ParseJSONValue(reply.body));
  if (!json || !json->GetValue<TJSONObject>("result")) return {};
  return json->GetValue<TJSONObject>("result")->GetValue("accessToken", "");
}

TEST(SandboxServer, ServesBothEnvironmentsOverKeptAliveTls) {
  TemporaryFolder state;
  SandboxOptions options;
  options.stateDir = state.Path() / "state";
  RunningServer running(options);
  SandboxServer& server = running.Server();
  EXPECT_EQ(server.ReadyLine(),
            "kestrava-sandbox: host localhost:" + std::to_string(server.Port()) + " ca " +
                (state.Path() / "state" / "ca.pem").string());

  for (const char* name : {"localhost", "api.test.localhost"}) {
    SCOPED_TRACE(name);
    HttpTestClient client(server.Port(), server.CaFile().string(), name);
    ASSERT_TRUE(client.Connected()) << client.Error();
    const auto signIn =
        client.Exchange("POST", kTokenPath, {"Content-Type: application/json"}, kTokenBody);
    EXPECT_EQ(signIn.status, 200) << signIn.body;
    EXPECT_NE(signIn.Header("Set-Cookie").find("KSESSIONID="), std::string::npos);
    const std::string token = Token(signIn);
    ASSERT_FALSE(token.empty());
    // The same connection serves the next requests.
    const auto accounts = client.Exchange("GET", kAccountsPath, {"Authorization: Bearer " + token});
    EXPECT_EQ(accounts.status, 200);
    auto json = AsJSONObject(ParseJSONValue(accounts.body));
    ASSERT_TRUE(json);
    EXPECT_EQ(json->GetValue<TJSONArray>("result")->Count(), 4u);
    const auto refused = client.Exchange("GET", kAccountsPath, {"Authorization: Bearer x"});
    EXPECT_EQ(refused.status, 401);
  }
}

TEST(SandboxServer, MalformedRequestsGet400AndClose) {
  TemporaryFolder state;
  SandboxOptions options;
  options.stateDir = state.Path();
  RunningServer running(options);
  HttpTestClient client(running.Server().Port(), running.Server().CaFile().string(), "localhost");
  ASSERT_TRUE(client.Connected());
  const auto bad = client.Exchange("GET", "/ two spaces");
  EXPECT_EQ(bad.status, 400);
  EXPECT_NE(bad.head.find("Connection: close"), std::string::npos);
}

TEST(SandboxServer, LatencyDelaysEveryReply) {
  TemporaryFolder state;
  SandboxOptions options;
  options.stateDir = state.Path();
  options.latency = 200ms;
  RunningServer running(options);
  HttpTestClient client(running.Server().Port(), running.Server().CaFile().string(), "localhost");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(client.Exchange("GET", "/nothing").status, 404);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);
}

// Page N of every transaction the sandbox holds, 50 a page.
std::string PageTarget(int page) {
  return std::string(kTransactionsPath) +
         "?startDate=2000-01-01T00:00:00.000Z&endDate=2100-01-01T00:00:00.000Z&pageNumber=" +
         std::to_string(page) + "&pageSize=50";
}

std::string SignIn(HttpTestClient& client) {
  return Token(client.Exchange("POST", kTokenPath, {"Content-Type: application/json"}, kTokenBody));
}

TEST(SandboxServer, InjectedFailuresCarryRetryAfterAndEndAfterTheirCount) {
  using Form = RetryAfterHint::Form;
  struct Expected {
    int page;
    int status;
    bool retryAfter;  // whether the reply carries Retry-After
  };
  // Over one kept-alive connection, one request after another.
  const std::vector<Expected> sequence{
      {1, 503, true}, {0, 200, false}, {1, 503, true},  {1, 200, false}, {1, 200, false},
      {2, 429, true}, {2, 200, false}, {3, 500, false}, {3, 404, false}, {3, 200, false},
  };
  for (const RetryAfterHint hint : {RetryAfterHint{Form::Seconds, 1}, {Form::Date, 120}}) {
    SCOPED_TRACE(hint.form == Form::Seconds ? "delta-seconds" : "HTTP-date");
    TemporaryFolder state;
    SandboxOptions options;
    options.stateDir = state.Path();
    options.service.pageFaults = {{1, {{503, 2}}}, {2, {{429, 1}}}, {3, {{500, 1}, {404, 1}}}};
    options.service.retryAfter = hint;
    RunningServer running(options);
    HttpTestClient client(running.Server().Port(), running.Server().CaFile().string(), "localhost");
    const std::string token = SignIn(client);
    ASSERT_FALSE(token.empty());
    for (const auto& expected : sequence) {
      SCOPED_TRACE("page " + std::to_string(expected.page));
      const auto reply =
          client.Exchange("GET", PageTarget(expected.page), {"Authorization: Bearer " + token});
      EXPECT_EQ(reply.status, expected.status) << reply.body;
      EXPECT_FALSE(reply.bodyCut);
      const std::string retryAfter = reply.Header("Retry-After");
      if (!expected.retryAfter) {
        EXPECT_EQ(retryAfter, "");
      } else if (hint.form == Form::Seconds) {
        EXPECT_EQ(retryAfter, "1");
      } else {
        EXPECT_TRUE(retryAfter.size() == 29 && retryAfter.substr(25) == " GMT") << retryAfter;
      }
    }
  }
}

TEST(SandboxServer, AResetPageIsCutMidBodyThenServed) {
  TemporaryFolder state;
  SandboxOptions options;
  options.stateDir = state.Path();
  options.service.pageFaults = {{1, {{0, 2}}}};
  std::mutex logMutex;
  std::vector<std::string> log;
  options.log = [&](const std::string& line) {
    std::lock_guard lock(logMutex);
    log.push_back(line);
  };
  RunningServer running(options);
  const SandboxServer& server = running.Server();

  std::string token;
  std::vector<std::string> cutBodies;
  for (int attempt = 0; attempt < 3; ++attempt) {
    SCOPED_TRACE(attempt);
    HttpTestClient client(server.Port(), server.CaFile().string(), "localhost");
    if (token.empty()) token = SignIn(client);
    const std::vector<std::string> authorization{"Authorization: Bearer " + token};
    EXPECT_EQ(client.Exchange("GET", PageTarget(0), authorization).status, 200);
    const auto reply = client.Exchange("GET", PageTarget(1), authorization);
    EXPECT_EQ(reply.status, 200);
    const std::size_t length = std::stoul(reply.Header("Content-Length"));
    if (attempt < 2) {
      // The whole head, half the body, then the end of the connection.
      EXPECT_TRUE(reply.bodyCut);
      EXPECT_EQ(reply.body.size(), length / 2);
      EXPECT_EQ(reply.Header("Connection"), "");
      cutBodies.push_back(reply.body);
      EXPECT_EQ(client.Exchange("GET", PageTarget(0), authorization).status, 0);
    } else {
      EXPECT_FALSE(reply.bodyCut);
      EXPECT_EQ(reply.body.size(), length);
      EXPECT_TRUE(ParseJSONValue(reply.body));
      for (const auto& cut : cutBodies) EXPECT_EQ(reply.body.rfind(cut, 0), 0u);
      EXPECT_EQ(client.Exchange("GET", PageTarget(1), authorization).status, 200);
    }
  }
  std::lock_guard lock(logMutex);
  const auto cuts = std::count_if(log.begin(), log.end(), [](const std::string& line) {
    return line.find("pageNumber=1&") != std::string::npos &&
           line.find(" -> 200, cut after ") != std::string::npos;
  });
  EXPECT_EQ(cuts, 2);
}

TEST(SandboxServer, ReusesItsCertificatesOnTheNextStart) {
  TemporaryFolder state;
  const auto ca = state.Path() / "ca.pem";
  const auto serverCertificate = state.Path() / "server.pem";
  SandboxOptions options;
  options.stateDir = state.Path();
  std::string firstCa, firstServer;
  {
    SandboxServer server(options);
    firstCa = https::ReadTextFile(ca);
    firstServer = https::ReadTextFile(serverCertificate);
  }
  {
    SandboxServer server(options);
    EXPECT_EQ(https::ReadTextFile(ca), firstCa);
    EXPECT_EQ(https::ReadTextFile(serverCertificate), firstServer);
  }
  EXPECT_EQ(std::filesystem::status(state.Path() / "ca-key.pem").permissions() &
                std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

  // A damaged CA is replaced, and the server certificate with it.
  https::WriteTextFile(state.Path() / "ca-key.pem", "garbage", std::filesystem::perms::owner_all);
  {
    RunningServer running(options);
    EXPECT_NE(https::ReadTextFile(ca), firstCa);
    EXPECT_NE(https::ReadTextFile(serverCertificate), firstServer);
    HttpTestClient client(running.Server().Port(), running.Server().CaFile().string(),
                          "api.test.localhost");
    EXPECT_TRUE(client.Connected()) << client.Error();
  }
}

TEST(SandboxServer, ServersStartingTogetherOnOneFolderAgreeOnOneCa) {
  TemporaryFolder state;
  SandboxOptions options;
  options.stateDir = state.Path() / "shared";
  constexpr int kServers = 4;
  std::vector<std::unique_ptr<SandboxServer>> servers(kServers);
  {
    std::vector<std::thread> starting;
    for (auto& server : servers)
      starting.emplace_back([&] { server = std::make_unique<SandboxServer>(options); });
    for (auto& thread : starting) thread.join();
  }
  std::atomic<bool> stop{false};
  std::vector<std::thread> running;
  for (auto& server : servers) running.emplace_back([&] { server->Run(stop); });
  for (auto& server : servers) {
    HttpTestClient client(server->Port(), server->CaFile().string(), "localhost");
    EXPECT_TRUE(client.Connected()) << client.Error();
  }
  stop = true;
  for (auto& thread : running) thread.join();
}

// The message of the failure that starting a server on the folder gives,
// or "" when it starts.
std::string StartFailure(const std::filesystem::path& folder) {
  SandboxOptions options;
  options.stateDir = folder;
  try {
    SandboxServer server(options);
    return "";
  } catch (const https::HttpsError& failure) {
    return failure.Message();
  }
}

std::filesystem::perms ModeOf(const std::filesystem::path& path) {
  return std::filesystem::symlink_status(path).permissions() & std::filesystem::perms::all;
}

// A CA of someone else's, as they would plant it.
void PlantCa(const std::filesystem::path& folder) {
  https::WritePemFiles(folder, "ca", https::CertificateAuthority::Create("Planted CA").Pem());
}

TEST(SandboxServer, StateFolderMustBeAPrivateFolder) {
  using std::filesystem::perms;
  TemporaryFolder state;
  // Rights to read or search are taken from others; nothing else changes.
  const auto readable = state.Path() / "readable";
  std::filesystem::create_directory(readable);
  std::filesystem::permissions(readable, perms::owner_all | perms::group_read | perms::group_exec |
                                             perms::others_read | perms::others_exec);
  { StateFolder folder(readable); }
  EXPECT_EQ(ModeOf(readable), perms::owner_all);
  // A missing folder is made, its parents with it.
  const auto fresh = state.Path() / "a" / "b";
  { StateFolder folder(fresh); }
  EXPECT_EQ(ModeOf(fresh), perms::owner_all);

  const auto link = state.Path() / "link";
  std::filesystem::create_directory_symlink(readable, link);
  EXPECT_EQ(StartFailure(link), "The state folder " + link.string() + " is a symbolic link");
  const auto file = state.Path() / "file";
  https::WriteTextFile(file, "x", perms::owner_all);
  EXPECT_EQ(StartFailure(file), "The state folder " + file.string() + " is not a folder");
}

TEST(SandboxServer, StateFolderReadsAndReplacesFilesInIt) {
  TemporaryFolder state;
  StateFolder folder(state.Path() / "state");
  EXPECT_EQ(folder.Read("missing.pem"), std::nullopt);
  folder.Write("key.pem", "secret", 0600);
  folder.Write("cert.pem", "public", 0644);
  EXPECT_EQ(folder.Read("key.pem"), "secret");
  EXPECT_EQ(ModeOf(folder.Path() / "key.pem"),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_EQ(ModeOf(folder.Path() / "cert.pem") & std::filesystem::perms::others_read,
            std::filesystem::perms::others_read);
  // A link in the file's place is replaced, not written through.
  const auto target = state.Path() / "target";
  https::WriteTextFile(target, "untouched", std::filesystem::perms::owner_all);
  std::filesystem::create_symlink(target, folder.Path() / "linked.pem");
  folder.Write("linked.pem", "new", 0600);
  EXPECT_EQ(https::ReadTextFile(target), "untouched");
  EXPECT_EQ(folder.Read("linked.pem"), "new");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()),
                          std::filesystem::directory_iterator()),
            3);  // nothing left behind
}

TEST(SandboxServer, AFolderOthersCanWriteIsRefusedAndLeftAlone) {
  using std::filesystem::perms;
  TemporaryFolder state;
  for (perms mode : {perms::all, perms::owner_all | perms::group_all,
                     perms::owner_all | perms::others_write | perms::others_exec}) {
    const auto folder = state.Path() / "open";
    std::filesystem::create_directory(folder);
    PlantCa(folder);
    const std::string plantedKey = https::ReadTextFile(folder / "ca-key.pem");
    std::filesystem::permissions(folder, mode);
    EXPECT_EQ(StartFailure(folder), "The state folder " + folder.string() +
                                        " can be written by other users; use a folder that "
                                        "only you can write")
        << static_cast<int>(mode);
    EXPECT_EQ(ModeOf(folder), mode);
    EXPECT_EQ(https::ReadTextFile(folder / "ca-key.pem"), plantedKey);
    EXPECT_FALSE(std::filesystem::exists(folder / "server.pem"));
    std::filesystem::remove_all(folder);
  }
}

TEST(SandboxServer, KeyFilesThatAreLinksOrNoPlainFilesOfTheUserAreRefused) {
  TemporaryFolder state;
  const auto elsewhere = state.Path() / "elsewhere";
  std::filesystem::create_directory(elsewhere);
  PlantCa(elsewhere);
  struct Case {
    const char* name;
    std::function<void(const std::filesystem::path&)> plant;
    const char* file;
    const char* problem;
  } cases[] = {
      {"links to a CA elsewhere",
       [&](const std::filesystem::path& folder) {
         std::filesystem::create_symlink(elsewhere / "ca.pem", folder / "ca.pem");
         std::filesystem::create_symlink(elsewhere / "ca-key.pem", folder / "ca-key.pem");
       },
       "ca.pem", "is a symbolic link"},
      {"a link to the key only",
       [&](const std::filesystem::path& folder) {
         https::WritePemFiles(folder, "ca", https::CertificateAuthority::Create("Own").Pem());
         std::filesystem::remove(folder / "ca-key.pem");
         std::filesystem::create_symlink(elsewhere / "ca-key.pem", folder / "ca-key.pem");
       },
       "ca-key.pem", "is a symbolic link"},
      {"a folder for a certificate",
       [&](const std::filesystem::path& folder) {
         std::filesystem::create_directory(folder / "ca.pem");
       },
       "ca.pem", "is not a regular file"},
      {"a pipe for a key",
       [&](const std::filesystem::path& folder) {
         https::WritePemFiles(folder, "ca", https::CertificateAuthority::Create("Own").Pem());
         std::filesystem::remove(folder / "ca-key.pem");
         ::mkfifo((folder / "ca-key.pem").c_str(), 0600);
       },
       "ca-key.pem", "is not a regular file"},
  };
  for (const auto& c : cases) {
    const auto folder = state.Path() / "state";
    std::filesystem::create_directory(folder);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
    c.plant(folder);
    EXPECT_EQ(StartFailure(folder), (folder / c.file).string() + " " + c.problem +
                                        "; remove it or use another state folder")
        << c.name;
    EXPECT_FALSE(std::filesystem::exists(folder / "server.pem")) << c.name;
    std::filesystem::remove_all(folder);
  }
  EXPECT_EQ(ModeOf(elsewhere / "ca-key.pem"),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST(SandboxServer, FilesOrAFolderOfAnotherUserAreRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  TemporaryFolder state;
  const auto folder = state.Path() / "state";
  std::filesystem::create_directory(folder);
  std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
  PlantCa(folder);
  ASSERT_EQ(::chown((folder / "ca-key.pem").c_str(), 65534, 65534), 0);
  EXPECT_EQ(StartFailure(folder), (folder / "ca-key.pem").string() +
                                      " belongs to another user; remove it or use another state "
                                      "folder");
  ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
  EXPECT_EQ(StartFailure(folder),
            "The state folder " + folder.string() + " belongs to another user");
}

// Plain TCP connections to the server that never start their handshake.
std::vector<std::unique_ptr<https::Connection>> IdleConnections(std::uint16_t port, int count) {
  std::vector<std::unique_ptr<https::Connection>> idle;
  for (int i = 0; i < count; ++i) idle.push_back(https::Connect(port, nullptr, "", 5s));
  return idle;
}

// What the peer did with a connection within the limit: closed it, or
// nothing (timed out).
https::IoStatus WhatCame(https::Connection& connection, std::chrono::milliseconds limit) {
  std::string bytes;
  return connection.ReadSome(bytes, 1, limit);
}

class LogLines {
 public:
  std::function<void(const std::string&)> Sink() {
    return [this](const std::string& line) {
      std::lock_guard lock(mutex_);
      lines_.push_back(line);
    };
  }
  int Count(const std::string& line) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count(lines_.begin(), lines_.end(), line));
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

TEST(SandboxServer, AtTheLimitTheConnectionIdleLongestMakesRoomForANewClient) {
  TemporaryFolder state;
  LogLines log;
  SandboxOptions options;
  options.stateDir = state.Path();
  options.maxConnections = 3;
  options.idleGrace = 200ms;
  options.log = log.Sink();
  RunningServer running(options);
  const std::uint16_t port = running.Server().Port();
  auto idle = IdleConnections(port, 3);
  for (const auto& connection : idle) ASSERT_NE(connection, nullptr);
  std::this_thread::sleep_for(1s);  // well past the grace

  // Each new client, kept open, takes the place of the oldest idle one.
  std::vector<std::unique_ptr<HttpTestClient>> clients;
  for (int client = 0; client < 2; ++client) {
    SCOPED_TRACE(client);
    clients.push_back(
        std::make_unique<HttpTestClient>(port, running.Server().CaFile().string(), "localhost"));
    HttpTestClient& fresh = *clients.back();
    ASSERT_TRUE(fresh.Connected()) << fresh.Error();
    EXPECT_EQ(fresh.Exchange("GET", "/nothing").status, 404);
    // The oldest idle connection gave way; the others are kept.
    EXPECT_EQ(WhatCame(*idle[client], 5s), https::IoStatus::Closed);
    EXPECT_EQ(WhatCame(*idle.back(), 100ms), https::IoStatus::TimedOut);
  }
  EXPECT_EQ(log.Count("too many connections, closing the one idle longest"), 2);
  EXPECT_EQ(log.Count("too many connections, closing a new one"), 0);
}

TEST(SandboxServer, AtTheLimitConnectionsAtWorkOrJustOpenedAreKept) {
  TemporaryFolder state;
  LogLines log;
  SandboxOptions options;
  options.stateDir = state.Path();
  options.maxConnections = 2;
  options.idleGrace = 200ms;
  options.log = log.Sink();
  RunningServer running(options);
  const std::uint16_t port = running.Server().Port();
  const std::string caFile = running.Server().CaFile().string();
  const https::TlsContext tls = https::TlsContext::Client(caFile);

  // Two clients that sent the head of a request and are slow with its body.
  std::vector<std::unique_ptr<https::Connection>> working;
  for (int i = 0; i < 2; ++i) {
    working.push_back(https::Connect(port, &tls, "localhost", 5s));
    ASSERT_NE(working.back(), nullptr);
    ASSERT_EQ(working.back()->WriteAll(
                  "POST /nothing HTTP/1.1\r\nHost: localhost\r\nContent-Length: 4\r\n\r\nab", 5s),
              https::IoStatus::Ok);
  }
  std::this_thread::sleep_for(1s);  // well past the grace
  std::string error;
  EXPECT_EQ(https::Connect(port, &tls, "localhost", 5s, &error), nullptr);
  EXPECT_EQ(log.Count("too many connections, closing a new one"), 1);
  for (auto& connection : working) {
    ASSERT_EQ(connection->WriteAll("cd", 5s), https::IoStatus::Ok);
    std::string reply;
    while (reply.find("\r\n\r\n") == std::string::npos)
      ASSERT_EQ(connection->ReadSome(reply, 4096, 5s), https::IoStatus::Ok);
    EXPECT_EQ(reply.substr(0, 13), "HTTP/1.1 404 ");
  }

  // Idle, but not yet for the grace of a server that gives a long one.
  TemporaryFolder patientState;
  options.stateDir = patientState.Path();
  options.idleGrace = 60s;
  RunningServer patient(options);
  auto idle = IdleConnections(patient.Server().Port(), 2);
  std::this_thread::sleep_for(300ms);
  HttpTestClient refused(patient.Server().Port(), patient.Server().CaFile().string(), "localhost");
  EXPECT_FALSE(refused.Connected());
  EXPECT_EQ(WhatCame(*idle[0], 100ms), https::IoStatus::TimedOut);
}

TEST(SandboxServer, APortInUseIsReportedNotHidden) {
  TemporaryFolder state;
  SandboxOptions options;
  options.stateDir = state.Path();
  SandboxServer first(options);
  options.port = first.Port();
  EXPECT_THROW(SandboxServer second(options), https::HttpsError);
}

TEST(SandboxCommandLine, ParsesEveryOptionAndRejectsBadValues) {
  const auto line = ParseCommandLine({"--port",
                                      "8443",
                                      "--state-dir=/tmp/x",
                                      "--latency",
                                      "25",
                                      "--expire-after",
                                      "3",
                                      "--fail-page",
                                      "2:503",
                                      "--fail-page=0:404",
                                      "--client",
                                      "id:se:cret",
                                      "--accounts",
                                      "7",
                                      "--transactions-per-day",
                                      "100",
                                      "--days",
                                      "30",
                                      "--soft-refusal",
                                      "--quiet",
                                      "--token-lifetime",
                                      "60"});
  ASSERT_EQ(line.error, "");
  EXPECT_EQ(line.options.port, 8443);
  EXPECT_EQ(line.options.stateDir, "/tmp/x");
  EXPECT_EQ(line.options.latency, 25ms);
  EXPECT_EQ(line.options.service.expireAfter, 3);
  EXPECT_EQ(line.options.service.pageFaults,
            (std::map<int, std::vector<PageFault>>{{0, {{404}}}, {2, {{503}}}}));
  ASSERT_EQ(line.options.service.clients.size(), 2u);
  EXPECT_EQ(line.options.service.clients[0].id, kDefaultClientId);
  EXPECT_EQ(line.options.service.clients[1].id, "id");
  EXPECT_EQ(line.options.service.clients[1].secret, "se:cret");
  EXPECT_EQ(line.options.service.scale.accounts, 7);
  EXPECT_EQ(line.options.service.scale.transactionsPerDay, 100);
  EXPECT_EQ(line.options.service.scale.days, 30);
  EXPECT_EQ(line.options.service.tokenLifetimeSeconds, 60);
  EXPECT_TRUE(line.options.service.softRefusal);
  EXPECT_TRUE(line.quiet);
  EXPECT_FALSE(line.help);
  EXPECT_TRUE(ParseCommandLine({"--help"}).help);
  EXPECT_FALSE(line.version);
  EXPECT_TRUE(ParseCommandLine({"--version"}).version);

  const std::vector<std::vector<std::string>> bad{
      {"--port"},
      {"--port", "65536"},
      {"--port", "-1"},
      {"--port", "8x"},
      {"--fail-page", "2"},
      {"--fail-page", "2:200"},
      {"--fail-page", "x:500"},
      {"--client", "nocolon"},
      {"--client", ":secret"},
      {"--accounts", "0"},
      {"--accounts", "201"},
      {"--latency", ""},
      {"--quiet=yes"},
      {"--version=1"},
      {"--what"},
      {"positional"},
      {"--state-dir", ""},
      {"--transactions-per-day", "2000", "--days", "1001"},
  };
  for (const auto& arguments : bad) {
    SCOPED_TRACE(arguments[0] + (arguments.size() > 1 ? " " + arguments[1] : ""));
    EXPECT_NE(ParseCommandLine(arguments).error, "");
  }
}

TEST(SandboxCommandLine, PageFaultsAndRetryAfter) {
  using Faults = std::map<int, std::vector<PageFault>>;
  using Form = RetryAfterHint::Form;
  struct Good {
    std::vector<std::string> arguments;
    Faults faults;
    RetryAfterHint retryAfter;
  };
  const Good good[] = {
      {{}, {}, {}},
      {{"--fail-page", "2:503"}, {{2, {{503, 0}}}}, {}},
      {{"--fail-page", "2:429:3"}, {{2, {{429, 3}}}}, {}},
      {{"--fail-page=1000000000:599:1000000000"}, {{1000000000, {{599, 1000000000}}}}, {}},
      {{"--reset-page", "0"}, {{0, {{0, 0}}}}, {}},
      {{"--reset-page=4:2"}, {{4, {{0, 2}}}}, {}},
      {{"--fail-page", "1:503:1", "--reset-page", "1:1", "--fail-page", "3:500", "--fail-page",
        "1:429"},
       {{1, {{503, 1}, {0, 1}, {429, 0}}}, {3, {{500, 0}}}},
       {}},
      {{"--retry-after", "0"}, {}, {Form::Seconds, 0}},
      {{"--retry-after=2147483647"}, {}, {Form::Seconds, 2147483647}},
      {{"--retry-after", "5", "--retry-after", "7"}, {}, {Form::Seconds, 7}},
      {{"--retry-after-date", "-60"}, {}, {Form::Date, -60}},
      {{"--retry-after-date", "-2147483647"}, {}, {Form::Date, -2147483647}},
      {{"--retry-after-date=30"}, {}, {Form::Date, 30}},
  };
  for (const auto& c : good) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    const auto line = ParseCommandLine(c.arguments);
    ASSERT_EQ(line.error, "");
    EXPECT_EQ(line.options.service.pageFaults, c.faults);
    EXPECT_EQ(line.options.service.retryAfter, c.retryAfter);
  }

  // A refused value: the message names the option, what it wants and the value.
  const std::map<std::string, std::string> wants{
      {"--fail-page", "needs N:STATUS[:COUNT] with STATUS 400-599 and COUNT 1-1000000000"},
      {"--reset-page", "needs N[:COUNT] with COUNT 1-1000000000"},
      {"--retry-after", "needs a whole number from 0 to 2147483647"},
      {"--retry-after-date", "needs a whole number from -2147483647 to 2147483647"},
      {"--expire-after", "needs a whole number from 1 to 1000000000"},
  };
  const std::pair<std::string, std::string> badValues[] = {
      {"--fail-page", ""},
      {"--fail-page", "2"},
      {"--fail-page", "2:200"},
      {"--fail-page", "2:600"},
      {"--fail-page", ":503"},
      {"--fail-page", "-1:503"},
      {"--fail-page", "1000000001:503"},
      {"--fail-page", "2:503:"},
      {"--fail-page", "2:503:0"},
      {"--fail-page", "2:503:-1"},
      {"--fail-page", "2:503:x"},
      {"--fail-page", "2:503:1000000001"},
      {"--fail-page", "2:503:1:1"},
      {"--fail-page", "2: 503"},
      {"--reset-page", ""},
      {"--reset-page", "x"},
      {"--reset-page", "1:"},
      {"--reset-page", "1:0"},
      {"--reset-page", "1:2:3"},
      {"--reset-page", "-1"},
      {"--reset-page", "1:503x"},
      {"--retry-after", ""},
      {"--retry-after", "-1"},
      {"--retry-after", "1.5"},
      {"--retry-after", "2147483648"},
      {"--retry-after-date", "-2147483648"},
      {"--retry-after-date", "soon"},
      {"--expire-after", "0"},
  };
  for (const auto& [option, value] : badValues) {
    SCOPED_TRACE(option + " " + value);
    EXPECT_EQ(ParseCommandLine({option, value}).error,
              "option " + option + " " + wants.at(option) + ", not \"" + value + "\"");
  }

  const std::string exclusive = "--retry-after and --retry-after-date exclude each other";
  const std::pair<std::vector<std::string>, std::string> bad[] = {
      {{"--fail-page"}, "option --fail-page needs a value"},
      {{"--reset-page"}, "option --reset-page needs a value"},
      {{"--retry-after"}, "option --retry-after needs a value"},
      {{"--retry-after", "1", "--retry-after-date", "1"}, exclusive},
      {{"--retry-after-date", "1", "--retry-after", "1"}, exclusive},
      // The wording of kestrava-cli, for every option.
      {{"--what"}, "unknown option --what"},
      {{"--quiet=yes"}, "option --quiet takes no value"},
      {{"--state-dir="}, "option --state-dir needs a folder"},
      {{"--client", "nocolon"}, "option --client needs ID:SECRET, not \"nocolon\""},
      {{"--port", "65536"}, "option --port needs a whole number from 0 to 65535, not \"65536\""},
      {{"positional"}, "unexpected argument \"positional\""},
      {{"--quiet", "--", "--port", "1"}, "unexpected argument \"--port\""},
      // The first mistake is told, and one comes before --help.
      {{"--port", "x", "--what"}, "option --port needs a whole number from 0 to 65535, not \"x\""},
      {{"--help", "--what"}, "unknown option --what"},
  };
  for (const auto& [arguments, error] : bad) {
    SCOPED_TRACE(::testing::PrintToString(arguments));
    EXPECT_EQ(ParseCommandLine(arguments).error, error);
  }
}

TEST(SandboxCommandLine, HelpDescribesEveryOption) {
  const std::string usage = UsageText();
  for (const char* option :
       {"--port N", "--state-dir DIR", "--client ID:SECRET", "--latency MS", "--expire-after N",
        "--token-lifetime SECONDS", "--accounts N", "--transactions-per-day N", "--days N",
        "--soft-refusal", "--fail-page N:STATUS[:COUNT]", "--reset-page N[:COUNT]",
        "--retry-after SECONDS", "--retry-after-date SECONDS", "--quiet", "--help"})
    EXPECT_NE(usage.find(std::string("\n  ") + option), std::string::npos) << option;
}

// Runs the real executable, bounded in time.
class SandboxProcess {
 public:
  // Which output ReadLine reads.
  enum Stream { kOutput, kErrors };

  explicit SandboxProcess(std::vector<std::string> arguments, Stream stream = kOutput) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1],
                                     stream == kOutput ? STDOUT_FILENO : STDERR_FILENO);
    arguments.insert(arguments.begin(), KESTRAVA_SANDBOX_EXECUTABLE);
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    output_ = pipeFds[0];
  }
  ~SandboxProcess() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (output_ >= 0) close(output_);
  }

  // The first line on standard output, waiting at most the limit.
  std::string ReadLine(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    std::string text;
    while (text.find('\n') == std::string::npos && std::chrono::steady_clock::now() < end) {
      pollfd entry{output_, POLLIN, 0};
      if (poll(&entry, 1, 50) <= 0) continue;
      char buffer[256];
      const ssize_t n = read(output_, buffer, sizeof buffer);
      if (n <= 0) break;
      text.append(buffer, static_cast<std::size_t>(n));
    }
    return text.substr(0, text.find('\n'));
  }

  void Signal(int number) { kill(pid_, number); }

  // Exit status, or -1 when it did not end within the limit.
  int Wait(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(10ms);
    }
    return -1;
  }

  bool Started() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
  int output_ = -1;
  bool exited_ = false;
};

TEST(SandboxExecutable, PrintsItsHostAndCaThenServesHttpsUntilSigterm) {
  TemporaryFolder state;
  SandboxProcess process({"--state-dir", state.Path().string(), "--quiet"});
  ASSERT_TRUE(process.Started());
  const std::string line = process.ReadLine(10s);
  const std::string prefix = "kestrava-sandbox: host localhost:";
  ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
  const std::size_t caAt = line.find(" ca ");
  ASSERT_NE(caAt, std::string::npos) << line;
  const int port = std::stoi(line.substr(prefix.size(), caAt - prefix.size()));
  const std::string caFile = line.substr(caAt + 4);
  EXPECT_EQ(caFile, (state.Path() / "ca.pem").string());

  HttpTestClient client(static_cast<std::uint16_t>(port), caFile, "api.test.localhost");
  ASSERT_TRUE(client.Connected()) << client.Error();
  const auto reply =
      client.Exchange("POST", kTokenPath, {"Content-Type: application/json"}, kTokenBody);
  EXPECT_EQ(reply.status, 200) << reply.body;
  EXPECT_FALSE(Token(reply).empty());

  process.Signal(SIGTERM);  // with the client's connection still open
  EXPECT_EQ(process.Wait(10s), 0);
}

TEST(SandboxExecutable, AStateFolderOthersCanWriteEndsItWithExit1AndAClearMessage) {
  TemporaryFolder state;
  const auto folder = state.Path() / "open";
  std::filesystem::create_directory(folder);
  std::filesystem::permissions(folder, std::filesystem::perms::all);
  SandboxProcess process({"--state-dir", folder.string(), "--quiet"}, SandboxProcess::kErrors);
  ASSERT_TRUE(process.Started());
  EXPECT_EQ(process.ReadLine(10s), "kestrava-sandbox: The state folder " + folder.string() +
                                       " can be written by other users; use a folder that only "
                                       "you can write");
  EXPECT_EQ(process.Wait(10s), 1);
  EXPECT_TRUE(std::filesystem::is_empty(folder));
}

TEST(SandboxExecutable, HelpAndBadOptions) {
  SandboxProcess help({"--help"});
  EXPECT_EQ(help.ReadLine(5s), "Usage: kestrava-sandbox [options]");
  EXPECT_EQ(help.Wait(5s), 0);
  const std::vector<std::vector<std::string>> bad{
      {"--fail-page", "nope"},
      {"--fail-page", "1:503:0"},
      {"--reset-page", "1:x"},
      {"--reset-page"},
      {"--retry-after", "-1"},
      {"--retry-after-date", "x"},
      {"--retry-after", "1", "--retry-after-date", "1"},
  };
  for (const auto& arguments : bad) {
    SCOPED_TRACE(::testing::PrintToString(arguments));
    SandboxProcess process(arguments);
    EXPECT_EQ(process.Wait(5s), 2);
  }
  // A mistake wins over --help, as in kestrava-cli.
  SandboxProcess mistaken({"--help", "--what"}, SandboxProcess::kErrors);
  EXPECT_EQ(mistaken.ReadLine(5s), "kestrava-sandbox: unknown option --what");
  EXPECT_EQ(mistaken.Wait(5s), 2);
}

TEST(SandboxExecutable, FaultOptionsReachTheService) {
  TemporaryFolder state;
  SandboxProcess process({"--state-dir", state.Path().string(), "--quiet", "--fail-page", "1:503:1",
                          "--retry-after", "3", "--reset-page", "2:1"});
  const std::string line = process.ReadLine(10s);
  const std::string prefix = "kestrava-sandbox: host localhost:";
  ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
  const auto port = static_cast<std::uint16_t>(std::stoi(line.substr(prefix.size())));
  const std::string caFile = (state.Path() / "ca.pem").string();

  HttpTestClient client(port, caFile, "localhost");
  const std::vector<std::string> authorization{"Authorization: Bearer " + SignIn(client)};
  const auto failed = client.Exchange("GET", PageTarget(1), authorization);
  EXPECT_EQ(failed.status, 503);
  EXPECT_EQ(failed.Header("Retry-After"), "3");
  EXPECT_EQ(client.Exchange("GET", PageTarget(1), authorization).status, 200);
  EXPECT_TRUE(client.Exchange("GET", PageTarget(2), authorization).bodyCut);
  HttpTestClient again(port, caFile, "localhost");
  const auto served = again.Exchange("GET", PageTarget(2), authorization);
  EXPECT_EQ(served.status, 200);
  EXPECT_FALSE(served.bodyCut);
  process.Signal(SIGTERM);
  EXPECT_EQ(process.Wait(10s), 0);
}

}  // namespace
}  // namespace kestrava::sandbox

namespace kestrava::sandbox {
namespace {

TEST(SandboxCommandLine, RecordsThatChangeOverTime) {
  struct Case {
    std::vector<std::string> arguments;
    std::string error;  // "" when right
  };
  const Case cases[] = {
      {{"--late", "10:48", "--amend", "5:0", "--repeat-record", "3"}, ""},
      {{"--late", "100:87600", "--amend=0:1"}, ""},
      {{"--late", "101:1"},
       "option --late needs PERCENT:HOURS with PERCENT 0-100 and HOURS 0-87600, not \"101:1\""},
      {{"--amend", "5"},
       "option --amend needs PERCENT:HOURS with PERCENT 0-100 and HOURS 0-87600, not \"5\""},
      {{"--late", "5:-1"},
       "option --late needs PERCENT:HOURS with PERCENT 0-100 and HOURS 0-87600, not \"5:-1\""},
      {{"--repeat-record", "-1"},
       "option --repeat-record needs a whole number from 0 to 1000000000, not \"-1\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments[0] + " " + c.arguments[1]);
    const CommandLine line = ParseCommandLine(c.arguments);
    EXPECT_EQ(line.error, c.error);
  }
  const CommandLine line = ParseCommandLine(cases[0].arguments);
  EXPECT_EQ(line.options.service.latePostings, (DelayedShare{10, 48}));
  EXPECT_EQ(line.options.service.amendments, (DelayedShare{5, 0}));
  EXPECT_EQ(line.options.service.repeatAfterPage, 3);
  const std::string help = UsageText();
  for (const char* option : {"--late PERCENT:HOURS", "--amend PERCENT:HOURS", "--repeat-record N"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
}

}  // namespace
}  // namespace kestrava::sandbox
