#pragma once

// Where the bytes of a result go, through file descriptors, so that a
// failure can say why (the errno of the failed call).

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "output/TemporaryFileWatch.h"

namespace kestrava {

// Where bytes go: standard output or error, a file, memory.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Writes every byte. After a failed write nothing more is written and
  // every call gives false.
  virtual bool Write(std::string_view bytes) = 0;
  // The errno of the failed write; 0 while none failed.
  virtual int Error() const noexcept = 0;
};

// Unbuffered writes to a descriptor it does not own: partial writes go on,
// an interrupted call is repeated.
class DescriptorSink final : public ByteSink {
 public:
  explicit DescriptorSink(int fd) noexcept : fd_(fd) {}
  bool Write(std::string_view bytes) override;
  int Error() const noexcept override { return error_; }

 private:
  int fd_;
  int error_ = 0;
};

// Collects everything in memory; never fails.
class StringSink final : public ByteSink {
 public:
  bool Write(std::string_view bytes) override {
    text.append(bytes);
    return true;
  }
  int Error() const noexcept override { return 0; }
  std::string text;
};

// Bytes written now and read back later, from the start (the rows of a CSV
// result, whose header is known only at the end).
class Spool : public ByteSink {
 public:
  // Gives everything written, in pieces, in order; false when reading
  // failed (Error() then says why) or `piece` gave false.
  virtual bool ReadBack(const std::function<bool(std::string_view)>& piece) = 0;
};

class StringSpool final : public Spool {
 public:
  bool Write(std::string_view bytes) override {
    text_.append(bytes);
    return true;
  }
  int Error() const noexcept override { return 0; }
  bool ReadBack(const std::function<bool(std::string_view)>& piece) override {
    return piece(text_);
  }

 private:
  std::string text_;
};

// A spool in a file without a name: it goes with the process, whatever
// ends it.
class FileSpool final : public Spool {
 public:
  // Makes the file in `folder`; none, with the errno in `error`, when it
  // cannot be made. Where the file system has no nameless files, a named
  // one is made and removed at once, between `watch`'s Hold and Release.
  static std::unique_ptr<FileSpool> Create(const std::string& folder, int& error,
                                           TemporaryFileWatch& watch);
  ~FileSpool() override;
  FileSpool(const FileSpool&) = delete;
  FileSpool& operator=(const FileSpool&) = delete;
  bool Write(std::string_view bytes) override { return sink_.Write(bytes); }
  int Error() const noexcept override { return error_ != 0 ? error_ : sink_.Error(); }
  bool ReadBack(const std::function<bool(std::string_view)>& piece) override;

 private:
  explicit FileSpool(int fd) noexcept : fd_(fd), sink_(fd) {}
  int fd_;
  DescriptorSink sink_;
  int error_ = 0;
};

// Gives what the descriptor yields, in reads of up to `size` bytes, until
// its end or until `piece` gives false. Returns 0, or the errno of the
// failed read.
int ReadPieces(int fd, std::size_t size, const std::function<bool(std::string_view)>& piece);

// The system's description of an errno value ("No space left on device").
std::string ErrorDescription(int error);

}  // namespace kestrava
