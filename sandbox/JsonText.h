#pragma once

// Building reply JSON text by hand: quoting with the right escapes, and
// amounts as JSON numbers with two decimals.
//
// The replies are written here, not with json/'s writer, on purpose: the
// sandbox is an independent double of the service. Were its replies made by
// the same JSON code that the client reads them with, a fault in that code
// (an escape, a number text) would sit on both ends and agree with itself,
// and no test against the sandbox would see it.

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrava::sandbox {

// Appends text as a JSON string literal. Bytes that are not valid UTF-8
// (for example from a request echoed back) become U+FFFD, so the reply is
// always valid UTF-8.
void AppendQuoted(std::string& out, std::string_view text);
std::string Quoted(std::string_view text);

// 123456 cents -> "1234.56", -5 -> "-0.05".
std::string AmountText(std::int64_t cents);

// A member `"name":` followed by raw JSON text, with a leading comma unless
// it opens the object; `first` tracks that.
void AppendMember(std::string& out, bool& first, std::string_view name, std::string_view rawJson);

}  // namespace kestrava::sandbox
