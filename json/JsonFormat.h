#pragma once

#include <cstddef>
#include <string>

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

}  // namespace kestrava
