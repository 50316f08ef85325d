// The real window, started as the program starts it, against the service
// host given on the command line: it signs in, starts reading the
// transactions and, while the read waits on the service, is closed as a
// window manager closes it. Its exit code is the program's.
//
//   kestrava_window_close_child HOST:PORT
//
// Prints "read ended: " and the text of Memo1 once the read has ended.

#include <QTimer>
#include <cstdio>

#include "app/Application.h"
#include "app/Main.h"
#include "app/Startup.h"
#include "client/Kestrava2Intf.h"

namespace {

// Message boxes of an unattended run go to the error stream.
class TStderrPresenter final : public kestrava::TMessageBoxPresenter {
 public:
  void Show(const kestrava::TMessageBoxRequest& request) override {
    std::fprintf(stderr, "message box: %s\n", request.text.toLocal8Bit().constData());
  }
};

// How long after the read starts the window is closed.
constexpr int kCloseAfterMs = 300;

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kestrava_window_close_child HOST:PORT\n");
    return 2;
  }
  kestrava::SetServiceHost(argv[1]);
  TStderrPresenter presenter;
  kestrava::TStartupHooks hooks;
  hooks.applicationCreated = [&](kestrava::TKestravaApplication& application) {
    application.SetMessageBoxPresenter(&presenter);
  };
  hooks.windowShown = [](kestrava::TKestravaApplication&, kestrava::TForm2& form) {
    form.btn1.click();
    if (!form.BTranz.isEnabled()) return;
    QTimer::singleShot(kCloseAfterMs, &form, [&form] { form.close(); });
    form.BTranz.click();
    std::printf("read ended: %s\n", form.Memo1.Text().toLocal8Bit().constData());
    std::fflush(stdout);
  };
  return kestrava::RunApplication(argv[0], hooks);
}
