#include "net/Charset.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
#include <type_traits>

#include "base/Ascii.h"
#include "net/NetExceptions.h"

namespace kestrava::net {

namespace {

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

}  // namespace

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

}  // namespace kestrava::net
