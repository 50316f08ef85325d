#include "app/Application.h"

#include <QEvent>
#include <QFile>
#include <QFontDatabase>
#include <exception>

#include "base/Exception.h"
#include "datetime/FormatSettings.h"

namespace kestrava {

TKestravaApplication::TKestravaApplication(int& argc, char** argv) : QApplication(argc, argv) {
  EnsureDesignFont();
}

TKestravaApplication::~TKestravaApplication() = default;

void TKestravaApplication::SetMessageBoxPresenter(TMessageBoxPresenter* presenter) noexcept {
  presenter_ = presenter != nullptr ? presenter : &qtPresenter_;
}

bool TKestravaApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ShowException(CurrentExceptionMessage());
  }
  return false;
}

bool TKestravaApplication::event(QEvent* event) {
  if (event->type() == QEvent::LocaleChange) RefreshFormatSettings();
  return QApplication::event(event);
}

void TKestravaApplication::ShowException(const QString& message) noexcept {
  try {
    QWidget* window = mainWindow_ != nullptr ? mainWindow_ : activeWindow();
    presenter_->Show({window, ApplicationTitle(), message, TMessageBoxIcon::Error});
  } catch (...) {
    // Nothing more can be shown; the loop goes on.
  }
}

QString CurrentExceptionMessage() {
  try {
    throw;
  } catch (const Exception& e) {
    return QString::fromStdString(e.Message());
  } catch (const std::exception& e) {
    return QString::fromUtf8(e.what());
  } catch (...) {
    return QStringLiteral("Unknown failure");
  }
}

bool EnsureDesignFont() {
  const QString family = QStringLiteral("Tahoma");
  if (QFontDatabase::families().contains(family, Qt::CaseInsensitive)) return true;
  for (const char* file :
       {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
    const QString path = QString::fromLatin1(file);
    if (QFile::exists(path)) QFontDatabase::addApplicationFont(path);
  }
  return QFontDatabase::families().contains(family, Qt::CaseInsensitive);
}

}  // namespace kestrava
