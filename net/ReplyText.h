#pragma once

// Turning reply body bytes into the response's UTF-8 text: media type and
// charset of a Content-Type value, the media-type classes, and the choice
// of decoding that ties inflation (net/Inflate.h), charset conversion
// (net/Charset.h) and strict UTF-8 together.

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

// Content of a reply: the decoding choice below 300 and at 300 and above.
// Throws EEncodingError or EZDecompressionError as the reply text failures.
std::string ReplyContent(int statusCode, std::string_view contentType,
                         std::string_view contentEncoding, std::string_view body);

inline constexpr const char* kNoMappingMessage =
    "No mapping for the Unicode character exists in the target multi-byte code page";

}  // namespace kestrava::net
