#pragma once

// The store's one form of a local wall-clock date-time,
// "YYYY-MM-DDTHH:MM:SS.mmm": fixed width, so its text order is the order
// of time, and readable in the store with any SQL tool.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "datetime/DateTime.h"

namespace kestrava::store {

// Throws EStoreError for a value outside the years 1 to 9999.
std::string TimeText(TDateTime value);
// The value of a text TimeText wrote; none for any other text.
std::optional<TDateTime> TimeFromText(std::string_view text);

// Milliseconds of the local wall clock since 1970-01-01T00:00:00.000, the
// store's form of a booking time (negative before 1970).
std::int64_t WallClockMilliseconds(TDateTime value);

// The time of a record's "bookingDate": a date "YYYY-MM-DD" means
// its 00:00:00.000; a date-time "YYYY-MM-DDTHH:MM[:SS[.fraction]]" may end
// in "Z" or an offset "+HH:MM" / "-HH:MM", which are ignored (the wall
// clock as written is what counts, as everywhere in this program); digits
// of a fraction past the milliseconds are dropped. None for anything else,
// an impossible date or time included.
std::optional<TDateTime> BookingTime(std::string_view text);

}  // namespace kestrava::store
