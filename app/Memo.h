#pragma once

// The read-only text area of the window. It keeps its text exactly as given
// (lines end with carriage return and line feed), once, as UTF-8, and shows
// every line break form (CR LF, a lone CR, a lone LF) as one line break.
// Only the lines on screen are laid out, so showing, scrolling and
// resizing cost what is on screen, not what the text holds.
//
// It behaves as a read-only plain-text widget: word wrap at its width, a
// caret and a selection moved with the mouse and the keyboard, Ctrl+A and
// Ctrl+C, a context menu with Copy and Select All, the wheel and a vertical
// scroll bar (in lines of the text), and an accessibility interface that
// gives the text, the caret and the selection.
//
// The widget scrolls, paints and dispatches events; the caret, the
// selection and where each key or click moves them are TMemoControl's.
// Positions (caret, selection) are byte offsets into the UTF-8 text, at the
// start of a character and never inside a CR LF pair (see TMemoText).

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QPoint>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/MemoControl.h"
#include "app/MemoLayout.h"
#include "app/MemoText.h"
#include "app/TextSearch.h"

class QAction;
class QMenu;
class QTextCharFormat;

namespace kestrava {

class TMemo final : public QAbstractScrollArea {
  Q_OBJECT
  friend class TPrimarySelection;

 public:
  explicit TMemo(QWidget* parent = nullptr);
  ~TMemo() override;

  // The whole text, as it was set or appended.
  QString Text() const;
  const std::string& Utf8Text() const noexcept { return text_.Bytes(); }
  // Replaces the whole text. When it equals the current text nothing
  // happens at all: the caret and the scroll position stay. Bytes that are
  // not UTF-8 are kept as QString::fromUtf8 reads them (U+FFFD).
  void SetText(const QString& text);
  void SetUtf8Text(std::string text);
  // The same with a text already read into lines (valid UTF-8, as
  // TMemoText holds it), so that it is not read again.
  void SetContent(TMemoText content);
  // Appends a line at the very end and leaves the existing text in place:
  // after an empty text or one ending with a line break (CR LF, or a lone CR
  // or LF) the line and CR LF are added; otherwise CR LF and the line. The
  // caret goes to the end, which is scrolled into view.
  void LinesAdd(const QString& line);

  std::size_t CaretPosition() const noexcept { return control_.Caret(); }
  std::size_t AnchorPosition() const noexcept { return control_.Anchor(); }
  bool HasSelection() const noexcept { return control_.HasSelection(); }
  std::size_t SelectionStart() const noexcept { return control_.SelectionStart(); }
  std::size_t SelectionEnd() const noexcept { return control_.SelectionEnd(); }
  // Selects from the anchor to the caret (both moved to the nearest
  // position at or before them) and scrolls the caret into view.
  void SetSelection(std::size_t anchor, std::size_t caret);
  void SetCaretPosition(std::size_t position) { SetSelection(position, position); }
  void SelectAll();
  // The selection as a plain-text widget copies it: every line break, line
  // separator and paragraph separator as '\n', a no-break space as ' '.
  QString SelectedText() const;
  // Puts the selection on the clipboard; nothing without a selection.
  void Copy() const;
  // The text of [from, to) as SelectedText gives a selection.
  QString CopiedText(std::size_t from, std::size_t to) const { return text_.CopiedText(from, to); }

  const TMemoText& Content() const noexcept { return text_; }
  std::size_t LineCount() const noexcept { return text_.LineCount(); }
  // The line at the top of the view (maybe only its lower part shows).
  std::size_t FirstVisibleLine() const noexcept { return top_.line; }
  // The text of [from, to) as shown: every line break as '\n'.
  QString ShownString(std::size_t from, std::size_t to) const {
    return text_.ShownString(from, to);
  }
  // Where the character at a position is drawn, in viewport coordinates;
  // empty when it is not in view.
  QRect CharacterRect(std::size_t position);
  // The position nearest to a point of the viewport.
  std::size_t PositionAt(QPoint point, bool onCharacter = false);
  // Scrolls as little as needed to show the position.
  void EnsureVisible(std::size_t position);
  // The line as drawn (of the lines a long line wraps into) that holds a
  // position: where it starts and ends.
  TRangeOfText DrawnLineAt(std::size_t position);
  // The line that holds a position, or the piece of it that is laid out
  // on its own when the line is long.
  TRangeOfText PieceAt(std::size_t position);

