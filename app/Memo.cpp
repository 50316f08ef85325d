#include "app/Memo.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextCharFormat>
#include <QtMath>
#include <algorithm>
#include <climits>
#include <utility>

#include "app/MemoAccessible.h"
#include "base/Utf8.h"

namespace kestrava {

namespace {

constexpr char kCrLf[] = "\r\n";
// Milliseconds between the steps of scrolling while a selection is dragged
// beyond the top or the bottom of the view.
constexpr int kAutoScrollInterval = 50;
// Height of the progress bar, in pixels.
constexpr int kProgressHeight = 3;
// Behind the matches of a search.
constexpr QRgb kFoundBackground = 0xFFFFD600;

bool EndsWithLineBreak(const std::string& text) {
  return !text.empty() && (text.back() == '\n' || text.back() == '\r');
}

int ClampToInt(std::size_t value) {
  return static_cast<int>(std::min<std::size_t>(value, INT_MAX));
}

// A context menu entry as a plain-text widget names it, with the shortcut
// where the platform shows shortcuts in context menus.
QString MenuText(const char* text, QKeySequence::StandardKey key) {
  QString caption = QCoreApplication::translate("QWidgetTextControl", text);
  if (QGuiApplication::styleHints()->showShortcutsInContextMenus())
    caption += QLatin1Char('\t') + QKeySequence(key).toString(QKeySequence::NativeText);
  return caption;
}

}  // namespace

// The X11 primary selection: the selected text, made only when another
// program asks for it, and nothing once the text has changed.
class TPrimarySelection final : public QMimeData {
 public:
  TPrimarySelection(TMemo& memo, std::size_t from, std::size_t to)
      : memo_(&memo), generation_(memo.generation_), from_(from), to_(to) {}

  QStringList formats() const override { return {QStringLiteral("text/plain")}; }

 protected:
  QVariant retrieveData(const QString& mimeType, QMetaType) const override {
    if (mimeType != QLatin1String("text/plain") || memo_ == nullptr ||
        memo_->generation_ != generation_)
      return {};
    return memo_->CopiedText(from_, to_);
  }

