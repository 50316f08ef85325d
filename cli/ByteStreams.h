#pragma once

// The bytes the program writes and reads, through file descriptors, so that
// a failure can say why (the errno of the failed call).

#include <string>
#include <string_view>

namespace kestrava::cli {

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

// Everything the descriptor gives until its end. Returns 0, or the errno of
// the failed read.
int ReadAll(int fd, std::string& text);

// Reads the file at `path` whole. Returns 0, or the errno of the failure.
int ReadFile(const std::string& path, std::string& text);

// The system's description of an errno value ("No space left on device").
std::string ErrorDescription(int error);

}  // namespace kestrava::cli