  // The matches of a search, highlighted wherever they are drawn; none
  // highlights nothing.
  void SetHighlight(std::shared_ptr<const TTextSearch> search);

  // Adds an entry of the owner's at the end of the context menu, under
  // "Select All". The action is not owned; it must outlive the text area.
  void AddMenuAction(QAction* action);

  // A thin bar painted along the bottom edge while something is read:
  // `done` of `total` filled. Never part of the text; none at rest.
  void SetProgress(int done, int total);
  void ClearProgress() { SetProgress(0, 0); }
  bool ShowsProgress() const noexcept { return progressTotal_ > 0; }
  // Where the bar is drawn, in viewport coordinates.
  QRect ProgressRect() const;

 signals:
  // The text was replaced or added to.
  void TextChanged();
  // The text was replaced (TextChanged follows).
  void TextReplaced();

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  using TMove = TMemoControl::TMove;
  using TUnit = TMemoControl::TUnit;

  std::shared_ptr<const TLaidOutLine> Laid(TVisualLine v) { return layouts_.Of(v); }
  bool Next(TVisualLine& v) { return layouts_.Next(v); }
  bool Previous(TVisualLine& v) { return layouts_.Previous(v); }
  TVisualLine VisualOf(std::size_t position) { return layouts_.VisualOf(position); }
  qreal HeightOf(TVisualLine v) { return layouts_.HeightOf(v); }
  qreal TopY() const noexcept;

  void Relayout();
  void UpdateScrollBar();
  void ScrollTo(TVisualLine top);
  void ScrollByLines(int lines);
  TVisualLine TopShowingAtBottom(TVisualLine v);
  int LinesPerPage();

  void Replace(TMemoText content);
  void Select(std::size_t anchor, std::size_t caret, bool scrollToCaret);
  void MoveCaret(std::size_t position, bool keepAnchor) {
    Select(keepAnchor ? AnchorPosition() : position, position, true);
  }
  std::size_t PageMoved(bool down);
  // The top of a visual line in the viewport.
  qreal RowOf(TVisualLine v);
  void SelectTo(std::size_t position);
  void NotifySelection(std::size_t oldAnchor, std::size_t oldCaret);
  void RestartBlink();
  void OfferPrimarySelection();
  void AddMatches(const TLaidOutLine& laid, const QTextCharFormat& format,
                  QList<QTextLayout::FormatRange>& ranges) const;

  TMemoText text_;
  TMemoLayouts layouts_{text_};
  TMemoControl control_{text_, layouts_};
  std::uint64_t generation_ = 0;  // of the text, for the primary selection
  TVisualLine top_;
  TVisualLine maxTop_;
  int pageLines_ = 1;
  bool settingScrollBar_ = false;
  double wheelSteps_ = 0;

  bool caretShown_ = true;
  QBasicTimer blink_;

  bool selecting_ = false;  // a mouse button went down in the text
  QPoint lastMouse_;
  QBasicTimer autoScroll_;
  QBasicTimer tripleClick_;
  QPoint tripleClickPoint_;

  std::shared_ptr<const TTextSearch> highlight_;
  int progressDone_ = 0;
  int progressTotal_ = 0;

  std::unique_ptr<QMenu> menu_;
  QAction* copyAction_ = nullptr;
  QAction* selectAllAction_ = nullptr;
  std::vector<QAction*> ownerActions_;
};

}  // namespace kestrava
