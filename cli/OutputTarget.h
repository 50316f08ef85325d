#pragma once

// Where the result of a command goes, and when it becomes final. Nothing of
// a failed command reaches it: standard output gets the result in one piece
// at the end; --output FILE gets it page by page in a temporary file beside
// FILE that replaces FILE only when the command succeeds.

#include <memory>
#include <optional>
#include <string>

#include "cli/ByteStreams.h"

namespace kestrava::cli {

class OutputTarget {
 public:
  explicit OutputTarget(std::string name) : name_(std::move(name)) {}
  virtual ~OutputTarget() = default;
  OutputTarget(const OutputTarget&) = delete;
  OutputTarget& operator=(const OutputTarget&) = delete;

  // Where the result's bytes go as they are made.
  virtual ByteSink& Sink() = 0;
  // A spool for the rows of a csv result, on the file system of the result
  // when it goes to a file. None, with the errno in `error`, when it cannot
  // be made.
  virtual std::unique_ptr<Spool> NewSpool(int& error) = 0;
  // Makes the result final; false, with the errno in `error`, when that
  // fails (the target is then left as it was).
  virtual bool Commit(int& error) = 0;
  // "standard output" or the file's name, for messages.
  const std::string& Name() const noexcept { return name_; }

 private:
  std::string name_;
};

// Standard output when `path` is none or "-", else the file. None, with the
// errno in `error`, when the file cannot be written (its folder refuses a
// new file, it is a folder, ...).
std::unique_ptr<OutputTarget> OpenOutput(const std::optional<std::string>& path,
                                         ByteSink& standardOutput, bool standardOutputIsTerminal,
                                         int& error);

}  // namespace kestrava::cli
