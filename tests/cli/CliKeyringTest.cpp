// kestrava-cli with the secret in a real keyring: gnome-keyring-daemon on a
// private session bus, a bus without a Secret Service, or no bus at all
// (tests/support/with-secret-service starts each; ctest runs every suite
// under its own). The program runs in-process against the scripted server,
// and as a child on a pseudo-terminal where the secret is typed.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "keyring/SecretServiceKeyring.h"
#include "tests/cli/CliFixture.h"
#include "tests/support/SecretService.h"

namespace kestrava::testing {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view kSecret = "s3cret-from-the-keyring";

std::string TokenBody(std::string_view id, std::string_view secret) {
  return R"({"grant_type":"client_credentials","client_id":")" + std::string(id) +
         R"(","client_secret":")" + std::string(secret) + R"("})";
}

class CliKeyringTest : public CliTest {
 protected:
  explicit CliKeyringTest(const char* mode) : mode_(mode) {
    openKeyring = keyring::NewSecretServiceKeyring;
    environment["HOME"] = home.Path();
    config = home.File("kestrava.conf");
  }
  void SetUp() override {
    if (!UnderSecretService(mode_))
      GTEST_FAIL() << "run through tests/support/with-secret-service " << mode_;
    WriteWhole(config, "[profile acme]\nid = K27315TQB\nhost = " + server.HostPort() +
                           "\nkeyring = true\n");
    chmod(config.c_str(), 0600);
  }

  // The program with the scripted server's host and `args`.
  Outcome Run(std::vector<std::string> args, std::string input = "") {
    args.insert(args.begin(), {"--host", server.HostPort()});
    return Call(args, std::move(input));
  }
  Outcome WithProfile(std::vector<std::string> args) {
    args.insert(args.begin(), {"--config", config, "--profile", "acme"});
    return Call(args);
  }
  std::string Source(std::string_view id = "K27315TQB") const {
    return server.HostPort() + ", client id " + std::string(id);
  }

  // No keyring to reach: each command that needs one fails at once.
  void ExpectNoKeyring(const std::string& reason) {
    const std::string line =
        "kestrava-cli: no keyring: no Secret Service on the session bus (" + reason + ")\n";
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--config", config, "--profile", "acme", "login"},
             {"--id", "K1", "--keyring", "transactions", "--last", "24"},
             {"--id", "K1", "secret", "status"},
             {"--id", "K1", "secret", "clear"}}) {
      SCOPED_TRACE(args.back());
      const Outcome run = Run(args);
      EXPECT_EQ(run.code, 1);
      EXPECT_EQ(run.out, "");
      EXPECT_EQ(run.err, line);
    }
    EXPECT_EQ(server.Requests().size(), 0u);
  }

  ScratchFolder home;
  std::string config;

 private:
  const char* mode_;
};

class CliKeyringUnlocked : public CliKeyringTest {
 protected:
  CliKeyringUnlocked() : CliKeyringTest("unlocked") {}
};

TEST_F(CliKeyringUnlocked, SetStatusUseAndClear) {
  Outcome run = Run({"--id", "K27315TQB", "secret", "status"});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.out, "secret: none stored for " + Source() + "\n");

  run = Run({"--id", "K27315TQB", "secret", "set"}, std::string(kSecret) + "\nnext line\n");
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "kestrava-cli: secret stored for " + Source() + "\n");

  run = Run({"--id", "K27315TQB", "secret", "status"});
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.out, "secret: stored for " + Source() + "\n");
  EXPECT_EQ(run.out.find(kSecret), std::string::npos);
  // The test environment is another source.
  run = Run({"--test", "--id", "K27315TQB", "secret", "status"});
  EXPECT_EQ(run.out, "secret: none stored for api.test." + Source() + "\n");

  // --keyring, and a profile's keyring = true.
  for (const bool profile : {false, true}) {
    SCOPED_TRACE(profile);
    server.Enqueue(Reply(TokenReply("tok-9")));
    run = profile ? WithProfile({"login"}) : Run({"--id", "K27315TQB", "--keyring", "login"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "tok-9\n");
    EXPECT_EQ(server.Requests().back().body, TokenBody("K27315TQB", kSecret));
  }
  // The secret from the keyring is kept out of failure texts as any other.
  server.Enqueue(Reply(JsonReply(400, "Bad Request", "echo " + std::string(kSecret))));
  run = WithProfile({"login"});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err.find(kSecret), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("echo ********"), std::string::npos) << run.err;

  run = Run({"--id", "K27315TQB", "secret", "clear"});
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.err, "kestrava-cli: secret cleared for " + Source() + "\n");
  run = Run({"--id", "K27315TQB", "secret", "clear"});
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.err, "kestrava-cli: no secret was stored for " + Source() + "\n");
}

