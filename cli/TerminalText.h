#pragma once

// What a terminal is given of a text that may come from a server: the
// service's error bodies and records can hold escape sequences that would
// move the cursor, clear the screen or retitle the window, a carriage
// return that lets the rest of a line overwrite its start, and the
// controls of bidirectional text that show a counterparty's name, an
// amount or an IBAN in another order than it has.

#include <string>
#include <string_view>

namespace kestrava::cli {

// CR LF and a lone CR each become CR LF (one line break), LF and tab stay;
// every other control character (U+0000-U+001F, U+007F and the C1 range
// U+0080-U+009F) and every byte that is not part of valid UTF-8 is shown as
// \xHH (its code point, or the byte); the bidirectional controls (U+061C,
// U+200E, U+200F, U+202A-U+202E, U+2066-U+2069) as \uHHHH. Everything else
// is kept as it is.
std::string ForTerminal(std::string_view text);

// The same, with CR, LF and tab shown as \xHH too: one line, whatever the
// text.
std::string OnOneLine(std::string_view text);

}  // namespace kestrava::cli
