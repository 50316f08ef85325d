#pragma once

// What kestrava-cli writes on standard error when the service, the
// transport or the client fails. By default it is fit for a log: one line
// with the reason, and a second one with the start of the failing reply
// when that holds more than the reason says, never the content of an
// earlier reply (a page, the token reply) that the client's error text
// ends with after a transport failure. Every line starts "kestrava-cli: ".

#include <string>
#include <string_view>
#include <vector>

namespace kestrava::cli {

struct FailureDetail {
  // The client's error text, or the message of a failure.
  std::string text;
  // The failing reply's body, when the failing request got a reply; empty
  // otherwise.
  std::string reply = {};
  // Why the server's certificate was refused, when that is what failed.
  std::string certificate = {};
};

inline constexpr std::size_t kReasonCharacters = 1000;
inline constexpr std::size_t kReplyCharacters = 300;

// The lines, without their line ends, of a failure whose texts are masked
// already:
//   "kestrava-cli: " + the text up to its first CR or LF, at most 1,000
//   characters (then "…"), and ": " + the certificate's problem when given
//   "kestrava-cli: reply: " + the reply's first 300 characters, when the
//   reply is not empty and the text up to its first CR or LF does not hold
//   it
// Server text in them is shown as on a terminal, line breaks and tabs
// included (OnOneLine), whether standard error is one or a log file that
// a terminal will show.
std::vector<std::string> LogLines(const FailureDetail& failure);

// The first `count` characters of a UTF-8 text (a byte that is no UTF-8
// counts as one), never cutting a character.
std::string_view FirstCharacters(std::string_view text, std::size_t count);

}  // namespace kestrava::cli
