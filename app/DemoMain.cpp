// kestrava-demo: the same window against a local sandbox of the service.
//
//   kestrava-demo --host localhost:PORT [--screenshot FILE]
//
// --host sets the service host of this process. --screenshot signs in with
// the design-time id and secret, reads the transactions, saves a picture of
// the window as PNG and exits (non-zero when a step failed). Trusting the
// sandbox's certificate authority is the caller's: SSL_CERT_FILE.

#include <QLineEdit>
#include <QPixmap>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/Application.h"
#include "app/Main.h"
#include "app/Startup.h"
#include "client/Kestrava2Intf.h"

namespace {

// Message boxes of an unattended run go to the error stream.
class TStderrPresenter final : public kestrava::TMessageBoxPresenter {
 public:
  void Show(const kestrava::TMessageBoxRequest& request) override {
    std::fprintf(stderr, "kestrava-demo: %s\n", request.text.toLocal8Bit().constData());
    failed = true;
  }
  bool failed = false;
};

// Presses a button as a mouse click does: the focus moves to the button and
// the edit box it leaves drops its selection (said here, as a virtual
// display without a window manager never makes the window active, and no
// focus event comes).
void Press(kestrava::TForm2& form, QPushButton& button) {
  if (auto* edit = qobject_cast<QLineEdit*>(form.focusWidget())) edit->deselect();
  button.setFocus(Qt::MouseFocusReason);
  button.click();
}

int Usage() {
  std::fprintf(stderr, "usage: kestrava-demo --host HOST:PORT [--screenshot FILE.png]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string host;
  std::string screenshot;
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (std::strcmp(argv[i], "--host") == 0 && hasValue) {
      host = argv[++i];
    } else if (std::strcmp(argv[i], "--screenshot") == 0 && hasValue) {
      screenshot = argv[++i];
    } else {
      return Usage();
    }
  }
  if (host.empty()) return Usage();
  kestrava::SetServiceHost(host);

  if (screenshot.empty()) return kestrava::RunApplication(argv[0]);

  TStderrPresenter presenter;
  int status = 1;
  kestrava::TStartupHooks hooks;
  hooks.applicationCreated = [&](kestrava::TKestravaApplication& application) {
    application.SetMessageBoxPresenter(&presenter);
  };
  hooks.windowShown = [&](kestrava::TKestravaApplication& application, kestrava::TForm2& form) {
    Press(form, form.btn1);
    if (form.BTranz.isEnabled()) Press(form, form.BTranz);
    const bool read =
        form.BTranz.isEnabled() && !presenter.failed && form.Memo1.Utf8Text().starts_with('[');
    if (!read)
      std::fprintf(stderr, "kestrava-demo: %s\n", form.Memo1.Text().toLocal8Bit().constData());
    if (read && form.grab().save(QString::fromStdString(screenshot), "PNG")) status = 0;
    application.exit(0);
  };
  kestrava::RunApplication(argv[0], hooks);
  return status;
}
