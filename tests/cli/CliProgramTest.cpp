// kestrava-cli as a program against the scripted TLS server: what reaches a
// terminal, and what a pipe gets.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/cli/Process.h"
#include "tests/support/ScriptedServer.h"

namespace kestrava::testing {
namespace {

using namespace std::chrono_literals;

std::string JsonReply(int code, std::string_view reason, std::string_view body) {
  return HttpReply(code, reason, {"Content-Type: application/json"}, body);
}

std::string TokenReply() {
  return JsonReply(200, "OK", R"({"status":"200 OK","result":{"accessToken":"tok-9"}})");
}

class CliProgram : public ::testing::Test {
 protected:
  ProcessResult Run(std::vector<std::string> args, ChildOutput output = ChildOutput::Pipes) {
    std::vector<std::string> argv = {
        KESTRAVA_CLI_PATH, "--host", server.HostPort(), "--id", "id-1", "--secret", "s3cret-value"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv, {"SSL_CERT_FILE=" + TestCaFile(), "LC_ALL=C"}, "", 60s, output);
  }
  ScriptedServer server;
};

TEST_F(CliProgram, ServerTextCannotActOnATerminalAndStaysExactInAPipe) {
  // An error body that would retitle the window, clear the screen and
  // overwrite its own first line; data with an escape and a C1 CSI.
  const std::string hostile =
      "\x1b]0;owned\x07\x1b[2J\rfake prompt $ \xC2\x9B"
      "31m";
  const std::string records = R"([{"n":"\u001b[31mred\u009b"}])";
  for (const ChildOutput output : {ChildOutput::Pipes, ChildOutput::Terminals}) {
    const bool terminal = output == ChildOutput::Terminals;
    SCOPED_TRACE(terminal ? "terminal" : "pipe");
    server.Enqueue(Reply(TokenReply()));
    server.Enqueue(Reply(JsonReply(400, "Bad Request", hostile)));
    const ProcessResult failed = Run({"accounts"}, output);
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.out, "");
    EXPECT_EQ(failed.err, terminal
                              ? "400/Bad Request - \\x1b]0;owned\\x07\\x1b[2J\r\nfake prompt $ "
                                "\\x9b31m\n"
                              : "400/Bad Request - " + hostile + "\n");

    server.Enqueue(Reply(TokenReply()));
    server.Enqueue(Reply(JsonReply(200, "OK", "{\"result\":" + records + "}")));
    const ProcessResult read = Run({"--compact", "accounts"}, output);
    EXPECT_EQ(read.exitCode, 0) << read.err;
    EXPECT_EQ(read.out, terminal ? "[{\"n\":\"\\x1b[31mred\\x9b\"}]\n"
                                 : "[{\"n\":\"\x1b[31mred\xC2\x9B\"}]\n");
    EXPECT_EQ(read.err, "");
  }
}

}  // namespace
}  // namespace kestrava::testing
