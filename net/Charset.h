#pragma once

// The charset names that replies may carry and the conversion of the bytes
// of any but UTF-8 into UTF-8 text (iconv).

#include <string>
#include <string_view>

namespace kestrava::net {

enum class CharsetKind { Utf8, Converted, Unknown, Unavailable };
// How a charset name is decoded: UTF-8, through iconv, not a name we know,
// or a known name whose code page this system's iconv lacks.
CharsetKind LookupCharset(std::string_view name);

// Decodes bytes of a charset that LookupCharset gave Converted for, its
// byte-order mark skipped; bytes that do not convert become U+FFFD.
std::string ConvertToUtf8(std::string_view bytes, std::string_view charset);

}  // namespace kestrava::net
