#include <gtest/gtest.h>

#include <cstdint>

#include "net/Charset.h"
#include "net/Inflate.h"
#include "net/NetExceptions.h"
#include "net/ReplyText.h"
#include "tests/net/NetFixture.h"

namespace kestrava::net {
namespace {

using kestrava::testing::Compress;

TEST(MediaType, ValueBeforeSemicolonTrimmedLowerCase) {
  EXPECT_EQ(MediaTypeOf(" Application/JSON ; charset=utf-8"), "application/json");
  EXPECT_EQ(MediaTypeOf(""), "");
  EXPECT_EQ(MediaTypeOf("text/plain"), "text/plain");
}

TEST(MediaType, ClassesFromTheTable) {
  struct Case {
    const char* type;
    MediaClass expected;
  } cases[] = {
      {"", MediaClass::Text},
      {"application/json", MediaClass::Text},
      {"application/xml", MediaClass::Text},
      {"application/javascript", MediaClass::Text},
      {"text/plain", MediaClass::Text},
      {"text/html", MediaClass::Text},
      {"text/csv", MediaClass::Text},
      {"text/xml", MediaClass::Text},
      {"application/problem+json", MediaClass::Text},
      {"application/octet-stream", MediaClass::Binary},
      {"application/pdf", MediaClass::Binary},
      {"application/zip", MediaClass::Binary},
      {"image/png", MediaClass::Binary},
      {"audio/mpeg", MediaClass::Binary},
      {"video/mp4", MediaClass::Binary},
      {"application/x-custom", MediaClass::Other},
      {"text/x-unknown", MediaClass::Other},
      {"nonsense", MediaClass::Other},
  };
  for (const auto& c : cases) EXPECT_EQ(ClassOf(c.type), c.expected) << c.type;
}

TEST(Charset, ParameterParsing) {
  struct Case {
    const char* contentType;
    std::optional<std::string> expected;
  } cases[] = {
      {"application/json; charset=ISO-8859-1", "ISO-8859-1"},
      {"application/json;charset=\"utf-8\"", "utf-8"},
      {"application/json; CHARSET = 'utf-8' ", "utf-8"},
      {"application/json; charset='\"utf-8\"'", "utf-8"},
      {"application/json; charset=\"'utf-8'\"", "'utf-8'"},
      {"application/json; charset=", ""},
      {"application/json; charset", std::nullopt},
      {"application/json; charset=a=b", std::nullopt},
      {"application/json; boundary=x; charset=koi8-r; charset=utf-8", "koi8-r"},
      {"application/json; boundary=x", std::nullopt},
      {"application/json;\tcharset=utf-8", std::nullopt},  // only spaces are skipped
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(CharsetOf(c.contentType), c.expected) << c.contentType;
}

TEST(Decompress, GzipAndZlibThroughZlibWithItsMessages) {
  const std::string text = "{\"result\":[1,2,3],\"totalPages\":1}";
  EXPECT_EQ(Decompress(Compress(text, true), "gzip"), text);
  EXPECT_EQ(Decompress(Compress(text, false), "deflate"), text);
  EXPECT_EQ(Decompress(Compress("a", true) + Compress("b", true), "gzip"), "ab");
  // Other values, including other letter cases, leave the bytes alone.
  EXPECT_EQ(Decompress("raw", "GZIP"), "raw");
  EXPECT_EQ(Decompress("raw", "br"), "raw");
  EXPECT_EQ(Decompress("", "gzip"), "");

  auto message = [](std::string bytes, const char* encoding) -> std::string {
    try {
      Decompress(bytes, encoding);
      return "no failure";
    } catch (const EZDecompressionError& e) {
      return e.Message();
    }
  };
  EXPECT_EQ(message("not compressed at all", "gzip"), "data error");
  EXPECT_EQ(message("not compressed at all", "deflate"), "data error");
  EXPECT_EQ(message(Compress(text, false), "gzip"), "data error");
  std::string gzip = Compress(text, true);
  EXPECT_EQ(message(gzip.substr(0, gzip.size() - 4), "gzip"), "buffer error");  // cut short
  EXPECT_EQ(message(gzip.substr(0, 5), "gzip"), "buffer error");
  std::string corrupt = gzip;
  corrupt[12] = static_cast<char>(corrupt[12] ^ 0x55);
  corrupt[13] = static_cast<char>(corrupt[13] ^ 0x55);
  EXPECT_EQ(message(corrupt, "gzip"), "data error");
}

// Text that deflate cannot squeeze much: pseudo-random hexadecimal digits.
std::string NoisyText(std::size_t size) {
  std::string text(size, '0');
  std::uint32_t state = 12345;
  for (char& c : text) {
    state = state * 1103515245u + 12345u;
    c = "0123456789abcdef"[(state >> 16) & 15];
  }
  return text;
}

std::string InflateOutcome(const std::string& bytes, const char* encoding) {
  try {
    return "inflated " + std::to_string(Decompress(bytes, encoding).size());
  } catch (const EZDecompressionError& e) {
    return e.Message();
  }
}

TEST(Decompress, AnUnsolicitedBodyInflatesUpToItsBoundAndNoFurther) {
  const std::string floor(kInflatedSizeFloor, '\0');
  const std::string halfFloor(kInflatedSizeFloor / 2 + 1, '\0');
  const std::string noisy = NoisyText(3 * kInflatedSizeFloor);
  struct Case {
    const char* name;
    std::string bytes;
    const char* encoding;
    std::string outcome;
  } cases[] = {
      {"exactly 1 MiB", Compress(floor, true), "gzip", "inflated 1048576"},
      {"one byte more", Compress(floor + '\0', true), "gzip", "insufficient memory"},
      {"one byte more, zlib data", Compress(floor + 'x', false), "deflate", "insufficient memory"},
      {"two members that pass it together", Compress(halfFloor, true) + Compress(halfFloor, true),
       "gzip", "insufficient memory"},
      {"64 MiB of zeros", Compress(std::string(64 * kInflatedSizeFloor, '\0'), true), "gzip",
       "insufficient memory"},
      {"3 MiB at far less than 100 times", Compress(noisy, true), "gzip", "inflated 3145728"},
      // Under 100 times its size, but past the bound of any reply body.
      {"past 64 MiB at less than 100 times",
       Compress(NoisyText(kInflatedSizeFloor * 3 / 2) + std::string(64 * kInflatedSizeFloor, '\0'),
                true),
       "gzip", "insufficient memory"},
  };
  for (const auto& c : cases) EXPECT_EQ(InflateOutcome(c.bytes, c.encoding), c.outcome) << c.name;

  struct Limit {
    std::size_t compressed, limit;
  } limits[] = {
      {0, 1048576},        {1, 1048576},       {10485, 1048576},   {10486, 1048600},
      {20000, 2000000},    {671088, 67108800}, {671089, 67108864}, {SIZE_MAX / 100, 67108864},
      {SIZE_MAX, 67108864}};
  for (const auto& l : limits) EXPECT_EQ(InflatedSizeLimit(l.compressed), l.limit) << l.compressed;
}

TEST(Charsets, KnownUnavailableAndUnknownNames) {
  EXPECT_EQ(LookupCharset("UTF-8"), CharsetKind::Utf8);
  EXPECT_EQ(LookupCharset("utf8"), CharsetKind::Utf8);
  EXPECT_EQ(LookupCharset("ISO-8859-1"), CharsetKind::Converted);
  EXPECT_EQ(LookupCharset("windows-1252"), CharsetKind::Converted);
  EXPECT_EQ(LookupCharset("x-iscii-de"), CharsetKind::Unavailable);
  EXPECT_EQ(LookupCharset("klingon"), CharsetKind::Unknown);
  EXPECT_EQ(LookupCharset(""), CharsetKind::Unknown);
  EXPECT_EQ(ConvertToUtf8("caf\xE9", "iso-8859-1"), "caf\xC3\xA9");
  EXPECT_EQ(ConvertToUtf8("\x80", "windows-1252"), "\xE2\x82\xAC");
  EXPECT_EQ(ConvertToUtf8("a\x81z", "windows-1252"), "a\xEF\xBF\xBDz");  // unmapped byte
  EXPECT_EQ(ConvertToUtf8(std::string("\xFF\xFE"
                                      "a\0\xE9\0",
                                      6),
                          "utf-16le"),
            "a\xC3\xA9");
  EXPECT_EQ(ConvertToUtf8(std::string("\xFE\xFF\0a", 4), "UTF-16BE"), "a");
  EXPECT_EQ(ConvertToUtf8(std::string("a\0b", 3), "utf-16le"), "a\xEF\xBF\xBD");  // cut off
}

TEST(Charsets, UnitThatDoesNotConvertKeepsTheRestInStep) {
  // A lone surrogate becomes U+FFFD; what follows keeps its byte order and
  // its alignment.
  const std::string replaced =
      "A\xEF\xBF\xBD"
      "B";
  struct Case {
    std::string bytes;
    const char* charset;
  } cases[] = {
      {std::string("\xFF\xFE"
                   "A\0\x00\xDC"
                   "B\0",
                   8),
       "utf-16"},
      {std::string("\xFE\xFF\0A\xDC\x00\0B", 8), "utf-16"},
      {std::string("A\0\x00\xDC"
                   "B\0",
                   6),
       "utf-16"},  // no mark: little-endian
      {std::string("A\0\x00\xDC"
                   "B\0",
                   6),
       "utf-16le"},
      {std::string("\xFF\xFE\0\0"
                   "A\0\0\0\x00\xD8\0\0"
                   "B\0\0\0",
                   16),
       "utf-32"},
      {std::string("\0\0\0A\0\0\xD8\x00\0\0\0B", 12), "utf-32be"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ConvertToUtf8(c.bytes, c.charset), replaced)
        << c.charset << " " << ::testing::PrintToString(c.bytes);
  // The mark of the order it names is skipped, below 300 and from 300.
  EXPECT_EQ(ReplyContent(200, "text/plain; charset=utf-16", "", std::string("\xFF\xFEo\0k\0", 6)),
            "ok");
  EXPECT_EQ(ReplyContent(404, "text/plain; charset=UTF-16", "", std::string("\xFE\xFF\0o\0k", 6)),
            "ok");
}

struct ContentCase {
  int status;
  const char* contentType;
  const char* encoding;
  std::string body;
  std::string expected;  // content, or the failure message
  bool fails = false;
};

std::string ContentOrFailure(const ContentCase& c) {
  try {
    return ReplyContent(c.status, c.contentType, c.encoding, c.body);
  } catch (const Exception& e) {
    return "failure: " + e.Message();
  }
}

TEST(ReplyContent, DecodingChoiceBelowAndFrom300) {
  const std::string noMapping = kNoMappingMessage;
  const ContentCase cases[] = {
      // Below 300.
      {200, "application/json; charset=ISO-8859-1", "", "\"caf\xE9\"", "\"caf\xC3\xA9\""},
      {200, "application/json; charset=\"utf-8\"", "", "\"caf\xC3\xA9\"", "\"caf\xC3\xA9\""},
      {200, "", "", "\xEF\xBB\xBF{}", "{}"},
      {200, "application/json", "", "\xEF\xBB\xBF\xEF\xBB\xBF{}", "\xEF\xBB\xBF{}"},
      {200, "application/octet-stream", "", "{}", ""},
      {200, "application/octet-stream; charset=utf-8", "", "{}", ""},
      {200, "image/png", "gzip", "not gzip", ""},  // binary is not even inflated
      {200, "application/json", "", "\xE9", noMapping, true},
      {200, "", "", "\xE9", noMapping, true},
      {200, "text/plain", "", "ok\xC0\xAF", noMapping, true},
      {200, "application/x-custom", "", "\xE9", ""},
      {200, "application/x-custom", "", "fine", "fine"},
      {200, "application/json", "", "", ""},
      {200, "application/json", "gzip", Compress("{\"a\":1}", true), "{\"a\":1}"},
      {200, "application/json", "deflate", Compress("{\"a\":1}", false), "{\"a\":1}"},
      {200, "application/json", "gzip", "corrupt", "data error", true},
      {200, "application/json; charset=klingon", "", "\"\xC3\xA9\"", "\"\xC3\xA9\""},
      {200, "application/json; charset=x-iscii-de", "", "\"\xC3\xA9\"", "\"\xC3\xA9\""},
      {200, "application/json; charset=klingon", "", "\xE9", noMapping, true},
      {200, "text/plain; charset=windows-1252", "", "\x80", "\xE2\x82\xAC"},
      {204, "", "", "", ""},
      // 300 and above: decoded whatever the media type.
      {404, "text/html", "", "<h1>Not Found</h1>", "<h1>Not Found</h1>"},
      {404, "application/octet-stream", "", "\xC3\xA9", "\xC3\xA9"},
      {404, "application/octet-stream", "", "\xE9", noMapping, true},
      {404, "application/x-custom", "", "\xE9", noMapping, true},
      {404, "text/html; charset=klingon", "", "ok", "Invalid encoding name", true},
      {404, "text/html; charset=", "", "ok", "Invalid encoding name", true},
      {404, "text/html; charset=x-iscii-de", "", "ok", "Invalid code page", true},
      {404, "text/html; charset=UTF-8", "", "\xEF\xBB\xBFok", "ok"},
      {404, "text/html; charset=utf8", "", "ok", "ok"},
      {404, "text/html; charset=iso-8859-1", "", "\xE9", "\xC3\xA9"},
      {502, "", "", "\xE9", noMapping, true},
      {503, "text/plain", "", "word", "word"},
      {500, "", "", "", ""},
      {500, "application/json", "gzip", Compress("{\"e\":1}", true), "{\"e\":1}"},
      {500, "application/json", "gzip", "corrupt", "data error", true},
  };
  for (const auto& c : cases) {
    std::string expected = c.fails ? "failure: " + c.expected : c.expected;
    EXPECT_EQ(ContentOrFailure(c), expected)
        << c.status << " " << c.contentType << " " << ::testing::PrintToString(c.body);
  }
}

}  // namespace
}  // namespace kestrava::net
