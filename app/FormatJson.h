#pragma once

#include <string>
#include <string_view>

namespace kestrava {

// The display text of a JSON text: tipjSon non-zero reads it as an array,
// zero as an object. A text that does not parse, or parses as another kind,
// is returned unchanged.
std::string FormatJson(std::string_view Json, int tipjSon);

}  // namespace kestrava
