#pragma once

// The display text of the records of a read, built page by page while the
// pages arrive: byte for byte what FormatJson gives for the compact text of
// an array holding them all, without that array, its compact text or its
// parsed copy ever existing. Each record is written at depth 1, as an
// element of the array, and each page's text is indexed for the text area
// as it is appended, while it is fresh, so that the whole text is handed
// over without being read again.

#include <cstddef>
#include <string>

#include "app/MemoText.h"
#include "json/JSON.h"

namespace kestrava {

class TRecordsText {
 public:
  TRecordsText();

  // Appends every element of a page's records.
  void Add(const TJSONArray& records);
  // After the first of `totalPages` pages: room for about all of them (up
  // to a bound), so that the text is not copied as it grows. Room that is
  // not written is never touched, so it takes no memory.
  void ExpectPages(int pagesRead, int totalPages);

  std::size_t Count() const noexcept { return count_; }
  // The whole display text; the builder is empty afterwards.
  TMemoText Finish();

 private:
  TMemoText text_;
  std::string page_;  // the text of the page being added
  std::size_t count_ = 0;
};

}  // namespace kestrava
