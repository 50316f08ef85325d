#include "app/MemoAccessible.h"

#include <QTextBoundaryFinder>
#include <algorithm>
#include <climits>
#include <memory>

#include "app/Memo.h"

namespace kestrava {

namespace {

QAccessibleInterface* MemoInterface(const QString& className, QObject* object) {
  if (className != QLatin1String(TMemo::staticMetaObject.className())) return nullptr;
  auto* memo = qobject_cast<TMemo*>(object);
  if (memo == nullptr) return nullptr;
  // Qt's accessibility registry owns the interface from here on.
  return std::make_unique<TMemoAccessible>(memo).release();
}

QTextBoundaryFinder::BoundaryType FinderType(QAccessible::TextBoundaryType type) {
  switch (type) {
    case QAccessible::WordBoundary:
      return QTextBoundaryFinder::Word;
    case QAccessible::SentenceBoundary:
      return QTextBoundaryFinder::Sentence;
    default:
      return QTextBoundaryFinder::Grapheme;
  }
}

}  // namespace

void InstallMemoAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(MemoInterface);
    return true;
  }();
  (void)installed;
}

TMemoAccessible::TMemoAccessible(TMemo* memo)
    : QAccessibleWidget(memo, QAccessible::EditableText) {}

TMemo& TMemoAccessible::Memo() const {
  return *static_cast<TMemo*>(widget());
}

std::size_t TMemoAccessible::PositionOf(int offset) const {
  return Memo().Content().PositionOfShown(static_cast<std::size_t>(std::max(0, offset)));
}

int TMemoAccessible::OffsetOf(std::size_t position) const {
  return static_cast<int>(std::min<std::size_t>(Memo().Content().ShownOffset(position), INT_MAX));
}

QAccessible::State TMemoAccessible::state() const {
  QAccessible::State state = QAccessibleWidget::state();
  state.readOnly = true;
  state.editable = false;
  state.multiLine = true;
  state.selectableText = true;
  return state;
}

QString TMemoAccessible::text(QAccessible::Text t) const {
  if (t == QAccessible::Value) return Memo().ShownString(0, Memo().Content().Size());
  return QAccessibleWidget::text(t);
}

void* TMemoAccessible::interface_cast(QAccessible::InterfaceType type) {
  if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
  return QAccessibleWidget::interface_cast(type);
}

void TMemoAccessible::selection(int selectionIndex, int* startOffset, int* endOffset) const {
  *startOffset = *endOffset = 0;
  if (selectionIndex != 0 || !Memo().HasSelection()) return;
  *startOffset = OffsetOf(Memo().SelectionStart());
  *endOffset = OffsetOf(Memo().SelectionEnd());
}

int TMemoAccessible::selectionCount() const {
  return Memo().HasSelection() ? 1 : 0;
}

void TMemoAccessible::addSelection(int startOffset, int endOffset) {
  setSelection(0, startOffset, endOffset);
}

void TMemoAccessible::removeSelection(int selectionIndex) {
  if (selectionIndex == 0) Memo().SetCaretPosition(Memo().CaretPosition());
}

void TMemoAccessible::setSelection(int selectionIndex, int startOffset, int endOffset) {
  if (selectionIndex == 0) Memo().SetSelection(PositionOf(startOffset), PositionOf(endOffset));
}

int TMemoAccessible::cursorPosition() const {
  return OffsetOf(Memo().CaretPosition());
}

void TMemoAccessible::setCursorPosition(int position) {
  Memo().SetCaretPosition(PositionOf(position));
}

QString TMemoAccessible::text(int startOffset, int endOffset) const {
  if (endOffset <= startOffset) return {};
  return Memo().ShownString(PositionOf(startOffset), PositionOf(endOffset));
}

int TMemoAccessible::characterCount() const {
  return OffsetOf(Memo().Content().Size());
}