TEST_F(CliKeyringUnlocked, WhichSecretWins) {
  keyring::NewSecretServiceKeyring()->Store({server.HostPort(), "K27315TQB"}, std::string(kSecret),
                                            "label");
  struct Case {
    std::string name;
    std::map<std::string, std::string> environment;
    std::vector<std::string> args;
    std::string secret;
  };
  const Case cases[] = {
      {"the profile's keyring",
       {},
       {"--config", config, "--profile", "acme"},
       std::string(kSecret)},
      {"the environment over the profile",
       {{"KESTRAVA_CLIENT_SECRET", "from-environment"}},
       {"--config", config, "--profile", "acme"},
       "from-environment"},
      {"--keyring over the environment",
       {{"KESTRAVA_CLIENT_SECRET", "from-environment"}},
       {"--config", config, "--profile", "acme", "--keyring"},
       std::string(kSecret)},
      {"--secret over the profile",
       {},
       {"--config", config, "--profile", "acme", "--secret", "typed"},
       "typed"},
      {"the environment without --keyring",
       {{"KESTRAVA_CLIENT_SECRET", "from-environment"}},
       {"--host", server.HostPort(), "--id", "K27315TQB"},
       "from-environment"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    environment = c.environment;
    environment["HOME"] = home.Path();
    server.Enqueue(Reply(TokenReply("tok-9")));
    std::vector<std::string> args = c.args;
    args.push_back("login");
    const Outcome run = Call(args);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(server.Requests().back().body, TokenBody("K27315TQB", c.secret));
  }
}

TEST_F(CliKeyringUnlocked, NothingStoredFailsBeforeAnyRequestAndSaysHowToStoreIt) {
  struct Case {
    std::vector<std::string> args;
    std::string source, hint;
  };
  const Case cases[] = {
      {{"--config", config, "--profile", "acme", "login"},
       Source(),
       "kestrava-cli --profile acme secret set"},
      {{"--host", server.HostPort(), "--id", "K1", "--keyring", "accounts"},
       Source("K1"),
       "kestrava-cli --host " + server.HostPort() + " --id K1 secret set"},
      {{"--host", server.HostPort(), "--test", "--id", "K1", "--keyring", "login"},
       "api.test." + Source("K1"),
       "kestrava-cli --host " + server.HostPort() + " --test --id K1 secret set"},
  };
  for (const Case& c : cases) {
    const Outcome run = Call(c.args);
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "kestrava-cli: no secret in the keyring for " + c.source +
                           "; store one with: " + c.hint + "\n");
  }
  const Outcome empty = Run({"--id", "K1", "secret", "set"}, "\n");
  EXPECT_EQ(empty.code, 1);
  EXPECT_EQ(empty.err, "kestrava-cli: no secret on standard input: nothing stored\n");
  EXPECT_EQ(server.Requests().size(), 0u);
}

// kestrava-cli as a child whose standard input, output and error are one
// pseudo-terminal, as in a terminal window.
struct TerminalRun {
  std::string screen;  // everything the terminal showed
  int status = -1;     // as waitpid gives it
  bool echoAfter = false;
};

// Waits (bounded) for the screen to show `text`, or for the child's end when
// `text` is empty; false at the deadline.
bool ReadScreen(int master, std::string& screen, std::string_view text) {
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (text.empty() || screen.find(text) == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left <= 0ms) return false;
    pollfd ready{master, POLLIN, 0};
    if (poll(&ready, 1, static_cast<int>(left.count())) <= 0) continue;
    char bytes[4096];
    const ssize_t n = read(master, bytes, sizeof bytes);
    if (n <= 0) return text.empty();  // every end of the terminal closed
    screen.append(bytes, static_cast<std::size_t>(n));
  }
  return true;
}

