#pragma once

// What a program does about the temporary files of its results should it be
// ended abruptly. Nothing by default; kestrava-cli removes the file when a
// signal ends it.

#include <string>

namespace kestrava {

class TemporaryFileWatch {
 public:
  virtual ~TemporaryFileWatch() = default;

  // Made and Gone, and the making, renaming or removing of the file they
  // report, happen between Hold and Release: a program that removes the
  // file from a signal handler holds its signals back there, so that a file
  // and the note of its name come and go as one step.
  virtual void Hold() noexcept {}
  virtual void Release() noexcept {}
  // A temporary file now exists under this name, or without a name (""):
  // heard again when a nameless one gets its name.
  virtual void Made(const std::string&) {}
  // The file is gone: renamed to its final name, or removed.
  virtual void Gone() noexcept {}
};

// Holds for its life.
class HeldBy {
 public:
  explicit HeldBy(TemporaryFileWatch& watch) noexcept : watch_(watch) { watch_.Hold(); }
  ~HeldBy() { watch_.Release(); }
  HeldBy(const HeldBy&) = delete;
  HeldBy& operator=(const HeldBy&) = delete;

 private:
  TemporaryFileWatch& watch_;
};

}  // namespace kestrava
