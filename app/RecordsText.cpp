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

TRecordsText::TRecordsText() {
  text_.Assign("[");
}

void TRecordsText::Add(const TJSONArray& records) {
  page_.clear();
  const std::size_t count = records.Count();
  for (std::size_t i = 0; i < count; ++i) {
    page_ += count_++ == 0 ? "\r\n    " : ",\r\n    ";
    AppendDisplayText(page_, *records.Get(i), 1);
  }
  text_.Append(page_);
}

void TRecordsText::ExpectPages(int pagesRead, int totalPages) {
  if (pagesRead != 1 || totalPages <= 1) return;
  const std::size_t expected = text_.Size() * static_cast<std::size_t>(totalPages);
  const std::size_t room = std::min(expected / 100 * kRoomPercent + kRoomExtra, kMostRoom);
  if (room <= text_.Capacity()) return;
  try {
    text_.Reserve(room);
  } catch (const std::bad_alloc&) {
    // The text grows as it must instead.
  } catch (const std::length_error&) {
  }
}

TMemoText TRecordsText::Finish() {
  text_.Append("\r\n]");
  TMemoText text = std::move(text_);
  text_ = TMemoText();
  text_.Assign("[");
  count_ = 0;
  return text;
}

}  // namespace kestrava
