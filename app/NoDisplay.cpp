#include "app/NoDisplay.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace kestrava {

namespace {

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

// Qt's message handler is a plain function: what it needs while a watch
// exists lives here, for the process.
struct THeldMessage {
  QtMsgType type;
  QByteArray category;
  QString text;
};
struct TWatchState {
  QtMessageHandler previous = nullptr;
  std::string line;
  std::vector<THeldMessage> held;
};
std::unique_ptr<TWatchState> watchState;

void WatchMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtFatalMsg) {
    // The only fatal message of the start is the platform plugin's.
    std::fputs(watchState->line.c_str(), stderr);
    std::fflush(stderr);
    std::_Exit(1);
  }
  const char* category = context.category != nullptr ? context.category : "";
  if (std::strncmp(category, "qt.qpa", 6) == 0) {
    watchState->held.push_back({type, category, text});
    return;
  }
  if (watchState->previous != nullptr) watchState->previous(type, context, text);
}

}  // namespace

std::string NoDisplayLine(const char* programName) {
  const char* slash = std::strrchr(programName, '/');
  const char* name = slash != nullptr ? slash + 1 : programName;
  return std::string(name) +
         ": no display: set DISPLAY or WAYLAND_DISPLAY, or use QT_QPA_PLATFORM=offscreen\n";
}

bool DisplayNamed() {
  return IsSet("QT_QPA_PLATFORM") || IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY");
}

TPlatformStartWatch::TPlatformStartWatch(const char* programName) {
  watchState = std::make_unique<TWatchState>(TWatchState{nullptr, NoDisplayLine(programName), {}});
  watchState->previous = qInstallMessageHandler(WatchMessage);
}

TPlatformStartWatch::~TPlatformStartWatch() {
  qInstallMessageHandler(watchState->previous);
  std::vector<THeldMessage> held = std::move(watchState->held);
  watchState.reset();
  for (const THeldMessage& message : held) {
    const QMessageLogContext context(nullptr, 0, nullptr, message.category.constData());
    qt_message_output(message.type, context, message.text);
  }
}

}  // namespace kestrava
