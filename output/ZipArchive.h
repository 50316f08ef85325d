#pragma once

// The zip container of a workbook: raw deflate streams (zlib) and the
// archive's headers and central directory, written in one pass. The
// archive holds no Zip64 records, so every part, and the archive itself,
// stays under 4 GiB; past that the archive refuses to grow.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct z_stream_s;

namespace kestrava {

// A raw deflate stream whose compressed bytes are appended to a string, with
// the CRC-32 and the size of what went in. Streams ended with a sync flush
// and a last one ended with Finish may follow each other in one zip member.
class Deflater {
 public:
  explicit Deflater(int level);
  ~Deflater();
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  // Compresses `bytes` into `out`; false when zlib fails.
  bool Add(std::string_view bytes, std::string& out);
  // Ends the stream on a byte boundary without ending the member (`last`
  // false), or as the member's end (`last` true).
  bool End(std::string& out, bool last);

  std::uint32_t Crc() const noexcept { return crc_; }
  std::uint64_t Size() const noexcept { return size_; }

 private:
  bool Run(std::string_view bytes, int flush, std::string& out);
  std::unique_ptr<z_stream_s> stream_;
  bool ready_ = false;
  std::uint32_t crc_ = 0;
  std::uint64_t size_ = 0;
};

// The CRC-32 of two pieces one after the other, from the CRC-32 of each.
std::uint32_t CombineCrc(std::uint32_t first, std::uint32_t second, std::uint64_t secondSize);

// The archive's bytes as they are made: the caller takes them with Take and
// writes them in order, together with the data of members it writes itself.
class ZipArchive {
 public:
  // The most a size or an offset holds: 0xFFFFFFFF would send a reader to
  // the Zip64 records.
  static constexpr std::uint64_t kMaxSize = 0xFFFF'FFFEu;

  // A member deflated from `content`, header and data; false past 4 GiB or
  // when zlib fails.
  bool Add(std::string_view name, std::string_view content);
  // The header of a member whose `compressedSize` deflated bytes the caller
  // writes right after it (after Take); false past 4 GiB.
  bool AddHeader(std::string_view name, std::uint32_t crc, std::uint64_t compressedSize,
                 std::uint64_t size);
  // The central directory and the end record; false past 4 GiB.
  bool Finish();
  // The bytes made since the last Take.
  std::string Take();

 private:
  struct Member {
    std::string name;
    std::uint32_t crc, compressedSize, size, offset;
  };
  void Header(const Member& member, bool central);
  std::vector<Member> members_;
  std::string bytes_;
  std::uint64_t offset_ = 0;  // of the next byte in the archive
  std::uint16_t time_ = 0, date_ = 0;
  bool timed_ = false;
};

}  // namespace kestrava
