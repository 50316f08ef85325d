// kestrava-cli as a program against the scripted TLS server: what reaches a
// terminal, and what a pipe gets.

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/CliFixture.h"
#include "tests/cli/Process.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/Workbook.h"

namespace kestrava::testing {
namespace {

using namespace std::chrono_literals;

class CliProgram : public ::testing::Test {
 protected:
  // The program against `on` (the fixture's server unless given).
  std::vector<std::string> Argv(std::vector<std::string> args, const ScriptedServer* on = nullptr) {
    std::vector<std::string> argv = {KESTRAVA_CLI_PATH,
                                     "--host",
                                     (on != nullptr ? on : &server)->HostPort(),
                                     "--id",
                                     "id-1",
                                     "--secret",
                                     "s3cret-value"};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  }
  std::vector<std::string> Environment() const {
    return {"SSL_CERT_FILE=" + TestCaFile(), "LC_ALL=C"};
  }
  ProcessResult Run(std::vector<std::string> args, ChildOutput output = ChildOutput::Pipes) {
    return RunProcess(Argv(std::move(args)), Environment(), "", 60s, output);
  }
  ScriptedServer server;
  ScratchFolder scratch;
  std::filesystem::path folder = scratch.Path();
};

TEST_F(CliProgram, ServerTextCannotActOnATerminalAndStaysExactInAPipe) {
  // An error body that would retitle the window, clear the screen and
  // overwrite its own first line; data with an escape, a C1 CSI and a
  // right-to-left override that would show "exe.png" as "gnp.exe".
  const std::string hostile =
      "\x1b]0;owned\x07\x1b[2J\rfake prompt $ \xC2\x9B"
      "31m";
  const std::string records = R"([{"n":"\u001b[31mred\u009b\u202egnp.exe"}])";
  for (const ChildOutput output : {ChildOutput::Pipes, ChildOutput::Terminals}) {
    const bool terminal = output == ChildOutput::Terminals;
    SCOPED_TRACE(terminal ? "terminal" : "pipe");
    // The lines for a log, whatever standard error is.
    server.Enqueue(Reply(TokenReply("tok-9")));
    server.Enqueue(Reply(JsonReply(400, "Bad Request", hostile)));
    const ProcessResult failed = Run({"accounts"}, output);
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.out, "");
    EXPECT_EQ(failed.err,
              "kestrava-cli: 400/Bad Request - \\x1b]0;owned\\x07\\x1b[2J\n"
              "kestrava-cli: reply: \\x1b]0;owned\\x07\\x1b[2J\\x0dfake prompt $ \\x9b31m\n");
    // The exact text: made harmless on a terminal only.
    server.Enqueue(Reply(TokenReply("tok-9")));
    server.Enqueue(Reply(JsonReply(400, "Bad Request", hostile)));
    const ProcessResult exact = Run({"--exact-errors", "accounts"}, output);
    EXPECT_EQ(exact.exitCode, 1);
    EXPECT_EQ(exact.err, terminal ? "400/Bad Request - \\x1b]0;owned\\x07\\x1b[2J\r\nfake prompt $ "
                                    "\\x9b31m\n"
                                  : "400/Bad Request - " + hostile + "\n");

    server.Enqueue(Reply(TokenReply("tok-9")));
    server.Enqueue(Reply(JsonReply(200, "OK", "{\"result\":" + records + "}")));
    const ProcessResult read = Run({"--compact", "accounts"}, output);
    EXPECT_EQ(read.exitCode, 0) << read.err;
    EXPECT_EQ(read.out, terminal ? "[{\"n\":\"\\x1b[31mred\\x9b\\u202egnp.exe\"}]\n"
                                 : "[{\"n\":\"\x1b[31mred\xC2\x9B\xE2\x80\xAEgnp.exe\"}]\n");
    EXPECT_EQ(read.err, "");
  }
}

// The exit status is 128 + the signal's number, as a shell reports it.
TEST_F(CliProgram, ASignalMidExportLeavesTheFileAsItWasAndNoTemporaryFile) {
  struct Case {
    const char* name;
    int signal;
    bool fileExists;
    Reply stall;  // the answer to page 1 during which the signal comes
    std::vector<std::string> options;
  };
  const Case cases[] = {
      // A long wait for the reply of a request.
      {"SIGTERM, waiting for a page", SIGTERM, true, Reply().Pause(60s), {}},
      {"SIGINT, waiting for a page", SIGINT, false, Reply().Pause(60s), {"--format", "csv"}},
      // A long wait between two tries of a request.
      {"SIGTERM, waiting to try again",
       SIGTERM,
       true,
       Reply(HttpReply(503, "Service Unavailable", {"Retry-After: 300"}, "")),
       {"--retry", "2"}},
      {"SIGHUP, waiting for a page", SIGHUP, true, Reply().Pause(60s), {"--format", "ndjson"}},
      {"SIGPIPE, waiting for a page", SIGPIPE, false, Reply().Pause(60s), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::filesystem::path file = folder / "export.json";
    std::filesystem::remove(file);
    if (c.fileExists) std::ofstream(file, std::ios::binary) << "last night's export\n";
    const std::size_t before = server.Requests().size();
    server.Enqueue(Reply(TokenReply("tok-9")));
    server.Enqueue(Reply(PageReply(3, R"([{"id":1}])")));
    server.Enqueue(c.stall);

    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"--output", file.string(), "transactions", "--from",
                             "2025-05-14T08:30", "--to", "2025-05-15T08:30"});
    ChildProcess child(Argv(args), Environment());
    ASSERT_TRUE(server.WaitForRequests(before + 3, 20s));
    std::this_thread::sleep_for(300ms);  // well inside the wait
    const auto signalled = std::chrono::steady_clock::now();
    child.Signal(c.signal);
    const ProcessResult result = child.Wait(20s);
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, 5s);
    EXPECT_EQ(result.exitCode, 128 + c.signal);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.substr(result.err.rfind("kestrava-cli: interrupted")),
              "kestrava-cli: interrupted; " + file.string() + " left as it was\n");
    if (c.fileExists) {
      EXPECT_EQ(scratch.Names(), std::vector<std::string>{"export.json"});
      EXPECT_EQ(ReadWhole(file), "last night's export\n");
    } else {
      EXPECT_TRUE(scratch.Names().empty());
    }
  }
}

