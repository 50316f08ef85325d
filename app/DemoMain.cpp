// kestrava-demo: the same window against a local sandbox of the service.
//
//   kestrava-demo [--host HOST[:PORT]] [--screenshot FILE.png]
//
// Without --host it starts kestrava-sandbox of its own (app/DemoSandbox.h),
// trusts the sandbox's certificate authority for this process only
// (SSL_CERT_FILE) and stops the sandbox when the window closes, and when
// SIGTERM, SIGINT or SIGHUP ends the program. With --host it uses that
// service and trusting it is the caller's. --screenshot signs in with the
// design-time id and secret, reads the transactions, saves a picture of the
// window as PNG and exits (non-zero when a step failed).

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QSocketNotifier>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/Application.h"
#include "app/DemoSandbox.h"
#include "app/Main.h"
#include "app/Startup.h"
#include "base/HostPort.h"
#include "base/Options.h"
#include "base/StandardDescriptors.h"
#include "client/Kestrava2Intf.h"

namespace {

// How long the sandbox has to print its ready line.
constexpr std::chrono::seconds kSandboxStartLimit{30};
constexpr std::size_t kHelpColumn = 24;

// The signal that is to end the program, and the pipe that wakes the event
// loop for it: what a signal handler may touch.
volatile sig_atomic_t caughtSignal = 0;
int signalPipe[2] = {-1, -1};

void OnSignal(int signal) {
  caughtSignal = signal;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

void CatchEndingSignals() {
  if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

// Once everything is stopped and removed: the signal ends the program as
// it would have without a handler.
int EndAsSignalled(int code) {
  if (caughtSignal == 0) return code;
  ::signal(caughtSignal, SIG_DFL);
  ::raise(caughtSignal);
  return 128 + caughtSignal;
}

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
  std::string host;        // empty: a sandbox of its own
  std::string screenshot;  // empty: the window as usual
  bool help = false;
  bool version = false;
};

std::vector<kestrava::Option> DemoOptionTable(DemoOptions& into) {
  return {
      {.name = "--host",
       .value = kestrava::HostPortValue(kestrava::Into(into.host)),
       .help = "use the service at HOST instead of a sandbox of\nits own (trust its CA through "
               "SSL_CERT_FILE)"},
      {.name = "--screenshot",
       .value = kestrava::NonEmptyText("FILE.png", "a file name", kestrava::Into(into.screenshot),
                                       kestrava::ValueCompletion::File),
       .help = "sign in, read the transactions, save a picture\nof the window and exit"},
      {.name = "--help",
       .value = kestrava::NoValue(into.help),
       .help = "display this help and exit"},
      {.name = "--version",
       .value = kestrava::NoValue(into.version),
       .help = "output version information and exit"},
  };
}

// Reads the options; what is wrong with them, or "".
std::string ReadDemoOptions(const std::vector<std::string>& args, DemoOptions& into) {
  const std::vector<kestrava::Option> options = DemoOptionTable(into);
  const kestrava::OptionsRead read = kestrava::ReadOptions(options, args);
  if (!read.error.empty()) return read.error;
  if (!read.arguments.empty()) return "unexpected argument \"" + read.arguments[0] + "\"";
  return {};
}

std::string HelpText() {
  DemoOptions unused;
  return "Usage: kestrava-demo [OPTION]...\n"
         "Open the Kestrava window against a sandbox of the service of its own: start\n"
         "kestrava-sandbox on a free loopback port with a fresh state folder, trust its\n"
         "certificate authority for this program only, and stop the sandbox when the\n"
         "window closes. Sign in with the id and secret the window shows.\n"
         "\n"
         "Options:\n" +
         kestrava::OptionHelp(DemoOptionTable(unused), kHelpColumn) +
         "\n"
         "The sandbox is the kestrava-sandbox beside this program, else the one on PATH.\n";
}

int Print(const std::string& text) {
  const bool written = std::fputs(text.c_str(), stdout) >= 0;
  return std::fflush(stdout) == 0 && written ? 0 : 1;
}

int Usage(const std::string& problem) {
  std::fprintf(stderr, "kestrava-demo: %s\n", problem.c_str());
  std::fprintf(stderr, "usage: kestrava-demo [--host HOST[:PORT]] [--screenshot FILE.png]\n");
  return 2;
}

std::filesystem::path OwnPath(const char* argv0) {
  std::error_code error;
  std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::absolute(argv0, error) : path;
}

// The hooks of an unattended run: sign in, read the transactions, save a
// picture of the window, end; `status` is 0 once all of it worked.
void AddScreenshot(kestrava::TStartupHooks& hooks, TStderrPresenter& presenter,
                   const std::string& file, int& status) {
  hooks.windowShown = [&presenter, &status, file](kestrava::TKestravaApplication& application,
                                                  kestrava::TForm2& form) {
    Press(form, form.btn1);
    if (form.BTranz.isEnabled()) Press(form, form.BTranz);
    const bool read =
        form.BTranz.isEnabled() && !presenter.failed && form.Memo1.Utf8Text().starts_with('[');
    if (!read)
      std::fprintf(stderr, "kestrava-demo: %s\n", form.Memo1.Text().toLocal8Bit().constData());
    if (read && form.grab().save(QString::fromStdString(file), "PNG")) status = 0;
    application.exit(0);
  };
}

}  // namespace

int main(int argc, char** argv) {
  if (!kestrava::OpenStandardDescriptors()) return 1;
  DemoOptions options;
  const std::string problem =
      ReadDemoOptions(std::vector<std::string>(argv + 1, argv + argc), options);
  if (!problem.empty()) return Usage(problem);
  if (options.help) return Print(HelpText());
  if (options.version) return Print(std::string("kestrava-demo ") + KESTRAVA_VERSION + "\n");
  if (!options.host.empty()) kestrava::SetServiceHost(options.host);

  CatchEndingSignals();
  std::unique_ptr<kestrava::TDemoSandbox> sandbox;
  std::unique_ptr<QSocketNotifier> signalNotifier;
  TStderrPresenter presenter;
  const bool screenshot = !options.screenshot.empty();
  int status = screenshot ? 1 : 0;

  kestrava::TStartupHooks hooks;
  // The sandbox starts once the display is known to work, so that a
  // program without one never starts it.
  hooks.applicationCreated = [&](kestrava::TKestravaApplication& application) {
    if (screenshot) application.SetMessageBoxPresenter(&presenter);
    if (options.host.empty()) {
      sandbox = std::make_unique<kestrava::TDemoSandbox>(
          OwnPath(argv[0]), std::chrono::milliseconds(kSandboxStartLimit), signalPipe[0]);
      ::setenv("SSL_CERT_FILE", sandbox->CaFile().c_str(), 1);
      kestrava::SetServiceHost(sandbox->Host());
      if (!screenshot)
        std::fprintf(stderr, "kestrava-demo: sandbox at %s; sign in with the id and secret shown\n",
                     sandbox->Host().c_str());
    }
    if (signalPipe[0] >= 0) {
      // A signal closes the window as the operator would: a read in
      // progress is broken off, and the program ends.
      signalNotifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
      QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, &application, [] {
        char bytes[16];
        while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        QApplication::closeAllWindows();
      });
    }
  };
  if (screenshot) AddScreenshot(hooks, presenter, options.screenshot, status);

  int code = 0;
  try {
    code = kestrava::RunApplication(argv[0], hooks);
  } catch (const kestrava::EDemoSandboxError& error) {
    if (caughtSignal == 0) std::fprintf(stderr, "kestrava-demo: %s\n", error.what());
    code = 1;
  }
  signalNotifier.reset();
  sandbox.reset();
  if (code == 0 && screenshot) code = status;
  return EndAsSignalled(code);
}
