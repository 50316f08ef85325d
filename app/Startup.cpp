#include "app/Startup.h"

#include <QTimer>
#include <cstdio>
#include <memory>
#include <optional>

#include "app/Application.h"
#include "app/DesktopIdentity.h"
#include "app/Main.h"
#include "app/NoDisplay.h"
#include "datetime/FormatSettings.h"

namespace kestrava {

int RunApplication(char* programName, const TStartupHooks& hooks) {
  InitializeFormatSettings();

  if (!DisplayNamed()) {
    std::fputs(NoDisplayLine(programName).c_str(), stderr);
    return 1;
  }
  int argc = 1;
  char* argv[] = {programName, nullptr};
  std::optional<TPlatformStartWatch> watch(std::in_place, programName);
  TKestravaApplication application(argc, argv);
  watch.reset();
  ApplyDesktopIdentity();
  if (hooks.applicationCreated) hooks.applicationCreated(application);

  const auto Form2 = std::make_unique<TForm2>(application.MessageBoxPresenter());
  application.SetMainWindow(Form2.get());
  Form2->show();
  if (hooks.windowShown) {
    QTimer::singleShot(0, Form2.get(), [&] { hooks.windowShown(application, *Form2); });
  }
  application.exec();
  application.SetMainWindow(nullptr);
  return 0;
}

}  // namespace kestrava
