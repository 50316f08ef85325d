// kestrava-cli as a program against kestrava-sandbox as a program: every
// command, both environments, over real TLS with the sandbox's own CA.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
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
#include "tests/support/Workbook.h"

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
  EXPECT_EQ(run.err.rfind("kestrava-cli: StatusCode: 401 - ", 0), 0u) << run.err;
  EXPECT_NE(run.err.find("\nkestrava-cli: reply: {"), std::string::npos) << run.err;
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
  EXPECT_EQ(run.err.rfind("kestrava-cli: HTTP/1.1 503 ", 0), 0u) << run.err;
}

TEST_F(CliAgainstSandbox, FormatNeedsNoService) {
  const ProcessResult run =
      RunProcess({KESTRAVA_CLI_PATH, "format"}, {}, "{\"a\":[1,{\"b\":null}]}");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, TJson::Format(*ParseJSONValue("{\"a\":[1,{\"b\":null}]}")) + "\n");
  const ProcessResult bad = RunProcess({KESTRAVA_CLI_PATH, "format"}, {}, "{\"a\":");
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_EQ(bad.err, "kestrava-cli: not a valid JSON text\n");
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

// A range wholly in the past, so that every run sees the same records.
struct PastRange {
  std::string from, to;
};
PastRange DaysBeforeToday(int days) {
  const TDateTime today = static_cast<double>(static_cast<long long>(Now()));
  return {LocalTime(today - days), LocalTime(today)};
}

std::vector<std::string> Lines(const std::string& text, const std::string& end) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(end, start)) != std::string::npos; start = at + end.size())
    lines.push_back(text.substr(start, at - start));
  return lines;
}

TEST_F(CliAgainstSandbox, EveryFormatOfTheRealServiceOnStandardOutputAndInAFile) {
  const PastRange range = DaysBeforeToday(5);
  const std::string folder = sandbox_->stateDir + "/out";
  std::filesystem::create_directories(folder);
  const auto records = PrintedArray(Cli({"transactions", "--from", range.from, "--to", range.to}));
  ASSERT_TRUE(records);
  ASSERT_GT(records->Count(), 50u);  // more than one page
  for (const std::string format : {"display", "compact", "ndjson", "csv"}) {
    SCOPED_TRACE(format);
    const std::vector<std::string> args = {"--format", format, "transactions", "--from",
                                           range.from, "--to", range.to};
    const ProcessResult printed = Cli(args);
    EXPECT_EQ(printed.exitCode, 0) << printed.err;
    const std::string file = folder + "/tx." + format;
    std::vector<std::string> toFile = {"--output", file};
    toFile.insert(toFile.end(), args.begin(), args.end());
    const ProcessResult written = Cli(toFile);
    EXPECT_EQ(written.exitCode, 0) << written.err;
    EXPECT_EQ(written.out, "");
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, printed.out);
    EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    if (format == "compact") {
      EXPECT_EQ(printed.out, records->ToString() + "\n");
    }
    if (format == "ndjson") {
      EXPECT_EQ(Lines(printed.out, "\n").size(), records->Count());
    }
    if (format == "csv") {
      const auto rows = Lines(printed.out, "\r\n");
      ASSERT_EQ(rows.size(), records->Count() + 1);
      EXPECT_EQ(rows[0].rfind("transactionId,", 0), 0u) << rows[0];
    }
  }
}

