// kestrava-cli as a program against kestrava-sandbox as a program: every
// command, both environments, over real TLS with the sandbox's own CA.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "datetime/DateTime.h"
#include "datetime/FormatSettings.h"
#include "json/JSON.h"
#include "json/JsonFormat.h"
#include "sandbox/SandboxService.h"
#include "tests/cli/Process.h"

namespace kestrava::testing {
namespace {

using namespace std::chrono_literals;

struct Sandbox {
  Sandbox() = default;
  Sandbox(Sandbox&& other) noexcept
      : process(std::move(other.process)),
        stateDir(std::exchange(other.stateDir, {})),
        host(std::move(other.host)),
        caFile(std::move(other.caFile)) {}
  ~Sandbox() {
    process.reset();  // stops it first
    if (!stateDir.empty()) std::filesystem::remove_all(stateDir);
  }
  std::unique_ptr<ChildProcess> process;
  std::string stateDir, host, caFile;
};

// Starts a sandbox and reads its ready line
// "kestrava-sandbox: host localhost:PORT ca CA-FILE".
Sandbox StartSandbox(std::vector<std::string> options) {
  static int count = 0;
  const std::string stateDir = ::testing::TempDir() + "kestrava-cli-e2e-" +
                               std::to_string(getpid()) + "-" + std::to_string(count++);
  std::vector<std::string> argv = {KESTRAVA_SANDBOX_PATH, "--quiet", "--state-dir", stateDir};
  argv.insert(argv.end(), options.begin(), options.end());
  Sandbox sandbox;
  sandbox.stateDir = stateDir;
  sandbox.process = std::make_unique<ChildProcess>(argv, std::vector<std::string>{});
  const std::string line = sandbox.process->ReadLine(30s);
  const std::string prefix = "kestrava-sandbox: host ";
  const std::size_t ca = line.find(" ca ");
  if (line.rfind(prefix, 0) != 0 || ca == std::string::npos) {
    ADD_FAILURE() << "no ready line from the sandbox: \"" << line << "\"";
    return sandbox;
  }
  sandbox.host = line.substr(prefix.size(), ca - prefix.size());
  sandbox.caFile = line.substr(ca + 4);
  return sandbox;
}

std::string LocalTime(TDateTime value) {
  return FormatDateTime("yyyy-mm-dd\"T\"hh:nn:ss.zzz", value, TFormatSettings{});
}

class CliAgainstSandbox : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { sandbox_ = new Sandbox(StartSandbox({})); }
  static void TearDownTestSuite() {
    delete sandbox_;
    sandbox_ = nullptr;
  }

  static ProcessResult Cli(const Sandbox& sandbox, std::vector<std::string> args,
                           std::string secret = sandbox::kDefaultClientSecret,
                           const std::string& input = "") {
    std::vector<std::string> argv = {KESTRAVA_CLI_PATH, "--host", sandbox.host};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv,
                      {"SSL_CERT_FILE=" + sandbox.caFile,
                       std::string("KESTRAVA_CLIENT_ID=") + sandbox::kDefaultClientId,
                       "KESTRAVA_CLIENT_SECRET=" + secret, "LC_ALL=C"},
                      input, 60s);
  }
  static ProcessResult Cli(std::vector<std::string> args) { return Cli(*sandbox_, args); }

  // The display text printed for an array, parsed back.
  static std::unique_ptr<TJSONArray> PrintedArray(const ProcessResult& run) {
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    if (run.out.empty() || run.out.back() != '\n') {
      ADD_FAILURE() << "no line feed at the end";
      return nullptr;
    }
    const std::string text = run.out.substr(0, run.out.size() - 1);
    std::unique_ptr<TJSONValue> value = ParseJSONValue(text);
    if (value == nullptr || value->Kind() != TJSONKind::Array) {
      ADD_FAILURE() << "not a JSON array: " << text.substr(0, 200);
      return nullptr;
    }
    EXPECT_EQ(TJson::Format(*value), text);  // exactly the display text
    return AsJSONArray(std::move(value));
  }

  static Sandbox* sandbox_;
};

Sandbox* CliAgainstSandbox::sandbox_ = nullptr;

