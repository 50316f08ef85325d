// The zip of a workbook: deflate streams joined into one member, and an
// archive that refuses to pass 4 GiB, as it has no Zip64 records.

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "output/ZipArchive.h"

namespace kestrava {
namespace {

std::string Inflate(const std::string& deflated) {
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return "(no inflate)";
  std::string out;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(deflated.data()));
  stream.avail_in = static_cast<uInt>(deflated.size());
  int result = Z_OK;
  while (result == Z_OK) {
    char buffer[4096];
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = sizeof buffer;
    result = inflate(&stream, Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - stream.avail_out);
  }
  const bool whole = result == Z_STREAM_END && stream.avail_in == 0;
  inflateEnd(&stream);
  return whole ? out : "(cut: " + std::to_string(result) + ")";
}

TEST(ZipArchive, StreamsEndedOnAByteBoundaryAndALastOneInflateAsOneMember) {
  // Text that compresses (repeats) and text that does not (a generator's
  // bytes), large enough that the compressed output comes in several steps.
  std::string noisy;
  std::uint32_t state = 12345;
  for (int i = 0; i < 300'000; ++i) {
    state = state * 1103515245u + 12345u;
    noisy += static_cast<char>(state >> 24);
  }
  std::string repeated;
  for (int i = 0; i < 20'000; ++i) repeated += "<row r=\"" + std::to_string(i) + "\"></row>";
  const std::vector<std::string> pieces = {"<before>", repeated, noisy, "", "</after>"};

  std::string member, whole;
  std::uint32_t crc = 0;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    Deflater deflater(1);
    ASSERT_TRUE(deflater.Add(pieces[i], member));
    ASSERT_TRUE(deflater.End(member, i + 1 == pieces.size()));
    EXPECT_EQ(deflater.Size(), pieces[i].size());
    EXPECT_EQ(deflater.Crc(), crc32(0, reinterpret_cast<const Bytef*>(pieces[i].data()),
                                    static_cast<uInt>(pieces[i].size())));
    crc = CombineCrc(crc, deflater.Crc(), deflater.Size());
    whole += pieces[i];
  }
  EXPECT_EQ(Inflate(member), whole);
  EXPECT_EQ(
      crc, crc32(0, reinterpret_cast<const Bytef*>(whole.data()), static_cast<uInt>(whole.size())));
}

TEST(ZipArchive, NothingPassesFourGibibytes) {
  constexpr std::uint64_t kMax = ZipArchive::kMaxSize;
  struct Case {
    const char* what;
    std::uint64_t compressed, size;
    bool member, finished;
  };
  // The member's header is 30 bytes and its name's; the directory's entry
  // 46 and the name's, and the end record 22.
  const Case cases[] = {
      {"small", 100, 1000, true, true},
      {"the data up to the last byte the offsets reach", kMax - 31, 10, true, false},
      {"the data one byte past it", kMax - 30, 10, false, false},
      {"room left for the directory", kMax - 31 - 47 - 22, kMax, true, true},
      {"the directory one byte past it", kMax - 31 - 47 - 21, kMax, true, false},
      {"a member's size that reads as Zip64's mark", 10, kMax + 1, false, false},
  };
  for (const Case& c : cases) {
    ZipArchive zip;
    EXPECT_EQ(zip.AddHeader("x", 0, c.compressed, c.size), c.member) << c.what;
    if (c.member) {
      EXPECT_EQ(zip.Finish(), c.finished) << c.what;
    }
  }
}

}  // namespace
}  // namespace kestrava