 private:
  QPointer<TMemo> memo_;
  std::uint64_t generation_;
  std::size_t from_, to_;
};

TMemo::TMemo(QWidget* parent) : QAbstractScrollArea(parent) {
  InstallMemoAccessibility();
  setFocusPolicy(Qt::StrongFocus);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  viewport()->setCursor(Qt::IBeamCursor);
  Relayout();
}

TMemo::~TMemo() = default;

// ------------------------------------------------------------------ text

QString TMemo::Text() const {
  return QString::fromUtf8(text_.Bytes().data(), static_cast<qsizetype>(text_.Size()));
}

void TMemo::SetText(const QString& text) {
  SetUtf8Text(text.toStdString());
}

void TMemo::SetUtf8Text(std::string text) {
  if (!IsValidUtf8(text))
    text = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toStdString();
  if (text == text_.Bytes()) return;
  TMemoText content;
  content.Assign(std::move(text));
  Replace(std::move(content));
}

void TMemo::SetContent(TMemoText content) {
  if (content.Bytes() == text_.Bytes()) return;
  Replace(std::move(content));
}

void TMemo::Replace(TMemoText content) {
  const bool accessible = QAccessible::isActive();
  const QString oldShown = accessible ? ShownString(0, text_.Size()) : QString();

  text_ = std::move(content);
  ++generation_;
  layouts_.Clear();
  control_.Reset();
  selecting_ = false;
  autoScroll_.stop();
  top_ = {};
  Relayout();
  RestartBlink();
  viewport()->update();

  if (accessible) {
    QAccessibleTextUpdateEvent event(this, 0, oldShown, ShownString(0, text_.Size()));
    QAccessible::updateAccessibility(&event);
  }
  emit TextReplaced();
  emit TextChanged();
}

void TMemo::LinesAdd(const QString& line) {
  std::string added = line.toStdString();
  if (text_.Empty() || EndsWithLineBreak(text_.Bytes())) {
    added += kCrLf;
  } else {
    added.insert(0, kCrLf);
  }
  const bool accessible = QAccessible::isActive();
  const std::size_t oldShownSize = accessible ? text_.ShownSize() : 0;
  // The last two lines may change: a CR at the end joins an LF in front.
  const std::size_t changed = text_.LineCount() >= 2 ? text_.LineCount() - 2 : 0;

  text_.Append(added);
  ++generation_;
  layouts_.ClearFrom(changed);
  Relayout();
  MoveCaret(text_.Size(), false);

  if (accessible) {
    QAccessibleTextInsertEvent event(
        this, ClampToInt(oldShownSize),
        ShownString(text_.PositionOfShown(oldShownSize), text_.Size()));
    QAccessible::updateAccessibility(&event);
  }
  emit TextChanged();
}

// ------------------------------------------------------------ selection

void TMemo::SetSelection(std::size_t anchor, std::size_t caret) {
  control_.ForgetColumn();
  Select(text_.Snap(anchor), text_.Snap(caret), true);
}

void TMemo::SelectAll() {
  control_.ForgetColumn();
  // As a plain-text widget does, this leaves the view where it is.
  Select(0, text_.Size(), false);
  OfferPrimarySelection();
}

QString TMemo::SelectedText() const {
  return CopiedText(SelectionStart(), SelectionEnd());
}

void TMemo::Copy() const {
  if (HasSelection()) QGuiApplication::clipboard()->setText(SelectedText());
}

void TMemo::Select(std::size_t anchor, std::size_t caret, bool scrollToCaret) {
  const std::size_t oldAnchor = AnchorPosition();
  const std::size_t oldCaret = CaretPosition();
  control_.Select(anchor, caret);
  if (scrollToCaret) EnsureVisible(caret);
  if (anchor == oldAnchor && caret == oldCaret) return;
  RestartBlink();
  viewport()->update();
  NotifySelection(oldAnchor, oldCaret);
}

void TMemo::NotifySelection(std::size_t oldAnchor, std::size_t oldCaret) {
  if (!QAccessible::isActive()) return;
  const std::size_t oldFrom = std::min(oldAnchor, oldCaret);
  const std::size_t oldTo = std::max(oldAnchor, oldCaret);
  const int caret = ClampToInt(text_.ShownOffset(CaretPosition()));
  if (oldFrom != SelectionStart() || oldTo != SelectionEnd()) {
    QAccessibleTextSelectionEvent event(this, ClampToInt(text_.ShownOffset(SelectionStart())),
                                        ClampToInt(text_.ShownOffset(SelectionEnd())));
    event.setCursorPosition(caret);
    QAccessible::updateAccessibility(&event);
  } else if (CaretPosition() != oldCaret) {
    QAccessibleTextCursorEvent event(this, caret);
    QAccessible::updateAccessibility(&event);
  }
}

void TMemo::OfferPrimarySelection() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (!HasSelection() || !clipboard->supportsSelection()) return;
  // The clipboard owns the data from here on.
  clipboard->setMimeData(
      std::make_unique<TPrimarySelection>(*this, SelectionStart(), SelectionEnd()).release(),
      QClipboard::Selection);
}

// The top margin shows only above the first line.
qreal TMemo::TopY() const noexcept {
  return top_ == TVisualLine{} ? kMemoMargin : 0;
}

// -------------------------------------------------------------- scrolling

