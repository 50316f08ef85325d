#pragma once

// Runs a program as a child process with bounded waits: what it writes on
// standard output and standard error, and its exit code.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace kestrava::testing {

struct ProcessResult {
  int exitCode = -1;  // -1 when it had to be killed
  std::string out, err;
};

// Where the child's standard output and error go: pipes, or each a
// pseudo-terminal of its own in raw mode (no line-end translation), so the
// bytes read are exactly those written and isatty() holds in the child.
enum class ChildOutput { Pipes, Terminals };

class ChildProcess {
 public:
  // environment: "NAME=value" entries added to (or replacing in) the
  // current environment.
  ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
               const std::string& input = "", ChildOutput output = ChildOutput::Pipes);
  ~ChildProcess();  // terminates the child if it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Reads standard output up to the first line feed (bounded).
  std::string ReadLine(std::chrono::milliseconds limit);
  // Waits (bounded) for the end; kills the child when the limit passes.
  ProcessResult Wait(std::chrono::milliseconds limit);
  void Terminate();
  // Sends a signal to the child while it runs.
  void Signal(int signal);

 private:
  pid_t pid_ = -1;
  int out_ = -1, err_ = -1;
  std::string outBuffer_, errBuffer_;
};

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment, const std::string& input = "",
                         std::chrono::milliseconds limit = std::chrono::seconds(60),
                         ChildOutput output = ChildOutput::Pipes);

}  // namespace kestrava::testing
