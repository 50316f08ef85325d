#pragma once

// The application object: the event loop that catches an exception escaping
// an event handler and shows its message in an error message box (the window
// stays usable), and that refills the regional formats when the system
// announces a change of its regional settings.
//
// Qt's own code is not built to be unwound by exceptions, so the window
// catches what escapes its handlers before it reaches Qt's frames and shows
// it the same way (TForm2's dispatch); notify() is the backstop for any
// other receiver.

#include <QApplication>

#include "app/MessageBox.h"

namespace kestrava {

class TKestravaApplication final : public QApplication {
  Q_OBJECT

 public:
  // argc and argv must outlive the object (as for QApplication).
  TKestravaApplication(int& argc, char** argv);
  ~TKestravaApplication() override;

  bool notify(QObject* receiver, QEvent* event) override;

  // The presenter of every message box; none gives back the Qt one. The
  // presenter is not owned and must outlive its use.
  void SetMessageBoxPresenter(TMessageBoxPresenter* presenter) noexcept;
  TMessageBoxPresenter& MessageBoxPresenter() noexcept { return *presenter_; }

  // The window that error message boxes belong to.
  void SetMainWindow(QWidget* window) noexcept { mainWindow_ = window; }

 protected:
  bool event(QEvent* event) override;

 private:
  void ShowException(const QString& message) noexcept;

  TQtMessageBoxPresenter qtPresenter_;
  TMessageBoxPresenter* presenter_ = &qtPresenter_;
  QWidget* mainWindow_ = nullptr;
};

// Makes the window's design font, Tahoma, available with a bold that looks
// bold. When the system does not list Tahoma, DejaVu Sans Condensed (with
// the bold Tahoma's metrics) stands in for it; failing that, the regular
// Tahoma of the fonts-wine package is added to this process. Returns whether
// Tahoma or its stand-in is there.
bool EnsureDesignFont();

// The message of the exception being handled (call inside a catch block):
// the text of a kestrava::Exception or std::exception, "Unknown failure" for
// anything else.
QString CurrentExceptionMessage();

}  // namespace kestrava
