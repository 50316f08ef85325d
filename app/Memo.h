#pragma once

// The read-only text area of the window. It keeps its text exactly as given
// (lines end with carriage return and line feed) and shows every line break
// form (CR LF, a lone CR, a lone LF) as one line break.

#include <QPlainTextEdit>
#include <QString>

namespace kestrava {

class TMemo final : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit TMemo(QWidget* parent = nullptr);
  ~TMemo() override;

  // The whole text, as it was set or appended.
  const QString& Text() const noexcept { return text_; }
  // Replaces the whole text. When it equals the current text nothing
  // happens at all: the caret and the scroll position stay.
  void SetText(const QString& text);
  // Appends a line at the very end and leaves the existing text in place:
  // after an empty text or one ending with a line break (CR LF, or a lone CR
  // or LF) the line and CR LF are added; otherwise CR LF and the line.
  void LinesAdd(const QString& line);

  // The text as shown: every line break form becomes one '\n'.
  static QString ShownText(const QString& text);

 private:
  QString text_;
};

}  // namespace kestrava