TEST_F(CliProgram, AFileThatFillsUpMidExportIsLeftAsItWas) {
  // A limit on the size of the files the program writes makes a write part
  // way fail as a full disk would (EFBIG rather than ENOSPC), whether the
  // shell leaves SIGXFSZ to end the program or ignores it.
  const std::filesystem::path file = folder / "export.csv";
  std::string records = "[";
  for (int i = 0; i < 50; ++i)
    records += (i > 0 ? "," : "") + std::string("{\"id\":") + std::to_string(i) + ",\"text\":\"" +
               std::string(400, 'x') + "\"}";
  records += "]";
  for (const char* limit : {"ulimit -f 64", "trap '' XFSZ; ulimit -f 64"}) {
    SCOPED_TRACE(limit);
    std::ofstream(file, std::ios::binary) << "last night's export\r\n";
    // A server of each run's own: a run takes only the pages it writes.
    ScriptedServer pages;
    pages.Enqueue(Reply(TokenReply("tok-9")));
    for (int page = 0; page < 5; ++page) pages.Enqueue(Reply(PageReply(5, records)));
    std::vector<std::string> argv = {"/bin/sh", "-c", std::string(limit) + "; exec \"$@\"", "sh"};
    for (const std::string& arg :
         Argv({"--format", "csv", "--output", file.string(), "transactions", "--from",
               "2025-05-14T08:30", "--to", "2025-05-15T08:30"},
              &pages))
      argv.push_back(arg);
    const ProcessResult run = RunProcess(argv, Environment(), "", 60s);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "kestrava-cli: cannot write " + file.string() + ": File too large\n");
    EXPECT_EQ(scratch.Names(), std::vector<std::string>{"export.csv"});
    EXPECT_EQ(ReadWhole(file.string()), "last night's export\r\n");
  }
}

