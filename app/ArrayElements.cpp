#include "app/ArrayElements.h"

#include <cstring>

namespace kestrava {

namespace {

bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::size_t SkipWhiteSpace(std::string_view text, std::size_t at) {
  while (at < text.size() && IsWhiteSpace(text[at])) ++at;
  return at;
}

// The offset just past the quotation mark that closes the string opening at
// `at`, or npos when it is not closed.
std::size_t StringEnd(std::string_view text, std::size_t at) {
  std::size_t from = at + 1;
  for (;;) {
    const void* found = std::memchr(text.data() + from, '"', text.size() - from);
    if (found == nullptr) return std::string_view::npos;
    const std::size_t quote =
        static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
    // Escaped when an odd number of backslashes stands before it.
    std::size_t slashes = 0;
    while (quote - slashes > at + 1 && text[quote - slashes - 1] == '\\') ++slashes;
    if (slashes % 2 == 0) return quote + 1;
    from = quote + 1;
  }
}

}  // namespace

TElementWalk ForEachElement(std::string_view text,
                            const std::function<bool(std::string_view, std::size_t)>& element) {
  std::size_t at = SkipWhiteSpace(text, 0);
  if (at == text.size() || text[at] != '[') return TElementWalk::NotAnArray;
  at = SkipWhiteSpace(text, at + 1);
  if (at < text.size() && text[at] == ']') {
    return SkipWhiteSpace(text, at + 1) == text.size() ? TElementWalk::Done
                                                       : TElementWalk::NotAnArray;
  }
  std::size_t start = at;  // of the element being read
  std::size_t last = at;   // just past its last character that is no white space
  int depth = 0;           // of the brackets open inside the element
  while (at < text.size()) {
    const char c = text[at];
    if (c == '"') {
      at = StringEnd(text, at);
      if (at == std::string_view::npos) return TElementWalk::NotAnArray;
      last = at;
      continue;
    }
    if (depth == 0 && (c == ',' || c == ']')) {
      if (!element(text.substr(start, last - start), last)) return TElementWalk::Stopped;
      if (c == ']') {
        return SkipWhiteSpace(text, at + 1) == text.size() ? TElementWalk::Done
                                                           : TElementWalk::NotAnArray;
      }
      start = last = at = SkipWhiteSpace(text, at + 1);
      continue;
    }
    if (c == '[' || c == '{') {
      ++depth;
    } else if (c == ']' || c == '}') {
      --depth;
      if (depth < 0) return TElementWalk::NotAnArray;
    }
    ++at;
    if (!IsWhiteSpace(c)) last = at;
  }
  return TElementWalk::NotAnArray;  // the array is not closed
}

}  // namespace kestrava