TEST_F(CliAgainstSandbox, TheRealServiceToAWorkbookWithDatesAndAmountsAsTheirTypes) {
  const PastRange range = DaysBeforeToday(5);
  const auto records = PrintedArray(Cli({"transactions", "--from", range.from, "--to", range.to}));
  ASSERT_TRUE(records);
  const std::string file = sandbox_->stateDir + "/tx.xlsx";
  const ProcessResult written = Cli({"--format", "xlsx", "--output", file, "transactions", "--from",
                                     range.from, "--to", range.to});
  ASSERT_EQ(written.exitCode, 0) << written.err;
  const std::string summary = ReadWorkbook(file, true);
  EXPECT_TRUE(summary.starts_with("rows " + std::to_string(records->Count() + 1) + "\n"))
      << summary;
  // Under their header: ids as text, booking times and value dates as
  // dates, account numbers and amounts as numbers.
  for (const char* types : {"\ntypes A s\n", "\ntypes B ns\n", "\ntypes D ds\n", "\ntypes E ds\n",
                            "\ntypes F ns\n", "\ntypes G s\n"}) {
    EXPECT_NE(summary.find(types), std::string::npos) << types << summary;
  }
  EXPECT_NE(summary.find("\nrow A s \"transactionId\" | B s \"accountId\" | C s \"iban\" | "
                         "D s \"bookingDate\" | E s \"valueDate\" | F s \"amount\""),
            std::string::npos)
      << summary;
}

TEST_F(CliAgainstSandbox, AnExpiringTokenMidExportSignsInAgainAndChangesNothing) {
  const Sandbox expiring = StartSandbox({"--expire-after", "3"});
  const PastRange range = DaysBeforeToday(30);
  const std::vector<std::string> args = {"--format", "csv",  "transactions", "--from",
                                         range.from, "--to", range.to};
  const ProcessResult clean = Cli(args);
  ASSERT_EQ(clean.exitCode, 0) << clean.err;

  std::vector<std::string> retrying = {"--retry", "1"};
  retrying.insert(retrying.end(), args.begin(), args.end());
  const ProcessResult renewed = Cli(expiring, retrying);
  EXPECT_EQ(renewed.exitCode, 0) << renewed.err;
  EXPECT_EQ(renewed.out, clean.out);
  const auto lines = Lines(renewed.err, "\n");
  EXPECT_GE(lines.size(), 3u);  // every three pages
  for (const std::string& line : lines)
    EXPECT_EQ(line.rfind("kestrava-cli: retry 1 of 1 in 0 s: 401/Unauthorized - {", 0), 0u) << line;

  const ProcessResult once = Cli(expiring, args);
  EXPECT_EQ(once.exitCode, 1);
  EXPECT_EQ(once.out, "");
  EXPECT_EQ(once.err.rfind("kestrava-cli: 401/Unauthorized - {", 0), 0u) << once.err;
}

TEST_F(CliAgainstSandbox, APageThatKeepsFailingIsTriedNMoreTimesAndOnlyWhenItMayPass) {
  const Sandbox failing = StartSandbox({"--fail-page", "1:503"});
  const PastRange range = DaysBeforeToday(30);
  const ProcessResult busy =
      Cli(failing, {"--retry", "1", "transactions", "--from", range.from, "--to", range.to});
  EXPECT_EQ(busy.exitCode, 1);
  EXPECT_EQ(busy.out, "");
  const auto lines = Lines(busy.err, "\n");
  ASSERT_EQ(lines.size(), 3u) << busy.err;
  EXPECT_EQ(lines[0], "kestrava-cli: retry 1 of 1 in 1 s: HTTP/1.1 503 Service Unavailable");
  EXPECT_EQ(lines[1], "kestrava-cli: HTTP/1.1 503 Service Unavailable");
  EXPECT_EQ(lines[2].rfind("kestrava-cli: reply: {", 0), 0u) << lines[2];

  const Sandbox missing = StartSandbox({"--fail-page", "1:404"});
  const ProcessResult gone =
      Cli(missing, {"--retry", "3", "transactions", "--from", range.from, "--to", range.to});
  EXPECT_EQ(gone.exitCode, 1);
  EXPECT_EQ(gone.err.rfind("kestrava-cli: 404/Not Found - {", 0), 0u) << gone.err;
  EXPECT_EQ(gone.err.find("retry"), std::string::npos) << gone.err;
}

