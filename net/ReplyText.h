#pragma once

// Turning reply body bytes into the response's UTF-8 text: media type and
// charset of a Content-Type value, the media-type classes, strict UTF-8,
// gzip/deflate inflation and charset conversion.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestrava::net {

enum class MediaClass { Text, Binary, Other };

// Value before the first ";", trimmed and lower-cased.
std::string MediaTypeOf(std::string_view contentType);
// Class of a media type as MediaTypeOf gives it; empty is text.
MediaClass ClassOf(std::string_view mediaType);
// The charset parameter: first piece that starts with "charset" (any case,
// leading spaces ignored) and splits at "=" into exactly two parts; the
// second part trimmed, one pair of apostrophes then one pair of quotation
// marks removed.
std::optional<std::string> CharsetOf(std::string_view contentType);

// True for the encodings a body is inflated for: exactly "gzip" and "deflate".
bool IsCompressed(std::string_view contentEncoding);

// The requests never ask for compression, so a compressed reply is
// unsolicited: its text may grow to 1 MiB, or to 100 times its compressed
// size when that is more, and no further.
inline constexpr std::size_t kInflatedSizeFloor = std::size_t{1} << 20;
inline constexpr std::size_t kInflatedSizeRatio = 100;
std::size_t InflatedSizeLimit(std::size_t compressedSize);

// Inflates a "gzip" (gzip format) or "deflate" (zlib format) body; any
// other encoding leaves the bytes as they are. Throws EZDecompressionError
// with zlib's text for the error code, and with the text of Z_MEM_ERROR
// ("insufficient memory") as soon as the text passes InflatedSizeLimit.
std::string Decompress(std::string_view bytes, std::string_view contentEncoding);

enum class CharsetKind { Utf8, Converted, Unknown, Unavailable };
// How a charset name is decoded: UTF-8, through iconv, not a name we know,
// or a known name whose code page this system's iconv lacks.
CharsetKind LookupCharset(std::string_view name);

// Decodes bytes of a charset that LookupCharset gave Converted for, its
// byte-order mark skipped; bytes that do not convert become U+FFFD.
std::string ConvertToUtf8(std::string_view bytes, std::string_view charset);

// Content of a reply: the decoding choice below 300 and at 300 and above.
// Throws EEncodingError or EZDecompressionError as the reply text failures.
std::string ReplyContent(int statusCode, std::string_view contentType,
                         std::string_view contentEncoding, std::string_view body);

inline constexpr const char* kNoMappingMessage =
    "No mapping for the Unicode character exists in the target multi-byte code page";

}  // namespace kestrava::net