// --max-time bounds the whole command, whatever the service does to keep
// it going: a reply that trickles in a byte at a time (no single wait is
// long), or a service that claims ever more pages. It ends with a failure
// that says so, writes nothing and leaves FILE as it was.
TEST_F(CliProgram, MaxTimeEndsACommandThatTheServiceKeepsGoing) {
  const std::string head =
      "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 100000\r\n\r\n";
  Reply trickle = Reply().Send(head + "{");
  for (int i = 0; i < 600; ++i) trickle.Send("\"").Pause(100ms);
  struct Case {
    const char* name;
    std::vector<Reply> replies;  // after the sign-in
  };
  std::vector<Case> cases = {{"a reply a byte at a time", {trickle}}, {"endless pages", {}}};
  // Each page a little late, so that the pages last far longer than the
  // command may.
  for (int page = 0; page < 20000; ++page)
    cases[1].replies.push_back(Reply().Pause(2ms).Send(PageReply(2'147'483'647, R"([{"id":1}])")));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedServer service;
    service.Enqueue(Reply(TokenReply("tok-9")));
    for (const Reply& reply : c.replies) service.Enqueue(reply);
    const std::filesystem::path file = folder / "export.json";
    std::ofstream(file, std::ios::binary) << "last night's export\n";
    const ProcessResult run =
        RunProcess(Argv({"--max-time", "2", "--timeout", "30", "--output", file.string(),
                         "transactions", "--from", "2025-05-14T08:30", "--to", "2025-05-15T08:30"},
                        &service),
                   Environment(), "", 60s);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "kestrava-cli: the command did not end within --max-time 2 s\n");
    EXPECT_EQ(scratch.Names(), std::vector<std::string>{"export.json"});
    EXPECT_EQ(ReadWhole(file), "last night's export\n");
  }
}

// Where a file cannot be without a name (here: /proc leads to none of the
// program's files, whose folder a mount namespace of the test's own hides),
// a named temporary file serves: a signal in the middle removes it, and a
// finished export renames it over FILE.
TEST_F(CliProgram, WithoutNamelessFilesANamedTemporaryFileServesAndGoes) {
  const std::vector<std::string> hiddenProc = {"/usr/bin/unshare",
                                               "--mount",
                                               "sh",
                                               "-c",
                                               "mount -t tmpfs none /proc/$$/fd && exec \"$@\"",
                                               "sh"};
  std::vector<std::string> probe = hiddenProc;
  probe.push_back("true");
  if (!std::filesystem::exists(hiddenProc[0]) || RunProcess(probe, {}, "", 20s).exitCode != 0)
    GTEST_SKIP() << "no mount namespace of our own here";
  const std::filesystem::path file = folder / "export.json";
  std::ofstream(file, std::ios::binary) << "last night's export\n";
  const auto argv = [&](const std::vector<std::string>& args) {
    std::vector<std::string> all = hiddenProc;
    for (const std::string& arg : Argv(args)) all.push_back(arg);
    return all;
  };
  const std::vector<std::string> environment = Environment();
  const std::vector<std::string> exportArgs = {
      "--output",         file.string(), "transactions",    "--from",
      "2025-05-14T08:30", "--to",        "2025-05-15T08:30"};

  server.Enqueue(Reply(TokenReply("tok-9")));
  server.Enqueue(Reply(PageReply(2, R"([{"id":1}])")));
  server.Enqueue(Reply().Pause(60s));
  ChildProcess child(argv(exportArgs), environment);
  ASSERT_TRUE(server.WaitForRequests(3, 20s));
  const std::vector<std::string> during = scratch.Names();
  ASSERT_EQ(during.size(), 2u);
  EXPECT_EQ(during[0].rfind(".kestrava-", 0), 0u) << during[0];
  child.Signal(SIGTERM);
  const ProcessResult stopped = child.Wait(20s);
  EXPECT_EQ(stopped.exitCode, 143);
  EXPECT_EQ(scratch.Names(), std::vector<std::string>{"export.json"});
  EXPECT_EQ(ReadWhole(file), "last night's export\n");

  server.Enqueue(Reply(TokenReply("tok-9")));
  server.Enqueue(Reply(PageReply(1, R"([{"id":1}])")));
  std::vector<std::string> compact = {"--compact"};
  compact.insert(compact.end(), exportArgs.begin(), exportArgs.end());
  const ProcessResult done = RunProcess(argv(compact), environment, "", 60s);
  EXPECT_EQ(done.exitCode, 0) << done.err;
  EXPECT_EQ(scratch.Names(), std::vector<std::string>{"export.json"});
  EXPECT_EQ(ReadWhole(file), "[{\"id\":1}]\n");
}

// Killed where no handler can run (SIGKILL, the OOM killer): the export's
// temporary file has no name, so the folder is left exactly as it was.
TEST_F(CliProgram, AnExportKilledOutrightLeavesTheFolderAsItWas) {
  struct Case {
    const char* format;
    bool fileExists;
  };
  const Case cases[] = {{"display", true}, {"csv", true}, {"ndjson", false}, {"csv", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.format) + (c.fileExists ? ", replacing a file" : ", a new file"));
    const std::filesystem::path file = folder / "export.out";
    std::filesystem::remove(file);
    if (c.fileExists) std::ofstream(file, std::ios::binary) << "last night's export\n";
    const std::size_t before = server.Requests().size();
    server.Enqueue(Reply(TokenReply("tok-9")));
    server.Enqueue(Reply(PageReply(3, R"([{"id":1,"text":"the first page is written"}])")));
    server.Enqueue(Reply().Pause(60s));
    ChildProcess child(Argv({"--format", c.format, "--output", file.string(), "transactions",
                             "--from", "2025-05-14T08:30", "--to", "2025-05-15T08:30"}),
                       Environment());
    ASSERT_TRUE(server.WaitForRequests(before + 3, 20s));
    child.Signal(SIGKILL);
    child.Wait(20s);
    if (c.fileExists) {
      EXPECT_EQ(scratch.Names(), std::vector<std::string>{"export.out"});
      EXPECT_EQ(ReadWhole(file), "last night's export\n");
    } else {
      EXPECT_TRUE(scratch.Names().empty());
    }
  }
}

