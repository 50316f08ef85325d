#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "json/JSON.h"
#include "sandbox/CommandLine.h"
#include "sandbox/SandboxServer.h"
#include "sandbox/https/HttpsError.h"
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

TEST(SandboxServer, StateFolderMustBeAPrivateFolder) {
  TemporaryFolder state;
  const auto open = state.Path() / "open";
  std::filesystem::create_directory(open);
  std::filesystem::permissions(open, std::filesystem::perms::all);
  PrepareStateDir(open);
  EXPECT_EQ(std::filesystem::status(open).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_all);

  const auto link = state.Path() / "link";
  std::filesystem::create_directory_symlink(open, link);
  EXPECT_THROW(PrepareStateDir(link), https::HttpsError);
  const auto file = state.Path() / "file";
  https::WriteTextFile(file, "x", std::filesystem::perms::owner_all);
  EXPECT_THROW(PrepareStateDir(file), https::HttpsError);
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
  EXPECT_EQ(line.options.service.failPages, (std::map<int, int>{{0, 404}, {2, 503}}));
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

// Runs the real executable, bounded in time.
class SandboxProcess {
 public:
  explicit SandboxProcess(std::vector<std::string> arguments) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
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

TEST(SandboxExecutable, HelpAndBadOptions) {
  SandboxProcess help({"--help"});
  EXPECT_EQ(help.ReadLine(5s), "Usage: kestrava-sandbox [options]");
  EXPECT_EQ(help.Wait(5s), 0);
  SandboxProcess bad({"--fail-page", "nope"});
  EXPECT_EQ(bad.Wait(5s), 2);
}

}  // namespace
}  // namespace kestrava::sandbox
