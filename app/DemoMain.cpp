// kestrava-demo: the same window against a local sandbox of the service.
//
//   kestrava-demo --host HOST[:PORT] [--screenshot FILE]
//
// --host sets the service host of this process. --screenshot signs in with
// the design-time id and secret, reads the transactions, saves a picture of
// the window as PNG and exits (non-zero when a step failed). Trusting the
// sandbox's certificate authority is the caller's: SSL_CERT_FILE.

#include <QLineEdit>
#include <QPixmap>
#include <cstdio>
#include <string>
#include <vector>

#include "app/Application.h"
#include "app/Main.h"
#include "app/Startup.h"
#include "base/HostPort.h"
#include "base/Options.h"
#include "base/StandardDescriptors.h"
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

struct DemoOptions {
  std::string host;
  std::string screenshot;  // empty: the window as usual
};

// Reads the options; what is wrong with them, or "".
std::string ReadDemoOptions(const std::vector<std::string>& args, DemoOptions& into) {
  const std::vector<kestrava::Option> options = {
      {.name = "--host",
       .value = kestrava::HostPortValue(kestrava::Into(into.host)),
       .help = "the service host of this process"},
      {.name = "--screenshot",
       .value = kestrava::NonEmptyText("FILE.png", "a file name", kestrava::Into(into.screenshot),
                                       kestrava::ValueCompletion::File),
       .help = "sign in, read the transactions, save a picture of the window and exit"},
  };
  const kestrava::OptionsRead read = kestrava::ReadOptions(options, args);
  if (!read.error.empty()) return read.error;
  if (!read.arguments.empty()) return "unexpected argument \"" + read.arguments[0] + "\"";
  if (into.host.empty()) return "no host given";
  return {};
}

int Usage(const std::string& problem) {
  std::fprintf(stderr, "kestrava-demo: %s\n", problem.c_str());
  std::fprintf(stderr, "usage: kestrava-demo --host HOST[:PORT] [--screenshot FILE.png]\n");
  return 2;
}

// Signs in with the design-time id and secret, reads the transactions and
// saves a picture of the window; the exit code (non-zero when a step failed).
int TakeScreenshot(char* program, const std::string& file) {
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
    if (read && form.grab().save(QString::fromStdString(file), "PNG")) status = 0;
    application.exit(0);
  };
  kestrava::RunApplication(program, hooks);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (!kestrava::OpenStandardDescriptors()) return 1;
  DemoOptions options;
  const std::string problem =
      ReadDemoOptions(std::vector<std::string>(argv + 1, argv + argc), options);
  if (!problem.empty()) return Usage(problem);
  kestrava::SetServiceHost(options.host);
  if (options.screenshot.empty()) return kestrava::RunApplication(argv[0]);
  return TakeScreenshot(argv[0], options.screenshot);
}
