#pragma once

// The caret and the selection of the text area and where each motion takes
// them, worked out on the text and its laid-out lines. The widget asks it
// where a key or a click leads and does the rest itself: scrolling the
// caret into view, repainting, telling a screen reader.
//
// Positions are byte offsets into the UTF-8 text, at the start of a
// character and never inside a CR LF pair (see TMemoText).

#include <QtGlobal>
#include <algorithm>
#include <cstddef>

#include "app/MemoLayout.h"
#include "app/MemoText.h"

namespace kestrava {

struct TRangeOfText {
  std::size_t from = 0;
  std::size_t to = 0;
};

struct TSelectionOfText {
  std::size_t anchor = 0;
  std::size_t caret = 0;
};

class TMemoControl {
 public:
  enum class TMove {
    NextChar,
    PreviousChar,
    NextWord,
    PreviousWord,
    NextLine,
    PreviousLine,
    StartOfLine,
    EndOfLine,
    StartOfBlock,
    EndOfBlock,
    StartOfDocument,
    EndOfDocument,
  };
  // What a mouse selection grows by: a single click, a double or a triple.
  enum class TUnit { Character, Word, Line };

  TMemoControl(const TMemoText& text, TMemoLayouts& layouts) : text_(text), layouts_(layouts) {}

  std::size_t Caret() const noexcept { return caret_; }
  std::size_t Anchor() const noexcept { return anchor_; }
  bool HasSelection() const noexcept { return caret_ != anchor_; }
  std::size_t SelectionStart() const noexcept { return std::min(caret_, anchor_); }
  std::size_t SelectionEnd() const noexcept { return std::max(caret_, anchor_); }

  // Selects from the anchor to the caret, both positions of the text.
  void Select(std::size_t anchor, std::size_t caret) noexcept {
    anchor_ = anchor;
    caret_ = caret;
  }
  // For a new text: the caret at the start, nothing selected or remembered.
  void Reset() noexcept;

  // Where a motion takes the caret. Moving up and down keeps the caret's
  // column of the first such move until another kind of move.
  std::size_t Moved(TMove move);
  // The position in a line as drawn under the kept column.
  std::size_t VerticalTarget(TVisualLine target);
  void ForgetColumn() noexcept { caretX_ = -1; }

  // The word or line (with its break) that holds a position; a character
  // unit is the position itself.
  TRangeOfText UnitAt(std::size_t position, TUnit unit);
  // A mouse selection by unit begins at a position: gives the unit there.
  TRangeOfText BeginSelection(std::size_t position, TUnit unit);
  // The selection when it is extended to a position by the unit it began
  // with.
  TSelectionOfText ExtendedSelection(std::size_t position);

 private:
  qreal CaretX();

  const TMemoText& text_;
  TMemoLayouts& layouts_;
  std::size_t caret_ = 0;
  std::size_t anchor_ = 0;
  qreal caretX_ = -1;  // kept while moving up and down; -1: none
  TUnit selectBy_ = TUnit::Character;
  TRangeOfText firstUnit_{0, 0};  // the word or line a double or triple click selected
};

}  // namespace kestrava
