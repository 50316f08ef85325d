#include "cli/SecretInput.h"

#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <iterator>

#include "cli/InputBytes.h"

namespace kestrava::cli {
namespace {

constexpr int kSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};

// What the handler puts back, prepared before it can run: a signal handler
// can reach nothing else, so this is process-wide state of its own.
int terminal = -1;
struct termios echoing {};
struct sigaction previous[std::size(kSignals)];

extern "C" void RestoreEchoAndDie(int signal) {
  tcsetattr(terminal, TCSANOW, &echoing);
  ::signal(signal, SIG_DFL);
  raise(signal);
}

// The terminal without echo for its life (the line end is still shown).
class EchoOff {
 public:
  explicit EchoOff(int fd) {
    struct termios state {};
    if (tcgetattr(fd, &state) != 0) return;
    terminal = fd;
    echoing = state;
    struct sigaction action {};
    action.sa_handler = RestoreEchoAndDie;
    sigfillset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
      sigaction(kSignals[i], &action, &previous[i]);
    state.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    state.c_lflag |= ECHONL;
    on_ = tcsetattr(fd, TCSAFLUSH, &state) == 0;
  }
  ~EchoOff() {
    if (terminal < 0) return;
    if (on_) tcsetattr(terminal, TCSAFLUSH, &echoing);
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
      sigaction(kSignals[i], &previous[i], nullptr);
    terminal = -1;
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  bool on_ = false;
};

}  // namespace

int ReadSecretLine(CliEnvironment& env, const std::string& prompt, std::string& line) {
  if (isatty(env.in) != 1) return ReadFirstLine(env.in, line);
  // The prompt once the echo is off, so that nothing typed after it shows.
  const EchoOff quiet(env.in);
  env.err.Write(prompt);
  return ReadFirstLine(env.in, line);
}

}  // namespace kestrava::cli
