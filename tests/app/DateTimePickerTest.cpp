#include <gtest/gtest.h>

#include "tests/app/QtPrinters.h"

#include <QDateEdit>
#include <QTimeEdit>
#include <limits>

#include "app/DateTimePicker.h"
#include "datetime/DateTime.h"

namespace kestrava {
namespace {

constexpr char kZeroRefused[] = "You must be in ShowCheckbox mode to set to this date";

TDateTime At(int y, int mo, int d, int h, int mi, int s, int ms) {
  return EncodeDateTime(y, mo, d, h, mi, s, ms);
}

TEST(DateTimePicker, WholeValueIsStoredUnchangedAndShownInPart) {
  TDatePicker date;
  TTimePicker time;
  const TDateTime value = At(2025, 5, 14, 8, 30, 5, 7) + 1e-12;  // not on a millisecond
  date.SetDateTime(value);
  time.SetDateTime(value);
  EXPECT_EQ(date.DateTime(), value);
  EXPECT_EQ(time.DateTime(), value);
  EXPECT_EQ(date.Editor().text(), "14.05.2025");
  EXPECT_EQ(time.Editor().text(), "08:30");
  EXPECT_EQ(date.Editor().displayFormat(), "dd.MM.yyyy");
  EXPECT_EQ(time.Editor().displayFormat(), "HH:mm");
  EXPECT_TRUE(date.Editor().calendarPopup());
  EXPECT_NE(qobject_cast<QDateEdit*>(&date.Editor()), nullptr);
  EXPECT_NE(qobject_cast<QTimeEdit*>(&time.Editor()), nullptr);
}

TEST(DateTimePicker, ZeroIsRefusedAndChangesNothing) {
  TDatePicker picker;
  const TDateTime held = At(2024, 3, 1, 10, 0, 0, 250);
  picker.SetDateTime(held);
  for (const TDateTime zero : {0.0, -0.0, 1e-10}) {
    try {
      picker.SetDateTime(zero);
      ADD_FAILURE() << "accepted " << zero;
    } catch (const EDateTimeError& e) {
      EXPECT_EQ(e.Message(), kZeroRefused);
    }
    EXPECT_EQ(picker.DateTime(), held);
    EXPECT_EQ(picker.Editor().text(), "01.03.2024");
  }
}

TEST(DateTimePicker, ValuesOutsideTheShownYearsAreRefusedWithAClearError) {
  TDatePicker picker;
  picker.SetDateTime(At(2024, 1, 1, 0, 0, 0, 1));
  EXPECT_THROW(picker.SetDateTime(At(1600, 12, 31, 23, 59, 59, 999)), EDateTimeError);
  EXPECT_THROW(picker.SetDateTime(1e300), Exception);
  EXPECT_THROW(picker.SetDateTime(std::numeric_limits<double>::quiet_NaN()), Exception);
  EXPECT_EQ(picker.DateTime(), At(2024, 1, 1, 0, 0, 0, 1));
  picker.SetDateTime(At(1601, 1, 1, 0, 0, 0, 0));  // the first day the editor shows
  EXPECT_EQ(picker.Editor().date(), QDate(1601, 1, 1));
  picker.SetDateTime(At(9999, 12, 31, 23, 59, 59, 999));
  EXPECT_EQ(picker.Editor().date(), QDate(9999, 12, 31));
  TTimePicker time;
  time.SetDateTime(At(9999, 12, 31, 23, 59, 59, 999));
  EXPECT_EQ(time.Editor().text(), "23:59");
}

TEST(DateTimePicker, DatesBeforeDayZeroKeepTheirTimeOfDay) {
  TDatePicker picker;
  const TDateTime value = At(1899, 12, 29, 6, 0, 0, 0);  // -1.25
  picker.SetDateTime(value);
  EXPECT_DOUBLE_EQ(picker.DateTime(), -1.25);
  EXPECT_EQ(picker.Editor().text(), "29.12.1899");
  picker.SetTimeOfDayFrom(At(2025, 1, 1, 18, 0, 0, 0));
  EXPECT_DOUBLE_EQ(picker.DateTime(), -1.75);  // the same day at 18:00
}

TEST(DateTimePicker, TimeOfDayFromAnotherValueKeepsTheOwnDay) {
  struct Case {
    const char* name;
    TDateTime own, other, expected;
  };
  const Case cases[] = {
      {"later time", At(2025, 3, 3, 1, 2, 3, 4), At(2020, 7, 9, 7, 15, 42, 123),
       At(2025, 3, 3, 7, 15, 42, 123)},
      {"midnight", At(2025, 3, 3, 23, 59, 59, 999), At(2025, 3, 4, 0, 0, 0, 0),
       At(2025, 3, 3, 0, 0, 0, 0)},
      {"last millisecond", At(2025, 3, 3, 0, 0, 0, 0), At(1999, 1, 1, 23, 59, 59, 999),
       At(2025, 3, 3, 23, 59, 59, 999)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TDatePicker picker;
    picker.SetDateTime(c.own);
    picker.SetTimeOfDayFrom(c.other);
    EXPECT_EQ(DateTimeToMilliseconds(picker.DateTime()), DateTimeToMilliseconds(c.expected));
    EXPECT_EQ(picker.Editor().text(), "03.03.2025");
  }
}

TEST(DateTimePicker, EqualTimeOfDayChangesNothing) {
  TDatePicker picker;
  // Not on a whole millisecond: an equal time of day must leave the stored
  // value exactly as it is.
  const TDateTime own = At(2025, 3, 3, 7, 15, 0, 0) + 1e-11;
  picker.SetDateTime(own);
  picker.SetTimeOfDayFrom(At(2001, 1, 1, 7, 15, 0, 0));
  EXPECT_EQ(picker.DateTime(), own);
}

TEST(DateTimePicker, CopyingATimeThatGivesZeroIsRefused) {
  TDatePicker picker;
  const TDateTime held = At(1899, 12, 30, 14, 0, 0, 0);
  picker.SetDateTime(held);
  try {
    picker.SetTimeOfDayFrom(At(1899, 12, 31, 0, 0, 0, 0));
    ADD_FAILURE() << "zero accepted";
  } catch (const EDateTimeError& e) {
    EXPECT_EQ(e.Message(), kZeroRefused);
  }
  EXPECT_EQ(picker.DateTime(), held);
}

TEST(DateTimePicker, OperatorDateEditReplacesTheDayOnly) {
  TDatePicker picker;
  picker.SetDateTime(At(2025, 5, 14, 8, 30, 5, 7));
  picker.Editor().setDate(QDate(2025, 3, 3));  // as the calendar or typing does
  EXPECT_EQ(DateTimeToMilliseconds(picker.DateTime()),
            DateTimeToMilliseconds(At(2025, 3, 3, 8, 30, 5, 7)));
}

TEST(DateTimePicker, OperatorTimeEditReplacesHourAndMinuteKeepingSecondsAndDay) {
  TTimePicker picker;
  picker.SetDateTime(At(2025, 5, 14, 8, 30, 42, 123));
  picker.Editor().setTime(QTime(7, 15));
  EXPECT_EQ(DateTimeToMilliseconds(picker.DateTime()),
            DateTimeToMilliseconds(At(2025, 5, 14, 7, 15, 42, 123)));
  EXPECT_EQ(picker.Editor().text(), "07:15");
}

TEST(DateTimePicker, SpinningTheMinuteWrapsWithinTheSection) {
  TTimePicker picker;
  picker.SetDateTime(At(2025, 5, 14, 8, 59, 1, 2));
  picker.Editor().setCurrentSection(QDateTimeEdit::MinuteSection);
  picker.Editor().stepUp();
  EXPECT_EQ(picker.Editor().text(), "08:00");
  EXPECT_EQ(DateTimeToMilliseconds(picker.DateTime()),
            DateTimeToMilliseconds(At(2025, 5, 14, 8, 0, 1, 2)));
}

}  // namespace
}  // namespace kestrava
