#include "app/Application.h"

#include <QEvent>
#include <QFile>
#include <QFont>
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
  // fonts-wine's Tahoma bold repeats the regular outlines with wider
  // spacing, so bold text drawn with it looks regular. DejaVu Sans Condensed
  // Bold has the bold Tahoma's widths and height and is really bold: it
  // stands in for Tahoma where it is installed.
  const QString standIn = QStringLiteral("DejaVu Sans Condensed");
  if (QFontDatabase::families().contains(standIn, Qt::CaseInsensitive)) {
    QFont::insertSubstitution(family, standIn);
    return true;
  }
  // Otherwise the regular face of fonts-wine's Tahoma alone, which Qt
  // emboldens for bold text.
  const QString regular = QStringLiteral("/usr/share/wine/fonts/tahoma.ttf");
  if (QFile::exists(regular)) QFontDatabase::addApplicationFont(regular);
  return QFontDatabase::families().contains(family, Qt::CaseInsensitive);
}

}  // namespace kestrava
