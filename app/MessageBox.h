#pragma once

// The program's message boxes go through one presenter, so that tests can
// answer them without a person. The default presenter shows a modal Qt
// message box; tests install one that records what it was asked to show.

#include <QString>

class QWidget;

namespace kestrava {

enum class TMessageBoxIcon { None, Error };

struct TMessageBoxRequest {
  QWidget* window = nullptr;  // the window the box belongs to, or none
  QString title;
  QString text;  // exactly the text to show
  TMessageBoxIcon icon = TMessageBoxIcon::None;
};

class TMessageBoxPresenter {
 public:
  virtual ~TMessageBoxPresenter() = default;
  // Returns when the operator has closed the box.
  virtual void Show(const TMessageBoxRequest& request) = 0;
};

// Modal for the whole program, one "OK" button, centred in the work area of
// the screen that shows the request's window. Line breaks of the text (CR LF,
// a lone CR or LF) show as line breaks; the text is never read as markup.
class TQtMessageBoxPresenter final : public TMessageBoxPresenter {
 public:
  void Show(const TMessageBoxRequest& request) override;
};

// The application title: the executable's file name without its folder and
// without everything from its first "." on, every character after the first
// turned to lower case.
QString ApplicationTitleFromPath(const QString& executablePath);
// The title of this process (from QCoreApplication::applicationFilePath).
QString ApplicationTitle();

}  // namespace kestrava
