#include <gtest/gtest.h>

#include "tests/app/QtPrinters.h"

#include <QApplication>
#include <QFontInfo>
#include <QImage>
#include <QPainter>
#include <QTest>

#include "datetime/DateTime.h"
#include "tests/app/WindowFixture.h"

namespace kestrava::testing {
namespace {

struct Placement {
  const char* name;
  int left, top, width, height;
};

// Positions and sizes at 96 dpi, relative to the panel.
const Placement kPanelControls[] = {
    {"Bevel1", 6, 3, 417, 140},      {"edID", 84, 14, 306, 21},    {"edSecret", 85, 41, 305, 21},
    {"GMediu", 9, 65, 270, 47},      {"btn1", 106, 115, 216, 25},  {"Bevel3", 453, 0, 316, 50},
    {"BAccounts", 460, 11, 285, 25}, {"Bevel2", 456, 56, 313, 98}, {"BTranz", 460, 59, 285, 25},
    {"XDStart", 552, 92, 112, 22},   {"XTStart", 678, 92, 67, 22}, {"XDEnd", 552, 126, 112, 22},
    {"XTEnd", 678, 126, 67, 22},
};

// Labels size themselves to their text: the design sizes are those of the
// bold Tahoma 8 points.
const Placement kLabels[] = {
    {"lbl1", 65, 16, 13, 13},
    {"Label1", 9, 44, 72, 13},
    {"Label2", 459, 98, 80, 13},
    {"Label3", 460, 130, 73, 13},
};

using WindowLayoutTest = WindowTest;

TEST_F(WindowLayoutTest, WindowAndTheTwoControlsThatFillIt) {
  EXPECT_EQ(form->windowTitle(), "Form2");
  EXPECT_EQ(form->size(), QSize(783, 612));
  EXPECT_EQ(form->Panel1.geometry(), QRect(0, 0, 783, 165));
  EXPECT_EQ(form->Memo1.geometry(), QRect(0, 165, 783, 447));
  EXPECT_EQ(form->Panel1.frameShape(), QFrame::Panel);
  EXPECT_EQ(form->Panel1.frameShadow(), QFrame::Raised);

  form->resize(1000, 700);  // the panel follows the width, the text area takes the rest
  EXPECT_EQ(form->Panel1.geometry(), QRect(0, 0, 1000, 165));
  EXPECT_EQ(form->Memo1.geometry(), QRect(0, 165, 1000, 535));
  EXPECT_EQ(form->findChild<QWidget*>("BTranz")->pos(), QPoint(460, 59));
}

TEST_F(WindowLayoutTest, ControlsOfThePanelStandWhereTheDesignPutsThem) {
  for (const Placement& p : kPanelControls) {
    SCOPED_TRACE(p.name);
    auto* control = form->Panel1.findChild<QWidget*>(p.name, Qt::FindDirectChildrenOnly);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->geometry(), QRect(p.left, p.top, p.width, p.height));
  }
  for (const Placement& p : kLabels) {
    SCOPED_TRACE(p.name);
    auto* label = form->Panel1.findChild<QLabel*>(p.name, Qt::FindDirectChildrenOnly);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->pos(), QPoint(p.left, p.top));
    EXPECT_EQ(label->size(), label->sizeHint());
    // The design widths are those of a real bold face (not one that Qt
    // emboldens from the regular one, which keeps the regular widths).
    if (QFontInfo(label->font()).styleName().contains("Bold")) {
      EXPECT_NEAR(label->width(), p.width, 3);
      EXPECT_NEAR(label->height(), p.height, 2);
    }
  }
}

