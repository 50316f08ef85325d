#pragma once

// A temporary file must not outlive the process, whatever ends it: while one
// is armed, SIGHUP, SIGINT, SIGPIPE and SIGTERM remove it, write a line on
// standard error and end the process with exit status 128 + the signal's
// number (129, 130, 141, 143), as shells and GNU tools report a process
// that a signal ended, by async-signal-safe calls only (the handler waits
// for nothing, so a signal during a long wait of a request ends the process
// at once).

#include <csignal>
#include <string>

namespace kestrava::cli {

// Holds those signals back for its life, so that making a file and noting
// its name (or renaming it and forgetting it) are one step to them.
class SignalsHeldBack {
 public:
  SignalsHeldBack() noexcept;
  ~SignalsHeldBack();
  SignalsHeldBack(const SignalsHeldBack&) = delete;
  SignalsHeldBack& operator=(const SignalsHeldBack&) = delete;

 private:
  sigset_t previous_;
};

// One file at a time; an empty `path` is a file without a name, which goes
// with the process by itself (the line is still written). Arm and Disarm
// are called while the signals are held back; Disarm puts the previous
// handlers back.
void ArmSignalCleanup(const std::string& path, const std::string& message);
void DisarmSignalCleanup() noexcept;

}  // namespace kestrava::cli