// Runs the program; once its prompt shows, types `typed` and Enter, or
// interrupts it (Ctrl-C) when `typed` is empty.
TerminalRun OnTerminal(const std::vector<std::string>& args, const std::string& typed) {
  TerminalRun run;
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return run;
  const std::string slavePath = ptsname(master);
  std::vector<std::string> argv = {KESTRAVA_CLI_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> pointers;
  for (std::string& arg : argv) pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    setsid();
    const int slave = open(slavePath.c_str(), O_RDWR);  // the controlling terminal
    if (slave < 0) _exit(126);
    dup2(slave, 0);
    dup2(slave, 1);
    dup2(slave, 2);
    execv(pointers[0], pointers.data());
    _exit(127);
  }
  const int slave = open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  const std::string prompt = "Secret for ";
  if (ReadScreen(master, run.screen, prompt) && run.screen.ends_with(": ")) {
    if (typed.empty()) {
      kill(child, SIGINT);
    } else {
      const std::string line = typed + "\n";
      EXPECT_EQ(write(master, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    }
  } else {
    ADD_FAILURE() << "no prompt: " << run.screen;
    kill(child, SIGKILL);
  }
  // The child's end: reaped (bounded), then what it wrote last.
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (waitpid(child, &run.status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      waitpid(child, &run.status, 0);
      ADD_FAILURE() << "the program did not end";
      break;
    }
    pollfd ready{master, POLLIN, 0};
    if (poll(&ready, 1, 50) > 0) {
      char bytes[4096];
      const ssize_t n = read(master, bytes, sizeof bytes);
      if (n > 0) run.screen.append(bytes, static_cast<std::size_t>(n));
    }
  }
  struct termios state {};
  run.echoAfter = tcgetattr(slave, &state) == 0 && (state.c_lflag & ECHO) != 0;
  close(slave);
  close(master);
  return run;
}

TEST_F(CliKeyringUnlocked, ATypedSecretIsNeverShownAndTheEchoComesBack) {
  const std::vector<std::string> args = {"--host", "bank.example", "--id", "K1", "secret", "set"};
  const TerminalRun typed = OnTerminal(args, "typed-on-a-terminal");
  ASSERT_TRUE(WIFEXITED(typed.status)) << typed.screen;
  EXPECT_EQ(WEXITSTATUS(typed.status), 0) << typed.screen;
  EXPECT_EQ(typed.screen.find("typed-on-a-terminal"), std::string::npos) << typed.screen;
  EXPECT_NE(typed.screen.find("Secret for bank.example, client id K1: "), std::string::npos);
  EXPECT_NE(typed.screen.find("secret stored for bank.example, client id K1"), std::string::npos);
  EXPECT_TRUE(typed.echoAfter);
  EXPECT_EQ(keyring::NewSecretServiceKeyring()->Lookup({"bank.example", "K1"}),
            "typed-on-a-terminal");

  // Interrupted at the prompt: the terminal echoes again, nothing changed.
  const TerminalRun interrupted = OnTerminal(args, "");
  ASSERT_TRUE(WIFSIGNALED(interrupted.status)) << interrupted.screen;
  EXPECT_EQ(WTERMSIG(interrupted.status), SIGINT);
  EXPECT_TRUE(interrupted.echoAfter);
  EXPECT_EQ(keyring::NewSecretServiceKeyring()->Lookup({"bank.example", "K1"}),
            "typed-on-a-terminal");
}

class CliKeyringLocked : public CliKeyringTest {
 protected:
  CliKeyringLocked() : CliKeyringTest("unlocked") {}
};

TEST_F(CliKeyringLocked, ALockedKeyringFailsAtOnceBeforeAnyRequest) {
  ASSERT_EQ(Run({"--id", "K27315TQB", "secret", "set"}, std::string(kSecret)).code, 0);
  ASSERT_TRUE(LockLoginKeyring());
  const std::string locked =
      "kestrava-cli: the keyring is locked: unlocking it needs a password prompt, which "
      "kestrava-cli never shows; unlock it (log in to the desktop session) and try again\n";
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--config", config, "--profile", "acme", "login"},
           {"--host", server.HostPort(), "--id", "K27315TQB", "--keyring", "accounts"},
           {"--host", server.HostPort(), "--id", "never-stored", "--keyring", "login"},
           {"--host", server.HostPort(), "--id", "K27315TQB", "secret", "clear"}}) {
    const Outcome run = Call(args);
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.err, locked);
  }
  const Outcome set = Run({"--id", "K27315TQB", "secret", "set"}, "new\n");
  EXPECT_EQ(set.code, 1);
  EXPECT_EQ(set.err, locked);
  const Outcome status = Run({"--id", "K27315TQB", "secret", "status"});
  EXPECT_EQ(status.code, 1);
  EXPECT_EQ(status.out, "secret: stored for " + Source() +
                            ", in a locked keyring that no unattended run can read\n");
  EXPECT_EQ(server.Requests().size(), 0u);
}

class CliKeyringNoService : public CliKeyringTest {
 protected:
  CliKeyringNoService() : CliKeyringTest("no-service") {}
};

TEST_F(CliKeyringNoService, NoSecretServiceOnTheBusFailsAtOnce) {
  ExpectNoKeyring("The name org.freedesktop.secrets was not provided by any .service files");
}

class CliKeyringNoBus : public CliKeyringTest {
 protected:
  CliKeyringNoBus() : CliKeyringTest("no-bus") {}
};

TEST_F(CliKeyringNoBus, NoSessionBusFailsAtOnce) {
  ExpectNoKeyring(
      "no session bus: DBUS_SESSION_BUS_ADDRESS is not set and there is no "
      "$XDG_RUNTIME_DIR/bus");
}

}  // namespace
}  // namespace kestrava::testing