TEST_F(CliAgainstSandbox, TheSecretFromStandardInputAndTheLastHours) {
  // The file wins over a wrong secret in the environment.
  const auto records = PrintedArray(
      Cli(*sandbox_, {"--secret-file", "-", "transactions", "--last", "240"},
          "wrong-secret-in-the-environment", std::string(sandbox::kDefaultClientSecret) + "\n"));
  ASSERT_TRUE(records);
  EXPECT_GT(records->Count(), 50u);
}

TEST_F(CliAgainstSandbox, EachPassingFaultOfTheServiceIsRiddenOutWithTheCleanResult) {
  struct Case {
    std::vector<std::string> faults;
    std::string lineStart;   // of the one retry line, after "in "
    std::vector<int> waits;  // the seconds it may say
  };
  const Case cases[] = {
      {{"--fail-page", "1:503:1", "--retry-after", "0"},
       " s: HTTP/1.1 503 Service Unavailable",
       {0}},
      {{"--fail-page", "1:429:1", "--retry-after", "1"}, " s: 429/Too Many Requests - {", {1}},
      // An HTTP-date two seconds after the reply: whole seconds, so 1 or 2.
      {{"--fail-page", "1:503:1", "--retry-after-date", "2"},
       " s: HTTP/1.1 503 Service Unavailable",
       {1, 2}},
      {{"--fail-page", "1:429:1", "--retry-after-date", "-30"},
       " s: 429/Too Many Requests - {",
       {0}},
      {{"--fail-page", "1:500:1"}, " s: HTTP/1.1 500 Internal Server Error", {1}},
      {{"--fail-page", "1:502:1"}, " s: HTTP/1.1 502 Bad Gateway", {1}},
      {{"--fail-page", "1:504:1"}, " s: HTTP/1.1 504 Gateway Timeout", {1}},
      {{"--fail-page", "1:408:1"}, " s: 408/Request Timeout - {", {1}},
      {{"--reset-page", "1:1"}, " s: REST request failed: Error reading data: (", {1}},
  };
  const PastRange range = DaysBeforeToday(10);
  const std::vector<std::string> args = {"--format", "csv",  "transactions", "--from",
                                         range.from, "--to", range.to};
  const ProcessResult clean = Cli(args);
  ASSERT_EQ(clean.exitCode, 0) << clean.err;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.faults[0] + " " + c.faults[1]);
    const Sandbox faulty = StartSandbox(c.faults);
    std::vector<std::string> retrying = {"--retry", "3"};
    retrying.insert(retrying.end(), args.begin(), args.end());
    const ProcessResult run = Cli(faulty, retrying);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, clean.out);
    bool matched = false;
    for (const int wait : c.waits) {
      const std::string start =
          "kestrava-cli: retry 1 of 3 in " + std::to_string(wait) + c.lineStart;
      matched = matched || run.err.rfind(start, 0) == 0;
    }
    EXPECT_TRUE(matched) << run.err;
    EXPECT_EQ(Lines(run.err, "\n").size(), 1u) << run.err;
  }
}

TEST_F(CliAgainstSandbox, MixedFaultsGiveByteForByteTheOutputOfACleanRun) {
  const PastRange range = DaysBeforeToday(30);
  for (const std::string format : {"display", "csv"}) {
    SCOPED_TRACE(format);
    // Counted faults are spent once: a service of its own for each run.
    const Sandbox faulty =
        StartSandbox({"--fail-page", "1:503:2", "--retry-after", "0", "--fail-page", "4:429:1",
                      "--reset-page", "2:1", "--expire-after", "4"});
    const std::vector<std::string> args = {"--format", format, "transactions", "--from",
                                           range.from, "--to", range.to};
    const ProcessResult clean = Cli(args);
    ASSERT_EQ(clean.exitCode, 0) << clean.err;
    const std::string file = sandbox_->stateDir + "/mixed." + format;
    std::vector<std::string> retrying = {"--retry", "3", "--output", file};
    retrying.insert(retrying.end(), args.begin(), args.end());
    const ProcessResult run = Cli(faulty, retrying);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
              clean.out);
    const std::string err = run.err;
    EXPECT_NE(err.find("retry 1 of 3 in 0 s: HTTP/1.1 503 Service Unavailable\n"),
              std::string::npos);
    EXPECT_NE(err.find("retry 2 of 3 in 0 s: HTTP/1.1 503 Service Unavailable\n"),
              std::string::npos);
    EXPECT_NE(err.find(" s: REST request failed: Error reading data: ("), std::string::npos);
    EXPECT_NE(err.find("in 0 s: 429/Too Many Requests - {"), std::string::npos);
    EXPECT_NE(err.find("in 0 s: 401/Unauthorized - {"), std::string::npos) << err;
  }
}