QString TMemoAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                      int* startOffset, int* endOffset) const {
  TMemo& memo = Memo();
  const TMemoText& content = memo.Content();
  const int count = characterCount();
  offset = std::clamp(offset, 0, count);
  if (boundaryType == QAccessible::NoBoundary) {
    *startOffset = 0;
    *endOffset = count;
    return text(0, count);
  }
  const std::size_t position = PositionOf(offset);
  const std::size_t line = content.LineOf(position);
  const std::size_t lineStart = content.LineStart(line);
  const std::size_t lineEnd = content.LineEnd(line);
  TRangeOfText range{lineStart, lineEnd};
  if (boundaryType == QAccessible::LineBoundary) {
    range = memo.DrawnLineAt(position);
  } else if (boundaryType != QAccessible::ParagraphBoundary) {
    if (position == lineEnd) {
      // At a line break, the break itself; nothing at the end of the text.
      range = {position, content.NextPosition(position)};
    } else {
      // Boundaries within the line, or within the piece of a long line
      // that is laid out on its own: a line break ends every unit.
      const TRangeOfText piece = memo.PieceAt(position);
      const QString lineText = memo.ShownString(piece.from, piece.to);
      const int pieceOffset = OffsetOf(piece.from);
      const int at = offset - pieceOffset;
      QTextBoundaryFinder finder(FinderType(boundaryType), lineText);
      finder.setPosition(at);
      const qsizetype from = finder.isAtBoundary() ? at : finder.toPreviousBoundary();
      finder.setPosition(at);
      qsizetype to = finder.toNextBoundary();
      if (to < 0) to = lineText.size();
      *startOffset = pieceOffset + static_cast<int>(std::max<qsizetype>(0, from));
      *endOffset = pieceOffset + static_cast<int>(to);
      return lineText.mid(std::max<qsizetype>(0, from), to - std::max<qsizetype>(0, from));
    }
  }
  *startOffset = OffsetOf(range.from);
  *endOffset = OffsetOf(range.to);
  return memo.ShownString(range.from, range.to);
}

QString TMemoAccessible::textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                          int* startOffset, int* endOffset) const {
  int start = 0, end = 0;
  textAtOffset(offset, boundaryType, &start, &end);
  if (start <= 0 || boundaryType == QAccessible::NoBoundary) {
    *startOffset = *endOffset = 0;
    return {};
  }
  // The unit that holds the character before this one (a line break
  // belongs to the line it ends).
  return textAtOffset(start - 1, boundaryType, startOffset, endOffset);
}

QString TMemoAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                         int* startOffset, int* endOffset) const {
  int start = 0, end = 0;
  textAtOffset(offset, boundaryType, &start, &end);
  const int count = characterCount();
  int after = end;
  const bool byLine =
      boundaryType == QAccessible::LineBoundary || boundaryType == QAccessible::ParagraphBoundary;
  const TMemoText& content = Memo().Content();
  const std::size_t endPosition = PositionOf(end);
  // Past the break that ends a line.
  if (byLine && endPosition < content.Size() &&
      content.LineEnd(content.LineOf(endPosition)) == endPosition)
    ++after;
  if (after >= count || boundaryType == QAccessible::NoBoundary) {
    *startOffset = *endOffset = count;
    return {};
  }
  return textAtOffset(after, boundaryType, startOffset, endOffset);
}

QRect TMemoAccessible::characterRect(int offset) const {
  const QRect rect = Memo().CharacterRect(PositionOf(offset));
  if (rect.isEmpty()) return {};
  return rect.translated(Memo().viewport()->mapToGlobal(QPoint(0, 0)));
}

int TMemoAccessible::offsetAtPoint(const QPoint& point) const {
  const QPoint local = Memo().viewport()->mapFromGlobal(point);
  if (!Memo().viewport()->rect().contains(local)) return -1;
  return OffsetOf(Memo().PositionAt(local));
}

void TMemoAccessible::scrollToSubstring(int startIndex, int endIndex) {
  Memo().EnsureVisible(PositionOf(endIndex));
  Memo().EnsureVisible(PositionOf(startIndex));
}

QString TMemoAccessible::attributes(int offset, int* startOffset, int* endOffset) const {
  // One font and one colour for the whole text: no attributes of its own.
  (void)offset;
  *startOffset = 0;
  *endOffset = characterCount();
  return {};
}

}  // namespace kestrava
