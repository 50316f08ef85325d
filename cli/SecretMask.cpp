#include "cli/SecretMask.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "base/Ascii.h"
#include "base/Utf8.h"

namespace kestrava::cli {
namespace {

constexpr std::string_view kMask = "********";
constexpr std::size_t kShortestSecret = 4;

struct Escape {
  char32_t codePoint;
  std::size_t length;  // of its text
};

// The value of the four hexadecimal digits at text[at], or none.
std::optional<char32_t> HexQuad(std::string_view text, std::size_t at) {
  if (text.size() < at + 4) return std::nullopt;
  char32_t value = 0;
  for (std::size_t i = at; i < at + 4; ++i) {
    const int digit = HexDigitValue(text[i]);
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<char32_t>(digit);
  }
  return value;
}

// The JSON string escape at text[at] ("\/", "\n", "\u00e9", a surrogate
// pair), or none.
std::optional<Escape> EscapeAt(std::string_view text, std::size_t at) {
  if (text.size() < at + 2 || text[at] != '\\') return std::nullopt;
  switch (text[at + 1]) {
    case '"':
    case '\\':
    case '/':
      return Escape{static_cast<char32_t>(text[at + 1]), 2};
    case 'b':
      return Escape{U'\b', 2};
    case 'f':
      return Escape{U'\f', 2};
    case 'n':
      return Escape{U'\n', 2};
    case 'r':
      return Escape{U'\r', 2};
    case 't':
      return Escape{U'\t', 2};
    case 'u':
      break;
    default:
      return std::nullopt;
  }
  const std::optional<char32_t> unit = HexQuad(text, at + 2);
  if (!unit) return std::nullopt;
  if (*unit >= 0xD800 && *unit <= 0xDBFF && text.substr(at + 6, 2) == "\\u") {
    const std::optional<char32_t> low = HexQuad(text, at + 8);
    if (low && *low >= 0xDC00 && *low <= 0xDFFF)
      return Escape{0x10000 + ((*unit - 0xD800) << 10) + (*low - 0xDC00), 12};
  }
  return Escape{*unit, 6};
}

// Where an occurrence of `secret` that starts at text[at] ends, each of its
// characters as written or escaped; the longest such occurrence, or none.
// The ends reachable after each character are kept together, so that a
// backslash of the secret may stand as itself or as "\\" without trying
// every mix one by one. `ends` and `next` are the caller's room for them.
std::optional<std::size_t> MatchEnd(std::string_view text, std::size_t at, std::string_view secret,
                                    std::vector<std::size_t>& ends,
                                    std::vector<std::size_t>& next) {
  ends.assign(1, at);
  for (std::size_t s = 0; s < secret.size();) {
    const std::size_t length = Utf8SequenceLength(secret, s);
    // A byte that is no UTF-8 can only stand as written.
    const std::size_t unit = std::max<std::size_t>(length, 1);
    const std::string_view written = secret.substr(s, unit);
    next.clear();
    for (const std::size_t p : ends) {
      if (text.substr(p).starts_with(written)) next.push_back(p + unit);
      if (length == 0) continue;
      const std::optional<Escape> escape = EscapeAt(text, p);
      if (escape && escape->codePoint == DecodeUtf8(secret, s, length))
        next.push_back(p + escape->length);
    }
    if (next.empty()) return std::nullopt;
    std::sort(next.begin(), next.end());
    next.erase(std::unique(next.begin(), next.end()), next.end());
    std::swap(ends, next);
    s += unit;
  }
  return ends.back();
}

}  // namespace

void SecretMask::Add(const std::string& secret) {
  if (secret.size() < kShortestSecret) return;
  if (std::find(secrets_.begin(), secrets_.end(), secret) != secrets_.end()) return;
  secrets_.push_back(secret);
  // The longest first, so masking a shorter one cannot leave part of a
  // longer one behind.
  std::stable_sort(secrets_.begin(), secrets_.end(),
                   [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
}

std::string SecretMask::operator()(std::string text) const {
  if (secrets_.empty()) return text;
  std::string masked;
  masked.reserve(text.size());
  std::vector<std::size_t> ends, next;
  for (std::size_t at = 0; at < text.size();) {
    std::optional<std::size_t> end;
    // Only a secret's first byte or a backslash can start an occurrence.
    for (const std::string& secret : secrets_) {
      if (text[at] != secret[0] && text[at] != '\\') continue;
      if ((end = MatchEnd(text, at, secret, ends, next))) break;
    }
    if (end) {
      masked += kMask;
      at = *end;
    } else {
      masked += text[at++];
    }
  }
  return masked;
}

}  // namespace kestrava::cli