TEST_F(WindowLayoutTest, CaptionsTextsAndFonts) {
  EXPECT_EQ(form->lbl1.text(), "ID");
  EXPECT_EQ(form->Label1.text(), "Client Secret");
  EXPECT_EQ(form->Label2.text(), "Data ora start");
  EXPECT_EQ(form->Label3.text(), "Data ora end");
  EXPECT_EQ(form->btn1.text(), "Login");
  EXPECT_EQ(form->BAccounts.text(), "Citeste Conturi");
  EXPECT_EQ(form->BTranz.text(), "Citeste Tranzactii");
  EXPECT_EQ(form->GMediu.title(), " Tip mediu ");
  ASSERT_EQ(form->GMediu.Count(), 2);
  EXPECT_EQ(form->GMediu.Item(0).text(), " productie");
  EXPECT_EQ(form->GMediu.Item(1).text(), " testare");
  EXPECT_EQ(form->edID.text(), "K27315TQB");
  EXPECT_EQ(form->edSecret.text(), "9a1c5d2e-8b3f-4c6a-9d1e-7f2b0c4a8e5d");
  EXPECT_EQ(form->edSecret.echoMode(), QLineEdit::Normal);

  for (QPushButton* button : {&form->btn1, &form->BAccounts, &form->BTranz}) {
    EXPECT_FALSE(button->isDefault());
    EXPECT_FALSE(button->autoDefault());
    EXPECT_FALSE(button->text().contains('&'));
  }
  EXPECT_FALSE(form->GMediu.title().contains('&'));

  EXPECT_EQ(form->font().family(), "Tahoma");
  EXPECT_EQ(form->font().pixelSize(), 11);
  EXPECT_FALSE(form->font().bold());
  EXPECT_TRUE(form->Panel1.font().bold());
  EXPECT_TRUE(form->edID.font().bold());
  EXPECT_TRUE(form->Memo1.font().bold());
  EXPECT_EQ(form->Memo1.font().pixelSize(), 11);
  for (TDateTimePicker* picker :
       {static_cast<TDateTimePicker*>(&form->XDStart),
        static_cast<TDateTimePicker*>(&form->XTStart), static_cast<TDateTimePicker*>(&form->XDEnd),
        static_cast<TDateTimePicker*>(&form->XTEnd)}) {
    EXPECT_EQ(picker->Editor().font().pixelSize(), 12);
    EXPECT_TRUE(picker->Editor().font().bold());
    EXPECT_EQ(picker->Editor().palette().color(QPalette::Text), QColor(Qt::black));
  }
  const QColor panel = form->Panel1.palette().color(QPalette::Window);
  EXPECT_EQ(form->XTStart.Editor().palette().color(QPalette::Base), panel);
  EXPECT_EQ(form->XTEnd.Editor().palette().color(QPalette::Base), panel);
}

// How much ink a text takes in a font: the sum of the darkness of its pixels.
long long Ink(const QFont& font, const QString& text) {
  QImage image(300, 40, QImage::Format_Grayscale8);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setFont(font);
  painter.setPen(Qt::black);
  painter.drawText(4, 28, text);
  painter.end();
  long long ink = 0;
  for (int y = 0; y < image.height(); ++y) {
    const uchar* line = image.constScanLine(y);
    for (int x = 0; x < image.width(); ++x) ink += 255 - line[x];
  }
  return ink;
}

// The bold texts really show bold: a bold face that repeats the regular
// outlines (as fonts-wine's Tahoma bold does) would pass every font check
// above and still draw thin strokes.
TEST_F(WindowLayoutTest, BoldTextIsDrawnHeavierThanRegular) {
  const QWidget* const bold[] = {
      &form->Label1,           &form->edID,          &form->btn1, &form->Memo1,
      &form->XDStart.Editor(), &form->XTEnd.Editor()};
  for (const QWidget* widget : bold) {
    SCOPED_TRACE((widget->objectName().isEmpty() ? widget->parentWidget()->objectName()
                                                 : widget->objectName())
                     .toStdString());
    QFont regular = widget->font();
    regular.setBold(false);
    const QString text = QStringLiteral("Client Secret 09.12.2026");
    EXPECT_GT(Ink(widget->font(), text) * 100, Ink(regular, text) * 115);
  }
}

