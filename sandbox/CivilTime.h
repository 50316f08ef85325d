#pragma once

// Local wall-clock time as the service sees it: milliseconds since
// 1970-01-01 00:00:00.000 of the calendar, with no time zone. The client
// sends local times (with a "Z" it does not mean), and the service compares
// them with its own local times the same way.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrava::sandbox {

using LocalMillis = std::int64_t;
inline constexpr LocalMillis kMillisPerDay = 86'400'000;

LocalMillis ToLocalMillis(int year, int month, int day, int hour = 0, int minute = 0,
                          int second = 0, int millisecond = 0) noexcept;

// The machine's local time now.
LocalMillis LocalNow();

// "YYYY-MM-DDTHH:MM:SS.mmmZ". The two time separators may be any one
// non-digit character each (the client uses the regional separator); the
// date must exist. None for anything else.
std::optional<LocalMillis> ParseQueryDateTime(std::string_view text);

std::string FormatDateTime(LocalMillis time);  // "YYYY-MM-DDTHH:MM:SS.mmmZ"
std::string FormatDate(LocalMillis time);      // "YYYY-MM-DD"

// Day number (days since 1970-01-01) of a time, rounding down.
std::int64_t DayOf(LocalMillis time) noexcept;

}  // namespace kestrava::sandbox
