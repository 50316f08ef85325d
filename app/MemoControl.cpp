#include "app/MemoControl.h"

#include <QTextBoundaryFinder>

namespace kestrava {

void TMemoControl::Reset() noexcept {
  caret_ = anchor_ = 0;
  caretX_ = -1;
  selectBy_ = TUnit::Character;
  firstUnit_ = {0, 0};
}

qreal TMemoControl::CaretX() {
  const TVisualLine v = layouts_.VisualOf(caret_);
  const auto laid = layouts_.Of(v);
  return laid->SubLine(v.sub).cursorToX(laid->Utf16Of(caret_ - laid->Start()));
}

std::size_t TMemoControl::VerticalTarget(TVisualLine target) {
  if (caretX_ < 0) caretX_ = CaretX();
  const auto laid = layouts_.Of(target);
  return laid->Start() + laid->OffsetOf(laid->SubLine(target.sub).xToCursor(caretX_));
}

std::size_t TMemoControl::Moved(TMove move) {
  TVisualLine v = layouts_.VisualOf(caret_);
  const auto laid = layouts_.Of(v);
  const QTextLayout& layout = laid->Layout();
  const int at = laid->Utf16Of(caret_ - laid->Start());
  const auto inLine = [&](int utf16) { return laid->Start() + laid->OffsetOf(utf16); };
  // Backwards from the start of a piece: from the end of the one before.
  const auto backwards = [&](QTextLayout::CursorMode mode) {
    if (caret_ != laid->Start()) return inLine(layout.previousCursorPosition(at, mode));
    if (v.piece == 0) return text_.PreviousPosition(caret_);
    const auto before = layouts_.Piece(v.line, v.piece - 1);
    return before->Start() +
           before->OffsetOf(before->Layout().previousCursorPosition(before->Utf16Length(), mode));
  };
  switch (move) {
    case TMove::NextChar:
      return caret_ >= laid->End() ? text_.NextPosition(caret_)
                                   : inLine(layout.nextCursorPosition(at));
    case TMove::PreviousChar:
      return backwards(QTextLayout::SkipCharacters);
    case TMove::NextWord:
      return caret_ >= laid->End() ? text_.NextPosition(caret_)
                                   : inLine(layout.nextCursorPosition(at, QTextLayout::SkipWords));
    case TMove::PreviousWord:
      return backwards(QTextLayout::SkipWords);
    case TMove::NextLine:
      return layouts_.Next(v) ? VerticalTarget(v) : caret_;
    case TMove::PreviousLine:
      return layouts_.Previous(v) ? VerticalTarget(v) : caret_;
    case TMove::StartOfLine:
      return inLine(laid->SubLine(v.sub).textStart());
    case TMove::EndOfLine: {
      const QTextLine sub = laid->SubLine(v.sub);
      int end = sub.textStart() + sub.textLength();
      // A wrapped line ends before the space it wrapped at (a piece's last
      // line too: the line goes on in the next piece).
      const bool wrapped = v.sub + 1 < laid->SubLineCount() || !laid->EndsLine();
      if (wrapped && end > sub.textStart() && layout.text().at(end - 1).isSpace()) --end;
      return inLine(end);
    }
    case TMove::StartOfBlock:
      return text_.LineStart(v.line);
    case TMove::EndOfBlock:
      return text_.LineEnd(v.line);
    case TMove::StartOfDocument:
      return 0;
    case TMove::EndOfDocument:
      return text_.Size();
  }
  return caret_;
}

TRangeOfText TMemoControl::UnitAt(std::size_t position, TUnit unit) {
  const std::size_t line = text_.LineOf(position);
  if (unit == TUnit::Line) {
    return {text_.LineStart(line),
            line + 1 < text_.LineCount() ? text_.LineStart(line + 1) : text_.Size()};
  }
  if (unit == TUnit::Character) return {position, position};
  const auto laid = layouts_.Of(layouts_.VisualOf(position));
  const QString& text = laid->Layout().text();
  int at = laid->Utf16Of(position - laid->Start());
  if (text.isEmpty()) return {position, position};
  if (at >= text.size()) at = static_cast<int>(text.size()) - 1;
  QTextBoundaryFinder finder(QTextBoundaryFinder::Word, text);
  finder.setPosition(at);
  qsizetype end = finder.toNextBoundary();
  if (end < 0) end = text.size();
  finder.setPosition(at);
  const qsizetype begin =
      finder.isAtBoundary() ? at : std::max<qsizetype>(0, finder.toPreviousBoundary());
  return {laid->Start() + laid->OffsetOf(static_cast<int>(begin)),
          laid->Start() + laid->OffsetOf(static_cast<int>(end))};
}

TRangeOfText TMemoControl::BeginSelection(std::size_t position, TUnit unit) {
  selectBy_ = unit;
  firstUnit_ = UnitAt(position, unit);
  return firstUnit_;
}

TSelectionOfText TMemoControl::ExtendedSelection(std::size_t position) {
  if (selectBy_ == TUnit::Character) return {anchor_, position};
  const TRangeOfText unit = UnitAt(position, selectBy_);
  if (unit.from < firstUnit_.from) return {firstUnit_.to, unit.from};
  return {firstUnit_.from, std::max(unit.to, firstUnit_.to)};
}

}  // namespace kestrava
