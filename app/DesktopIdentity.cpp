#include "app/DesktopIdentity.h"

#include <QDirIterator>
#include <QGuiApplication>
#include <QIcon>
#include <QString>

namespace kestrava {

QIcon BundledIcon() {
  // Every size the build rendered into the resource; QIcon picks the nearest.
  QIcon icon;
  for (QDirIterator it(QStringLiteral(":/icon"), {QStringLiteral("*.png")}, QDir::Files);
       it.hasNext();)
    icon.addFile(it.next());
  return icon;
}

void ApplyDesktopIdentity() {
  const QString id = QStringLiteral(KESTRAVA_APPLICATION_ID);
  QGuiApplication::setDesktopFileName(id);
  QGuiApplication::setWindowIcon(QIcon::fromTheme(id, BundledIcon()));
}

}  // namespace kestrava
