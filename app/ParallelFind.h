#pragma once

// A search over a long text by several threads at once: the range is read
// in pieces, handed out in order from the end the search starts at, so a
// near match is found after one piece and a far one at the speed of all the
// threads together. The call returns once its threads have ended; the text
// is only read.

#include <cstddef>
#include <string_view>

#include "app/FindSummary.h"
#include "app/TextSearch.h"

namespace kestrava {

enum class TFindDirection { Forward, Backward };

// The first match of `search` that starts in [from, to) (Forward), or the
// last (Backward), as FindForward and FindBackward give it; npos for none.
// `threads` counts the calling one; 0 takes as many as the machine runs at
// once, up to a few.
std::size_t FindInParallel(const TTextSearch& search, std::string_view text, std::size_t from,
                           std::size_t to, TFindDirection direction, unsigned threads = 0);

// The same, reading only the chunks that the text's summary says may hold
// a match's start: exactly what FindInParallel gives, most often sooner.
// The summary must be the text's own (TMemoText::Summary).
std::size_t FindWithSummary(const TTextSearch& search, const TFindSummary& summary,
                            std::string_view text, std::size_t from, std::size_t to,
                            TFindDirection direction, unsigned threads = 0);

// The matches that start in [from, to), read as FindWithSummary reads.
std::size_t CountWithSummary(const TTextSearch& search, const TFindSummary& summary,
                             std::string_view text, std::size_t from, std::size_t to);

}  // namespace kestrava
