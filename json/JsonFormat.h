#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "json/JSON.h"

namespace kestrava {

// The indented display text: four spaces per level, CR LF line breaks, no
// line break after the last character.
struct TJson {
  static std::string Format(const TJSONValue& value);
};

// The two texts appended to what `text` holds, for a writer that builds a
// long text piece by piece. The display text is written as it stands
// `depth` levels deep inside enclosing containers: each of its line breaks
// is followed by four more spaces per level (an element of a displayed
// array is at depth 1).
void AppendCompactText(std::string& text, const TJSONValue& value);
void AppendDisplayText(std::string& text, const TJSONValue& value, std::size_t depth);

// Takes a text piece by piece as it is written; gives false to stop it.
using TextPieces = std::function<bool(std::string_view piece)>;
inline constexpr std::size_t kTextPieceSize = std::size_t{64} << 10;

// The compact text and the display text handed to `pieces` as they are
// written, in pieces of at most kTextPieceSize bytes, so that no long text
// is ever held whole: together the pieces are exactly what the Append
// functions above append (at depth 0: value.ToString() and
// TJson::Format(value)). False when `pieces` gave false; no piece follows.
bool WriteCompactText(const TJSONValue& value, const TextPieces& pieces);
bool WriteDisplayText(const TJSONValue& value, const TextPieces& pieces, std::size_t depth = 0);

}  // namespace kestrava
