#pragma once

// URL handling of the exchange: the base URL rule, the normal form in which
// a URL goes on the wire, resolving a redirect's Location and comparing
// origins.

#include <string>
#include <string_view>

namespace kestrava::net {

struct Url {
  std::string scheme;    // as written
  std::string userinfo;  // before "@", without it
  std::string host;      // as written; brackets kept for IPv6 literals
  std::string port;      // digits after ":", may be empty
  std::string path;      // from the first "/" up to "?" or "#"; may be empty
  std::string query;     // after "?", without it
  bool hasQuery = false;
  std::string fragment;  // after "#"
  bool hasFragment = false;
};

// Splits a URL into its parts. A text without "scheme://" is taken as a
// host followed by the rest.
Url ParseUrl(std::string_view text);

// Surrounding whitespace and one trailing "/" removed; "http://" in front
// of a text without a scheme.
std::string TrimBaseUrl(std::string_view text);

// Lower-case scheme, default port dropped, path segments and query parts
// percent-encoded (upper-case hex), fragment removed.
std::string NormaliseUrl(std::string_view text);
std::string EncodePathSegment(std::string_view segment);
std::string EncodeQueryPart(std::string_view part);  // a name or a value
std::string EncodeQuery(std::string_view query);     // the whole query

// Resolves a reference (absolute, scheme-relative, absolute path, relative
// path or query only) against an absolute URL.
std::string ResolveReference(std::string_view base, std::string_view reference);

// The port a URL connects to: the written one, else the scheme's default.
std::string EffectivePort(const Url& url);
bool SameOrigin(std::string_view a, std::string_view b);

// Bytes up to U+0020 (spaces and control characters) removed at both ends.
std::string_view TrimWhitespace(std::string_view text);

}  // namespace kestrava::net
