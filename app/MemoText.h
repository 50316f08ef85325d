#pragma once

// The text of the text area, kept once as UTF-8, with what the view needs
// to find its lines without a table entry per line.
//
// Lines are separated by CR LF, a lone CR or a lone LF; n separators make
// n + 1 lines (a text that ends with one has an empty last line). A
// position is a byte offset into the text at the start of a character and
// never between the CR and the LF of a CR LF pair.
//
// "Shown" offsets count UTF-16 code units of the text as it is shown, every
// line separator as one unit: the offsets a plain-text widget and the
// accessibility interface use.

#include <QString>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "app/FindSummary.h"

namespace kestrava {

class TMemoText {
 public:
  TMemoText();

  // Replaces the text; it must be valid UTF-8.
  void Assign(std::string text);
  // Appends valid UTF-8 at the very end; only what it adds is read.
  void Append(std::string_view piece);
  // Room for a text of `bytes` bytes, so that appending does not copy it.
  void Reserve(std::size_t bytes);
  std::size_t Capacity() const noexcept { return text_.capacity(); }

  const std::string& Bytes() const noexcept { return text_; }
  std::size_t Size() const noexcept { return text_.size(); }
  bool Empty() const noexcept { return text_.empty(); }

  // What a search may skip, kept as the text grows.
  const TFindSummary& Summary() const noexcept { return summary_; }

  std::size_t LineCount() const noexcept { return lineCount_; }
  std::size_t LineStart(std::size_t line) const;
  // Where the line's separator begins, or the end of the text.
  std::size_t LineEnd(std::size_t line) const;
  std::string_view LineText(std::size_t line) const;
  // The line holding a position (a line's end belongs to it).
  std::size_t LineOf(std::size_t position) const;

  // The nearest position at or before `offset`.
  std::size_t Snap(std::size_t offset) const noexcept;
  // The next and previous position (a line separator is one step).
  std::size_t NextPosition(std::size_t position) const noexcept;
  std::size_t PreviousPosition(std::size_t position) const noexcept;

  std::size_t ShownOffset(std::size_t position) const;
  // The position of a shown offset; one inside a character gives the
  // character's start, one past the end the end.
  std::size_t PositionOfShown(std::size_t shown) const;
  std::size_t ShownSize() const { return ShownOffset(text_.size()); }

  // The text of [from, to) as shown: every line break as '\n'. Both ends
  // are taken to the nearest position at or before them.
  QString ShownString(std::size_t from, std::size_t to) const;
  // The text of [from, to) as a plain-text widget copies it: every line
  // break, line separator and paragraph separator as '\n', a no-break
  // space as ' '.
  QString CopiedText(std::size_t from, std::size_t to) const;

 private:
  // Every kStride-th line start is kept.
  static constexpr std::size_t kStride = 64;

  // Re-reads the line separators from the start of the chunk on.
  void IndexFrom(std::size_t chunk);
  std::size_t ChunkOf(std::size_t position) const;
  // Shown units of [from, to), both positions.
  std::size_t ShownUnits(std::size_t from, std::size_t to) const noexcept;
  void EnsureShownIndex() const;

  std::string text_;
  std::size_t lineCount_ = 1;
  std::vector<std::size_t> starts_;  // start of line k * kStride
  // Shown offset of each kept line start, made when first asked for.
  mutable std::vector<std::size_t> shownStarts_;
  TFindSummary summary_;
};

// The first CR or LF in [p, end), or end.
const char* FindLineBreak(const char* p, const char* end) noexcept;

// A text as shown: every line break form becomes one '\n'.
QString ShownText(QString text);

}  // namespace kestrava
