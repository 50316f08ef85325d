#include "cli/OpenOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "cli/SignalCleanup.h"
#include "cli/TerminalText.h"

namespace kestrava::cli {
namespace {

// The result in memory until it is final, then written in one piece: to
// standard output, or to a file that is no regular file (a device, a named
// pipe), which cannot be replaced.
class BufferedTarget final : public OutputTarget {
 public:
  BufferedTarget(std::string name, ByteSink* standardOutput, bool terminal)
      : OutputTarget(std::move(name)), standardOutput_(standardOutput), terminal_(terminal) {}
  ByteSink& Sink() override { return buffer_; }
  std::unique_ptr<Spool> NewSpool(int&) override { return std::make_unique<StringSpool>(); }
  bool Commit(int& error) override {
    if (standardOutput_ != nullptr) return Write(*standardOutput_, terminal_, error);
    const int fd = open(Name().c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
      error = errno;
      return false;
    }
    DescriptorSink device(fd);
    const bool written = Write(device, isatty(fd) == 1, error);
    if (close(fd) != 0 && written) {
      error = errno;
      return false;
    }
    return written;
  }

 private:
  bool Write(ByteSink& sink, bool terminal, int& error) {
    if (sink.Write(terminal ? ForTerminal(buffer_.text) : buffer_.text)) return true;
    error = sink.Error();
    return false;
  }
  StringSink buffer_;
  ByteSink* standardOutput_;  // none: the file of the name
  bool terminal_;
};

// Standard output as it is: each byte goes out when it is made.
class StreamedTarget final : public OutputTarget {
 public:
  explicit StreamedTarget(ByteSink& standardOutput)
      : OutputTarget("standard output"), standardOutput_(standardOutput) {}
  ByteSink& Sink() override { return standardOutput_; }
  std::unique_ptr<Spool> NewSpool(int&) override { return std::make_unique<StringSpool>(); }
  bool Commit(int& error) override {
    error = standardOutput_.Error();
    return error == 0;
  }

 private:
  ByteSink& standardOutput_;
};

// The temporary file of --output is removed when a signal ends the
// program, with a line that says the file was left as it was.
class SignalCleanupWatch final : public TemporaryFileWatch {
 public:
  explicit SignalCleanupWatch(const std::string& name)
      : message_("kestrava-cli: interrupted; " + name + " left as it was\n") {}
  void Hold() noexcept override { held_.emplace(); }
  void Release() noexcept override { held_.reset(); }
  void Made(const std::string& path) override { ArmSignalCleanup(path, message_); }
  void Gone() noexcept override { DisarmSignalCleanup(); }

 private:
  std::string message_;
  std::optional<SignalsHeldBack> held_;
};

}  // namespace

std::unique_ptr<OutputTarget> OpenOutput(const std::optional<std::string>& path,
                                         ByteSink& standardOutput, bool standardOutputIsTerminal,
                                         int& error) {
  if (!path || *path == "-")
    return std::make_unique<BufferedTarget>("standard output", &standardOutput,
                                            standardOutputIsTerminal);
  // A device or a named pipe is written as it is; a folder, a file that
  // cannot be looked at and a regular file are the replaced file's to judge.
  struct stat existing {};
  if (stat(path->c_str(), &existing) == 0 && !S_ISREG(existing.st_mode) &&
      !S_ISDIR(existing.st_mode))
    return std::make_unique<BufferedTarget>(*path, nullptr, false);
  return OpenReplacedFile(*path, error, std::make_unique<SignalCleanupWatch>(*path));
}

std::unique_ptr<OutputTarget> OpenStreamedOutput(const std::optional<std::string>& path,
                                                 ByteSink& standardOutput,
                                                 bool standardOutputIsTerminal, int& error) {
  if ((!path || *path == "-") && !standardOutputIsTerminal)
    return std::make_unique<StreamedTarget>(standardOutput);
  return OpenOutput(path, standardOutput, standardOutputIsTerminal, error);
}

}  // namespace kestrava::cli
