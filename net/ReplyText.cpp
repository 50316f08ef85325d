#include "net/ReplyText.h"

#include <iconv.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/Ascii.h"
#include "base/Utf8.h"
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

struct KnownCharset {
  std::string_view name;       // lower case, as it may appear in a reply
  std::string_view iconvName;  // empty: UTF-8
};

// Charset names recognised in replies. Names whose code page this system's
// iconv does not carry still count as recognised ("Invalid code page").
constexpr std::array kKnownCharsets{
    KnownCharset{"utf-8", ""},
    KnownCharset{"utf8", ""},
    KnownCharset{"us-ascii", "ASCII"},
    KnownCharset{"ascii", "ASCII"},
    KnownCharset{"iso-8859-1", "ISO-8859-1"},
    KnownCharset{"latin1", "ISO-8859-1"},
    KnownCharset{"iso-8859-2", "ISO-8859-2"},
    KnownCharset{"iso-8859-3", "ISO-8859-3"},
    KnownCharset{"iso-8859-4", "ISO-8859-4"},
    KnownCharset{"iso-8859-5", "ISO-8859-5"},
    KnownCharset{"iso-8859-6", "ISO-8859-6"},
    KnownCharset{"iso-8859-7", "ISO-8859-7"},
    KnownCharset{"iso-8859-8", "ISO-8859-8"},
    KnownCharset{"iso-8859-9", "ISO-8859-9"},
    KnownCharset{"iso-8859-13", "ISO-8859-13"},
    KnownCharset{"iso-8859-15", "ISO-8859-15"},
    KnownCharset{"windows-1250", "CP1250"},
    KnownCharset{"windows-1251", "CP1251"},
    KnownCharset{"windows-1252", "CP1252"},
    KnownCharset{"windows-1253", "CP1253"},
    KnownCharset{"windows-1254", "CP1254"},
    KnownCharset{"windows-1255", "CP1255"},
    KnownCharset{"windows-1256", "CP1256"},
    KnownCharset{"windows-1257", "CP1257"},
    KnownCharset{"windows-1258", "CP1258"},
    KnownCharset{"utf-16", "UTF-16"},
    KnownCharset{"utf-16le", "UTF-16LE"},
    KnownCharset{"utf-16be", "UTF-16BE"},
    KnownCharset{"utf-32", "UTF-32"},
    KnownCharset{"utf-32le", "UTF-32LE"},
    KnownCharset{"utf-32be", "UTF-32BE"},
    KnownCharset{"koi8-r", "KOI8-R"},
    KnownCharset{"koi8-u", "KOI8-U"},
    KnownCharset{"ibm437", "IBM437"},
    KnownCharset{"ibm850", "IBM850"},
    KnownCharset{"ibm852", "IBM852"},
    KnownCharset{"ibm866", "IBM866"},
    KnownCharset{"macintosh", "MACINTOSH"},
    KnownCharset{"shift_jis", "SHIFT_JIS"},
    KnownCharset{"euc-jp", "EUC-JP"},
    KnownCharset{"iso-2022-jp", "ISO-2022-JP"},
    KnownCharset{"euc-kr", "EUC-KR"},
    KnownCharset{"gb2312", "GB2312"},
    KnownCharset{"gbk", "GBK"},
    KnownCharset{"gb18030", "GB18030"},
    KnownCharset{"big5", "BIG5"},
    // ISCII code pages of the Windows table; glibc's iconv has none.
    KnownCharset{"x-iscii-de", "x-iscii-de"},
    KnownCharset{"x-iscii-be", "x-iscii-be"},
    KnownCharset{"x-iscii-ta", "x-iscii-ta"},
};

const KnownCharset* FindCharset(std::string_view name) {
  std::string lower = AsciiLower(name);
  for (const auto& known : kKnownCharsets) {
    if (known.name == lower) return &known;
  }
  return nullptr;
}

struct IconvCloser {
  void operator()(iconv_t cd) const noexcept { iconv_close(cd); }
};
using IconvHandle = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvCloser>;

