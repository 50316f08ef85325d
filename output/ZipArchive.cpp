#include "output/ZipArchive.h"

#include <zlib.h>

#include <algorithm>
#include <ctime>
#include <utility>

namespace kestrava {
namespace {

constexpr std::uint32_t kLocalHeader = 0x04034b50;
constexpr std::uint32_t kCentralHeader = 0x02014b50;
constexpr std::uint32_t kEndOfCentralDirectory = 0x06054b50;
constexpr std::uint16_t kVersion = 20;  // deflate
constexpr std::uint16_t kDeflated = 8;
constexpr std::size_t kOutputStep = 1 << 16;

void Append16(std::string& out, std::uint16_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>(value >> 8);
}

void Append32(std::string& out, std::uint32_t value) {
  Append16(out, static_cast<std::uint16_t>(value & 0xFFFF));
  Append16(out, static_cast<std::uint16_t>(value >> 16));
}

}  // namespace

Deflater::Deflater(int level) : stream_(std::make_unique<z_stream_s>()) {
  ready_ =
      deflateInit2(stream_.get(), level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
}

Deflater::~Deflater() {
  if (ready_) deflateEnd(stream_.get());
}

bool Deflater::Run(std::string_view bytes, int flush, std::string& out) {
  if (!ready_) return false;
  z_stream_s& stream = *stream_;
  // zlib counts in uInt: a piece larger than that goes in steps.
  do {
    const std::size_t step = std::min<std::size_t>(bytes.size(), 1u << 30);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(step);
    // (zlib's crc32 of no buffer is its starting value, not the one given.)
    if (step > 0) crc_ = static_cast<std::uint32_t>(crc32(crc_, stream.next_in, stream.avail_in));
    size_ += step;
    bytes.remove_prefix(step);
    const int mode = bytes.empty() ? flush : Z_NO_FLUSH;
    for (;;) {
      const std::size_t used = out.size();
      out.resize(used + kOutputStep);
      stream.next_out = reinterpret_cast<Bytef*>(out.data() + used);
      stream.avail_out = static_cast<uInt>(kOutputStep);
      const int result = deflate(&stream, mode);
      out.resize(used + kOutputStep - stream.avail_out);
      if (result == Z_STREAM_ERROR) return false;
      if (mode == Z_FINISH ? result == Z_STREAM_END
                           : stream.avail_in == 0 && stream.avail_out != 0) {
        break;
      }
    }
  } while (!bytes.empty());
  return true;
}

bool Deflater::Add(std::string_view bytes, std::string& out) {
  return bytes.empty() || Run(bytes, Z_NO_FLUSH, out);
}

bool Deflater::End(std::string& out, bool last) {
  return Run({}, last ? Z_FINISH : Z_SYNC_FLUSH, out);
}

std::uint32_t CombineCrc(std::uint32_t first, std::uint32_t second, std::uint64_t secondSize) {
  return static_cast<std::uint32_t>(
      crc32_combine64(first, second, static_cast<z_off64_t>(secondSize)));
}

void ZipArchive::Header(const Member& member, bool central) {
  if (!timed_) {
    // The members' time, in the archive's DOS form (local time, from 1980).
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) != nullptr && local.tm_year >= 80 && local.tm_year < 80 + 128) {
      time_ =
          static_cast<std::uint16_t>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
      date_ = static_cast<std::uint16_t>((local.tm_year - 80) << 9 | (local.tm_mon + 1) << 5 |
                                         local.tm_mday);
    } else {
      date_ = 1 << 5 | 1;  // 1980-01-01
    }
    timed_ = true;
  }
  Append32(bytes_, central ? kCentralHeader : kLocalHeader);
  if (central) Append16(bytes_, kVersion);  // made by
  Append16(bytes_, kVersion);
  Append16(bytes_, 0);  // flags
  Append16(bytes_, kDeflated);
  Append16(bytes_, time_);
  Append16(bytes_, date_);
  Append32(bytes_, member.crc);
  Append32(bytes_, member.compressedSize);
  Append32(bytes_, member.size);
  Append16(bytes_, static_cast<std::uint16_t>(member.name.size()));
  Append16(bytes_, 0);  // extra field
  if (central) {
    Append16(bytes_, 0);  // comment
    Append16(bytes_, 0);  // disk
    Append16(bytes_, 0);  // internal attributes
    Append32(bytes_, 0);  // external attributes
    Append32(bytes_, member.offset);
  }
  bytes_ += member.name;
}

bool ZipArchive::AddHeader(std::string_view name, std::uint32_t crc, std::uint64_t compressedSize,
                           std::uint64_t size) {
  const std::uint64_t end = offset_ + 30 + name.size() + compressedSize;
  if (size > kMaxSize || end > kMaxSize || name.size() > 0xFFFF) return false;
  const Member member{std::string(name), crc, static_cast<std::uint32_t>(compressedSize),
                      static_cast<std::uint32_t>(size), static_cast<std::uint32_t>(offset_)};
  Header(member, false);
  members_.push_back(member);
  offset_ = end;
  return true;
}

bool ZipArchive::Add(std::string_view name, std::string_view content) {
  Deflater deflater(Z_BEST_SPEED);
  std::string data;
  if (!deflater.Add(content, data) || !deflater.End(data, true)) return false;
  if (!AddHeader(name, deflater.Crc(), data.size(), content.size())) return false;
  bytes_ += data;
  return true;
}

bool ZipArchive::Finish() {
  const std::size_t start = bytes_.size();
  for (const Member& member : members_) Header(member, true);
  const std::uint64_t size = bytes_.size() - start;
  if (offset_ + size + 22 > kMaxSize || members_.size() > 0xFFFF) return false;
  Append32(bytes_, kEndOfCentralDirectory);
  Append16(bytes_, 0);  // this disk
  Append16(bytes_, 0);  // the directory's disk
  Append16(bytes_, static_cast<std::uint16_t>(members_.size()));
  Append16(bytes_, static_cast<std::uint16_t>(members_.size()));
  Append32(bytes_, static_cast<std::uint32_t>(size));
  Append32(bytes_, static_cast<std::uint32_t>(offset_));
  Append16(bytes_, 0);  // comment
  offset_ += size + 22;
  return true;
}

std::string ZipArchive::Take() {
  return std::exchange(bytes_, {});
}

}  // namespace kestrava
