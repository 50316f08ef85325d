#pragma once

#include <string>

namespace kestrava {

// The display text of a JSON text: tipjSon non-zero reads it as an array,
// zero as an object. A text that does not parse, or parses as another kind,
// is returned unchanged. The input is released once it has been parsed, so
// a caller that moves a large text in does not hold it and its display text
// at the same time.
std::string FormatJson(std::string Json, int tipjSon);

}  // namespace kestrava
