#pragma once

// What a screen reader sees of the text area: an editable-text role that is
// read-only and multi-line, the text as shown (every line break as '\n',
// offsets in UTF-16 code units, as for a plain-text widget), the caret and
// the selection. Everything is found from the offset asked for, so reading
// costs what is read, not the length of the text.

#include <QAccessibleWidget>

namespace kestrava {

class TMemo;

class TMemoAccessible final : public QAccessibleWidget, public QAccessibleTextInterface {
 public:
  explicit TMemoAccessible(TMemo* memo);

  QAccessible::State state() const override;
  QString text(QAccessible::Text t) const override;
  void* interface_cast(QAccessible::InterfaceType type) override;

  void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
  int selectionCount() const override;
  void addSelection(int startOffset, int endOffset) override;
  void removeSelection(int selectionIndex) override;
  void setSelection(int selectionIndex, int startOffset, int endOffset) override;
  int cursorPosition() const override;
  void setCursorPosition(int position) override;
  QString text(int startOffset, int endOffset) const override;
  QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                           int* endOffset) const override;
  QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                          int* endOffset) const override;
  QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                       int* endOffset) const override;
  int characterCount() const override;
  QRect characterRect(int offset) const override;
  int offsetAtPoint(const QPoint& point) const override;
  void scrollToSubstring(int startIndex, int endIndex) override;
  QString attributes(int offset, int* startOffset, int* endOffset) const override;

 private:
  TMemo& Memo() const;
  std::size_t PositionOf(int offset) const;
  int OffsetOf(std::size_t position) const;
};

// Makes Qt use TMemoAccessible for every TMemo (once per process).
void InstallMemoAccessibility();

}  // namespace kestrava
