#pragma once

// Where the result of a command goes, and when it becomes final: a file
// replaced as a whole, or whatever a program makes of its standard output.

#include <memory>
#include <string>

#include "output/ByteSink.h"
#include "output/TemporaryFileWatch.h"

namespace kestrava {

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

// The file at `path` (symbolic links followed, a link to no file yet naming
// the file it leads to), replaced as a whole: the result goes to a
// temporary file in the same folder that has no name until Commit flushes
// it to disk, names it ".kestrava-XXXXXX" and renames it over the file, so
// that nothing of it outlives the process however it ends. Where the file
// system has no nameless files it has that name from the start and any
// way out but Commit removes it. A new file gets mode 0600, a replaced one
// keeps its mode (and, where allowed, its owner). None, with the errno in
// `error`, when the temporary file cannot be made, `path` is a folder
// (EISDIR) or another file that is no regular file (EINVAL: a device or a
// named pipe cannot be replaced). `watch` (none: a watch that does nothing)
// hears of the temporary file.
std::unique_ptr<OutputTarget> OpenReplacedFile(const std::string& path, int& error,
                                               std::unique_ptr<TemporaryFileWatch> watch = {});

}  // namespace kestrava
