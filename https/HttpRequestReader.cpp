#include "https/HttpRequestReader.h"

#include <algorithm>

#include "base/Ascii.h"

namespace kestrava::https {

namespace {

ReadStatus FromIo(IoStatus status, bool inRequest) {
  switch (status) {
    case IoStatus::Ok:
      return ReadStatus::Ok;
    case IoStatus::Closed:
      return inRequest ? ReadStatus::Failed : ReadStatus::Closed;
    case IoStatus::TimedOut:
      return ReadStatus::TimedOut;
    case IoStatus::Cancelled:
      return ReadStatus::Cancelled;
    case IoStatus::Failed:
      return ReadStatus::Failed;
  }
  return ReadStatus::Failed;
}

bool IsTokenChar(char c) {
  if (IsAsciiLetter(c) || IsAsciiDigit(c)) return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool ParseDecimal(std::string_view text, std::size_t& value) {
  if (text.empty() || text.size() > 18) return false;
  value = 0;
  for (char c : text) {
    if (!IsAsciiDigit(c)) return false;
    value = value * 10 + static_cast<std::size_t>(c - '0');
  }
  return true;
}

bool ParseHex(std::string_view text, std::size_t& value) {
  if (text.empty() || text.size() > 15) return false;
  value = 0;
  for (char c : text) {
    const int digit = HexDigitValue(c);
    if (digit < 0) return false;
    value = value * 16 + static_cast<std::size_t>(digit);
  }
  return true;
}

}  // namespace

bool ParseRequestHead(std::string_view head, HttpRequest& request) {
  std::size_t lineEnd = head.find("\r\n");
  const std::string_view line = head.substr(0, lineEnd);
  const std::size_t firstSpace = line.find(' ');
  const std::size_t lastSpace = line.rfind(' ');
  if (firstSpace == std::string_view::npos || firstSpace == lastSpace || firstSpace == 0)
    return false;
  request.requestLine = std::string(line);
  request.method = std::string(line.substr(0, firstSpace));
  request.target = std::string(line.substr(firstSpace + 1, lastSpace - firstSpace - 1));
  request.version = std::string(line.substr(lastSpace + 1));
  if (!std::all_of(request.method.begin(), request.method.end(), IsTokenChar) ||
      request.target.empty() || request.target.find(' ') != std::string::npos ||
      request.version.rfind("HTTP/1.", 0) != 0 || request.version.size() != 8)
    return false;
  request.headers.clear();
  while (lineEnd != std::string_view::npos) {
    const std::size_t start = lineEnd + 2;
    lineEnd = head.find("\r\n", start);
    const std::string_view field = head.substr(start, lineEnd - start);
    const std::size_t colon = field.find(':');
    if (colon == 0 || colon == std::string_view::npos) return false;
    const std::string_view name = field.substr(0, colon);
    if (!std::all_of(name.begin(), name.end(), IsTokenChar)) return false;
    const std::string_view value = TrimSpaces(field.substr(colon + 1));
    if (value.find_first_of("\r\n") != std::string_view::npos) return false;
    request.headers.Add(std::string(name), std::string(value));
  }
  return true;
}

ReadStatus HttpRequestReader::Fill(Milliseconds limit, bool inRequest) {
  return FromIo(connection_.ReadSome(buffer_, 16 * 1024, limit), inRequest);
}

ReadStatus HttpRequestReader::ReadHead(HttpRequest& request, Milliseconds idleLimit,
                                       Milliseconds readLimit) {
  std::size_t searchFrom = 0;
  for (;;) {
    const std::size_t end = buffer_.find("\r\n\r\n", searchFrom);
    if (end != std::string::npos) {
      if (end + 4 > limits_.maxHeaderBytes) return ReadStatus::TooLarge;
      const bool ok = ParseRequestHead(std::string_view(buffer_).substr(0, end), request);
      buffer_.erase(0, end + 4);
      return ok ? ReadStatus::Ok : ReadStatus::Malformed;
    }
    if (buffer_.size() > limits_.maxHeaderBytes) return ReadStatus::TooLarge;
    searchFrom = buffer_.size() >= 3 ? buffer_.size() - 3 : 0;
    const bool started = !buffer_.empty();
    const ReadStatus status = Fill(started ? readLimit : idleLimit, started);
    if (status != ReadStatus::Ok) return status;
  }
}

ReadStatus HttpRequestReader::ReadLine(std::string& line, Milliseconds readLimit) {
  for (;;) {
    const std::size_t end = buffer_.find("\r\n");
    if (end != std::string::npos) {
      line = buffer_.substr(0, end);
      buffer_.erase(0, end + 2);
      return ReadStatus::Ok;
    }
    if (buffer_.size() > limits_.maxHeaderBytes) return ReadStatus::TooLarge;
    const ReadStatus status = Fill(readLimit, true);
    if (status != ReadStatus::Ok) return status;
  }
}

ReadStatus HttpRequestReader::ReadChunkedBody(HttpRequest& request, Milliseconds readLimit) {
  for (;;) {
    std::string line;
    ReadStatus status = ReadLine(line, readLimit);
    if (status != ReadStatus::Ok) return status;
    std::string_view sizeText = line;
    sizeText = TrimSpaces(sizeText.substr(0, sizeText.find(';')));
    std::size_t size = 0;
    if (!ParseHex(sizeText, size)) return ReadStatus::Malformed;
    if (size == 0) break;
    if (request.body.size() + size > limits_.maxBodyBytes) return ReadStatus::TooLarge;
    while (buffer_.size() < size + 2) {
      status = Fill(readLimit, true);
      if (status != ReadStatus::Ok) return status;
    }
    if (buffer_.compare(size, 2, "\r\n") != 0) return ReadStatus::Malformed;
    request.body.append(buffer_, 0, size);
    buffer_.erase(0, size + 2);
  }
  // Trailer fields up to the blank line; they are not kept.
  for (;;) {
    std::string line;
    const ReadStatus status = ReadLine(line, readLimit);
    if (status != ReadStatus::Ok) return status;
    if (line.empty()) return ReadStatus::Ok;
  }
}

ReadStatus HttpRequestReader::Read(HttpRequest& request, Milliseconds idleLimit,
                                   Milliseconds readLimit) {
  request = HttpRequest{};
  ReadStatus status = ReadHead(request, idleLimit, readLimit);
  if (status != ReadStatus::Ok) return status;
  if (onHeadRead_) onHeadRead_();

  request.chunked =
      AsciiLower(request.Header("Transfer-Encoding")).find("chunked") != std::string::npos;

  std::size_t length = 0;
  if (!request.chunked) {
    bool seen = false;
    for (const auto& [name, value] : request.headers) {
      if (!EqualsIgnoreCase(name, "Content-Length")) continue;
      std::size_t parsed = 0;
      if (!ParseDecimal(value, parsed) || (seen && parsed != length)) return ReadStatus::Malformed;
      length = parsed;
      seen = true;
    }
    if (length > limits_.maxBodyBytes) return ReadStatus::TooLarge;
  }

  const bool hasBody = request.chunked || length > 0;
  if (answerContinue_ && hasBody && buffer_.empty() &&
      EqualsIgnoreCase(request.Header("Expect"), "100-continue")) {
    const IoStatus written = connection_.WriteAll("HTTP/1.1 100 Continue\r\n\r\n", readLimit);
    if (written != IoStatus::Ok) return FromIo(written, true);
  }

  if (request.chunked) return ReadChunkedBody(request, readLimit);
  while (buffer_.size() < length) {
    status = Fill(readLimit, true);
    if (status != ReadStatus::Ok) return status;
  }
  request.body = buffer_.substr(0, length);
  buffer_.erase(0, length);
  return ReadStatus::Ok;
}

}  // namespace kestrava::https