void TMemo::Relayout() {
  layouts_.Configure(font(), viewport()->width());
  // How far down the view goes, as a plain-text widget scrolls: the last
  // lines fill it with the margin below them. The scroll bar counts lines
  // of the text; a page is the lines on the last screen.
  const qreal visible = viewport()->height() - kMemoMargin - 1;
  const std::size_t last = text_.LineCount() - 1;
  const TVisualLine end = layouts_.LastPieceOf(last);
  maxTop_ = {};
  pageLines_ = 0;
  qreal y = 0;
  std::size_t counted = last + 1;  // the line last counted in pageLines_
  for (TVisualLine piece = end;;) {
    const auto laid = layouts_.Of(piece);
    y += laid->Height() + (piece == end ? kMemoMargin : 0);
    if (piece.line != counted) {
      ++pageLines_;
      counted = piece.line;
    }
    if (y > visible) {
      int sub = 0;
      while (sub < laid->SubLineCount() && y > visible) y -= laid->SubLine(sub++).height();
      if (sub < laid->SubLineCount()) {
        maxTop_ = {piece.line, piece.piece, sub};
      } else if (piece != end) {
        maxTop_ = piece;
        layouts_.NextPiece(maxTop_);
        if (maxTop_.line != piece.line) --pageLines_;
      } else {
        maxTop_ = {piece.line, piece.piece, sub - 1};
      }
      break;
    }
    if (!layouts_.PreviousPiece(piece)) break;
    piece.sub = 0;
  }
  pageLines_ = std::max(pageLines_, 1);
  top_.line = std::min(top_.line, last);
  top_.piece = std::min(top_.piece, layouts_.PieceCount(top_.line) - 1);
  top_.sub = std::clamp(top_.sub, 0, layouts_.Of(top_)->SubLineCount() - 1);
  top_ = std::min(top_, maxTop_);
  UpdateScrollBar();
}

// The scroll bar's value is the line at the top; one step more than the
// last line's start when the view ends inside a wrapped line.
void TMemo::UpdateScrollBar() {
  QScrollBar* bar = verticalScrollBar();
  const bool partial = maxTop_.piece > 0 || maxTop_.sub > 0;
  settingScrollBar_ = true;
  bar->setRange(0, ClampToInt(maxTop_.line + (partial ? 1 : 0)));
  bar->setPageStep(pageLines_);
  bar->setSingleStep(1);
  bar->setValue(ClampToInt(partial && top_ == maxTop_ ? top_.line + 1 : top_.line));
  settingScrollBar_ = false;
}

void TMemo::scrollContentsBy(int, int) {
  if (settingScrollBar_) return;
  const auto value = static_cast<std::size_t>(verticalScrollBar()->value());
  top_ = value > maxTop_.line ? maxTop_ : std::min(TVisualLine{value, 0, 0}, maxTop_);
  viewport()->update();
}

void TMemo::ScrollTo(TVisualLine top) {
  top = std::min(top, maxTop_);
  if (top == top_) return;
  top_ = top;
  UpdateScrollBar();
  viewport()->update();
}

void TMemo::ScrollByLines(int lines) {
  TVisualLine top = top_;
  for (; lines > 0 && top < maxTop_ && Next(top); --lines) {
  }
  for (; lines < 0 && Previous(top); ++lines) {
  }
  ScrollTo(top);
}

// The top that puts a visual line at the bottom of the view.
TVisualLine TMemo::TopShowingAtBottom(TVisualLine v) {
  const qreal height = viewport()->height();
  qreal y = HeightOf(v);
  TVisualLine top = v;
  for (TVisualLine above = v; Previous(above);) {
    y += HeightOf(above);
    if (y > height) break;
    top = above;
  }
  return top;
}

int TMemo::LinesPerPage() {
  return std::max(1, static_cast<int>(viewport()->height() / std::max<qreal>(1, HeightOf(top_))));
}

void TMemo::EnsureVisible(std::size_t position) {
  const TVisualLine v = VisualOf(text_.Snap(position));
  if (v < top_) {
    ScrollTo(v);
    return;
  }
  const qreal height = viewport()->height();
  qreal y = TopY();
  TVisualLine at = top_;
  while (at < v && y < height) {
    y += HeightOf(at);
    if (!Next(at)) break;
  }
  if (at == v && y + HeightOf(v) <= height) return;
  ScrollTo(TopShowingAtBottom(v));
}

