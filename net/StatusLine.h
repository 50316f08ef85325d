#pragma once

// The status line of a reply: parsing it as it arrives, and the text that
// names a final status of 300 and above ("HTTP/1.1 503 Service Unavailable").

#include <optional>
#include <string>
#include <string_view>

#include "base/HeaderList.h"

namespace kestrava::net {

struct StatusLine {
  std::string version;  // "HTTP/1.1", "HTTP/2", ...
  int code = 0;
  std::string reason;  // exactly as sent, may be empty
};

// "HTTP/1.1 200 OK\r\n" (line end optional). The version starts with
// "HTTP/" in any letter case; spaces or tabs part it from the three-digit
// code, and one space or tab parts the code from the reason. None for any
// other line.
std::optional<StatusLine> ParseStatusLine(std::string_view line);

// The reason phrase as text: kept when it is UTF-8, otherwise read as
// ISO-8859-1, the historic charset of HTTP heads, so StatusText and the
// status line message are always valid UTF-8.
std::string ReasonAsUtf8(std::string_view reason);

// "HTTP/1.0 ", "HTTP/1.1 ", "HTTP/2.0 " (any version starting "HTTP/2"),
// compared without regard to case; nothing for any other version.
std::string VersionPrefix(std::string_view version);

// Prefix, then "%d %s" of code and reason.
std::string StatusLineText(std::string_view version, int code, std::string_view reason);

// The reply head as the transport hands it over, one line at a time (line
// end included). The first line of a head is its status line; an
// informational (1xx) head is followed by another head, which starts
// afresh. Lines after the final head (the trailers of a chunked body) are
// ignored.
struct ReplyHead {
  std::string version;
  int code = 0;
  std::string reason;
  HeaderList headers;          // trimmed, in order
  bool statusParsed = false;   // the status line of the last head parsed
  bool started = false;        // a status line arrived
  bool complete = false;       // the final head ended: the body follows
  bool awaitingStatus = true;  // the next line is the status line of a head

  void Feed(std::string_view line);
};

}  // namespace kestrava::net
