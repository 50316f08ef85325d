#pragma once

#include <string>

#include "json/JSON.h"

namespace kestrava {

// The indented display text: four spaces per level, CR LF line breaks, no
// line break after the last character.
struct TJson {
  static std::string Format(const TJSONValue& value);
};

}  // namespace kestrava