QRect TMemo::CharacterRect(std::size_t position) {
  position = text_.Snap(position);
  const TVisualLine v = VisualOf(position);
  if (v < top_) return {};
  const qreal height = viewport()->height();
  qreal y = TopY();
  for (TVisualLine at = top_; at < v;) {
    y += HeightOf(at);
    if (y >= height || !Next(at)) return {};
  }
  if (y >= height) return {};
  const auto laid = Laid(v);
  const QTextLine line = laid->SubLine(v.sub);
  const int from = laid->Utf16Of(position - laid->Start());
  const qreal x = line.cursorToX(from);
  const int to =
      position < laid->End() ? laid->Utf16Of(text_.NextPosition(position) - laid->Start()) : from;
  const qreal right = to > from && to <= line.textStart() + line.textLength()
                          ? line.cursorToX(to)
                          : x + QFontMetricsF(font()).horizontalAdvance(QLatin1Char(' '));
  return QRectF(QPointF(std::min(x, right), y), QPointF(std::max(x, right), y + line.height()))
      .toAlignedRect();
}

TRangeOfText TMemo::DrawnLineAt(std::size_t position) {
  const TVisualLine v = VisualOf(text_.Snap(position));
  const auto laid = Laid(v);
  const QTextLine line = laid->SubLine(v.sub);
  return {laid->Start() + laid->OffsetOf(line.textStart()),
          laid->Start() + laid->OffsetOf(line.textStart() + line.textLength())};
}

TRangeOfText TMemo::PieceAt(std::size_t position) {
  const auto laid = Laid(VisualOf(text_.Snap(position)));
  return {laid->Start(), laid->End()};
}

std::size_t TMemo::PositionAt(QPoint point, bool onCharacter) {
  TVisualLine v = top_;
  qreal y = TopY();
  if (point.y() < y) {
    // Above the view: as many lines up as the distance covers.
    for (int up = qCeil((y - point.y()) / std::max<qreal>(1, HeightOf(top_))); up > 0; --up) {
      if (!Previous(v)) break;
    }
  } else {
    // Below it, no further than a view's height (a selection dragged far
    // below scrolls by at most a page a step).
    const qreal limit = 2.0 * viewport()->height();
    for (TVisualLine below = v;;) {
      const qreal h = HeightOf(v);
      if (point.y() < y + h || y > limit || !Next(below)) break;
      y += h;
      v = below;
    }
  }
  const auto laid = Laid(v);
  const int at = laid->SubLine(v.sub).xToCursor(
      point.x(), onCharacter ? QTextLine::CursorOnCharacter : QTextLine::CursorBetweenCharacters);
  return laid->Start() + laid->OffsetOf(at);
}

// ------------------------------------------------------------ keyboard

qreal TMemo::RowOf(TVisualLine v) {
  qreal y = TopY();
  TVisualLine at = top_;
  while (v < at && Previous(at)) y -= HeightOf(at);
  while (at < v) {
    y += HeightOf(at);
    if (!Next(at)) break;
  }
  return y;
}

// As a plain-text widget pages: down, the line cut off at the bottom comes
// to the top; up, the line a view's height above the top does. The caret
// keeps its row on screen; with the text's end or start already in view it
// goes to the last or the first line.
std::size_t TMemo::PageMoved(bool down) {
  EnsureVisible(CaretPosition());
  TVisualLine v = VisualOf(CaretPosition());
  const qreal height = viewport()->height();
  qreal row = RowOf(v);
  if (down) {
    qreal y = TopY();
    TVisualLine cut = top_;
    bool atEnd = false;
    while (y + HeightOf(cut) <= height) {
      y += HeightOf(cut);
      if (!Next(cut)) {
        atEnd = true;
        break;
      }
    }
    if (atEnd) {
      row = height;
    } else {
      ScrollTo(cut);
    }
    do {
      if (!Next(v)) break;
    } while (RowOf(v) < row);
  } else {
    if (top_ == TVisualLine{}) {
      row = 0;
    } else {
      TVisualLine first = top_;
      qreal above = 0;
      for (TVisualLine at = top_; Previous(at);) {
        above += HeightOf(at);
        if (above > height) break;
        first = at;
      }
      ScrollTo(first);
    }
    do {
      if (!Previous(v)) break;
    } while (RowOf(v) > row);
  }
  return control_.VerticalTarget(v);
}

