#include "tests/cli/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

extern char** environ;

namespace kestrava::testing {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& extra) {
  std::vector<std::string> merged;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    bool replaced = false;
    for (const std::string& e : extra) replaced = replaced || e.rfind(name + "=", 0) == 0;
    if (!replaced) merged.push_back(text);
  }
  merged.insert(merged.end(), extra.begin(), extra.end());
  return merged;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& t : texts) pointers.push_back(t.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Reads what is available on the open descriptors until `done` or the
// deadline; returns false at the deadline.
template <class Done>
bool Pump(int& out, std::string& outBuffer, int& err, std::string& errBuffer,
          Clock::time_point deadline, Done done) {
  while (!done()) {
    pollfd fds[2];
    nfds_t count = 0;
    int* owners[2];
    std::string* buffers[2];
    if (out >= 0) {
      fds[count] = {out, POLLIN, 0};
      owners[count] = &out;
      buffers[count++] = &outBuffer;
    }
    if (err >= 0) {
      fds[count] = {err, POLLIN, 0};
      owners[count] = &err;
      buffers[count++] = &errBuffer;
    }
    if (count == 0) return true;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    if (poll(fds, count, static_cast<int>(left)) < 0) continue;
    for (nfds_t i = 0; i < count; ++i) {
      if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      char chunk[65536];
      const ssize_t n = read(fds[i].fd, chunk, sizeof chunk);
      if (n > 0) {
        buffers[i]->append(chunk, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close(*owners[i]);
        *owners[i] = -1;
      }
    }
  }
  return true;
}

// A pseudo-terminal in raw mode: ends[0] the controlling side we read,
// ends[1] the terminal the child writes to.
void OpenTerminal(int ends[2]) {
  ends[0] = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (ends[0] < 0 || grantpt(ends[0]) != 0 || unlockpt(ends[0]) != 0)
    throw std::runtime_error("no pseudo-terminal");
  ends[1] = open(ptsname(ends[0]), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios mode{};
  if (ends[1] < 0 || tcgetattr(ends[1], &mode) != 0) throw std::runtime_error("no pseudo-terminal");
  cfmakeraw(&mode);
  tcsetattr(ends[1], TCSANOW, &mode);
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::vector<std::string>& environment, const std::string& input,
                           ChildOutput output) {
  int outPipe[2], errPipe[2], inPipe[2];
  if (output == ChildOutput::Terminals) {
    OpenTerminal(outPipe);
    OpenTerminal(errPipe);
  } else if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  if (pipe2(inPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, inPipe[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
  std::vector<std::string> args = argv;
  std::vector<std::string> env = MergedEnvironment(environment);
  std::vector<char*> argp = Pointers(args);
  std::vector<char*> envp = Pointers(env);
  const int spawned = posix_spawn(&pid_, argp[0], &actions, nullptr, argp.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(outPipe[1]);
  close(errPipe[1]);
  close(inPipe[0]);
  out_ = outPipe[0];
  err_ = errPipe[0];
  if (spawned != 0) {
    close(inPipe[1]);
    throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(spawned));
  }
  // Small inputs only: the pipe buffer holds them without a reader.
  signal(SIGPIPE, SIG_IGN);
  if (!input.empty()) {
    [[maybe_unused]] const ssize_t written = write(inPipe[1], input.data(), input.size());
  }
  close(inPipe[1]);
}

ChildProcess::~ChildProcess() {
  Terminate();
  if (out_ >= 0) close(out_);
  if (err_ >= 0) close(err_);
}

std::string ChildProcess::ReadLine(std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  Pump(out_, outBuffer_, err_, errBuffer_, deadline,
       [&] { return outBuffer_.find('\n') != std::string::npos || out_ < 0; });
  const std::size_t end = outBuffer_.find('\n');
  if (end == std::string::npos) return {};
  std::string line = outBuffer_.substr(0, end);
  outBuffer_.erase(0, end + 1);
  return line;
}

ProcessResult ChildProcess::Wait(std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  ProcessResult result;
  const bool inTime =
      Pump(out_, outBuffer_, err_, errBuffer_, deadline, [&] { return out_ < 0 && err_ < 0; });
  if (!inTime) Terminate();
  int status = 0;
  if (pid_ > 0 && waitpid(pid_, &status, 0) == pid_) {
    pid_ = -1;
    if (inTime && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  }
  result.out = std::move(outBuffer_);
  result.err = std::move(errBuffer_);
  return result;
}

void ChildProcess::Signal(int signal) {
  if (pid_ > 0) kill(pid_, signal);
}

void ChildProcess::Terminate() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  for (int i = 0; i < 40; ++i) {
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    usleep(50'000);
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment, const std::string& input,
                         std::chrono::milliseconds limit, ChildOutput output) {
  ChildProcess child(argv, environment, input, output);
  return child.Wait(limit);
}

}  // namespace kestrava::testing
