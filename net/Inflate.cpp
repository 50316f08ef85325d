#include "net/Inflate.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "net/NetExceptions.h"
#include "net/RequestDefaults.h"

namespace kestrava::net {

namespace {

[[noreturn]] void RaiseZlib(int code) {
  throw EZDecompressionError(zError(code));
}

}  // namespace

bool IsCompressed(std::string_view contentEncoding) {
  return contentEncoding == "gzip" || contentEncoding == "deflate";
}

std::size_t InflatedSizeLimit(std::size_t compressedSize) {
  const std::size_t scaled = compressedSize > SIZE_MAX / kInflatedSizeRatio
                                 ? SIZE_MAX
                                 : compressedSize * kInflatedSizeRatio;
  return std::min(std::max(kInflatedSizeFloor, scaled), kMaxReplyBodyBytes);
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

}  // namespace kestrava::net
