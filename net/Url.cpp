#include "net/Url.h"

#include "base/Ascii.h"

namespace kestrava::net {

namespace {

bool IsSchemeChar(char c) {
  return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '+' || c == '-' || c == '.';
}

// Length of "scheme:" at the start of the text (0 when there is none).
std::size_t SchemeLength(std::string_view text) {
  if (text.empty() || !IsAsciiLetter(text[0])) return 0;
  std::size_t i = 1;
  while (i < text.size() && IsSchemeChar(text[i])) ++i;
  return i < text.size() && text[i] == ':' ? i : 0;
}

void AppendPercent(std::string& out, unsigned char byte) {
  out += '%';
  AppendHexByte(out, byte, HexCase::Upper);
}

bool HasPercentEscape(std::string_view text) {
  for (std::size_t i = 0; i + 2 < text.size(); ++i) {
    if (text[i] == '%' && IsHexDigit(text[i + 1]) && IsHexDigit(text[i + 2])) return true;
  }
  return false;
}

std::string DefaultPort(std::string_view lowerScheme) {
  if (lowerScheme == "https") return "443";
  if (lowerScheme == "http") return "80";
  return {};
}

// Removes "." and ".." segments from an absolute path.
std::string RemoveDotSegments(std::string_view path) {
  std::string out;
  std::string in(path);
  while (!in.empty()) {
    if (in.starts_with("../")) {
      in.erase(0, 3);
    } else if (in.starts_with("./")) {
      in.erase(0, 2);
    } else if (in.starts_with("/./")) {
      in.erase(0, 2);
    } else if (in == "/.") {
      in = "/";
    } else if (in.starts_with("/../") || in == "/..") {
      in = in.size() == 3 ? std::string("/") : in.substr(3);
      auto slash = out.rfind('/');
      out.erase(slash == std::string::npos ? 0 : slash);
    } else if (in == "." || in == "..") {
      in.clear();
    } else {
      auto next = in.find('/', in[0] == '/' ? 1 : 0);
      out += in.substr(0, next);
      in.erase(0, next == std::string::npos ? in.size() : next);
    }
  }
  return out;
}

std::string Compose(const Url& url) {
  std::string out = url.scheme + "://";
  if (!url.userinfo.empty()) out += url.userinfo + "@";
  out += url.host;
  if (!url.port.empty()) out += ":" + url.port;
  out += url.path;
  if (url.hasQuery) out += "?" + url.query;
  return out;
}

}  // namespace

std::string_view TrimWhitespace(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= 0x20) text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= 0x20) text.remove_suffix(1);
  return text;
}

Url ParseUrl(std::string_view text) {
  Url url;
  std::string_view rest = text;
  auto schemeEnd = text.find("://");
  if (schemeEnd != std::string_view::npos && SchemeLength(text) == schemeEnd) {
    url.scheme = std::string(text.substr(0, schemeEnd));
    rest = text.substr(schemeEnd + 3);
  }
  auto authorityEnd = rest.find_first_of("/?#");
  std::string_view authority = rest.substr(0, authorityEnd);
  rest = authorityEnd == std::string_view::npos ? std::string_view{} : rest.substr(authorityEnd);
  if (auto at = authority.rfind('@'); at != std::string_view::npos) {
    url.userinfo = std::string(authority.substr(0, at));
    authority = authority.substr(at + 1);
  }
  std::size_t portColon = std::string_view::npos;
  if (!authority.empty() && authority[0] == '[') {
    auto close = authority.find(']');
    if (close != std::string_view::npos && close + 1 < authority.size() &&
        authority[close + 1] == ':')
      portColon = close + 1;
  } else {
    portColon = authority.rfind(':');
  }
  url.host = std::string(authority.substr(0, portColon));
  if (portColon != std::string_view::npos) url.port = std::string(authority.substr(portColon + 1));

  auto fragmentStart = rest.find('#');
  if (fragmentStart != std::string_view::npos) {
    url.hasFragment = true;
    url.fragment = std::string(rest.substr(fragmentStart + 1));
    rest = rest.substr(0, fragmentStart);
  }
  auto queryStart = rest.find('?');
  if (queryStart != std::string_view::npos) {
    url.hasQuery = true;
    url.query = std::string(rest.substr(queryStart + 1));
    rest = rest.substr(0, queryStart);
  }
  url.path = std::string(rest);
  return url;
}

std::string TrimBaseUrl(std::string_view text) {
  std::string_view trimmed = TrimWhitespace(text);
  if (!trimmed.empty() && trimmed.back() == '/') trimmed.remove_suffix(1);
  std::string out(trimmed);
  auto schemeEnd = out.find("://");
  if (out.empty() || schemeEnd == std::string::npos || SchemeLength(out) != schemeEnd)
    out = "http://" + out;
  return out;
}

