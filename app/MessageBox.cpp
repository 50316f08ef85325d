#include "app/MessageBox.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

#include "app/Memo.h"

namespace kestrava {

QString ApplicationTitleFromPath(const QString& executablePath) {
  QString name = QFileInfo(executablePath).fileName();
  const qsizetype dot = name.indexOf(QLatin1Char('.'));
  if (dot >= 0) name.truncate(dot);
  if (name.isEmpty()) return name;
  const qsizetype firstLength = name.front().isHighSurrogate() && name.size() > 1 ? 2 : 1;
  return name.left(firstLength) + name.mid(firstLength).toLower();
}

QString ApplicationTitle() {
  return ApplicationTitleFromPath(QCoreApplication::applicationFilePath());
}

void TQtMessageBoxPresenter::Show(const TMessageBoxRequest& request) {
  QMessageBox box(request.window);
  box.setWindowModality(Qt::ApplicationModal);
  box.setWindowTitle(request.title);
  box.setTextFormat(Qt::PlainText);
  box.setText(TMemo::ShownText(request.text));
  box.setIcon(request.icon == TMessageBoxIcon::Error ? QMessageBox::Critical : QMessageBox::NoIcon);
  QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  box.setDefaultButton(ok);
  box.setEscapeButton(ok);

  QScreen* screen = request.window != nullptr ? request.window->screen() : nullptr;
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    box.show();  // its final size is known once it shows
    QRect frame = box.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    box.move(frame.topLeft());
  }
  box.exec();
}

}  // namespace kestrava
