#include "app/Memo.h"

#include <QScrollBar>
#include <QTextCursor>

namespace kestrava {

namespace {

const QString CrLf = QStringLiteral("\r\n");

bool EndsWithLineBreak(const QString& text) {
  return text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r'));
}

}  // namespace

TMemo::TMemo(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setTabChangesFocus(true);
  setUndoRedoEnabled(false);
}

TMemo::~TMemo() = default;

QString TMemo::ShownText(const QString& text) {
  const qsizetype first = text.indexOf(QLatin1Char('\r'));
  if (first < 0) return text;
  QString shown(text.size(), Qt::Uninitialized);
  const QChar* in = text.constData();
  const QChar* const end = in + text.size();
  QChar* out = shown.data();
  for (; in != end; ++in) {
    if (*in == QLatin1Char('\r')) {
      *out++ = QLatin1Char('\n');
      if (in + 1 != end && in[1] == QLatin1Char('\n')) ++in;
    } else {
      *out++ = *in;
    }
  }
  shown.truncate(out - shown.constData());
  return shown;
}

void TMemo::SetText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  setPlainText(ShownText(text_));
}

void TMemo::LinesAdd(const QString& line) {
  const QString added = text_.isEmpty() || EndsWithLineBreak(text_) ? line + CrLf : CrLf + line;
  // A CR at the end followed by an LF at the start joins into one CR LF, so
  // the shown text of the pieces would differ from that of the whole.
  const bool joinsBreak = text_.endsWith(QLatin1Char('\r')) && added.startsWith(QLatin1Char('\n'));
  text_ += added;
  if (joinsBreak) {
    setPlainText(ShownText(text_));
  } else {
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertText(ShownText(added));
  }
  moveCursor(QTextCursor::End);
  ensureCursorVisible();
}

}  // namespace kestrava
