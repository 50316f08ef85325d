#include "app/MessageBox.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

#include "app/MemoText.h"

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

namespace {

// Centres itself in the work area of a screen as it shows, before it
// appears, so it never flashes elsewhere first.
class TCentredMessageBox final : public QMessageBox {
 public:
  TCentredMessageBox(QWidget* parent, QScreen* screen) : QMessageBox(parent), screen_(screen) {}

 protected:
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);  // settles the box's size
    if (screen_ == nullptr) return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen_->availableGeometry().center());
    move(frame.topLeft());
  }

 private:
  QScreen* screen_;
};

}  // namespace

void TQtMessageBoxPresenter::Show(const TMessageBoxRequest& request) {
  QScreen* screen = request.window != nullptr ? request.window->screen() : nullptr;
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  TCentredMessageBox box(request.window, screen);
  box.setWindowModality(Qt::ApplicationModal);
  box.setWindowTitle(request.title);
  box.setTextFormat(Qt::PlainText);
  box.setText(ShownText(request.text));
  box.setIcon(request.icon == TMessageBoxIcon::Error ? QMessageBox::Critical : QMessageBox::NoIcon);
  QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  box.setDefaultButton(ok);
  box.setEscapeButton(ok);
  box.exec();
}

}  // namespace kestrava