void TMemo::keyPressEvent(QKeyEvent* event) {
  if (event == QKeySequence::SelectAll) {
    SelectAll();
    return;
  }
  if (event == QKeySequence::Copy) {
    Copy();
    return;
  }
  // Pages are the view's own; every other move is the control's.
  enum class TPage { None, Down, Up };
  struct TKey {
    QKeySequence::StandardKey move, select;
    TMove what;
    TPage page = TPage::None;
  };
  static constexpr TKey kKeys[] = {
      {QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar, TMove::NextChar},
      {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar, TMove::PreviousChar},
      {QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord, TMove::NextWord},
      {QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord, TMove::PreviousWord},
      {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine, TMove::NextLine},
      {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine, TMove::PreviousLine},
      {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine, TMove::StartOfLine},
      {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine, TMove::EndOfLine},
      {QKeySequence::MoveToStartOfBlock, QKeySequence::SelectStartOfBlock, TMove::StartOfBlock},
      {QKeySequence::MoveToEndOfBlock, QKeySequence::SelectEndOfBlock, TMove::EndOfBlock},
      {QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument,
       TMove::StartOfDocument},
      {QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument, TMove::EndOfDocument},
      {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage, TMove::NextLine, TPage::Down},
      {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage, TMove::PreviousLine,
       TPage::Up},
  };
  for (const TKey& key : kKeys) {
    const bool select = event == key.select;
    if (!select && event != key.move) continue;
    const TMove move = key.what;
    const bool vertical = move == TMove::NextLine || move == TMove::PreviousLine;
    if (!vertical) control_.ForgetColumn();
    std::size_t target;
    if (key.page != TPage::None) {
      target = PageMoved(key.page == TPage::Down);
    } else if (!select && HasSelection() && move == TMove::NextChar) {
      target = SelectionEnd();  // a selection collapses to its end
    } else if (!select && HasSelection() && move == TMove::PreviousChar) {
      target = SelectionStart();
    } else {
      target = control_.Moved(move);
    }
    MoveCaret(target, select);
    if (select) OfferPrimarySelection();
    return;
  }
  event->ignore();
}

bool TMemo::event(QEvent* event) {
  // Keys the text area uses are not taken by a window's shortcuts.
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key == QKeySequence::Copy || key == QKeySequence::SelectAll) {
      event->accept();
      return true;
    }
  }
  return QAbstractScrollArea::event(event);
}

// ---------------------------------------------------------------- mouse

// Extends the selection to a position, by the unit the first click chose.
void TMemo::SelectTo(std::size_t position) {
  const TSelectionOfText selection = control_.ExtendedSelection(position);
  Select(selection.anchor, selection.caret, true);
}

void TMemo::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    event->ignore();
    return;
  }
  const QPoint point = event->position().toPoint();
  control_.ForgetColumn();
  lastMouse_ = point;
  selecting_ = true;
  if (tripleClick_.isActive() &&
      (point - tripleClickPoint_).manhattanLength() < QApplication::startDragDistance()) {
    tripleClick_.stop();
    const TRangeOfText line = control_.BeginSelection(PositionAt(point), TUnit::Line);
    Select(line.from, line.to, true);
    return;
  }
  const std::size_t position = PositionAt(point);
  control_.BeginSelection(position, TUnit::Character);
  MoveCaret(position, (event->modifiers() & Qt::ShiftModifier) != 0);
}

void TMemo::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    event->ignore();
    return;
  }
  const QPoint point = event->position().toPoint();
  selecting_ = true;
  const TRangeOfText word = control_.BeginSelection(PositionAt(point, true), TUnit::Word);
  Select(word.from, word.to, true);
  tripleClick_.start(QApplication::doubleClickInterval(), this);
  tripleClickPoint_ = point;
}