TEST_F(CliProgram, AHundredThousandRecordsToAWorkbookThatOpenpyxlReadsWhole) {
  constexpr int kRecords = 100'000;
  const std::string input = (folder / "export.json").string();
  {
    std::ofstream json(input, std::ios::binary);
    json << '[';
    for (int i = 0; i < kRecords; ++i) {
      json << (i > 0 ? "," : "") << "{\"id\":" << 12'345'678'901'234'567'000ULL + i
           << ",\"amount\":" << i % 1000 << '.' << (i % 100 < 10 ? "0" : "") << i % 100
           << ",\"bookingDate\":\"2026-" << (i % 12 < 9 ? "0" : "") << i % 12 + 1 << "-15\""
           << ",\"note\":\"n" << i << "\",\"booked\":" << (i % 2 == 0 ? "true" : "false") << '}';
    }
    json << ']';
  }
  const std::string workbook = (folder / "export.xlsx").string();
  const ProcessResult run = RunProcess(
      {KESTRAVA_CLI_PATH, "--format", "xlsx", "--output", workbook, "format", input}, {}, "", 300s);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(
      ReadWorkbook(workbook, true),
      "rows 100001\n"
      "types A ns\n"  // 20-digit ids are text, 12345678901234600000 a number
      "types B ns\n"
      "types C ds\n"
      "types D s\n"
      "types E bs\n"
      "row A s \"id\" | B s \"amount\" | C s \"bookingDate\" | D s \"note\" | E s \"booked\"\n"
      "row A s \"12345678901234567000\" | B n 0 | C d \"2026-01-15T00:00:00.000\" | "
      "D s \"n0\" | E b true\n"
      "row A s \"12345678901234567001\" | B n 1.01 | C d \"2026-02-15T00:00:00.000\" | "
      "D s \"n1\" | E b false\n"
      "last A s \"12345678901234666999\" | B n 999.99 | C d \"2026-04-15T00:00:00.000\" | "
      "D s \"n99999\" | E b false\n");
}

TEST_F(CliProgram, AWorkbookIsRefusedOnARealTerminal) {
  const ProcessResult run = RunProcess({KESTRAVA_CLI_PATH, "--format", "xlsx", "format", "-"}, {},
                                       "[]", 60s, ChildOutput::Terminals);
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.substr(0, run.err.find('\n')),
            "kestrava-cli: --format xlsx writes a workbook: give --output FILE, or send standard "
            "output to a file or a program");
}

}  // namespace
}  // namespace kestrava::testing