// Started with standard error closed, the program must not give that
// number to the export's file: the retry line would go into the export.
TEST_F(CliAgainstSandbox, AClosedStandardErrorNeverTakesTheRetryLineIntoTheExport) {
  const Sandbox faulty = StartSandbox({"--fail-page", "0:503:1", "--retry-after", "0"});
  const PastRange range = DaysBeforeToday(5);
  const std::vector<std::string> args = {"--format", "csv",  "transactions", "--from",
                                         range.from, "--to", range.to};
  const ProcessResult clean = Cli(args);
  ASSERT_EQ(clean.exitCode, 0) << clean.err;
  const std::string file = faulty.stateDir + "/f.csv";
  std::vector<std::string> argv = {"/bin/sh",
                                   "-c",
                                   "exec \"$0\" \"$@\" 2>&-",
                                   KESTRAVA_CLI_PATH,
                                   "--host",
                                   faulty.host,
                                   "--retry",
                                   "3",
                                   "--output",
                                   file};
  argv.insert(argv.end(), args.begin(), args.end());
  const ProcessResult run = RunProcess(
      argv,
      {"SSL_CERT_FILE=" + faulty.caFile,
       std::string("KESTRAVA_CLIENT_ID=") + sandbox::kDefaultClientId,
       std::string("KESTRAVA_CLIENT_SECRET=") + sandbox::kDefaultClientSecret, "LC_ALL=C"},
      "", 60s);
  EXPECT_EQ(run.exitCode, 0);
  std::ifstream in(file, std::ios::binary);
  const std::string written(std::istreambuf_iterator<char>(in), {});
  EXPECT_EQ(written.substr(0, 80), clean.out.substr(0, 80));
  EXPECT_TRUE(written == clean.out);
}

TEST_F(CliAgainstSandbox, WhatCannotPassIsTriedOnceAndTheBudgetEndsTheRest) {
  const PastRange range = DaysBeforeToday(10);
  const std::vector<std::string> args = {"--retry",  "5",    "transactions", "--from",
                                         range.from, "--to", range.to};
  for (const std::string status : {"400", "404", "501"}) {
    const Sandbox failing = StartSandbox({"--fail-page", "1:" + status});
    const ProcessResult run = Cli(failing, args);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.find("retry"), std::string::npos) << run.err;
  }
  // Always 503: a wait of 1 s fits into 2 s, the next one of 2 s no longer.
  const Sandbox busy = StartSandbox({"--fail-page", "1:503"});
  std::vector<std::string> budget = {"--retry-max-time", "2"};
  budget.insert(budget.end(), args.begin(), args.end());
  const ProcessResult run = Cli(busy, budget);
  EXPECT_EQ(run.exitCode, 1);
  const auto lines = Lines(run.err, "\n");
  ASSERT_EQ(lines.size(), 3u) << run.err;
  EXPECT_EQ(lines[0], "kestrava-cli: retry 1 of 5 in 1 s: HTTP/1.1 503 Service Unavailable");
  EXPECT_EQ(lines[1], "kestrava-cli: HTTP/1.1 503 Service Unavailable");
  EXPECT_EQ(lines[2].rfind("kestrava-cli: reply: {", 0), 0u);
}

}  // namespace
}  // namespace kestrava::testing
