#include "app/DemoSandbox.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <system_error>
#include <vector>

namespace kestrava {

namespace {

namespace fs = std::filesystem;

constexpr const char* kSandboxName = "kestrava-sandbox";
// How long the sandbox has to end after SIGTERM before it is killed.
constexpr std::chrono::milliseconds kStopLimit{5000};

std::string Errno(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

// A descriptor closed when it goes.
class TFd {
 public:
  explicit TFd(int fd = -1) noexcept : fd_(fd) {}
  ~TFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const noexcept { return fd_; }
  void Close() noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

fs::path MakePrivateFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      (tmp != nullptr && *tmp != '\0' ? fs::path(tmp) : fs::temp_directory_path()) /
      "kestrava-demo-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr)
    throw EDemoSandboxError(Errno("cannot make a state folder"));
  return pattern;  // mode 0700
}

// Reads the ready line "kestrava-sandbox: host localhost:PORT ca CA-FILE"
// within `limit`; false when the sandbox ended, the time ran out or
// `breakFd` became readable.
bool ReadReadyLine(int out, int breakFd, std::chrono::milliseconds limit, std::string& line) {
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (const auto newline = line.find('\n'); newline != std::string::npos) {
      line.resize(newline);
      return true;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd fds[2] = {{out, POLLIN, 0}, {breakFd, POLLIN, 0}};
    const int ready = ::poll(fds, breakFd >= 0 ? 2 : 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return false;
    if (breakFd >= 0 && (fds[1].revents & POLLIN) != 0) return false;
    if (fds[0].revents == 0) continue;
    char buffer[512];
    const ssize_t got = ::read(out, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    line.append(buffer, static_cast<std::size_t>(got));
  }
}

}  // namespace

std::string SandboxProgram(const fs::path& demoPath) {
  const fs::path folder = demoPath.parent_path();
  for (const fs::path& candidate :
       {folder / kSandboxName, folder / ".." / "sandbox" / kSandboxName}) {
    std::error_code error;
    if (fs::is_regular_file(candidate, error) && ::access(candidate.c_str(), X_OK) == 0)
      return candidate.lexically_normal().string();
  }
  return kSandboxName;
}

TDemoSandbox::TDemoSandbox(const fs::path& demoPath, std::chrono::milliseconds limit, int breakFd)
    : folder_(MakePrivateFolder()) {
  try {
    const std::string program = SandboxProgram(demoPath);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
      throw EDemoSandboxError(Errno("cannot start the sandbox"));
    const TFd readEnd(pipeFds[0]);
    TFd writeEnd(pipeFds[1]);
    const std::string folder = folder_.string();
    std::vector<const char*> argv = {program.c_str(), "--quiet", "--state-dir", folder.c_str(),
                                     nullptr};
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ < 0) throw EDemoSandboxError(Errno("cannot start the sandbox"));
    if (pid_ == 0) {
      // Only async-signal-safe calls from here on.
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (::getppid() != parent) ::_exit(127);
      ::dup2(pipeFds[1], STDOUT_FILENO);
      ::execvp(argv[0], const_cast<char* const*>(argv.data()));
      ::_exit(127);
    }
    writeEnd.Close();
    std::string line;
    if (!ReadReadyLine(readEnd.Get(), breakFd, limit, line))
      throw EDemoSandboxError("the sandbox (" + program + ") did not start");
    std::istringstream words(line);
    std::string name, hostWord, caWord;
    words >> name >> hostWord >> host_ >> caWord >> caFile_;
    if (name != std::string(kSandboxName) + ":" || hostWord != "host" || caWord != "ca" ||
        host_.empty() || caFile_.empty())
      throw EDemoSandboxError("unexpected line from the sandbox: " + line);
  } catch (...) {
    Stop();
    throw;
  }
}

TDemoSandbox::~TDemoSandbox() {
  Stop();
}

void TDemoSandbox::Stop() noexcept {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    const auto end = std::chrono::steady_clock::now() + kStopLimit;
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() >= end) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        break;
      }
      ::usleep(10'000);
    }
    pid_ = -1;
  }
  std::error_code error;
  if (!folder_.empty()) fs::remove_all(folder_, error);
  folder_.clear();
}

}  // namespace kestrava
