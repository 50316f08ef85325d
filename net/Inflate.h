#pragma once

// Inflating a reply body that came with the Content-Encoding "gzip" or
// "deflate", within the bound that an unsolicited compressed reply gets.

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrava::net {

// True for the encodings a body is inflated for: exactly "gzip" and "deflate".
bool IsCompressed(std::string_view contentEncoding);

// The requests never ask for compression, so a compressed reply is
// unsolicited: its text may grow to 1 MiB, or to 100 times its compressed
// size when that is more, and never past the bound of any reply body
// (kMaxReplyBodyBytes).
inline constexpr std::size_t kInflatedSizeFloor = std::size_t{1} << 20;
inline constexpr std::size_t kInflatedSizeRatio = 100;
std::size_t InflatedSizeLimit(std::size_t compressedSize);

// Inflates a "gzip" (gzip format) or "deflate" (zlib format) body; any
// other encoding leaves the bytes as they are. Throws EZDecompressionError
// with zlib's text for the error code, and with the text of Z_MEM_ERROR
// ("insufficient memory") as soon as the text passes InflatedSizeLimit.
std::string Decompress(std::string_view bytes, std::string_view contentEncoding);

}  // namespace kestrava::net
