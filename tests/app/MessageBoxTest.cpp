#include <gtest/gtest.h>

#include "tests/app/QtPrinters.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include "app/MessageBox.h"

namespace kestrava {
namespace {

TEST(ApplicationTitle, FileNameWithoutFolderAndExtensionRestLowerCase) {
  struct Case {
    const char* path;
    const char* title;
  };
  const Case cases[] = {
      {"/usr/bin/kestrava", "kestrava"},
      {"/opt/k/KESTRAVA.EXE", "Kestrava"},
      {"/opt/k/Kestrava.Demo.exe", "Kestrava"},
      {"/opt/my.dir/Project1", "Project1"},
      {"/opt/k/.hidden", ""},
      {"/opt/k/ÉLAN-Ünu", "Élan-ünu"},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ApplicationTitleFromPath(QString::fromUtf8(c.path)), QString::fromUtf8(c.title))
        << c.path;
  }
}

TEST(ApplicationTitle, OfThisProcessComesFromTheExecutable) {
  EXPECT_EQ(ApplicationTitle(), "kestrava_app_tests");
}

// The Qt presenter, answered by a timer as a person would: modal for the
// whole program, the title and text as asked, no icon, one "OK" button,
// centred in the work area of the window's screen.
TEST(QtMessageBoxPresenter, ShowsAModalBoxWithOneOkButtonCentredOnTheScreen) {
  QWidget window;
  window.resize(300, 200);
  window.show();

  bool inspected = false;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    inspected = true;
    EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(box->windowTitle(), "kestrava");
    EXPECT_EQ(box->text(), "first <b>part</b>\nsecond");
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
    const QList<QAbstractButton*> buttons = box->buttons();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons.front()->text(), "OK");
    const QPoint centre = window.screen()->availableGeometry().center();
    EXPECT_LE((box->frameGeometry().center() - centre).manhattanLength(), 2);
    buttons.front()->click();
  });
  TQtMessageBoxPresenter presenter;
  presenter.Show({&window, "kestrava", "first <b>part</b>\rsecond", TMessageBoxIcon::None});
  EXPECT_TRUE(inspected);
}

TEST(QtMessageBoxPresenter, ErrorBoxesCarryTheErrorIcon) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    icon = box->icon();
    box->buttons().front()->click();
  });
  TQtMessageBoxPresenter presenter;
  presenter.Show({nullptr, "t", "boom", TMessageBoxIcon::Error});
  EXPECT_EQ(icon, QMessageBox::Critical);
}

}  // namespace
}  // namespace kestrava
