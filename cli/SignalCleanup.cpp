#include "cli/SignalCleanup.h"

#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace kestrava::cli {
namespace {

constexpr int Signals[] = {SIGHUP, SIGINT, SIGPIPE, SIGTERM};

// What the handler needs, prepared before it can run: a signal handler can
// reach nothing else, so this is process-wide state of its own.
char path[PATH_MAX + 1];
char message[512];
std::size_t messageLength = 0;
volatile sig_atomic_t armed = 0;
struct sigaction previous[std::size(Signals)];

extern "C" void RemoveAndExit(int signal) {
  if (armed != 0 && path[0] != '\0') unlink(path);
  [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, message, messageLength);
  _exit(128 + signal);  // as a shell reports a process the signal ended
}

void Block(int how, const sigset_t* set, sigset_t* old) noexcept {
  sigprocmask(how, set, old);
}

}  // namespace

SignalsHeldBack::SignalsHeldBack() noexcept {
  sigset_t held;
  sigemptyset(&held);
  for (const int signal : Signals) sigaddset(&held, signal);
  Block(SIG_BLOCK, &held, &previous_);
}

SignalsHeldBack::~SignalsHeldBack() {
  Block(SIG_SETMASK, &previous_, nullptr);
}

void ArmSignalCleanup(const std::string& file, const std::string& line) {
  // A name cut short could name another file: one that does not fit is not
  // kept (the system refuses such a name anyway).
  const std::size_t pathLength = file.size() < sizeof path ? file.size() : 0;
  std::memcpy(path, file.data(), pathLength);
  path[pathLength] = '\0';
  messageLength = std::min(line.size(), sizeof message);
  std::memcpy(message, line.data(), messageLength);
  if (armed != 0) return;
  struct sigaction action {};
  action.sa_handler = RemoveAndExit;
  sigfillset(&action.sa_mask);
  for (std::size_t i = 0; i < std::size(Signals); ++i) sigaction(Signals[i], &action, &previous[i]);
  armed = 1;
}

void DisarmSignalCleanup() noexcept {
  if (armed == 0) return;
  armed = 0;
  for (std::size_t i = 0; i < std::size(Signals); ++i) sigaction(Signals[i], &previous[i], nullptr);
}

}  // namespace kestrava::cli
