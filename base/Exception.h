#pragma once

#include <exception>
#include <string>
#include <utility>

namespace kestrava {

// Root of every failure kind of the system. It carries exactly one text, its
// message; callers above the exchange use nothing else of a failure.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}

  const std::string& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// A text could not be converted to the value asked for.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// A value was taken as a kind it is not.
class EInvalidCast : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace kestrava