void TMemo::mouseMoveEvent(QMouseEvent* event) {
  if (!selecting_ || !(event->buttons() & Qt::LeftButton)) {
    event->ignore();
    return;
  }
  lastMouse_ = event->position().toPoint();
  SelectTo(PositionAt(lastMouse_));
  const bool outside = lastMouse_.y() < 0 || lastMouse_.y() >= viewport()->height();
  if (outside && !autoScroll_.isActive()) autoScroll_.start(kAutoScrollInterval, this);
  if (!outside) autoScroll_.stop();
}

void TMemo::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !selecting_) {
    event->ignore();
    return;
  }
  selecting_ = false;
  autoScroll_.stop();
  OfferPrimarySelection();
}

void TMemo::wheelEvent(QWheelEvent* event) {
  const int delta = event->angleDelta().y();
  if (delta == 0) {
    event->ignore();
    return;
  }
  // As a scroll bar turns the wheel into lines: a few a notch, a page with
  // Ctrl or Shift; parts of a notch add up.
  double steps = delta / 120.0;
  steps *= event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier)
               ? LinesPerPage()
               : QApplication::wheelScrollLines();
  if (steps * wheelSteps_ < 0) wheelSteps_ = 0;
  wheelSteps_ += steps;
  const int whole = static_cast<int>(wheelSteps_);
  wheelSteps_ -= whole;
  ScrollByLines(-whole);
  event->accept();
}

void TMemo::AddMenuAction(QAction* action) {
  if (menu_ != nullptr) {
    if (ownerActions_.empty()) menu_->addSeparator();
    menu_->addAction(action);
  }
  ownerActions_.push_back(action);
}

void TMemo::contextMenuEvent(QContextMenuEvent* event) {
  if (!menu_) {
    menu_ = std::make_unique<QMenu>(this);
    copyAction_ = menu_->addAction(MenuText("&Copy", QKeySequence::Copy), this, [this] { Copy(); });
    copyAction_->setObjectName(QStringLiteral("edit-copy"));
    menu_->addSeparator();
    selectAllAction_ = menu_->addAction(MenuText("Select All", QKeySequence::SelectAll), this,
                                        [this] { SelectAll(); });
    selectAllAction_->setObjectName(QStringLiteral("select-all"));
    if (!ownerActions_.empty()) menu_->addSeparator();
    for (QAction* action : ownerActions_) menu_->addAction(action);
  }
  copyAction_->setEnabled(HasSelection());
  selectAllAction_->setEnabled(!text_.Empty());
  QPoint at = event->globalPos();
  if (event->reason() == QContextMenuEvent::Keyboard) {
    const QRect caret = CharacterRect(CaretPosition());
    if (!caret.isEmpty()) at = viewport()->mapToGlobal(caret.bottomLeft());
  }
  menu_->popup(at);
}

// ------------------------------------------------------- caret, paint

void TMemo::RestartBlink() {
  caretShown_ = true;
  const int flash = QApplication::cursorFlashTime();
  if (flash >= 2 && hasFocus()) {
    blink_.start(flash / 2, this);
  } else {
    blink_.stop();
  }
}

void TMemo::focusInEvent(QFocusEvent* event) {
  RestartBlink();
  viewport()->update();
  QAbstractScrollArea::focusInEvent(event);
}

void TMemo::focusOutEvent(QFocusEvent* event) {
  blink_.stop();
  viewport()->update();
  QAbstractScrollArea::focusOutEvent(event);
}

void TMemo::timerEvent(QTimerEvent* event) {
  if (event->timerId() == blink_.timerId()) {
    caretShown_ = !caretShown_;
    const QRect caret = CharacterRect(CaretPosition());
    if (!caret.isEmpty()) viewport()->update(caret.adjusted(-2, 0, 2, 0));
  } else if (event->timerId() == autoScroll_.timerId()) {
    SelectTo(PositionAt(lastMouse_));
  } else if (event->timerId() == tripleClick_.timerId()) {
    tripleClick_.stop();
  } else {
    QAbstractScrollArea::timerEvent(event);
  }
}

void TMemo::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  Relayout();
}

void TMemo::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
    Relayout();
    viewport()->update();
  }
}

