// Every program started with standard input, output and error closed finds
// /dev/null there once it runs, so that no file it opens takes their
// numbers.

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace kestrava::testing {
namespace {

using namespace std::chrono_literals;

// A program started with descriptors 0, 1 and 2 closed, ended with its
// object.
class ClosedStart {
 public:
  ClosedStart(std::vector<std::string> argv, const std::vector<std::string>& environment) {
    std::vector<std::string> env = environment;
    for (char** entry = environ; *entry != nullptr; ++entry) env.emplace_back(*entry);
    std::vector<char*> args, envp;
    for (std::string& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    for (std::string& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd = 0; fd <= 2; ++fd) posix_spawn_file_actions_addclose(&actions, fd);
    if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~ClosedStart() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  ClosedStart(const ClosedStart&) = delete;
  ClosedStart& operator=(const ClosedStart&) = delete;
  pid_t Pid() const noexcept { return pid_; }

 private:
  pid_t pid_ = -1;
};

// What descriptors 0, 1 and 2 of a running process are, as /proc names
// them ("" for one that is closed).
std::vector<std::string> StandardDescriptorsOf(pid_t pid) {
  std::vector<std::string> targets;
  for (int fd = 0; fd <= 2; ++fd) {
    std::error_code error;
    const auto target = std::filesystem::read_symlink(
        "/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd), error);
    targets.push_back(error ? "" : target.string());
  }
  return targets;
}

// A TCP port on 127.0.0.1 that accepts connections and never answers.
class SilentPort {
 public:
  SilentPort() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd_, 4) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      ADD_FAILURE() << "no listening socket";
    port_ = ntohs(address.sin_port);
  }
  ~SilentPort() { close(fd_); }
  SilentPort(const SilentPort&) = delete;
  SilentPort& operator=(const SilentPort&) = delete;
  int Port() const noexcept { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

TEST(Programs, StartedWithTheStandardDescriptorsClosedTheyRunWithDevNullThere) {
  const SilentPort silent;
  const std::string stateDir =
      ::testing::TempDir() + "kestrava-descriptors-" + std::to_string(getpid());
  struct Case {
    std::vector<std::string> argv;  // a command that keeps running
  };
  std::vector<Case> cases = {
      {{KESTRAVA_CLI_PATH, "--host", "127.0.0.1:" + std::to_string(silent.Port()), "--id", "i",
        "--secret", "s", "--timeout", "60", "login"}},
      {{KESTRAVA_SANDBOX_PATH, "--quiet", "--state-dir", stateDir}},
  };
#ifdef KESTRAVA_WINDOW_PATH
  cases.push_back({{KESTRAVA_WINDOW_PATH}});
  cases.push_back({{KESTRAVA_DEMO_PATH, "--host", "127.0.0.1:1"}});
#endif
  const std::vector<std::string> devNull(3, "/dev/null");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argv[0]);
    const ClosedStart program(c.argv, {"QT_QPA_PLATFORM=offscreen"});
    ASSERT_GT(program.Pid(), 0);
    // Until the program has reached its main and the three are open, or
    // the bound passes.
    std::vector<std::string> seen;
    for (int i = 0; i < 400 && (seen = StandardDescriptorsOf(program.Pid())) != devNull; ++i)
      std::this_thread::sleep_for(50ms);
    EXPECT_EQ(seen, devNull);
  }
  std::filesystem::remove_all(stateDir);
}

}  // namespace
}  // namespace kestrava::testing