TEST_F(CliAgainstSandbox, LoginInBothEnvironments) {
  for (const bool test : {false, true}) {
    SCOPED_TRACE(test);
    const ProcessResult run = test ? Cli({"--test", "login"}) : Cli({"login"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    ASSERT_GT(run.out.size(), 1u);
    EXPECT_EQ(run.out.find('\n'), run.out.size() - 1);
  }
}

TEST_F(CliAgainstSandbox, RefusedCredentialsGiveTheServicesTextAndExitOne) {
  const std::string secret = "wrong-secret-value";
  const ProcessResult run = Cli(*sandbox_, {"login"}, secret);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.rfind("StatusCode: 401 - ", 0), 0u) << run.err;
  EXPECT_NE(run.err.find('\r'), std::string::npos);
  EXPECT_EQ(run.err.back(), '\n');
  EXPECT_EQ(run.err.find(secret), std::string::npos);
}

TEST_F(CliAgainstSandbox, AccountsDifferBetweenTheEnvironments) {
  const auto production = PrintedArray(Cli({"accounts"}));
  const auto test = PrintedArray(Cli({"--test", "accounts"}));
  ASSERT_TRUE(production && test);
  EXPECT_GT(production->Count(), 0u);
  EXPECT_GT(test->Count(), 0u);
  EXPECT_NE(production->ToString(), test->ToString());
  const ProcessResult compact = Cli({"--compact", "accounts"});
  EXPECT_EQ(compact.exitCode, 0);
  EXPECT_EQ(compact.out, production->ToString() + "\n");
}

TEST_F(CliAgainstSandbox, TransactionsJoinEveryPage) {
  const TDateTime now = Now();
  const std::string from = LocalTime(IncHour(now, -24 * 30));
  const std::string to = LocalTime(now);
  for (const bool test : {false, true}) {
    SCOPED_TRACE(test);
    std::vector<std::string> args = {"transactions", "--from", from, "--to", to};
    if (test) args.insert(args.begin(), "--test");
    const auto records = PrintedArray(Cli(args));
    ASSERT_TRUE(records);
    // Thirty days hold more than one page of 50.
    EXPECT_GT(records->Count(), 50u);
  }
  // Only the account asked for.
  const auto filtered =
      PrintedArray(Cli({"transactions", "--from", from, "--to", to, "--account", "2"}));
  ASSERT_TRUE(filtered);
  EXPECT_GT(filtered->Count(), 0u);
  for (std::size_t i = 0; i < filtered->Count(); ++i) {
    EXPECT_EQ(filtered->Get(i)->GetValue("accountId", ""), "2");
  }
  // A range in the future holds nothing.
  const auto none = PrintedArray(
      Cli({"transactions", "--from", LocalTime(now + 10), "--to", LocalTime(now + 11)}));
  ASSERT_TRUE(none);
  EXPECT_EQ(none->Count(), 0u);
}

TEST_F(CliAgainstSandbox, AFailingLaterPageFailsTheExport) {
  const Sandbox failing = StartSandbox({"--fail-page", "1:503"});
  const TDateTime now = Now();
  const ProcessResult run =
      Cli(failing,
          {"transactions", "--from", LocalTime(IncHour(now, -24 * 60)), "--to", LocalTime(now)});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.rfind("HTTP/1.1 503 ", 0), 0u) << run.err;
}

TEST_F(CliAgainstSandbox, FormatNeedsNoService) {
  const ProcessResult run =
      RunProcess({KESTRAVA_CLI_PATH, "format"}, {}, "{\"a\":[1,{\"b\":null}]}");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, TJson::Format(*ParseJSONValue("{\"a\":[1,{\"b\":null}]}")) + "\n");
  const ProcessResult bad = RunProcess({KESTRAVA_CLI_PATH, "format"}, {}, "{\"a\":");
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_EQ(bad.err, "Not a valid JSON text\n");
  const ProcessResult usage = RunProcess({KESTRAVA_CLI_PATH}, {});
  EXPECT_EQ(usage.exitCode, 2);
  const ProcessResult folder = RunProcess({KESTRAVA_CLI_PATH, "format", "/"}, {"LC_ALL=C"});
  EXPECT_EQ(folder.exitCode, 1);
  EXPECT_EQ(folder.err, "kestrava-cli: cannot read /: Is a directory\n");
}

TEST_F(CliAgainstSandbox, OutputThatCannotBeWrittenIsAFailureThatSaysWhy) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  for (const char* args : {"--version", "--help", "format", "accounts", "login"}) {
    SCOPED_TRACE(args);
    const ProcessResult run = RunProcess(
        {"/bin/sh", "-c", std::string("exec \"$0\" --host \"$1\" ") + args + " > /dev/full",
         KESTRAVA_CLI_PATH, sandbox_->host},
        {"SSL_CERT_FILE=" + sandbox_->caFile,
         std::string("KESTRAVA_CLIENT_ID=") + sandbox::kDefaultClientId,
         std::string("KESTRAVA_CLIENT_SECRET=") + sandbox::kDefaultClientSecret, "LC_ALL=C"},
        "[1,2]");
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(run.err, "kestrava-cli: cannot write standard output: No space left on device\n");
  }
}

}  // namespace
}  // namespace kestrava::testing