// The matches of the highlighted search that show in a laid-out piece,
// those that begin before it and go on into it included.
void TMemo::AddMatches(const TLaidOutLine& laid, const QTextCharFormat& format,
                       QList<QTextLayout::FormatRange>& ranges) const {
  const std::string_view text = text_.Bytes();
  const std::size_t length = highlight_->Length();
  const std::size_t from = laid.Start() >= length ? laid.Start() - length + 1 : 0;
  for (std::size_t at = highlight_->FindForward(text, from, laid.End()); at != TTextSearch::npos;
       at = highlight_->FindForward(text, at + 1, laid.End())) {
    const int begin = at <= laid.Start() ? 0 : laid.Utf16Of(at - laid.Start());
    const int end = laid.Utf16Of(std::min(at + length, laid.End()) - laid.Start());
    if (end > begin) ranges.append({begin, end - begin, format});
  }
}

void TMemo::SetHighlight(std::shared_ptr<const TTextSearch> search) {
  if (search == highlight_) return;
  highlight_ = std::move(search);
  viewport()->update();
}

void TMemo::SetProgress(int done, int total) {
  done = total > 0 ? std::clamp(done, 0, total) : 0;
  total = std::max(total, 0);
  if (done == progressDone_ && total == progressTotal_) return;
  viewport()->update(ProgressRect());
  progressDone_ = done;
  progressTotal_ = total;
}

QRect TMemo::ProgressRect() const {
  const QWidget* view = viewport();
  return {0, view->height() - kProgressHeight, view->width(), kProgressHeight};
}

void TMemo::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  const QRectF clip = event->rect();
  // As a plain-text widget: the inactive highlight when another widget has
  // the focus.
  const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
  QTextCharFormat selected;
  selected.setBackground(palette().brush(group, QPalette::Highlight));
  selected.setForeground(palette().brush(group, QPalette::HighlightedText));
  QTextCharFormat found;
  found.setBackground(QColor::fromRgb(kFoundBackground));
  found.setForeground(QColor(Qt::black));
  painter.setPen(palette().text().color());
  const bool drawCaret = caretShown_ && hasFocus();
  const std::size_t from = SelectionStart();
  const std::size_t to = SelectionEnd();
  const std::size_t caret = CaretPosition();
  const qreal height = viewport()->height();

  qreal y = TopY();
  bool first = true;
  for (TVisualLine piece = top_; y < height;) {
    const auto laid = Laid(piece);
    const qreal top = first ? y - laid->SubLine(top_.sub).y() : y;
    first = false;
    y = top + laid->Height();
    if (y > clip.top() && top < clip.bottom()) {
      QList<QTextLayout::FormatRange> selections;
      if (highlight_ && !highlight_->Empty()) AddMatches(*laid, found, selections);
      if (from < to && from <= laid->End() && to > laid->Start()) {
        const int begin = from <= laid->Start() ? 0 : laid->Utf16Of(from - laid->Start());
        // A selected line break shows as the width of a space after the line.
        const int end = to > laid->End() ? laid->Utf16Length() + (laid->EndsLine() ? 1 : 0)
                                         : laid->Utf16Of(to - laid->Start());
        if (end > begin) selections.append({begin, end - begin, selected});
      }
      laid->Layout().draw(&painter, QPointF(0, top), selections, clip);
      if (drawCaret && laid->Holds(caret))
        laid->Layout().drawCursor(&painter, QPointF(0, top), laid->Utf16Of(caret - laid->Start()),
                                  1);
    }
    if (!layouts_.NextPiece(piece)) break;
  }
  if (progressTotal_ > 0) {
    const QRect bar = ProgressRect();
    painter.fillRect(bar, palette().brush(QPalette::Mid));
    const qint64 filled = qint64{bar.width()} * progressDone_ / progressTotal_;
    painter.fillRect(QRect(bar.left(), bar.top(), static_cast<int>(filled), bar.height()),
                     palette().brush(QPalette::Active, QPalette::Highlight));
  }
}

}  // namespace kestrava
