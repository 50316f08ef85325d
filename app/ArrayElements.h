#pragma once

// The elements of a JSON array text, found without building the array: each
// element's text is handed out on its own, so that a result of a million
// records can be read again one record at a time.

#include <cstddef>
#include <functional>
#include <string_view>

namespace kestrava {

enum class TElementWalk {
  Done,        // every element was handed out
  Stopped,     // `element` gave false
  NotAnArray,  // the text is no array: brackets or quotation marks that do not pair up
};

// Calls element(text, end) for each element of the array in `text`, in
// order: the element's text without the white space around it (empty where
// the array has none between two commas), and the offset where the element
// ends in `text`. Only strings, brackets and commas are looked at; whether an
// element is valid JSON is for its reader to find.
TElementWalk ForEachElement(std::string_view text,
                            const std::function<bool(std::string_view, std::size_t)>& element);

}  // namespace kestrava
