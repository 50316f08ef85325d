#include "app/RecordsText.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>

#include "json/JsonFormat.h"

namespace kestrava {

namespace {

// Room for the pages to come, over what the first ones took: records
// differ in length, and room not written costs nothing.
constexpr std::size_t kRoomPercent = 150;
constexpr std::size_t kRoomExtra = 1 << 20;
// No more room than this is set aside, whatever number of pages a service
// announces.
constexpr std::size_t kMostRoom = std::size_t{4} << 30;

}  // namespace

void TRecordsText::Add(const TJSONArray& records) {
  const std::size_t count = records.Count();
  for (std::size_t i = 0; i < count; ++i) {
    text_ += count_++ == 0 ? "\r\n    " : ",\r\n    ";
    AppendDisplayText(text_, *records.Get(i), 1);
  }
}

void TRecordsText::ExpectPages(int pagesRead, int totalPages) {
  if (pagesRead != 1 || totalPages <= 1) return;
  const std::size_t expected = text_.size() * static_cast<std::size_t>(totalPages);
  const std::size_t room = std::min(expected / 100 * kRoomPercent + kRoomExtra, kMostRoom);
  if (room <= text_.capacity()) return;
  try {
    text_.reserve(room);
  } catch (const std::bad_alloc&) {
    // The text grows as it must instead.
  } catch (const std::length_error&) {
  }
}

std::string TRecordsText::Finish() {
  text_ += "\r\n]";
  std::string text = std::move(text_);
  text_ = "[";
  count_ = 0;
  return text;
}

}  // namespace kestrava