TEST_F(WindowLayoutTest, InitialState) {
  EXPECT_TRUE(form->Memo1.Text().isEmpty());
  EXPECT_EQ(form->Memo1.LineCount(), 1u);
  EXPECT_FALSE(form->BAccounts.isEnabled());
  EXPECT_FALSE(form->BTranz.isEnabled());
  EXPECT_TRUE(form->btn1.isEnabled());
  EXPECT_EQ(form->GMediu.ItemIndex(), 0);
  EXPECT_EQ(form->focusWidget(), &form->edID);
  EXPECT_EQ(form->SA, nullptr);
}

TEST_F(WindowLayoutTest, CreationSetsTheLastTwentyFourHoursToTheMillisecond) {
  const std::int64_t before = DateTimeToMilliseconds(Now());
  TForm2 fresh(presenter);
  const std::int64_t after = DateTimeToMilliseconds(Now());
  constexpr std::int64_t kDay = kMSecsPerDay;
  for (const TDateTimePicker* picker : {static_cast<TDateTimePicker*>(&fresh.XDStart),
                                        static_cast<TDateTimePicker*>(&fresh.XTStart)}) {
    EXPECT_GE(DateTimeToMilliseconds(picker->DateTime()), before - kDay);
    EXPECT_LE(DateTimeToMilliseconds(picker->DateTime()), after - kDay);
  }
  for (const TDateTimePicker* picker :
       {static_cast<TDateTimePicker*>(&fresh.XDEnd), static_cast<TDateTimePicker*>(&fresh.XTEnd)}) {
    EXPECT_GE(DateTimeToMilliseconds(picker->DateTime()), before);
    EXPECT_LE(DateTimeToMilliseconds(picker->DateTime()), after);
  }
  const QString yesterday =
      DateOfDayNumber(SplitDateTime(fresh.XDStart.DateTime()).Day).toString("dd.MM.yyyy");
  const QString today =
      DateOfDayNumber(SplitDateTime(fresh.XDEnd.DateTime()).Day).toString("dd.MM.yyyy");
  EXPECT_EQ(fresh.XDStart.Editor().text(), yesterday);
  EXPECT_EQ(fresh.XDEnd.Editor().text(), today);
  EXPECT_EQ(fresh.XTStart.Editor().text(), fresh.XTEnd.Editor().text());
}

// The name of the control that holds the focus (a picker for its editor, the
// radio group for its item).
QString FocusedControl() {
  QWidget* focused = QApplication::focusWidget();
  while (focused != nullptr && focused->objectName().isEmpty()) focused = focused->parentWidget();
  if (focused != nullptr && qobject_cast<QRadioButton*>(focused) != nullptr) {
    focused = focused->parentWidget();
  }
  return focused != nullptr ? focused->objectName() : QString();
}

TEST_F(WindowLayoutTest, TabVisitsThePanelInItsOrderThenTheTextArea) {
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  ASSERT_EQ(FocusedControl(), "edID");

  // Disabled buttons are skipped.
  const QStringList whileSignedOut = {"edSecret", "btn1",    "GMediu", "XDEnd", "XTStart",
                                      "XTEnd",    "XDStart", "Memo1",  "edID"};
  for (const QString& expected : whileSignedOut) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(FocusedControl(), expected);
  }

  form->BAccounts.setEnabled(true);
  form->BTranz.setEnabled(true);
  form->BTranz.setFocus();
  const QStringList whileSignedIn = {"BAccounts", "edID",  "edSecret", "btn1",  "GMediu", "XDEnd",
                                     "XTStart",   "XTEnd", "XDStart",  "Memo1", "BTranz"};
  for (const QString& expected : whileSignedIn) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(FocusedControl(), expected);
  }
}

TEST_F(WindowLayoutTest, TheRadioGroupIsOneStopAtItsSelectedItem) {
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  form->GMediu.SetItemIndex(1);
  form->btn1.setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), &form->GMediu.Item(1));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(FocusedControl(), "XDEnd");
}

}  // namespace
}  // namespace kestrava::testing
