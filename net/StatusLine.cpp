#include "net/StatusLine.h"

#include "base/Ascii.h"
#include "base/Utf8.h"
#include "net/Url.h"

namespace kestrava::net {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

std::optional<StatusLine> ParseStatusLine(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (!StartsWithIgnoreCase(line, "HTTP/")) return std::nullopt;
  std::size_t end = 0;
  while (end < line.size() && !IsBlank(line[end])) ++end;
  StatusLine status;
  status.version = std::string(line.substr(0, end));
  std::string_view rest = line.substr(end);
  while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
  if (rest.size() < 3) return std::nullopt;
  for (int i = 0; i < 3; ++i) {
    if (!IsAsciiDigit(rest[i])) return std::nullopt;
    status.code = status.code * 10 + (rest[i] - '0');
  }
  rest.remove_prefix(3);
  // One space or tab ends the code; the reason is all that follows it.
  if (!rest.empty()) {
    if (!IsBlank(rest[0])) return std::nullopt;
    status.reason = std::string(rest.substr(1));
  }
  return status;
}

std::string ReasonAsUtf8(std::string_view reason) {
  if (IsValidUtf8(reason)) return std::string(reason);
  std::string out;
  out.reserve(2 * reason.size());
  for (char c : reason) AppendUtf8(out, static_cast<unsigned char>(c));
  return out;
}

std::string VersionPrefix(std::string_view version) {
  if (EqualsIgnoreCase(version, "HTTP/1.0")) return "HTTP/1.0 ";
  if (EqualsIgnoreCase(version, "HTTP/1.1")) return "HTTP/1.1 ";
  if (StartsWithIgnoreCase(version, "HTTP/2")) return "HTTP/2.0 ";
  return {};
}

std::string StatusLineText(std::string_view version, int code, std::string_view reason) {
  return VersionPrefix(version) + std::to_string(code) + " " + std::string(reason);
}

void ReplyHead::Feed(std::string_view line) {
  // After the final head only trailers of a chunked body come: they are no
  // reply headers, so neither Location nor Set-Cookie can arrive that way.
  if (complete) return;
  if (awaitingStatus) {
    // The first line of a head is its status line. One that does not parse
    // leaves no status at all, not even that of an interim head before.
    awaitingStatus = false;
    started = true;
    headers.clear();
    std::optional<StatusLine> status = ParseStatusLine(line);
    statusParsed = status.has_value();
    version = statusParsed ? std::move(status->version) : std::string();
    code = statusParsed ? status->code : 0;
    reason = statusParsed ? ReasonAsUtf8(status->reason) : std::string();
    return;
  }
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.empty()) {
    // An interim (1xx) head is followed by another head.
    if (statusParsed && code < 200) {
      awaitingStatus = true;
    } else {
      complete = true;
    }
    return;
  }
  if (IsBlank(line[0]) && !headers.empty()) {
    std::string& value = headers.back().second;
    value += ' ';
    value += TrimWhitespace(line);
    return;
  }
  auto colon = line.find(':');
  if (colon == std::string_view::npos) return;
  headers.Add(std::string(TrimWhitespace(line.substr(0, colon))),
              std::string(TrimWhitespace(line.substr(colon + 1))));
}

}  // namespace kestrava::net
