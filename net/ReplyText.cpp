#include "net/ReplyText.h"

#include <array>

#include "base/Ascii.h"
#include "base/Utf8.h"
#include "net/Charset.h"
#include "net/Inflate.h"
#include "net/NetExceptions.h"
#include "net/Url.h"

namespace kestrava::net {

namespace {

struct KnownType {
  std::string_view name;
  MediaClass mediaClass;
};

// The media types this system knows. Types under image/, audio/, video/ and
// font/ are binary as a family; anything else unknown is of class other.
constexpr std::array kKnownTypes{
    KnownType{"application/json", MediaClass::Text},
    KnownType{"application/xml", MediaClass::Text},
    KnownType{"application/javascript", MediaClass::Text},
    KnownType{"application/ecmascript", MediaClass::Text},
    KnownType{"application/x-javascript", MediaClass::Text},
    KnownType{"application/problem+json", MediaClass::Text},
    KnownType{"application/problem+xml", MediaClass::Text},
    KnownType{"application/ld+json", MediaClass::Text},
    KnownType{"application/hal+json", MediaClass::Text},
    KnownType{"application/vnd.api+json", MediaClass::Text},
    KnownType{"application/atom+xml", MediaClass::Text},
    KnownType{"application/rss+xml", MediaClass::Text},
    KnownType{"application/soap+xml", MediaClass::Text},
    KnownType{"application/xhtml+xml", MediaClass::Text},
    KnownType{"application/x-www-form-urlencoded", MediaClass::Text},
    KnownType{"text/plain", MediaClass::Text},
    KnownType{"text/html", MediaClass::Text},
    KnownType{"text/csv", MediaClass::Text},
    KnownType{"text/xml", MediaClass::Text},
    KnownType{"text/css", MediaClass::Text},
    KnownType{"text/javascript", MediaClass::Text},
    KnownType{"text/markdown", MediaClass::Text},
    KnownType{"text/richtext", MediaClass::Text},
    KnownType{"text/tab-separated-values", MediaClass::Text},
    KnownType{"application/octet-stream", MediaClass::Binary},
    KnownType{"application/pdf", MediaClass::Binary},
    KnownType{"application/zip", MediaClass::Binary},
    KnownType{"application/gzip", MediaClass::Binary},
    KnownType{"application/x-gzip", MediaClass::Binary},
    KnownType{"application/x-tar", MediaClass::Binary},
    KnownType{"application/x-7z-compressed", MediaClass::Binary},
    KnownType{"application/x-rar-compressed", MediaClass::Binary},
    KnownType{"application/x-bzip2", MediaClass::Binary},
    KnownType{"application/msword", MediaClass::Binary},
    KnownType{"application/vnd.ms-excel", MediaClass::Binary},
    KnownType{"application/vnd.ms-powerpoint", MediaClass::Binary},
    KnownType{"application/vnd.openxmlformats-officedocument.wordprocessingml.document",
              MediaClass::Binary},
    KnownType{"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet",
              MediaClass::Binary},
    KnownType{"application/x-protobuf", MediaClass::Binary},
    KnownType{"application/java-archive", MediaClass::Binary},
    KnownType{"application/x-shockwave-flash", MediaClass::Binary},
    KnownType{"application/x-msdownload", MediaClass::Binary},
};

// A body after its Content-Encoding: the inflated text for gzip and
// deflate, the received bytes themselves otherwise. The text it gives is
// moved out of the inflated bytes, so a body is copied once at most.
class DecodedBody {
 public:
  DecodedBody(std::string_view body, std::string_view contentEncoding) : bytes_(body) {
    if (IsCompressed(contentEncoding)) {
      inflated_ = Decompress(body, contentEncoding);
      bytes_ = inflated_;
      owned_ = true;
    }
  }

  std::string_view Bytes() const noexcept { return bytes_; }

  // The bytes as UTF-8 text, byte-order mark skipped; none when they are
  // not well-formed UTF-8.
  std::optional<std::string> TakeUtf8() {
    const std::size_t skip = bytes_.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    if (!IsValidUtf8(bytes_.substr(skip))) return std::nullopt;
    if (!owned_) return std::string(bytes_.substr(skip));
    inflated_.erase(0, skip);
    return std::move(inflated_);
  }

 private:
  std::string_view bytes_;
  std::string inflated_;
  bool owned_ = false;
};

std::string StrictUtf8(DecodedBody& body) {
  std::optional<std::string> text = body.TakeUtf8();
  if (!text) throw EEncodingError(kNoMappingMessage);
  return std::move(*text);
}

}  // namespace

std::string MediaTypeOf(std::string_view contentType) {
  return AsciiLower(TrimWhitespace(contentType.substr(0, contentType.find(';'))));
}

MediaClass ClassOf(std::string_view mediaType) {
  if (mediaType.empty()) return MediaClass::Text;
  for (const auto& known : kKnownTypes) {
    if (known.name == mediaType) return known.mediaClass;
  }
  for (std::string_view family : {"image/", "audio/", "video/", "font/"}) {
    if (mediaType.starts_with(family)) return MediaClass::Binary;
  }
  return MediaClass::Other;
}

std::optional<std::string> CharsetOf(std::string_view contentType) {
  std::size_t start = 0;
  while (start <= contentType.size()) {
    auto end = contentType.find(';', start);
    std::string_view piece =
        contentType.substr(start, end == std::string_view::npos ? end : end - start);
    while (!piece.empty() && piece.front() == ' ') piece.remove_prefix(1);
    if (StartsWithIgnoreCase(piece, "charset")) {
      auto eq = piece.find('=');
      if (eq == std::string_view::npos || piece.find('=', eq + 1) != std::string_view::npos)
        return std::nullopt;
      std::string_view value = TrimWhitespace(piece.substr(eq + 1));
      if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'')
        value = value.substr(1, value.size() - 2);
      if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
      return std::string(value);
    }
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return std::nullopt;
}

std::string ReplyContent(int statusCode, std::string_view contentType,
                         std::string_view contentEncoding, std::string_view body) {
  MediaClass mediaClass = ClassOf(MediaTypeOf(contentType));
  std::optional<std::string> charset = CharsetOf(contentType);
  if (statusCode < 300) {
    if (mediaClass == MediaClass::Binary) return {};
    DecodedBody bytes(body, contentEncoding);
    // A charset we do not know or cannot convert falls back to UTF-8.
    if (charset && LookupCharset(*charset) == CharsetKind::Converted)
      return ConvertToUtf8(bytes.Bytes(), *charset);
    if (mediaClass == MediaClass::Text) return StrictUtf8(bytes);
    return bytes.TakeUtf8().value_or(std::string());
  }
  DecodedBody bytes(body, contentEncoding);
  if (charset && !EqualsIgnoreCase(*charset, "utf-8")) {
    switch (LookupCharset(*charset)) {
      case CharsetKind::Unknown:
        throw EEncodingError("Invalid encoding name");
      case CharsetKind::Unavailable:
        throw EEncodingError("Invalid code page");
      case CharsetKind::Converted:
        return ConvertToUtf8(bytes.Bytes(), *charset);
      case CharsetKind::Utf8:
        break;
    }
  }
  return StrictUtf8(bytes);
}

}  // namespace kestrava::net