std::string EncodePathSegment(std::string_view segment) {
  std::string out;
  out.reserve(segment.size());
  for (char ch : segment) {
    auto c = static_cast<unsigned char>(ch);
    bool keep = c >= 0x21 && c <= 0x7E;
    switch (c) {
      case '"':
      case '#':
      case '/':
      case '<':
      case '>':
      case '?':
      case '\\':
      case '^':
      case '`':
      case '{':
      case '|':
      case '}':
        keep = false;
        break;
      default:
        break;
    }
    if (keep) {
      out += ch;
    } else {
      AppendPercent(out, c);
    }
  }
  return out;
}

std::string EncodeQueryPart(std::string_view part) {
  // A name or value that already holds an escape is taken as encoded.
  if (HasPercentEscape(part)) return std::string(part);
  std::string out;
  out.reserve(part.size());
  for (char ch : part) {
    auto c = static_cast<unsigned char>(ch);
    bool keep = c >= 0x21 && c <= 0x7E && c != '"' && c != '#' && c != '\'' && c != '<' &&
                c != '>' && c != '%';
    if (keep) {
      out += ch;
    } else {
      AppendPercent(out, c);
    }
  }
  return out;
}

std::string EncodeQuery(std::string_view query) {
  std::string out;
  out.reserve(query.size());
  std::size_t start = 0;
  while (true) {
    auto amp = query.find('&', start);
    std::string_view part = query.substr(start, amp == std::string_view::npos ? amp : amp - start);
    auto eq = part.find('=');
    if (eq == std::string_view::npos) {
      out += EncodeQueryPart(part);
    } else {
      out += EncodeQueryPart(part.substr(0, eq));
      out += '=';
      out += EncodeQueryPart(part.substr(eq + 1));
    }
    if (amp == std::string_view::npos) break;
    out += '&';
    start = amp + 1;
  }
  return out;
}

std::string NormaliseUrl(std::string_view text) {
  Url url = ParseUrl(text);
  url.scheme = AsciiLower(url.scheme);
  if (url.port == DefaultPort(url.scheme)) url.port.clear();
  std::string path;
  std::size_t start = 0;
  while (start <= url.path.size()) {
    auto slash = url.path.find('/', start);
    path += EncodePathSegment(std::string_view(url.path).substr(
        start, slash == std::string::npos ? std::string::npos : slash - start));
    if (slash == std::string::npos) break;
    path += '/';
    start = slash + 1;
  }
  url.path = path;
  if (url.hasQuery) url.query = EncodeQuery(url.query);
  return Compose(url);
}

std::string ResolveReference(std::string_view base, std::string_view reference) {
  reference = TrimWhitespace(reference);
  if (auto fragment = reference.find('#'); fragment != std::string_view::npos)
    reference = reference.substr(0, fragment);
  Url baseUrl = ParseUrl(base);
  // Any "scheme:" makes an absolute reference, whatever the scheme.
  if (SchemeLength(reference) != 0) return std::string(reference);
  if (reference.starts_with("//")) return AsciiLower(baseUrl.scheme) + ":" + std::string(reference);

  Url target = baseUrl;
  target.hasFragment = false;
  Url ref = ParseUrl(
      "x://h" +
      std::string(reference.empty() || reference[0] == '/' || reference[0] == '?' ? "" : "/") +
      std::string(reference));
  if (reference.empty()) return Compose(target);
  if (reference[0] == '?') {
    target.hasQuery = true;
    target.query = ref.query;
    return Compose(target);
  }
  if (reference[0] == '/') {
    target.path = RemoveDotSegments(ref.path);
  } else {
    std::string merged =
        baseUrl.path.empty() ? "/" : baseUrl.path.substr(0, baseUrl.path.rfind('/') + 1);
    merged += ref.path.substr(1);
    target.path = RemoveDotSegments(merged);
  }
  target.hasQuery = ref.hasQuery;
  target.query = ref.query;
  return Compose(target);
}

std::string EffectivePort(const Url& url) {
  return url.port.empty() ? DefaultPort(AsciiLower(url.scheme)) : url.port;
}

bool SameOrigin(std::string_view a, std::string_view b) {
  Url x = ParseUrl(a);
  Url y = ParseUrl(b);
  return EqualsIgnoreCase(x.scheme, y.scheme) && EqualsIgnoreCase(x.host, y.host) &&
         EffectivePort(x) == EffectivePort(y);
}

}  // namespace kestrava::net