IconvHandle OpenIconv(std::string_view iconvName) {
  std::string from(iconvName);
  iconv_t cd = iconv_open("UTF-8", from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
  return IconvHandle(cd);
}

[[noreturn]] void RaiseZlib(int code) {
  throw EZDecompressionError(zError(code));
}

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

bool IsCompressed(std::string_view contentEncoding) {
  return contentEncoding == "gzip" || contentEncoding == "deflate";
}

std::size_t InflatedSizeLimit(std::size_t compressedSize) {
  const std::size_t scaled = compressedSize > SIZE_MAX / kInflatedSizeRatio
                                 ? SIZE_MAX
                                 : compressedSize * kInflatedSizeRatio;
  return std::max(kInflatedSizeFloor, scaled);
}

std::string Decompress(std::string_view bytes, std::string_view contentEncoding) {
  if (!IsCompressed(contentEncoding) || bytes.empty()) return std::string(bytes);
  const bool gzip = contentEncoding == "gzip";
  z_stream stream{};
  int rc = inflateInit2(&stream, gzip ? 16 + MAX_WBITS : MAX_WBITS);
  if (rc != Z_OK) RaiseZlib(rc);
  std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&stream, inflateEnd);
  // zlib counts input in 32 bits: a larger body is fed in parts.
  std::string_view unread = bytes;
  const auto feed = [&stream, &unread] {
    if (stream.avail_in != 0 || unread.empty()) return;
    const std::size_t part = std::min<std::size_t>(unread.size(), std::size_t{1} << 30);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(unread.data()));
    stream.avail_in = static_cast<uInt>(part);
    unread.remove_prefix(part);
  };

  // The text is inflated into pieces of fixed size and joined at the end,
  // so a text that passes the limit has cost at most one piece beyond it,
  // and no piece is ever copied to grow.
  constexpr std::size_t kPieceSize = std::size_t{1} << 18;
  const std::size_t limit = InflatedSizeLimit(bytes.size());
  std::vector<std::string> pieces;
  std::size_t total = 0;
  while (true) {
    if (pieces.empty() || stream.avail_out == 0) {
      // Most replies fit the first piece, sized from the body.
      const std::size_t size = pieces.empty()
                                   ? std::clamp(bytes.size() * 4, std::size_t{16384}, kPieceSize)
                                   : kPieceSize;
      pieces.emplace_back(size, '\0');
      stream.next_out = reinterpret_cast<Bytef*>(pieces.back().data());
      stream.avail_out = static_cast<uInt>(size);
    }
    feed();
    const uInt room = stream.avail_out;
    rc = inflate(&stream, Z_NO_FLUSH);
    total += room - stream.avail_out;
    if (total > limit) RaiseZlib(Z_MEM_ERROR);
    if (rc == Z_STREAM_END) {
      // A gzip body may hold several members one after another.
      if (gzip && (stream.avail_in > 0 || !unread.empty())) {
        rc = inflateReset(&stream);
        if (rc != Z_OK) RaiseZlib(rc);
        continue;
      }
      break;
    }
    if (rc == Z_OK) {
      // All input used, room left and no end of stream: the body was cut
      // short. zlib calls that a buffer error.
      if (stream.avail_in == 0 && unread.empty() && stream.avail_out != 0) RaiseZlib(Z_BUF_ERROR);
      continue;
    }
    RaiseZlib(rc);
  }
  pieces.back().resize(pieces.back().size() - stream.avail_out);
  if (pieces.size() == 1) return std::move(pieces.front());
  std::string text;
  text.reserve(total);
  for (std::string& piece : pieces) {
    text += piece;
    std::string().swap(piece);
  }
  return text;
}

CharsetKind LookupCharset(std::string_view name) {
  const KnownCharset* known = FindCharset(name);
  if (known == nullptr) return CharsetKind::Unknown;
  if (known->iconvName.empty()) return CharsetKind::Utf8;
  return OpenIconv(known->iconvName) ? CharsetKind::Converted : CharsetKind::Unavailable;
}

std::string ConvertToUtf8(std::string_view bytes, std::string_view charset) {
  const KnownCharset* known = FindCharset(charset);
  if (known == nullptr || known->iconvName.empty()) return std::string(bytes);
  if (!OpenIconv(known->iconvName)) throw EEncodingError("Invalid code page");
  std::string name(known->iconvName);
  auto skip = [&bytes](std::string_view bom) {
    if (bytes.starts_with(bom)) bytes.remove_prefix(bom.size());
  };
  const std::string_view bom16le("\xFF\xFE", 2), bom16be("\xFE\xFF", 2);
  const std::string_view bom32le("\xFF\xFE\x00\x00", 4), bom32be("\x00\x00\xFE\xFF", 4);
  // The byte order is settled here, once: iconv forgets an order it took
  // from a byte-order mark when it is reset after a unit that does not
  // convert. Without a mark the order is little-endian, as glibc reads it.
  if (name == "UTF-16") name = bytes.starts_with(bom16be) ? "UTF-16BE" : "UTF-16LE";
  if (name == "UTF-32") name = bytes.starts_with(bom32be) ? "UTF-32BE" : "UTF-32LE";
  if (name == "UTF-16LE") skip(bom16le);
  if (name == "UTF-16BE") skip(bom16be);
  if (name == "UTF-32LE") skip(bom32le);
  if (name == "UTF-32BE") skip(bom32be);
  // A unit that does not convert is skipped whole, so the rest stays aligned.
  const std::size_t unit = name.starts_with("UTF-16") ? 2 : name.starts_with("UTF-32") ? 4 : 1;
  IconvHandle cd = OpenIconv(name);
  if (!cd) throw EEncodingError("Invalid code page");

  std::string out;
  std::array<char, 16384> buffer;
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  while (true) {
    char* outPtr = buffer.data();
    std::size_t outLeft = buffer.size();
    std::size_t rc = iconv(cd.get(), inLeft > 0 ? &in : nullptr, &inLeft, &outPtr, &outLeft);
    out.append(buffer.data(), buffer.size() - outLeft);
    if (rc != static_cast<std::size_t>(-1)) {
      if (inLeft == 0) {
        // Flush any shift state.
        outPtr = buffer.data();
        outLeft = buffer.size();
        iconv(cd.get(), nullptr, nullptr, &outPtr, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
        return out;
      }
      continue;
    }
    if (errno == E2BIG) continue;
    // A unit that does not convert, or a sequence cut off at the end.
    out += "\xEF\xBF\xBD";
    if (errno == EINVAL || inLeft == 0) return out;
    const std::size_t skipped = std::min(unit, inLeft);
    in += skipped;
    inLeft -= skipped;
    iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
  }
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
